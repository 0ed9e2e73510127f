// Instant-message SNAC bodies of family 4: the head that 4/6, 4/7, 4/0B,
// 4/0C and 4/14 share (cookie, message channel, screen name), the incoming
// form 4/7, and the message texts of channels 1 and 4.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/oscar-wire/ByteReader.h"
#include "tools/oscar-wire/ByteWriter.h"
#include "tools/oscar-wire/Tlv.h"

namespace oscar {

inline constexpr std::size_t kCookieSize = 8;
using Cookie = std::array<std::uint8_t, kCookieSize>;

struct IcbmHead {
    Cookie cookie{};
    std::uint16_t channel = 0;
    std::string uin;  // the other party: recipient going out, sender coming in
    ByteView rest;    // what follows the screen name
};

// 4/7: the head, the sender's warning level and counted user-info TLVs, then
// the message TLVs.
struct IncomingIcbm {
    IcbmHead head;
    std::uint16_t warning = 0;
    std::vector<Tlv> userInfo;
    std::vector<Tlv> tlvs;
};

// Channel-4 message block (TLV 5 of a channel-4 message).
struct Channel4Message {
    std::uint32_t senderUin = 0;
    std::uint8_t type = 0;
    std::uint8_t flags = 0;
    std::string text;  // without its terminating zero
};

std::optional<IcbmHead> parseIcbmHead(ByteView body);
std::optional<IncomingIcbm> parseIncomingIcbm(ByteView body);

ByteWriter& writeIcbmHead(ByteWriter& w, const Cookie& cookie, std::uint16_t channel,
                          std::string_view uin);
// 4/6 on channel 1 with the text as one plain fragment; TLV 3 asks the
// server for an acknowledgement.
Bytes buildOutgoingMessage(const Cookie& cookie, std::string_view toUin, std::string_view text,
                           bool wantAck);
// 4/7 of a relayed message: the sent cookie and channel, the sender, a
// small user-info block and the given message TLVs.
Bytes buildIncomingMessage(const Cookie& cookie, std::uint16_t channel, std::string_view fromUin,
                           const std::vector<Tlv>& tlvs);

// The text of a channel-1 message data block (the value of TLV 2): every
// text fragment's characters after its charset and subset fields.
std::optional<std::string> channel1Text(ByteView messageData);
std::optional<Channel4Message> parseChannel4(ByteView block);

}  // namespace oscar
