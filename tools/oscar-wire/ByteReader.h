// Bounds-checked reading of protocol fields from a byte block: every read
// either fits inside the block or yields nothing and leaves the position
// where it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace oscar {

using ByteView = std::span<const std::uint8_t>;

class ByteReader {
  public:
    explicit ByteReader(ByteView data) : data_(data) {}

    std::size_t remaining() const { return data_.size() - pos_; }
    ByteView rest() const { return data_.subspan(pos_); }

    std::optional<std::uint8_t> u8() {
        if (remaining() < 1) {
            return std::nullopt;
        }
        return data_[pos_++];
    }
    std::optional<std::uint16_t> u16be() { return number<std::uint16_t>(2, true); }
    std::optional<std::uint16_t> u16le() { return number<std::uint16_t>(2, false); }
    std::optional<std::uint32_t> u32be() { return number<std::uint32_t>(4, true); }
    std::optional<std::uint32_t> u32le() { return number<std::uint32_t>(4, false); }

    std::optional<ByteView> bytes(std::size_t n) {
        if (remaining() < n) {
            return std::nullopt;
        }
        ByteView out = data_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

    // A string with a one-byte length in front (screen names, UINs).
    std::optional<std::string> shortString() {
        const std::size_t start = pos_;
        auto n = u8();
        auto text = n ? bytes(*n) : std::nullopt;
        if (!text) {
            pos_ = start;
            return std::nullopt;
        }
        return std::string(text->begin(), text->end());
    }

  private:
    template <typename T>
    std::optional<T> number(std::size_t size, bool bigEndian) {
        if (remaining() < size) {
            return std::nullopt;
        }
        T value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t at = bigEndian ? i : size - 1 - i;
            value = static_cast<T>((value << 8) | data_[pos_ + at]);
        }
        pos_ += size;
        return value;
    }

    ByteView data_;
    std::size_t pos_ = 0;
};

}  // namespace oscar
