// TLV chains (type, 16-bit length, value; big-endian).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/oscar-wire/ByteReader.h"

namespace oscar {

struct Tlv {
    std::uint16_t type = 0;
    ByteView value;
};

// Every TLV of a block; nothing when a TLV header or value runs past it.
std::optional<std::vector<Tlv>> parseTlvs(ByteView block);
// `count` TLVs read from the reader's position (a counted TLV block).
std::optional<std::vector<Tlv>> readTlvs(ByteReader& reader, std::size_t count);
// The value of the first TLV of that type.
std::optional<ByteView> findTlv(const std::vector<Tlv>& tlvs, std::uint16_t type);

}  // namespace oscar
