// The fields of the service's protocol that Dorrimel reads in the chat
// traffic and writes into its notices: FLAP frames on the SNAC channel, the
// message SNACs of family 4 and the offline-message reply 0x15/3. In a
// namespace of its own, since the proxy keeps a header of the same kind.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wire {

inline constexpr std::uint8_t FLAP_MARKER = 0x2A;
inline constexpr std::uint8_t FLAP_CHANNEL_SNAC = 2;
inline constexpr std::size_t FLAP_HEADER_SIZE = 6;
inline constexpr std::size_t FLAP_LENGTH_AT = 4;  // the 16-bit data length

// Family 4, messages: the client's send, the message delivered to the
// client, and the two acknowledgements (from the recipient, from the server).
inline constexpr std::uint16_t SNAC_FAMILY_MESSAGES = 0x0004;
inline constexpr std::uint16_t SNAC_MESSAGE_SEND = 0x0006;
inline constexpr std::uint16_t SNAC_MESSAGE_INCOMING = 0x0007;
inline constexpr std::uint16_t SNAC_MESSAGE_CLIENT_ACK = 0x000B;
inline constexpr std::uint16_t SNAC_MESSAGE_SERVER_ACK = 0x000C;
// Family 0x15: the reply that carries an offline message.
inline constexpr std::uint16_t SNAC_FAMILY_META = 0x0015;
inline constexpr std::uint16_t SNAC_META_REPLY = 0x0003;

// The message channel of a 4/7 notice, the TLV that carries its text, and
// the TLV that carries an offline-message reply's data.
inline constexpr std::uint16_t MESSAGE_CHANNEL_TYPED = 4;
inline constexpr std::uint16_t TLV_TYPED_MESSAGE = 5;
inline constexpr std::uint16_t TLV_META_DATA = 1;

}  // namespace wire
