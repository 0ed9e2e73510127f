// Cuts each received byte stream into whole FLAP frames.
#include <algorithm>
#include <stdexcept>

#include "proxy/core/Form1.h"
#include "proxy/core/OscarWire.h"
#include "proxy/core/RunFault.h"

int Form1::PacketCollect(FrameCollector& c, const std::uint8_t* data, std::int32_t n) {
    try {
        if (n < 0 || c.collected < 0 || n > FrameCollector::kSize - c.collected) {
            throw std::out_of_range("collector overflow");
        }
        if (n > 0) {
            std::copy_n(data, n, c.room().begin());
        }
    } catch (...) {
        logFault(FAULT_IN_COLLECT);
        return 0;
    }
    return collectPlaced(c, n);
}

int Form1::collectPlaced(FrameCollector& c, std::int32_t n) {
    try {
        if (n < 0 || c.start < 0 || c.collected < 0 ||
            n > FrameCollector::kSize - c.start - c.collected) {
            throw std::out_of_range("collector overflow");
        }
        c.collected += n;
        if (c.frameLen == -1) {
            if (c.collected < FLAP_HEADER_SIZE) {
                return 0;
            }
            const std::span<const std::uint8_t> held = c.held();
            if (held[0] != FLAP_MARKER) {
                // Not a frame: everything buffered goes on as one unit.
                c.frameLen = c.collected;
                return 1;
            }
            c.frameLen = FLAP_HEADER_SIZE + held[FLAP_LENGTH_AT] * 256 + held[FLAP_LENGTH_AT + 1];
        }
        return c.collected >= c.frameLen ? 1 : 0;
    } catch (...) {
        logFault(FAULT_IN_COLLECT);
        return 0;
    }
}

void Form1::PacketRemove(FrameCollector& c) {
    try {
        if (c.frameLen >= 0 && c.frameLen < c.collected) {
            // Only the front moves: the rest goes back to the array's start
            // when the next receive needs the room.
            c.start += c.frameLen;
            c.collected -= c.frameLen;
        } else {
            c.start = 0;
            c.collected = 0;
        }
        c.frameLen = -1;
    } catch (...) {
        logFault(FAULT_IN_REMOVE);
    }
}
