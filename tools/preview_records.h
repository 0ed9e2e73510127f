// The plug-in records and chat frames that the Dorrimel previews feed the
// plug-in with: an init event, frame events and hand-made instant messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "proxy/plugin_host/PluginInterface.h"

namespace preview {

using Bytes = std::vector<std::uint8_t>;

inline void putLe32(Bytes& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

inline void putBe16(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

inline Bytes event(std::uint8_t code, const Bytes& data = {}) {
    Bytes record;
    putLe32(record, static_cast<std::uint32_t>(2 + data.size()));
    record.push_back(PLUGIN_EVENT);
    record.push_back(code);
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

// No callback address: the preview never waits long enough for a notice.
inline Bytes initEvent(std::uint32_t ownUin, const std::string& dir) {
    Bytes data;
    putLe32(data, 0);
    putLe32(data, HOST_API_VERSION);
    for (int copy = 0; copy < 2; ++copy) {
        putLe32(data, static_cast<std::uint32_t>(dir.size()));
        data.insert(data.end(), dir.begin(), dir.end());
    }
    putLe32(data, ownUin);
    return event(EVENT_INIT, data);
}

// A FLAP frame on channel 2 holding SNAC 4/subtype with a cookie, message
// channel 1 and the UIN; messages also carry a short text TLV.
inline Bytes imFrame(std::uint16_t subtype, std::uint32_t requestId, std::uint8_t cookie,
                     const std::string& uin) {
    Bytes snac;
    putBe16(snac, 4);
    putBe16(snac, subtype);
    putBe16(snac, 0);
    putBe16(snac, static_cast<std::uint16_t>(requestId >> 16));
    putBe16(snac, static_cast<std::uint16_t>(requestId));
    for (int i = 0; i < 8; ++i) {
        snac.push_back(static_cast<std::uint8_t>(cookie + i));
    }
    putBe16(snac, 1);
    snac.push_back(static_cast<std::uint8_t>(uin.size()));
    snac.insert(snac.end(), uin.begin(), uin.end());
    if (subtype == 6) {
        const std::string text = "Hello there";
        putBe16(snac, 2);
        putBe16(snac, static_cast<std::uint16_t>(text.size()));
        snac.insert(snac.end(), text.begin(), text.end());
    }
    Bytes frame = {0x2A, 0x02};
    putBe16(frame, 1);
    putBe16(frame, static_cast<std::uint16_t>(snac.size()));
    frame.insert(frame.end(), snac.begin(), snac.end());
    return frame;
}

}  // namespace preview
