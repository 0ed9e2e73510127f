// Reads the login traffic: the UIN from the client's login request and the
// chat-server redirect from the server's reply, which is rewritten to point
// at the proxy's own chat listener.
#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "proxy/core/Form1.h"
#include "proxy/core/OscarWire.h"
#include "proxy/core/PortText.h"
#include "proxy/net/HexStrBin.h"

namespace {

using ConstBytes = std::span<const std::uint8_t>;

constexpr std::size_t kUinLenAt = 18;  // first TLV's length in a 17-06 request
constexpr std::size_t kUinValueAt = 20;
constexpr std::int64_t kDefaultChatPort = 5190;
constexpr std::size_t kFlapData = FLAP_HEADER_SIZE;  // where the data starts

std::uint16_t be16(ConstBytes f, std::size_t at) {
    if (at + 2 > f.size()) {
        throw std::out_of_range("16-bit field outside the frame");
    }
    return static_cast<std::uint16_t>(f[at] * 256 + f[at + 1]);
}

void putBe16(std::span<std::uint8_t> f, std::size_t at, std::size_t value) {
    if (at + 2 > f.size()) {
        throw std::out_of_range("16-bit field outside the buffer");
    }
    f[at] = static_cast<std::uint8_t>(value / 256 % 256);
    f[at + 1] = static_cast<std::uint8_t>(value % 256);
}

bool snacIs(ConstBytes f, std::uint16_t family, std::uint16_t subtype) {
    return be16(f, SNAC_FAMILY_AT) == family && be16(f, SNAC_SUBTYPE_AT) == subtype;
}

bool onChannel(ConstBytes f, std::uint8_t channel) {
    return f.size() >= kFlapData && f[0] == FLAP_MARKER && f[1] == channel;
}

// A value's length cut at the frame's end.
std::size_t valueLength(ConstBytes f, std::size_t valueAt, std::size_t declared) {
    return valueAt >= f.size() ? 0 : std::min(declared, f.size() - valueAt);
}

struct Tlv {
    std::size_t off;  // start of the TLV header
    std::size_t len;  // value length, cut at the frame's end
};

// What a TLV walk makes of a TLV whose value runs past the frame: the SNAC
// replies have always had the value cut at the frame's end; the classic
// forms, known by their channel alone, count only whole TLVs.
enum class Walk { cutAtEnd, wholeOnly };

// The first TLV of type `wanted` from `off` on, reading only TLV headers
// that lie inside the frame.
std::optional<Tlv> findTlv(ConstBytes f, std::size_t off, std::uint16_t wanted, Walk walk) {
    while (off + 4 <= f.size()) {
        const std::uint16_t type = be16(f, off);
        const std::size_t len = be16(f, off + 2);
        if (walk == Walk::wholeOnly && off + 4 + len > f.size()) {
            return std::nullopt;
        }
        if (type == wanted) {
            return Tlv{off, valueLength(f, off + 4, len)};
        }
        off += 4 + len;
    }
    return std::nullopt;
}

// The UIN of a classic login: TLV 1 after the FLAP version. The bare
// version, the hello of every other sign-on, holds none.
std::optional<Tlv> classicLoginUin(ConstBytes f) {
    const std::size_t tlvsAt = kFlapData + FLAP_VERSION.size();
    if (!onChannel(f, FLAP_CHANNEL_SIGN_ON) || f.size() < tlvsAt ||
        !std::equal(FLAP_VERSION.begin(), FLAP_VERSION.end(), f.begin() + kFlapData)) {
        return std::nullopt;
    }
    return findTlv(f, tlvsAt, TLV_UIN, Walk::wholeOnly);
}

// A login reply: the line that names its form, and its chat-server
// address when it holds one.
struct LoginReply {
    const char* detected;
    std::optional<Tlv> redirect;
};

// The SNAC forms of the login reply, by where their TLVs start (in the
// 00 8E 00 01 form one more byte comes before them).
struct SnacReply {
    std::uint16_t family;
    std::uint16_t subtype;
    std::size_t walkStart;
    const char* detected;
};
constexpr std::array<SnacReply, 2> kSnacReplies{{
    {SNAC_FAMILY_URL2, SNAC_URL2_REPLY, 11, "SNAC 8E-01 (URL2) detected"},
    {SNAC_FAMILY_LOGIN, SNAC_LOGIN_REPLY, 16, "SNAC 17-03 (URL) detected"},
}};

// Nothing when the frame is no login reply. A channel-4 frame without a
// chat-server address (an error reply, a sign-off) is no classic reply.
std::optional<LoginReply> findLoginReply(ConstBytes f) {
    for (const SnacReply& form : kSnacReplies) {
        if (f.size() > 9 && snacIs(f, form.family, form.subtype)) {
            return LoginReply{form.detected,
                              findTlv(f, form.walkStart, TLV_REDIRECT, Walk::cutAtEnd)};
        }
    }
    if (onChannel(f, FLAP_CHANNEL_SIGN_OFF)) {
        if (const std::optional<Tlv> tlv = findTlv(f, kFlapData, TLV_REDIRECT, Walk::wholeOnly)) {
            return LoginReply{"FLAP channel 4 reply (URL) detected", tlv};
        }
    }
    return std::nullopt;
}

// The chat server named by a redirect: host:port, the port 5190 unless a
// colon after the first character names one.
struct Target {
    std::string host;
    std::string portText;
    std::int64_t port;
};

Target parseTarget(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) {
        return Target{text, "", kDefaultChatPort};
    }
    std::string portText = text.substr(colon + 1);
    const std::int64_t port = leadingNumber(portText);
    return Target{text.substr(0, colon), std::move(portText), port};
}

std::int32_t i32(std::size_t v) {
    return static_cast<std::int32_t>(v);
}

}  // namespace

