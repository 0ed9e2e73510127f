// Text to bytes and back, one byte per character.
#include "proxy/net/HexStrBin.h"

#include <algorithm>

std::string BinToStr(std::span<const std::uint8_t> buffer, std::int32_t start, std::int32_t count,
                     bool stopAtZero) {
    std::string text;
    if (start < 0 || count <= 0) {
        return text;
    }
    // 64-bit arithmetic so that start + count cannot overflow.
    const auto end = std::min<std::int64_t>(std::int64_t{start} + count,
                                            static_cast<std::int64_t>(buffer.size()));
    for (std::int64_t i = start; i < end; ++i) {
        const std::uint8_t b = buffer[static_cast<std::size_t>(i)];
        if (stopAtZero && b == 0) {
            break;
        }
        text += static_cast<char>(b);
    }
    return text;
}

std::int32_t StrToBin(std::span<std::uint8_t> buffer, std::int32_t start, std::int32_t count,
                      const std::string& text, std::int32_t textOffset) {
    if (start < 0 || textOffset < 0) {
        return 0;
    }
    const auto textLeft = static_cast<std::int64_t>(text.size()) - textOffset;
    const auto roomLeft = static_cast<std::int64_t>(buffer.size()) - start;
    std::int64_t n = count == -1 ? static_cast<std::int64_t>(text.size()) : count;
    n = std::min({n, textLeft, roomLeft});
    if (n <= 0) {
        return 0;
    }
    std::copy_n(text.begin() + textOffset, n, buffer.begin() + start);
    return static_cast<std::int32_t>(n);
}
