// Moves text between strings and protocol byte buffers, one byte per
// character (the string holds 8-bit code page characters as they are).
#pragma once

#include <cstdint>
#include <span>
#include <string>

// The characters for bytes start .. start + count - 1, stopping early at a
// zero byte when `stopAtZero` is set. Bytes outside the buffer end the text;
// a count of 0 or less gives the empty text.
std::string BinToStr(std::span<const std::uint8_t> buffer, std::int32_t start, std::int32_t count,
                     bool stopAtZero);
// Writes the characters of `text` from `textOffset` into the buffer from
// `start`; count -1 means the whole rest of the text. Stops at the buffer's
// end. Returns the number of bytes written.
std::int32_t StrToBin(std::span<std::uint8_t> buffer, std::int32_t start, std::int32_t count,
                      const std::string& text, std::int32_t textOffset);
// The low 32 bits of an address, as it travels in a 32-bit record field.
template <typename Procedure>
std::uint32_t ProcAddr(Procedure* procedure) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(procedure));
}
