#include "tools/oscar-client/Incoming.h"

#include <cstdio>

#include "tools/oscar-wire/Flap.h"
#include "tools/oscar-wire/Hex.h"
#include "tools/oscar-wire/Icbm.h"
#include "tools/oscar-wire/MetaReply.h"
#include "tools/oscar-wire/Tlv.h"

namespace {

void message(Incoming& out, oscar::ByteView body) {
    auto icbm = oscar::parseIncomingIcbm(body);
    if (!icbm) {
        out.lines.push_back("message: malformed 4/7");
        return;
    }
    const std::string from =
        "message from " + icbm->head.uin + " on channel " + std::to_string(icbm->head.channel);
    auto data = oscar::findTlv(icbm->tlvs, icbm->head.channel == 4 ? 0x0005 : 0x0002);
    if (icbm->head.channel == 1 && data) {
        auto text = oscar::channel1Text(*data);
        out.lines.push_back(from + ": " + (text ? printable(*text) : "(malformed text)"));
    } else if (icbm->head.channel == 4 && data) {
        auto m = oscar::parseChannel4(*data);
        out.lines.push_back(m ? from + " (type " + std::to_string(m->type) + ", sender " +
                                    std::to_string(m->senderUin) + "): " + printable(m->text)
                              : from + ": (malformed channel-4 block)");
    } else {
        out.lines.push_back(from + ": (no text)");
    }
    ++out.messages;
}

void offline(Incoming& out, oscar::ByteView body) {
    auto chunk = oscar::parseMetaChunk(body);
    if (!chunk) {
        out.lines.push_back("offline message: malformed 15/3");
        return;
    }
    if (chunk->type == oscar::kMetaOfflineDone) {
        out.lines.push_back("offline messages: none left");
        return;
    }
    auto m = chunk->type == oscar::kMetaOfflineMessage ? oscar::parseOfflineMessage(chunk->data)
                                                       : std::nullopt;
    if (!m) {
        return;
    }
    char date[64];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u UTC", m->year, m->month, m->day,
                  m->hour, m->minute);
    out.lines.push_back("offline message from " + std::to_string(m->senderUin) + " dated " + date +
                        " (type " + std::to_string(m->type) + "): " + printable(m->text));
    ++out.messages;
}

void family4(Incoming& out, const oscar::Snac& snac) {
    if (snac.subtype == 0x07) {
        message(out, snac.body);
        return;
    }
    if (snac.subtype == 0x01) {
        oscar::ByteReader r(snac.body);
        auto code = r.u16be();
        out.lines.push_back("error: 4/01 code " + (code ? std::to_string(*code) : "?"));
        return;
    }
    auto head = oscar::parseIcbmHead(snac.body);
    if (head && snac.subtype == 0x0C) {
        out.lines.push_back("ack: server ack for the message to " + head->uin + " (cookie " +
                            oscar::hex(head->cookie) + ")");
    } else if (head && snac.subtype == 0x0B) {
        out.lines.push_back("ack: client ack from " + head->uin + " (cookie " +
                            oscar::hex(head->cookie) + ")");
    }
}

}  // namespace

std::string printable(const std::string& text) {
    std::string out;
    char escaped[5];
    for (unsigned char ch : text) {
        if (ch < 0x20 || ch >= 0x7F || ch == '\\') {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", ch);
            out += escaped;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out;
}

Incoming describeIncoming(std::uint8_t channel, oscar::ByteView data) {
    Incoming out;
    if (channel == oscar::kChannelSignOff) {
        // The classic sign-on's reply comes on the sign-off channel too; it
        // is the one that carries a chat-server address.
        auto tlvs = oscar::parseTlvs(data);
        const bool reply = tlvs && oscar::findTlv(*tlvs, 0x0005);
        out.lines.push_back(reply ? "sign-on reply on channel 4" : "signed off by the server");
        return out;
    }
    auto snac = channel == oscar::kChannelSnac ? oscar::parseSnac(data) : std::nullopt;
    if (snac && snac->family == 0x0004) {
        family4(out, *snac);
    } else if (snac && snac->family == 0x0015 && snac->subtype == 0x03) {
        offline(out, snac->body);
    }
    return out;
}