void Form1::captureUin(std::span<const std::uint8_t> frame) {
    const Handler handler(*this);
    if (frame.size() > 9 && snacIs(frame, SNAC_FAMILY_LOGIN, SNAC_LOGIN_REQUEST)) {
        LogLine("SNAC 17-06 (UIN) detected");
        // The first TLV is the UIN, whatever its type.
        const std::size_t declared = frame.size() >= kUinValueAt ? be16(frame, kUinLenAt) : 0;
        takeUin(frame, kUinValueAt, valueLength(frame, kUinValueAt, declared));
    } else if (const std::optional<Tlv> uin = classicLoginUin(frame)) {
        LogLine("FLAP channel 1 login (UIN) detected");
        takeUin(frame, uin->off + 4, uin->len);
    }
}

void Form1::takeUin(std::span<const std::uint8_t> frame, std::size_t valueAt, std::size_t n) {
    acting().ownUin = int32FromText(BinToStr(frame, i32(valueAt), i32(n), true));
    PlugInit();
    chooserStale_ = true;  // the chooser names the session by its UIN now
}

bool Form1::rewriteRedirect(std::span<const std::uint8_t> frame) {
    const Handler handler(*this);  // the rewritten reply leaves before it returns
    Session& s = acting();
    const std::optional<LoginReply> reply = findLoginReply(frame);
    if (!reply) {
        return false;
    }
    LogLine(reply->detected);
    if (!reply->redirect) {
        return false;
    }
    const auto [off, len] = *reply->redirect;

    const Target target = parseTarget(BinToStr(frame, i32(off + 4), i32(len), true));
    // Kept for the chat connect even if a later step fails, and shown.
    s.chatServerHost = target.host;
    s.chatServerPort = std::to_string(target.port);
    ctl.Text6 = s.chatServerHost;
    ctl.Text5 = s.chatServerPort;
    chooserStale_ = true;  // while several run, the chosen session is shown instead
    if (target.port < 0 || target.port > 65535) {
        LogLine("Invalid port " + target.portText);
        return false;
    }

    const std::optional<std::uint16_t> chatPort = listenerPort(SLOT_CHAT_LISTENER);
    if (!chatPort) {
        return false;
    }
    // While another session's redirect holds HostChatPort, this one gets a
    // listener of its own where the system chooses, and its redirect names it.
    const bool own = chatPortHeld(s, *chatPort);
    std::uint16_t port = *chatPort;
    if (own && !openChatListener(s, 0, port)) {
        return false;
    }
    std::size_t newTotal = 0;
    if (!buildRedirect(frame, off, len, ctl.Text7 + ":" + std::to_string(port), newTotal)) {
        Sok_close(s.sockets[SLOT_CHAT_LISTENER]);
        return false;
    }
    if (!own && !openChatListener(s, port, port)) {
        return false;
    }
    LogLine("Found and removed redirect to " + target.host + ":" + std::to_string(target.port));
    LogLine("Await client-chat connect at " + ctl.Text7 + ":" + std::to_string(port));
    sendUnit(s, SLOT_CLIENT_LOGIN, std::span<const std::uint8_t>(redirectFrame.data(), newTotal),
             "client-login");
    s.chatListenSince = clock_.tickCount();
    s.chatMode = CHAT_AWAIT_CLIENT;
    return true;
}

bool Form1::chatPortHeld(const Session& s, std::uint16_t port) const {
    for (const std::unique_ptr<Session>& other : sessions_) {
        std::string ip;
        std::uint16_t at = 0;
        if (other.get() != &s && other->chatMode == CHAT_AWAIT_CLIENT &&
            Sok_name(other->sockets[SLOT_CHAT_LISTENER], ip, at) == 0 && at == port) {
            return true;
        }
    }
    return false;
}

bool Form1::openChatListener(Session& s, std::uint16_t port, std::uint16_t& bound) {
    if (bindListener(s, SLOT_CHAT_LISTENER, ctl.Text7, port) != 0) {
        return false;
    }
    opened(s, SLOT_CHAT_LISTENER);
    std::string ip;
    if (const int c = Sok_listen(s.sockets[SLOT_CHAT_LISTENER]);
        c != 0 || Sok_name(s.sockets[SLOT_CHAT_LISTENER], ip, bound) != 0) {
        LogLine("Socket listen failed with " + std::to_string(c) + "!");
        cannotListen(SLOT_CHAT_LISTENER, ctl.Text7, port);
        Sok_close(s.sockets[SLOT_CHAT_LISTENER]);  // nothing will accept on it
        return false;
    }
    solved(SLOT_CHAT_LISTENER);
    return true;
}

bool Form1::buildRedirect(std::span<const std::uint8_t> frame, std::size_t off, std::size_t len,
                          const std::string& value, std::size_t& newTotal) {
    const std::size_t tailFrom = off + 4 + len;
    newTotal = tailFrom - len + value.size() + (frame.size() - tailFrom);
    if (newTotal > redirectFrame.size()) {
        LogLine("Rewritten login reply of " + std::to_string(newTotal) +
                " bytes is too large, passed unchanged");
        return false;
    }
    // Everything before the TLV's length field, the new length and value,
    // then everything after the old TLV; finally the FLAP length.
    std::copy(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(off + 2),
              redirectFrame.begin());
    putBe16(redirectFrame, off + 2, value.size());
    StrToBin(redirectFrame, i32(off + 4), -1, value, 0);
    std::copy(frame.begin() + static_cast<std::ptrdiff_t>(tailFrom), frame.end(),
              redirectFrame.begin() + static_cast<std::ptrdiff_t>(off + 4 + value.size()));
    putBe16(redirectFrame, FLAP_LENGTH_AT, newTotal - kFlapData);
    return true;
}
