// Builders for the FLAP frames, SNACs and TLVs that the tests and benchmarks
// send, and for the little-endian fields inside ICQ messages and plug-in
// records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

using ByteVec = std::vector<std::uint8_t>;

inline void appendBe16(ByteVec& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x >> 8 & 0xFF));
    v.push_back(static_cast<std::uint8_t>(x & 0xFF));
}

inline void appendLe16(ByteVec& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x & 0xFF));
    v.push_back(static_cast<std::uint8_t>(x >> 8 & 0xFF));
}

inline void appendLe32(ByteVec& v, std::uint32_t x) {
    appendLe16(v, x & 0xFFFF);
    appendLe16(v, x >> 16);
}

inline std::uint32_t le32At(const ByteVec& v, std::size_t at) {
    return v.at(at) | v.at(at + 1) << 8 | v.at(at + 2) << 16 |
           static_cast<std::uint32_t>(v.at(at + 3)) << 24;
}

inline ByteVec textBytes(const std::string& s) {
    return ByteVec(s.begin(), s.end());
}

inline ByteVec tlv(std::uint16_t type, const ByteVec& value) {
    ByteVec v;
    appendBe16(v, type);
    appendBe16(v, static_cast<std::uint32_t>(value.size()));
    v.insert(v.end(), value.begin(), value.end());
    return v;
}
inline ByteVec tlv(std::uint16_t type, const std::string& value) {
    return tlv(type, textBytes(value));
}

// SNAC header (family, subtype, flags 0, request id) followed by `body`.
inline ByteVec snac(std::uint16_t family, std::uint16_t subtype, const ByteVec& body,
                    std::uint32_t requestId = 0x01020304) {
    ByteVec v;
    appendBe16(v, family);
    appendBe16(v, subtype);
    appendBe16(v, 0);
    appendBe16(v, requestId >> 16);
    appendBe16(v, requestId & 0xFFFF);
    v.insert(v.end(), body.begin(), body.end());
    return v;
}

inline ByteVec flap(std::uint8_t channel, std::uint16_t seq, const ByteVec& data) {
    ByteVec v{0x2A, channel};
    appendBe16(v, seq);
    appendBe16(v, static_cast<std::uint32_t>(data.size()));
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

inline ByteVec concat(std::initializer_list<ByteVec> parts) {
    ByteVec v;
    for (const ByteVec& p : parts) {
        v.insert(v.end(), p.begin(), p.end());
    }
    return v;
}

inline std::uint16_t seqOf(const ByteVec& frame) {
    return static_cast<std::uint16_t>(frame.at(2) * 256 + frame.at(3));
}

// The bytes as hex digits, two a byte, lower case unless `upper`.
inline std::string hexOf(std::span<const std::uint8_t> bytes, bool upper = false) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// The frame with its sequence field set to `seq`, as the proxy stamps it.
inline ByteVec withSeq(ByteVec frame, std::uint16_t seq) {
    frame.at(2) = static_cast<std::uint8_t>(seq >> 8);
    frame.at(3) = static_cast<std::uint8_t>(seq & 0xFF);
    return frame;
}
