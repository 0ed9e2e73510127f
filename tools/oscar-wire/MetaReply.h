// The ICQ information family 0x15: a request or reply carries one TLV 1
// whose value is a little-endian chunk (length, owner UIN, type, sequence,
// then the type's data). Type 0x3C asks for offline messages; the replies
// are 0x41 (one offline message) and 0x42 (no more offline messages).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/oscar-wire/ByteReader.h"
#include "tools/oscar-wire/ByteWriter.h"

namespace oscar {

inline constexpr std::uint16_t kMetaOfflineRequest = 0x003C;
inline constexpr std::uint16_t kMetaOfflineMessage = 0x0041;
inline constexpr std::uint16_t kMetaOfflineDone = 0x0042;

struct MetaChunk {
    std::uint32_t ownerUin = 0;
    std::uint16_t type = 0;
    std::uint16_t seq = 0;
    ByteView data;  // after the sequence, up to the chunk's length
};

struct OfflineMessage {
    std::uint32_t senderUin = 0;
    std::uint16_t year = 0;
    std::uint8_t month = 0, day = 0, hour = 0, minute = 0;
    std::uint8_t type = 0, flags = 0;
    std::string text;  // without its terminating zero
};

// The chunk of a 15/2 or 15/3 SNAC body.
std::optional<MetaChunk> parseMetaChunk(ByteView snacBody);
// The data of a 0x41 chunk.
std::optional<OfflineMessage> parseOfflineMessage(ByteView chunkData);
// 15/3 body of a 0x42 chunk (no offline messages are stored).
Bytes buildOfflineDone(std::uint32_t ownerUin, std::uint16_t seq);

}  // namespace oscar
