#include "plugin/TextNumbers.h"

#include <limits>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Drops leading white space and reports (and drops) a sign.
std::string_view stripSign(std::string_view text, bool& negative) {
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    return text.substr(at);
}

}  // namespace

std::optional<std::int64_t> parseLeadingInteger(std::string_view text) {
    bool negative = false;
    text = stripSign(text, negative);
    if (text.empty() || !isDigit(text.front())) {
        return std::nullopt;
    }
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (std::size_t at = 0; at < text.size() && isDigit(text[at]); ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > limit) {
            value = limit;
        }
    }
    return negative ? -value : value;
}

std::int32_t parseDecimalInt(std::string_view text) {
    const std::int64_t value = parseLeadingInteger(text).value_or(0);
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

std::optional<std::int64_t> parseSecondsAsMs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    constexpr std::int64_t held = 1'000'000'000'000'000;
    std::int64_t ms = 0;
    std::int64_t unit = 1000;  // what a digit is worth: 1000 before the point
    bool digits = false;
    bool point = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
            unit = 100;
        } else if (isDigit(c)) {
            digits = true;
            if (!point) {
                ms = ms > held / 10 ? held : ms * 10 + (c - '0') * 1000;
            } else if (unit > 0) {
                ms += (c - '0') * unit;
                unit /= 10;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    return ms > held ? held : ms;
}
