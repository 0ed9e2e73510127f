// Instant messages between the clients signed on at the same time: a 4/6
// becomes a 4/7 for its recipient, and a sender that asks with TLV 3 gets the
// server ack 4/0C unless acks are withheld for that recipient.
#include "tools/oscar-sandbox/Sandbox.h"
#include "tools/oscar-wire/Icbm.h"
#include "tools/oscar-wire/Tlv.h"

namespace {

constexpr std::uint16_t kTlvAckRequest = 0x0003;
constexpr std::uint16_t kTlvStoreOffline = 0x0006;
constexpr std::uint16_t kErrorNotLoggedOn = 0x0004;

}  // namespace

void Sandbox::relayMessage(Conn& from, const oscar::Snac& snac) {
    auto head = oscar::parseIcbmHead(snac.body);
    auto tlvs = head ? oscar::parseTlvs(head->rest) : std::nullopt;
    if (!tlvs) {
        say("chat: malformed 4/6 from " + from.uin + " ignored");
        return;
    }
    const bool wantAck = oscar::findTlv(*tlvs, kTlvAckRequest).has_value();
    const std::string line = "chat: 4/6 from " + from.uin + " to " + head->uin + " (channel " +
                             std::to_string(head->channel) + ")";
    Conn* to = findSignedOn(head->uin);
    if (to == nullptr) {
        oscar::ByteWriter error;
        error.u16be(kErrorNotLoggedOn);
        sendSnac(from, 0x0004, 0x01, snac.requestId, error.data());
        say(line + ", " + head->uin + " not signed on, error 4/01 sent, no ack");
        return;
    }
    std::vector<oscar::Tlv> passed;
    for (const oscar::Tlv& tlv : *tlvs) {
        if (tlv.type != kTlvAckRequest && tlv.type != kTlvStoreOffline) {
            passed.push_back(tlv);
        }
    }
    // The ack goes out before the message, as the service acknowledges what
    // it accepted before it delivers it.
    std::string outcome;
    if (!wantAck) {
        outcome = ", no ack asked";
    } else if (options_.noAckFor.count(head->uin) != 0) {
        outcome = ", ack withheld";
    } else {
        oscar::ByteWriter ack;
        oscar::writeIcbmHead(ack, head->cookie, head->channel, head->uin);
        sendSnac(from, 0x0004, 0x0C, snac.requestId, ack.data());
        outcome = ", ack sent";
    }
    const auto message = oscar::buildIncomingMessage(head->cookie, head->channel, from.uin, passed);
    const bool delivered = sendSnac(*to, 0x0004, 0x07, ++requestId_, message);
    outcome = (delivered ? ", delivered" : ", not delivered") + outcome;
    say(line + outcome);
}

void Sandbox::relayNotice(Conn& from, const oscar::Snac& snac) {
    const std::string name = snac.subtype == 0x0B ? "4/0B" : "4/14";
    auto head = oscar::parseIcbmHead(snac.body);
    if (!head) {
        say("chat: malformed " + name + " from " + from.uin + " ignored");
        return;
    }
    Conn* to = findSignedOn(head->uin);
    if (to == nullptr) {
        say("chat: " + name + " from " + from.uin + " to " + head->uin + " not signed on, dropped");
        return;
    }
    oscar::ByteWriter body;
    oscar::writeIcbmHead(body, head->cookie, head->channel, from.uin).bytes(head->rest);
    sendSnac(*to, 0x0004, snac.subtype, ++requestId_, body.data());
    say("chat: " + name + " from " + from.uin + " to " + head->uin + ", relayed");
}
