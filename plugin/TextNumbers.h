// Number parsing for texts that come from frames, the settings file and the
// options window. Independent of the C locale, so a host that switches the
// locale cannot change how "1.5" reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Leading white space, an optional sign, decimal digits up to the first other
// character; 0 when there are none. Values beyond 32 bits saturate.
std::int32_t parseDecimalInt(std::string_view text);

// As parseDecimalInt, but nothing when there are no digits, and a value
// beyond 32 bits stays beyond them (held at +-2^31), so that a range check
// sees it.
std::optional<std::int64_t> parseLeadingInteger(std::string_view text);

// Seconds as typed into an edit field: blanks, digits with an optional
// fraction after a point, blanks, and nothing else. The whole milliseconds,
// cut toward zero; nothing when the text is not such a number. Values far
// beyond 32 bits are held at 10^15.
std::optional<std::int64_t> parseSecondsAsMs(std::string_view text);
