#include "tools/oscar-wire/MetaReply.h"

#include "tools/oscar-wire/Tlv.h"

namespace oscar {

std::optional<MetaChunk> parseMetaChunk(ByteView snacBody) {
    auto tlvs = parseTlvs(snacBody);
    auto value = tlvs ? findTlv(*tlvs, 1) : std::nullopt;
    if (!value) {
        return std::nullopt;
    }
    ByteReader outer(*value);
    auto length = outer.u16le();
    auto chunk = length ? outer.bytes(*length) : std::nullopt;
    if (!chunk) {
        return std::nullopt;
    }
    ByteReader r(*chunk);
    auto owner = r.u32le();
    auto type = owner ? r.u16le() : std::nullopt;
    auto seq = type ? r.u16le() : std::nullopt;
    if (!seq) {
        return std::nullopt;
    }
    return MetaChunk{*owner, *type, *seq, r.rest()};
}

std::optional<OfflineMessage> parseOfflineMessage(ByteView chunkData) {
    ByteReader r(chunkData);
    OfflineMessage m;
    auto sender = r.u32le();
    auto year = sender ? r.u16le() : std::nullopt;
    auto stamp = year ? r.bytes(4) : std::nullopt;
    auto kind = stamp ? r.bytes(2) : std::nullopt;
    auto length = kind ? r.u16le() : std::nullopt;
    auto text = length ? r.bytes(*length) : std::nullopt;
    if (!text) {
        return std::nullopt;
    }
    m.senderUin = *sender;
    m.year = *year;
    m.month = (*stamp)[0];
    m.day = (*stamp)[1];
    m.hour = (*stamp)[2];
    m.minute = (*stamp)[3];
    m.type = (*kind)[0];
    m.flags = (*kind)[1];
    m.text.assign(text->begin(), text->end());
    if (!m.text.empty() && m.text.back() == '\0') {
        m.text.pop_back();
    }
    return m;
}

Bytes buildOfflineDone(std::uint32_t ownerUin, std::uint16_t seq) {
    ByteWriter chunk;
    chunk.u32le(ownerUin).u16le(kMetaOfflineDone).u16le(seq).u8(0);
    ByteWriter value;
    value.u16le(static_cast<std::uint16_t>(chunk.data().size())).bytes(chunk.data());
    ByteWriter body;
    body.tlv(1, value.data());
    return body.take();
}

}  // namespace oscar
