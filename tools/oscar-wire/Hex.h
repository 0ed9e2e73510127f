// Bytes as lower-case hex digits, two a byte, for the tools' output lines.
#pragma once

#include <string>

#include "tools/oscar-wire/ByteReader.h"

namespace oscar {

inline std::string hex(ByteView bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * bytes.size());
    for (const std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

}  // namespace oscar
