// The chat sequence numbers: relayed and injected frames of one direction
// share one numbering, which starts afresh with each chat session.
#pragma once

#include <cstdint>
#include <span>

#include "proxy/core/OscarWire.h"

inline constexpr std::int32_t SEQ_START_TO_SERVER = 0x4000;
inline constexpr std::int32_t SEQ_START_TO_CLIENT = 0x2000;
inline constexpr std::int32_t SEQ_LIMIT = 0x7FFF;

// Writes `seq` into the FLAP sequence field (high byte first), then advances
// it, wrapping above 0x7FFF to 0. A frame too short for the field gets the
// part of it that falls inside; the number is used up all the same.
inline void stampSequence(std::span<std::uint8_t> frame, std::int32_t& seq) {
    if (frame.size() > FLAP_SEQUENCE_AT) {
        frame[FLAP_SEQUENCE_AT] = static_cast<std::uint8_t>(seq / 256);
    }
    if (frame.size() > FLAP_SEQUENCE_AT + 1) {
        frame[FLAP_SEQUENCE_AT + 1] = static_cast<std::uint8_t>(seq % 256);
    }
    seq = seq >= SEQ_LIMIT ? 0 : seq + 1;
}
