#include "tools/oscar-wire/Icbm.h"

#include <algorithm>

namespace oscar {

namespace {

constexpr std::uint8_t kFragmentCaps = 0x05;
constexpr std::uint8_t kFragmentText = 0x01;
constexpr std::uint16_t kTlvMessageData = 0x0002;
constexpr std::uint16_t kTlvAckRequest = 0x0003;
constexpr std::uint16_t kTlvUserClass = 0x0001;
constexpr std::uint16_t kTlvUserStatus = 0x0006;
constexpr std::uint16_t kClassIcq = 0x0050;

}  // namespace

std::optional<IcbmHead> parseIcbmHead(ByteView body) {
    ByteReader r(body);
    auto cookie = r.bytes(kCookieSize);
    auto channel = cookie ? r.u16be() : std::nullopt;
    auto uin = channel ? r.shortString() : std::nullopt;
    if (!uin) {
        return std::nullopt;
    }
    IcbmHead head;
    std::copy(cookie->begin(), cookie->end(), head.cookie.begin());
    head.channel = *channel;
    head.uin = *uin;
    head.rest = r.rest();
    return head;
}

std::optional<IncomingIcbm> parseIncomingIcbm(ByteView body) {
    auto head = parseIcbmHead(body);
    if (!head) {
        return std::nullopt;
    }
    ByteReader r(head->rest);
    auto warning = r.u16be();
    auto count = warning ? r.u16be() : std::nullopt;
    auto userInfo = count ? readTlvs(r, *count) : std::nullopt;
    auto tlvs = userInfo ? parseTlvs(r.rest()) : std::nullopt;
    if (!tlvs) {
        return std::nullopt;
    }
    return IncomingIcbm{*head, *warning, *userInfo, *tlvs};
}

ByteWriter& writeIcbmHead(ByteWriter& w, const Cookie& cookie, std::uint16_t channel,
                          std::string_view uin) {
    return w.bytes(cookie).u16be(channel).shortString(uin);
}

Bytes buildOutgoingMessage(const Cookie& cookie, std::string_view toUin, std::string_view text,
                           bool wantAck) {
    const std::string_view kept = text.substr(0, 0xFF00);
    ByteWriter data;
    data.u8(kFragmentCaps).u8(1).u16be(1).u8(1);
    data.u8(kFragmentText).u8(1).u16be(static_cast<std::uint16_t>(4 + kept.size()));
    data.u16be(0).u16be(0).text(kept);
    ByteWriter w;
    writeIcbmHead(w, cookie, 1, toUin).tlv(kTlvMessageData, data.data());
    if (wantAck) {
        w.u16be(kTlvAckRequest).u16be(0);
    }
    return w.take();
}

Bytes buildIncomingMessage(const Cookie& cookie, std::uint16_t channel, std::string_view fromUin,
                           const std::vector<Tlv>& tlvs) {
    ByteWriter w;
    writeIcbmHead(w, cookie, channel, fromUin).u16be(0).u16be(2);
    w.tlvU16(kTlvUserClass, kClassIcq).tlvU32(kTlvUserStatus, 0);
    for (const Tlv& tlv : tlvs) {
        w.tlv(tlv.type, tlv.value);
    }
    return w.take();
}

std::optional<std::string> channel1Text(ByteView messageData) {
    ByteReader r(messageData);
    std::string text;
    while (r.remaining() > 0) {
        auto id = r.u8();
        auto version = r.u8();
        auto length = version ? r.u16be() : std::nullopt;
        auto fragment = length ? r.bytes(*length) : std::nullopt;
        if (!fragment) {
            return std::nullopt;
        }
        if (*id == kFragmentText && fragment->size() >= 4) {
            text.append(fragment->begin() + 4, fragment->end());
        }
    }
    return text;
}

std::optional<Channel4Message> parseChannel4(ByteView block) {
    ByteReader r(block);
    auto sender = r.u32le();
    auto type = sender ? r.u8() : std::nullopt;
    auto flags = type ? r.u8() : std::nullopt;
    auto length = flags ? r.u16le() : std::nullopt;
    auto text = length ? r.bytes(*length) : std::nullopt;
    if (!text) {
        return std::nullopt;
    }
    std::string s(text->begin(), text->end());
    if (!s.empty() && s.back() == '\0') {
        s.pop_back();
    }
    return Channel4Message{*sender, *type, *flags, s};
}

}  // namespace oscar
