#include "plugin/TextNumbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

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

std::int32_t parseDecimalInt(std::string_view text) {
    bool negative = false;
    text = stripSign(text, negative);
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (std::size_t at = 0; at < text.size() && isDigit(text[at]); ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > limit) {
            value = limit;
        }
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

double parseDecimalDouble(std::string_view text) {
    bool negative = false;
    text = stripSign(text, negative);
    // from_chars takes no sign of its own here, and no hexadecimal form.
    if (text.empty() || text.front() == '+' || text.front() == '-') {
        return 0.0;
    }
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error == std::errc::invalid_argument) {
        return 0.0;
    }
    if (error == std::errc::result_out_of_range) {
        // Only an exponent can leave the range: a negative one underflows.
        const std::string_view parsed(text.data(), static_cast<std::size_t>(end - text.data()));
        const auto e = parsed.find_last_of("eE");
        const bool tiny =
            e != std::string_view::npos && e + 1 < parsed.size() && parsed[e + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    }
    return negative ? -value : value;
}
