// Numbers typed into the endpoint boxes or carried in protocol texts: the
// leading decimal number of a text, as the proxy reads ports and UINs.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The leading decimal number of a text: leading spaces and one sign are
// skipped, then digits are read up to the first non-digit. No digits gives
// 0. Values beyond the 64-bit range saturate.
std::int64_t leadingNumber(std::string_view text);

// The leading number as a port, or nothing when it lies outside 0 to 65535.
std::optional<std::uint16_t> portFromText(std::string_view text);

// The leading number saturated to the signed 32-bit range (a UIN).
std::int32_t int32FromText(std::string_view text);
