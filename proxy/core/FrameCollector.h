// Per-connection stream buffer that cuts received bytes into whole FLAP
// frames. The held bytes start at `start`: taking a frame off the front only
// moves `start`, and the bytes left over move back to the front of the
// array once, when room is needed for the next receive.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

struct FrameCollector {
    static constexpr std::int32_t kSize = 70001;
    std::array<std::uint8_t, kSize> array{};
    std::int32_t start = 0;      // where the held bytes begin
    std::int32_t collected = 0;  // bytes held from `start`
    std::int32_t frameLen = -1;  // length of the unit at the front, -1 while unknown

    void clear() {
        start = 0;
        collected = 0;
        frameLen = -1;
    }
    // The bytes held, the unit at the front first.
    std::span<std::uint8_t> held() {
        return {array.data() + start, static_cast<std::size_t>(collected)};
    }
    // The whole unit at the front; call only while one is there.
    std::span<std::uint8_t> front() { return held().first(static_cast<std::size_t>(frameLen)); }
    // The free room after the held bytes, all of it.
    std::span<std::uint8_t> room() {
        if (start > 0) {
            std::copy_n(array.begin() + start, collected, array.begin());
            start = 0;
        }
        return std::span(array).subspan(static_cast<std::size_t>(collected));
    }
};
