// Little-endian integers of the plug-in records, read and written with
// bounds checks: a field outside the buffer is a subscript fault.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>

inline std::uint32_t readLe32(std::span<const std::uint8_t> buffer, std::size_t at) {
    if (at > buffer.size() || buffer.size() - at < 4) {
        throw std::out_of_range("record field outside the buffer");
    }
    return buffer[at] | buffer[at + 1] << 8 | buffer[at + 2] << 16 |
           static_cast<std::uint32_t>(buffer[at + 3]) << 24;
}

template <typename Value>
void writeLe(std::span<std::uint8_t> buffer, std::size_t at, Value value) {
    if (at > buffer.size() || buffer.size() - at < sizeof value) {
        throw std::out_of_range("record field outside the buffer");
    }
    for (std::size_t i = 0; i < sizeof value; ++i) {
        buffer[at + i] = static_cast<std::uint8_t>(value >> (8 * i) & 0xFF);
    }
}
