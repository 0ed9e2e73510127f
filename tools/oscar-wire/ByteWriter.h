// Builds protocol blocks field by field (big-endian unless the name says le).
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace oscar {

using Bytes = std::vector<std::uint8_t>;

class ByteWriter {
  public:
    ByteWriter& u8(std::uint8_t v) {
        out_.push_back(v);
        return *this;
    }
    ByteWriter& u16be(std::uint16_t v) { return number(v, 2, true); }
    ByteWriter& u16le(std::uint16_t v) { return number(v, 2, false); }
    ByteWriter& u32be(std::uint32_t v) { return number(v, 4, true); }
    ByteWriter& u32le(std::uint32_t v) { return number(v, 4, false); }
    ByteWriter& bytes(std::span<const std::uint8_t> b) {
        out_.insert(out_.end(), b.begin(), b.end());
        return *this;
    }
    ByteWriter& text(std::string_view s) {
        out_.insert(out_.end(), s.begin(), s.end());
        return *this;
    }
    // One-byte length, then the characters (at most 255 are kept).
    ByteWriter& shortString(std::string_view s) {
        const std::string_view kept = s.substr(0, 255);
        return u8(static_cast<std::uint8_t>(kept.size())).text(kept);
    }
    // Type, 16-bit length, value (a value over 0xFFFF bytes is cut).
    ByteWriter& tlv(std::uint16_t type, std::span<const std::uint8_t> value) {
        const auto kept = value.first(std::min<std::size_t>(value.size(), 0xFFFF));
        return u16be(type).u16be(static_cast<std::uint16_t>(kept.size())).bytes(kept);
    }
    ByteWriter& tlv(std::uint16_t type, std::string_view value) {
        return tlv(type,
                   std::span(reinterpret_cast<const std::uint8_t*>(value.data()), value.size()));
    }
    ByteWriter& tlvU16(std::uint16_t type, std::uint16_t v) {
        return u16be(type).u16be(2).u16be(v);
    }
    ByteWriter& tlvU32(std::uint16_t type, std::uint32_t v) {
        return u16be(type).u16be(4).u32be(v);
    }

    const Bytes& data() const { return out_; }
    Bytes take() { return std::move(out_); }

  private:
    ByteWriter& number(std::uint32_t v, int size, bool bigEndian) {
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (bigEndian ? size - 1 - i : i);
            out_.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
        }
        return *this;
    }

    Bytes out_;
};

}  // namespace oscar
