// Writes protocol fields one after another into a fixed buffer. A field that
// does not fit sets the overflow flag and writes nothing; the frame is then
// not to be used.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

class FrameWriter {
  public:
    explicit FrameWriter(std::span<std::uint8_t> buffer) : buffer_(buffer) {}

    void u8(std::uint8_t value) { put(value, 1, false); }
    void be16(std::uint16_t value) { put(value, 2, true); }
    void be32(std::uint32_t value) { put(value, 4, true); }
    void le16(std::uint16_t value) { put(value, 2, false); }
    void le32(std::uint32_t value) { put(value, 4, false); }
    void zeros(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            u8(0);
        }
    }
    void text(std::string_view value) {
        for (const char c : value) {
            u8(static_cast<std::uint8_t>(c));
        }
    }
    // Writes a big-endian 16-bit value at an earlier position.
    void patchBe16(std::size_t at, std::uint16_t value) {
        if (at + 2 > size_) {
            overflow_ = true;
            return;
        }
        buffer_[at] = static_cast<std::uint8_t>(value >> 8);
        buffer_[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
    }

    std::size_t size() const { return size_; }
    bool overflow() const { return overflow_; }

  private:
    void put(std::uint32_t value, std::size_t width, bool bigEndian) {
        if (overflow_ || buffer_.size() - size_ < width) {
            overflow_ = true;
            return;
        }
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
            buffer_[size_ + i] = static_cast<std::uint8_t>(value >> shift & 0xFF);
        }
        size_ += width;
    }

    std::span<std::uint8_t> buffer_;
    std::size_t size_ = 0;
    bool overflow_ = false;
};
