// The chat part of the scripted client: connection with the cookie, the
// start-up exchange, sending the messages and listening.
#include <cstdio>

#include "tools/oscar-client/ClientSession.h"
#include "tools/oscar-client/Incoming.h"
#include "tools/oscar-wire/Icbm.h"

bool ClientSession::startChat(const Redirect& redirect) {
    std::string error;
    auto fd = oscar::connectTcp(redirect.host, redirect.port, kConnectTimeoutMs, error);
    if (!fd) {
        return fail("cannot connect to the chat server " + redirect.host + ":" +
                    std::to_string(redirect.port) + ": " + error);
    }
    say_("chat: connected to " + redirect.host + ":" + std::to_string(redirect.port));
    chat_ = std::make_unique<Link>("chat", std::move(*fd), say_,
                                   static_cast<std::uint16_t>(random_() & 0x7FFF));
    auto hello = awaitFrame(*chat_);
    if (!hello || hello->channel != oscar::kChannelSignOn) {
        return fail("the chat server sent no hello");
    }
    oscar::ByteWriter signOn;
    signOn.bytes(oscar::kHello).tlv(0x0006, redirect.cookie);
    chat_->send(oscar::kChannelSignOn, signOn.data());
    auto families = await(*chat_, 0x0001, 0x03);
    if (!families) {
        return fail("the chat server did not accept the cookie (no 01-03)");
    }
    return startUp(*chat_, *families->snac());
}

bool ClientSession::query(Link& chat, std::uint16_t family, std::uint16_t subtype,
                          std::uint16_t reply, oscar::ByteView body) {
    chat.sendSnac(family, subtype, nextRequest(), body);
    if (!await(chat, family, reply)) {
        char what[48];
        std::snprintf(what, sizeof what, "no %02X-%02X in reply to %02X-%02X", family, reply,
                      family, subtype);
        return fail(what);
    }
    return true;
}

bool ClientSession::startUp(Link& chat, const oscar::Snac& families) {
    oscar::ByteReader r(families.body);
    oscar::ByteWriter versions;
    oscar::ByteWriter ready;
    while (auto family = r.u16be()) {
        const std::uint16_t version = *family == 0x0001 || *family == 0x0013 ? 4 : 1;
        versions.u16be(*family).u16be(version);
        ready.u16be(*family).u16be(version).u16be(0x0110).u16be(0x08E4);
    }
    if (!query(chat, 0x0001, 0x17, 0x18, versions.data()) || !query(chat, 0x0001, 0x06, 0x07)) {
        return false;
    }
    chat.sendSnac(0x0001, 0x08, nextRequest(), {});  // rate classes acknowledged
    const bool rights = query(chat, 0x0001, 0x0E, 0x0F) && query(chat, 0x0002, 0x02, 0x03) &&
                        query(chat, 0x0003, 0x02, 0x03) && query(chat, 0x0004, 0x04, 0x05) &&
                        query(chat, 0x0009, 0x02, 0x03) && query(chat, 0x0013, 0x02, 0x03);
    if (!rights) {
        return false;
    }
    chat.sendSnac(0x0001, 0x02, nextRequest(), ready.data());
    say_("chat: signed on as " + options_.uin);
    return true;
}

void ClientSession::sendMessages() {
    for (const OutgoingText& m : options_.sends) {
        oscar::Cookie cookie{};
        for (auto& b : cookie) {
            b = static_cast<std::uint8_t>(random_());
        }
        const auto body = oscar::buildOutgoingMessage(cookie, m.to, m.text, options_.ack);
        if (!chat_->sendSnac(0x0004, 0x06, nextRequest(), body)) {
            say_("failed: could not send the message to " + m.to);
            continue;
        }
        char ids[24];
        std::snprintf(ids, sizeof ids, "%02x%02x%02x%02x%02x%02x%02x%02x", cookie[0], cookie[1],
                      cookie[2], cookie[3], cookie[4], cookie[5], cookie[6], cookie[7]);
        say_("sent: message to " + m.to +
             (options_.ack ? " (ack requested" : " (no ack requested") + ", cookie " + ids +
             "): " + printable(m.text));
    }
}

int ClientSession::listen() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(options_.waitMs);
    while (options_.untilMessages == 0 || messages_ < options_.untilMessages) {
        auto frame = chat_->next(deadline);
        if (!frame) {
            break;
        }
        report(*frame);
    }
    say_("done: " + std::to_string(frames_) + " frames received, " + std::to_string(messages_) +
         " messages");
    return chat_->closed() ? 3 : 0;
}
