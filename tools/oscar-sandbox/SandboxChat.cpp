// The chat server's side of a session: the sign-on with the cookie from the
// login server, the start-up exchange (01-03, 01-17/01-18, 01-06/01-07,
// 01-0E/01-0F, 01-02) and empty but well-formed answers to the usual rights
// and list queries.
#include <algorithm>
#include <array>
#include <cstdio>

#include "tools/oscar-sandbox/Sandbox.h"
#include "tools/oscar-wire/MetaReply.h"
#include "tools/oscar-wire/Tlv.h"

namespace {

constexpr std::uint16_t kTlvCookie = 0x0006;
constexpr std::array<std::uint16_t, 7> kFamilies{0x0001, 0x0002, 0x0003, 0x0004,
                                                 0x0009, 0x0013, 0x0015};

// A query whose answer carries nothing the client must have.
struct Query {
    std::uint16_t family;
    std::uint16_t subtype;
    std::uint16_t reply;
};
constexpr std::array<Query, 7> kEmptyAnswers{{
    {0x0002, 0x02, 0x03},  // location rights: no TLVs
    {0x0003, 0x02, 0x03},  // buddy list rights: no TLVs
    {0x0009, 0x02, 0x03},  // privacy rights: no TLVs
    {0x0013, 0x02, 0x03},  // server-side list rights: no TLVs
    {0x0004, 0x04, 0x05},  // ICBM parameters
    {0x0013, 0x04, 0x06},  // server-side list request: an empty list
    {0x0013, 0x05, 0x06},  // server-side list check: an empty list
}};

std::string snacText(const oscar::Snac& snac) {
    char name[24];
    std::snprintf(name, sizeof name, "%02X-%02X", snac.family, snac.subtype);
    return name;
}

oscar::Bytes emptyAnswer(const Query& q) {
    oscar::ByteWriter w;
    if (q.family == 0x0004) {
        // Channel 2, flags 3, at most 512 bytes, warning levels 999, no interval.
        w.u16be(0x0002).u32be(3).u16be(512).u16be(999).u16be(999).u32be(0);
    } else if (q.reply == 0x06) {
        w.u8(0).u16be(0).u32be(0);  // list version, item count, time stamp
    }
    return w.take();
}

oscar::Bytes selfInfo(const std::string& uin) {
    oscar::ByteWriter w;
    w.shortString(uin).u16be(0).u16be(3);
    w.tlvU16(0x0001, 0x0050).tlvU32(0x0006, 0).tlvU32(0x000A, 0x7F000001);
    return w.take();
}

}  // namespace

void Sandbox::onChatFrame(Conn& c, const oscar::FlapFrame& frame) {
    if (!c.signedOn) {
        chatSignOn(c, frame);
    } else if (frame.channel == oscar::kChannelSignOff) {
        closeConn(c, "chat: " + c.uin + " signed off");
    } else if (frame.channel == oscar::kChannelSnac) {
        auto snac = oscar::parseSnac(frame.data);
        if (snac) {
            onChatSnac(c, *snac);
        } else {
            say("chat: frame without a SNAC header from " + c.uin + " ignored");
        }
    }
}

void Sandbox::chatSignOn(Conn& c, const oscar::FlapFrame& frame) {
    oscar::ByteReader r(frame.data);
    auto hello = r.bytes(oscar::kHello.size());
    if (frame.channel != oscar::kChannelSignOn || !hello ||
        !std::equal(hello->begin(), hello->end(), oscar::kHello.begin())) {
        closeConn(c, "chat: " + c.peer + " did not start with a hello, closed");
        return;
    }
    auto tlvs = oscar::parseTlvs(r.rest());
    auto cookie = tlvs ? oscar::findTlv(*tlvs, kTlvCookie) : std::nullopt;
    const std::string uin = cookie ? uinOfCookie(*cookie) : "";
    if (uin.empty()) {
        closeConn(c, "chat: " + c.peer + " signed on with an unknown cookie, closed");
        return;
    }
    if (Conn* older = findSignedOn(uin)) {
        closeConn(*older, "chat: " + uin + " signed on again, the older session is closed");
    }
    c.uin = uin;
    c.signedOn = true;
    oscar::ByteWriter families;
    for (std::uint16_t f : kFamilies) {
        families.u16be(f);
    }
    sendSnac(c, 0x0001, 0x03, 0, families.data());
    say("chat: " + uin + " signed on from " + c.peer + ", 01-03 sent");
}

void Sandbox::onChatSnac(Conn& c, const oscar::Snac& snac) {
    const std::string from = " from " + c.uin;
    if (snac.family == 0x0004 && snac.subtype == 0x06) {
        relayMessage(c, snac);
    } else if (snac.family == 0x0004 && (snac.subtype == 0x0B || snac.subtype == 0x14)) {
        relayNotice(c, snac);
    } else if (snac.family == 0x0001 && snac.subtype == 0x17) {
        // The versions asked for are granted as they are.
        const auto granted = snac.body.first(snac.body.size() & ~std::size_t{3});
        sendSnac(c, 0x0001, 0x18, snac.requestId, granted);
        say("chat: 01-17" + from + ", 01-18 sent");
    } else if (snac.family == 0x0001 && snac.subtype == 0x06) {
        oscar::ByteWriter none;
        none.u16be(0);  // no rate classes
        sendSnac(c, 0x0001, 0x07, snac.requestId, none.data());
        say("chat: 01-06" + from + ", 01-07 sent (no rate classes)");
    } else if (snac.family == 0x0001 && snac.subtype == 0x08) {
        say("chat: 01-08" + from + " (rate classes acknowledged)");
    } else if (snac.family == 0x0001 && snac.subtype == 0x0E) {
        sendSnac(c, 0x0001, 0x0F, snac.requestId, selfInfo(c.uin));
        say("chat: 01-0E" + from + ", 01-0F sent");
    } else if (snac.family == 0x0001 && snac.subtype == 0x02) {
        say("chat: 01-02" + from + ", " + c.uin + " online");
    } else if (snac.family == 0x0015 && snac.subtype == 0x02) {
        answerMeta(c, snac);
    } else if (!answerQuery(c, snac)) {
        say("chat: " + snacText(snac) + from + " not handled");
    }
}

bool Sandbox::answerQuery(Conn& c, const oscar::Snac& snac) {
    for (const Query& q : kEmptyAnswers) {
        if (q.family == snac.family && q.subtype == snac.subtype) {
            const oscar::Snac reply{q.family, q.reply, 0, 0, {}};
            sendSnac(c, q.family, q.reply, snac.requestId, emptyAnswer(q));
            say("chat: " + snacText(snac) + " from " + c.uin + ", " + snacText(reply) + " sent");
            return true;
        }
    }
    return false;
}

void Sandbox::answerMeta(Conn& c, const oscar::Snac& snac) {
    auto chunk = oscar::parseMetaChunk(snac.body);
    if (!chunk || chunk->type != oscar::kMetaOfflineRequest) {
        say("chat: 15-02" + std::string(chunk ? "" : " (malformed)") + " from " + c.uin +
            " not handled");
        return;
    }
    sendSnac(c, 0x0015, 0x03, snac.requestId, oscar::buildOfflineDone(chunk->ownerUin, chunk->seq));
    say("chat: 15-02 offline messages request from " + c.uin + ", 15-03 sent (none stored)");
}
