#include "tools/oscar-wire/Tlv.h"

namespace oscar {

namespace {

std::optional<Tlv> readTlv(ByteReader& reader) {
    auto type = reader.u16be();
    auto length = type ? reader.u16be() : std::nullopt;
    auto value = length ? reader.bytes(*length) : std::nullopt;
    if (!value) {
        return std::nullopt;
    }
    return Tlv{*type, *value};
}

}  // namespace

std::optional<std::vector<Tlv>> parseTlvs(ByteView block) {
    ByteReader reader(block);
    std::vector<Tlv> out;
    while (reader.remaining() > 0) {
        auto tlv = readTlv(reader);
        if (!tlv) {
            return std::nullopt;
        }
        out.push_back(*tlv);
    }
    return out;
}

std::optional<std::vector<Tlv>> readTlvs(ByteReader& reader, std::size_t count) {
    std::vector<Tlv> out;
    for (std::size_t i = 0; i < count; ++i) {
        auto tlv = readTlv(reader);
        if (!tlv) {
            return std::nullopt;
        }
        out.push_back(*tlv);
    }
    return out;
}

std::optional<ByteView> findTlv(const std::vector<Tlv>& tlvs, std::uint16_t type) {
    for (const Tlv& tlv : tlvs) {
        if (tlv.type == type) {
            return tlv.value;
        }
    }
    return std::nullopt;
}

}  // namespace oscar
