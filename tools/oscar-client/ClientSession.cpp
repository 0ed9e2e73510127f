#include "tools/oscar-client/ClientSession.h"

#include <array>
#include <cstdio>
#include <utility>

#include "tools/oscar-client/Incoming.h"
#include "tools/oscar-wire/Md5.h"
#include "tools/oscar-wire/Tlv.h"

namespace {

constexpr const char* kClientId = "ICQ Inc. - Product of ICQ (TM).2003b.5.56.1.3916.85";
constexpr std::string_view kDigestSalt = "AOL Instant Messenger (SM)";
// The classic sign-on sends the password XORed with this table, repeated.
constexpr std::array<std::uint8_t, 16> kRoast{0xF3, 0x26, 0x81, 0xC4, 0x39, 0x86, 0xDB, 0x92,
                                              0x71, 0xA3, 0xB9, 0xE6, 0x53, 0x7A, 0x95, 0x7C};

oscar::Bytes bytesOf(std::string_view text) {
    return oscar::Bytes(text.begin(), text.end());
}

oscar::Bytes roasted(std::string_view password) {
    oscar::Bytes out = bytesOf(password);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] ^= kRoast[i % kRoast.size()];
    }
    return out;
}

}  // namespace

ClientSession::ClientSession(ClientOptions options, Say say)
    : options_(std::move(options)), say_(std::move(say)), random_(std::random_device{}()) {}

bool ClientSession::fail(const std::string& why) {
    say_("failed: " + why);
    return false;
}

void ClientSession::report(const ReceivedFrame& frame) {
    ++frames_;
    const Incoming incoming = describeIncoming(frame.channel, frame.data);
    for (const std::string& line : incoming.lines) {
        say_(line);
    }
    messages_ += incoming.messages;
}

std::optional<ReceivedFrame> ClientSession::awaitFrame(Link& link) {
    auto frame = link.next(Clock::now() + std::chrono::milliseconds(options_.stepTimeoutMs));
    if (frame) {
        report(*frame);
    } else if (!link.closed()) {
        say_(link.name() + ": no frame within " + std::to_string(options_.stepTimeoutMs) + " ms");
    }
    return frame;
}

std::optional<ReceivedFrame> ClientSession::await(Link& link, std::uint16_t family,
                                                  std::uint16_t subtype) {
    for (;;) {
        auto frame = awaitFrame(link);
        if (!frame || frame->channel == oscar::kChannelSignOff) {
            return std::nullopt;
        }
        if (frame->is(family, subtype)) {
            return frame;
        }
    }
}

bool ClientSession::signOn() {
    auto redirect = login();
    return redirect && startChat(*redirect);
}

std::optional<ClientSession::Redirect> ClientSession::login() {
    std::string error;
    auto fd = oscar::connectTcp(options_.loginHost, options_.loginPort, kConnectTimeoutMs, error);
    if (!fd) {
        fail("cannot connect to the login server " + options_.loginHost + ":" +
             std::to_string(options_.loginPort) + ": " + error);
        return std::nullopt;
    }
    say_("login: connected to " + options_.loginHost + ":" + std::to_string(options_.loginPort));
    Link link("login", std::move(*fd), say_, static_cast<std::uint16_t>(random_() & 0x7FFF));
    auto hello = awaitFrame(link);
    if (!hello || hello->channel != oscar::kChannelSignOn) {
        fail("the login server sent no hello");
        return std::nullopt;
    }
    auto reply = options_.classic ? classicSignOn(link) : keySignOn(link);
    if (!reply) {
        return std::nullopt;
    }
    return readRedirect(*reply);
}

std::optional<oscar::Bytes> ClientSession::keySignOn(Link& link) {
    auto key = requestKey(link);
    if (!key) {
        return std::nullopt;
    }
    oscar::Bytes salted = *key;
    const auto passwordDigest = oscar::md5(bytesOf(options_.password));
    salted.insert(salted.end(), passwordDigest.begin(), passwordDigest.end());
    salted.insert(salted.end(), kDigestSalt.begin(), kDigestSalt.end());
    oscar::ByteWriter body;
    body.tlv(0x0001, options_.uin).tlv(0x0025, oscar::md5(salted)).tlv(0x004C, "");
    body.tlv(0x0003, kClientId).tlvU16(0x0016, 0x010A).tlv(0x000E, "us").tlv(0x000F, "en");
    link.sendSnac(0x0017, 0x02, nextRequest(), body.data());
    auto reply = await(link, 0x0017, 0x03);
    auto snac = reply ? reply->snac() : std::nullopt;
    if (!snac) {
        fail("no sign-on reply (17-03)");
        return std::nullopt;
    }
    return oscar::Bytes(snac->body.begin(), snac->body.end());
}

std::optional<oscar::Bytes> ClientSession::classicSignOn(Link& link) {
    oscar::ByteWriter data;
    data.bytes(oscar::kHello).tlv(0x0001, options_.uin).tlv(0x0002, roasted(options_.password));
    data.tlv(0x0003, kClientId).tlvU16(0x0016, 0x010A).tlvU16(0x0017, 5).tlvU16(0x0018, 56);
    data.tlvU16(0x0019, 1).tlvU16(0x001A, 3916).tlvU32(0x0014, 85);
    data.tlv(0x000F, "en").tlv(0x000E, "us");
    link.send(oscar::kChannelSignOn, data.data());
    for (;;) {
        auto frame = awaitFrame(link);
        if (!frame) {
            fail("no sign-on reply (channel 4)");
            return std::nullopt;
        }
        if (frame->channel == oscar::kChannelSignOff) {
            return frame->data;
        }
    }
}

std::optional<oscar::Bytes> ClientSession::requestKey(Link& link) {
    link.send(oscar::kChannelSignOn, oscar::kHello);
    oscar::ByteWriter body;
    body.tlv(0x0001, options_.uin).tlv(0x004B, "").tlv(0x005A, "");
    link.sendSnac(0x0017, 0x06, nextRequest(), body.data());
    auto reply = await(link, 0x0017, 0x07);
    auto snac = reply ? reply->snac() : std::nullopt;
    oscar::ByteReader r(snac ? snac->body : oscar::ByteView());
    auto length = r.u16be();
    auto key = length ? r.bytes(*length) : std::nullopt;
    if (!key) {
        fail("no key (17-07) from the login server");
        return std::nullopt;
    }
    say_("login: key received");
    return oscar::Bytes(key->begin(), key->end());
}

std::optional<ClientSession::Redirect> ClientSession::readRedirect(oscar::ByteView reply) {
    auto tlvs = oscar::parseTlvs(reply);
    if (!tlvs) {
        fail("malformed sign-on reply");
        return std::nullopt;
    }
    if (auto code = oscar::findTlv(*tlvs, 0x0008)) {
        oscar::ByteReader r(*code);
        auto n = r.u16be();
        fail("sign-on refused with error " + (n ? std::to_string(*n) : std::string("?")));
        return std::nullopt;
    }
    auto address = oscar::findTlv(*tlvs, 0x0005);
    auto cookie = oscar::findTlv(*tlvs, 0x0006);
    Redirect redirect;
    const std::string text = address ? std::string(address->begin(), address->end()) : "";
    if (!cookie || !oscar::parseHostPort(text, redirect.host, redirect.port)) {
        fail("the sign-on reply has no usable redirect (\"" + printable(text) + "\") or cookie");
        return std::nullopt;
    }
    redirect.cookie.assign(cookie->begin(), cookie->end());
    say_("login: redirect to " + text + ", cookie of " + std::to_string(redirect.cookie.size()) +
         " bytes");
    return redirect;
}
