// Reads the fields of an event record one after another, each checked
// against the end that the record's length field (or a later clip) allows.
// A field that does not fit is not read and leaves the cursor where it was.
#pragma once

#include <cstdint>
#include <span>

class RecordReader {
  public:
    // record holds the whole record, the 4-byte length field included.
    RecordReader(std::span<const std::uint8_t> record, std::size_t at)
        : record_(record), at_(at <= record.size() ? at : record.size()) {}

    std::size_t remaining() const { return record_.size() - at_; }

    // Moves the end in to newEnd when that is shorter.
    void clipEnd(std::size_t newEnd) {
        if (newEnd < record_.size()) {
            record_ = record_.first(newEnd < at_ ? at_ : newEnd);
        }
    }

    bool u8(std::uint8_t& value) { return read(value, 1, true); }
    bool be16(std::uint16_t& value) { return read(value, 2, true); }
    bool be32(std::uint32_t& value) { return read(value, 4, true); }
    bool le32(std::uint32_t& value) { return read(value, 4, false); }
    bool le64(std::uint64_t& value) { return read(value, 8, false); }

    // The next count bytes, without copying.
    bool bytes(std::size_t count, std::span<const std::uint8_t>& out) {
        if (remaining() < count) {
            return false;
        }
        out = record_.subspan(at_, count);
        at_ += count;
        return true;
    }
    bool skip(std::size_t count) {
        std::span<const std::uint8_t> ignored;
        return bytes(count, ignored);
    }

  private:
    template <typename Value>
    bool read(Value& value, std::size_t width, bool bigEndian) {
        if (remaining() < width) {
            return false;
        }
        Value result = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
            result |= static_cast<Value>(static_cast<Value>(record_[at_ + i]) << shift);
        }
        value = result;
        at_ += width;
        return true;
    }

    std::span<const std::uint8_t> record_;
    std::size_t at_;
};
