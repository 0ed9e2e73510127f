// Number parsing for texts that come from frames, the settings file and the
// options window. Independent of the C locale, so a host that switches the
// locale cannot change how "1.5" reads.
#pragma once

#include <cstdint>
#include <string_view>

// Leading white space, an optional sign, decimal digits up to the first other
// character; 0 when there are none. Values beyond 32 bits saturate.
std::int32_t parseDecimalInt(std::string_view text);

// Leading white space, an optional sign, digits with an optional fraction and
// exponent; 0 when the text is not a number. Overflow gives +-HUGE_VAL.
double parseDecimalDouble(std::string_view text);
