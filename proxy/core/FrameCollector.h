// Per-direction stream buffer that cuts received bytes into whole FLAP frames.
#pragma once

#include <array>
#include <cstdint>

struct FrameCollector {
    static constexpr std::int32_t kSize = 70001;
    std::array<std::uint8_t, kSize> array{};
    std::int32_t collected = 0;  // bytes held from index 0
    std::int32_t frameLen = -1;  // length of the unit at the front, -1 while unknown

    void clear() {
        collected = 0;
        frameLen = -1;
    }
};
