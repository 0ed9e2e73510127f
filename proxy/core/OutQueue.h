// The bytes waiting to go out on one connection, in order. The buffer keeps
// its capacity while a session lasts, so a relay in its steady state
// allocates nothing; taking bytes off the front only moves an offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class OutQueue {
  public:
    std::size_t size() const { return bytes_.size() - head_; }
    bool empty() const { return size() == 0; }
    std::span<const std::uint8_t> pending() const { return std::span(bytes_).subspan(head_); }
    void append(std::span<const std::uint8_t> unit) {
        if (head_ > 0 && head_ >= bytes_.size() / 2) {
            compact();  // before growing, reuse the room that was sent
        }
        bytes_.insert(bytes_.end(), unit.begin(), unit.end());
    }
    // The first `n` pending bytes were sent.
    void consume(std::size_t n) {
        head_ += n;
        if (head_ >= bytes_.size()) {
            bytes_.clear();
            head_ = 0;
        }
    }
    // Drops everything and gives the memory back, at the end of a session.
    void release() {
        std::vector<std::uint8_t>().swap(bytes_);
        head_ = 0;
    }

  private:
    void compact() {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }

    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;
};
