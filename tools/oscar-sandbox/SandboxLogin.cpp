// The login server: hello, 17-06 (key request) -> 17-07 (key), 17-02 (sign-on
// with any password) -> 17-03 with the UIN, the chat server's address and a
// fresh cookie, then the connection is closed. The classic sign-on (a
// channel-1 frame: the hello, then TLVs with the UIN and the roasted
// password, which is not checked) gets the same TLVs on channel 4.
#include "tools/oscar-sandbox/Sandbox.h"
#include "tools/oscar-wire/Hex.h"
#include "tools/oscar-wire/Tlv.h"

namespace {

constexpr std::uint16_t kFamilyLogin = 0x0017;
constexpr std::uint16_t kTlvUin = 0x0001;
constexpr std::uint16_t kTlvRedirect = 0x0005;
constexpr std::uint16_t kTlvCookie = 0x0006;
constexpr std::uint16_t kTlvErrorUrl = 0x0004;
constexpr std::uint16_t kTlvError = 0x0008;
constexpr std::uint16_t kErrorBadName = 0x0004;  // invalid screen name
constexpr std::size_t kCookieBytes = 64;

std::string uinTlv(oscar::ByteView body) {
    auto tlvs = oscar::parseTlvs(body);
    auto uin = tlvs ? oscar::findTlv(*tlvs, kTlvUin) : std::nullopt;
    return uin ? std::string(uin->begin(), uin->end()) : std::string();
}

}  // namespace

void Sandbox::onLoginFrame(Conn& c, const oscar::FlapFrame& frame) {
    if (frame.channel == oscar::kChannelSignOn) {
        if (frame.data.size() > oscar::kHello.size()) {
            classicSignOn(c, frame.data.subspan(oscar::kHello.size()));
        } else {
            say("login: hello from " + c.peer);
        }
        return;
    }
    if (frame.channel == oscar::kChannelSignOff) {
        closeConn(c, "login: " + c.peer + " signed off, closed");
        return;
    }
    if (frame.channel != oscar::kChannelSnac) {
        return;  // keep-alive
    }
    auto snac = oscar::parseSnac(frame.data);
    if (snac && snac->family == kFamilyLogin && snac->subtype == 0x06) {
        sendKey(c, *snac);
    } else if (snac && snac->family == kFamilyLogin && snac->subtype == 0x02) {
        signOn(c, *snac);
    } else {
        say("login: " + (snac ? oscar::snacName(frame) : std::string("frame")) + " from " + c.peer +
            " ignored");
    }
}

void Sandbox::sendKey(Conn& c, const oscar::Snac& snac) {
    c.uin = uinTlv(snac.body);
    const std::string key = std::to_string(100000000 + random_() % 900000000);
    oscar::ByteWriter body;
    body.u16be(static_cast<std::uint16_t>(key.size())).text(key);
    sendSnac(c, kFamilyLogin, 0x07, snac.requestId, body.data());
    say("login: 17-06 from " + (c.uin.empty() ? c.peer : c.uin) + ", key sent");
}

void Sandbox::signOn(Conn& c, const oscar::Snac& snac) {
    const std::string named = uinTlv(snac.body);
    const std::string uin = named.empty() ? c.uin : named;
    c.closeWhenSent = true;
    if (uin.empty()) {
        oscar::ByteWriter body;
        body.tlvU16(kTlvError, kErrorBadName);
        sendSnac(c, kFamilyLogin, 0x03, snac.requestId, body.data());
        say("login: 17-02 from " + c.peer + " without a UIN, error sent");
        return;
    }
    sendSnac(c, kFamilyLogin, 0x03, snac.requestId, admit(uin, ""));
}

void Sandbox::classicSignOn(Conn& c, oscar::ByteView tlvs) {
    const std::string uin = uinTlv(tlvs);
    c.closeWhenSent = true;
    if (uin.empty()) {
        oscar::ByteWriter body;
        body.tlv(kTlvErrorUrl, "http://127.0.0.1/").tlvU16(kTlvError, kErrorBadName);
        send(c, oscar::kChannelSignOff, body.data());
        say("login: classic sign-on from " + c.peer + " without a UIN, error sent");
        return;
    }
    send(c, oscar::kChannelSignOff, admit(uin, " (classic)"));
}

oscar::Bytes Sandbox::admit(const std::string& uin, const std::string& how) {
    oscar::Bytes cookie(kCookieBytes);
    for (auto& b : cookie) {
        b = static_cast<std::uint8_t>(random_());
    }
    cookies_[uin] = cookie;
    const std::string redirect = "127.0.0.1:" + std::to_string(chatPort());
    oscar::ByteWriter body;
    body.tlv(kTlvUin, uin).tlv(kTlvRedirect, redirect).tlv(kTlvCookie, cookie);
    say("login: " + uin + " signed on" + how + ", cookie " +
        oscar::hex(oscar::ByteView(cookie).first(8)) + "..., redirect to " + redirect);
    return body.take();
}

std::string Sandbox::uinOfCookie(oscar::ByteView cookie) const {
    for (const auto& [uin, known] : cookies_) {
        if (std::equal(known.begin(), known.end(), cookie.begin(), cookie.end())) {
            return uin;
        }
    }
    return "";
}
