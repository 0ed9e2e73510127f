// The chat sequence numbers: relayed and injected frames of one direction
// share one numbering.
#pragma once

#include <cstdint>
#include <span>

inline constexpr std::int32_t SEQ_LIMIT = 0x7FFF;

// Writes `seq` into frame bytes 2 and 3 (high byte first), then advances it,
// wrapping above 0x7FFF to 0. The frame must hold at least 4 bytes.
inline void stampSequence(std::span<std::uint8_t> frame, std::int32_t& seq) {
    frame[2] = static_cast<std::uint8_t>(seq / 256);
    frame[3] = static_cast<std::uint8_t>(seq % 256);
    seq = seq >= SEQ_LIMIT ? 0 : seq + 1;
}
