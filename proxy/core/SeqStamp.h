// The chat sequence numbers: relayed and injected frames of one direction
// share one numbering, which starts afresh with each chat session.
#pragma once

#include <cstdint>
#include <span>

inline constexpr std::int32_t SEQ_START_TO_SERVER = 0x4000;
inline constexpr std::int32_t SEQ_START_TO_CLIENT = 0x2000;
inline constexpr std::int32_t SEQ_LIMIT = 0x7FFF;

// Writes `seq` into frame bytes 2 and 3 (high byte first), then advances it,
// wrapping above 0x7FFF to 0. A frame too short for the field gets the part
// of it that falls inside; the number is used up all the same.
inline void stampSequence(std::span<std::uint8_t> frame, std::int32_t& seq) {
    if (frame.size() > 2) {
        frame[2] = static_cast<std::uint8_t>(seq / 256);
    }
    if (frame.size() > 3) {
        frame[3] = static_cast<std::uint8_t>(seq % 256);
    }
    seq = seq >= SEQ_LIMIT ? 0 : seq + 1;
}
