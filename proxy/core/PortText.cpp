// Leading-decimal parsing for ports and UINs.
#include "proxy/core/PortText.h"

#include <algorithm>
#include <limits>

std::int64_t leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) {
            value = kMax;  // saturate; further digits change nothing
            continue;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::optional<std::uint16_t> portFromText(std::string_view text) {
    const std::int64_t value = leadingNumber(text);
    if (value < 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::int32_t int32FromText(std::string_view text) {
    constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(leadingNumber(text), kLow, kHigh));
}
