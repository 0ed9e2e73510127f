// The fields of the service's protocol that the proxy reads or writes:
// FLAP frames (marker, channel, sequence, data length, data; big-endian),
// the SNAC header of the login replies and requests, and their TLVs. The
// sandbox and the scripted client keep their own (tools/oscar-wire) on
// purpose: as the proxy's peers in the tests they must not share its values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::uint8_t FLAP_MARKER = 0x2A;
inline constexpr std::int32_t FLAP_HEADER_SIZE = 6;
inline constexpr std::int32_t FLAP_MAX_DATA = 0xFFFF;
// Where the FLAP header holds the sequence number and the data length, and
// the SNAC header (right after it) its family and subtype.
inline constexpr std::size_t FLAP_SEQUENCE_AT = 2;
inline constexpr std::size_t FLAP_LENGTH_AT = 4;
inline constexpr std::size_t SNAC_FAMILY_AT = 6;
inline constexpr std::size_t SNAC_SUBTYPE_AT = 8;

// The classic sign-on: the client's login on channel 1 (the FLAP version,
// then TLVs), the server's reply on channel 4 (TLVs only).
inline constexpr std::uint8_t FLAP_CHANNEL_SIGN_ON = 1;
inline constexpr std::uint8_t FLAP_CHANNEL_SIGN_OFF = 4;
inline constexpr std::array<std::uint8_t, 4> FLAP_VERSION{0, 0, 0, 1};

// SNACs: the login request 17-06 and the two forms of the login reply.
inline constexpr std::uint16_t SNAC_FAMILY_LOGIN = 0x0017;
inline constexpr std::uint16_t SNAC_LOGIN_REQUEST = 0x0006;
inline constexpr std::uint16_t SNAC_LOGIN_REPLY = 0x0003;
inline constexpr std::uint16_t SNAC_FAMILY_URL2 = 0x008E;
inline constexpr std::uint16_t SNAC_URL2_REPLY = 0x0001;

// TLV types: the UIN and the chat-server address.
inline constexpr std::uint16_t TLV_UIN = 1;
inline constexpr std::uint16_t TLV_REDIRECT = 5;
