// The relay: what a connection delivers is cut into whole frames and each
// goes out on the other connection of its pair, through that connection's
// queue. Nothing here waits: a read takes what has arrived, a send what the
// socket takes, and the rest waits in the queue for the socket to be ready.
#include <algorithm>
#include <limits>

#include "proxy/core/Form1.h"
#include "proxy/core/SeqStamp.h"
#include "proxy/plugin_host/PluginInterface.h"

void Form1::relayReady(Session& s, int slot, int ready) {
    const bool relaying = slot == SLOT_CLIENT_LOGIN || slot == SLOT_SERVER_LOGIN
                              ? s.loginMode == LOGIN_RELAY
                              : s.chatMode == CHAT_RELAY;
    if (!relaying) {
        return;
    }
    if ((ready & SOK_WRITABLE) != 0) {
        flush(s, slot);
    }
    if ((ready & SOK_READABLE) != 0) {
        readLink(s, slot);
    }
}

void Form1::readLink(Session& s, int slot) {
    const int other = otherSide(slot);
    std::size_t budget = READ_PASS_BYTES;
    const auto open = [&s](int i) { return s.sockets[i] != SOK_NO_SOCKET && !s.links[i].failed; };
    while (budget > 0 && open(slot) && open(other) && s.links[other].out.size() < OUT_QUEUE_BOUND) {
        const std::span<std::uint8_t> room = s.links[slot].in.room();
        const std::int32_t n = Sok_recv(s.sockets[slot], room.data(),
                                        static_cast<std::int32_t>(std::min(room.size(), budget)));
        if (n == 0) {
            return;  // all that has arrived is read
        }
        if (n < 0) {
            // The peer closed or the connection failed.
            if (slot == SLOT_CLIENT_LOGIN || slot == SLOT_SERVER_LOGIN) {
                endLogin(s, slot == SLOT_SERVER_LOGIN);
            } else {
                endChatSession(s, slot == SLOT_SERVER_CHAT ? "Server-chat disconnected"
                                                           : "Client-chat disconnected");
            }
            return;
        }
        budget -= static_cast<std::size_t>(n);
        received(s, slot, n);
    }
    if (budget == 0 && watch_ != nullptr) {
        watch_->readAgain(watchKey(s.index, slot));
    }
}

// n bytes arrived on `slot` and lie in its collector's room.
void Form1::received(Session& s, int slot, std::int32_t n) {
    FrameCollector& c = s.links[slot].in;
    switch (slot) {
        case SLOT_CLIENT_LOGIN:
            LogLine("From client-login: " + std::to_string(n) + " bytes");
            relayFrames(c, n, [this, &s](std::span<std::uint8_t> frame) {
                sendUnit(s, SLOT_SERVER_LOGIN, frame, peerName(SLOT_SERVER_LOGIN));
                captureUin(frame);
            });
            break;
        case SLOT_SERVER_LOGIN:
            LogLine("From server-login: " + std::to_string(n) + " bytes");
            relayFrames(c, n, [this, &s](std::span<std::uint8_t> frame) {
                if (!rewriteRedirect(frame)) {
                    sendUnit(s, SLOT_CLIENT_LOGIN, frame, peerName(SLOT_CLIENT_LOGIN));
                }
            });
            break;
        default: {
            const bool fromClient = slot == SLOT_CLIENT_CHAT;
            const int from = fromClient ? DIR_FROM_CLIENT : DIR_FROM_SERVER;
            s.Bytes[from] += n;
            s.Datagramms[from] += 1;
            relayFrames(c, n, [this, &s, fromClient](std::span<std::uint8_t> frame) {
                chatFrame(s, frame, fromClient);
            });
            break;
        }
    }
}

// One whole chat frame: offered to the plug-in, then sent on unless the
// plug-in took it.
void Form1::chatFrame(Session& s, std::span<std::uint8_t> frame, bool fromClient) {
    s.Packets[fromClient ? DIR_FROM_CLIENT : DIR_FROM_SERVER] += 1;
    const auto size = static_cast<std::int32_t>(frame.size());
    if (PlugEvent(fromClient ? PACKET_TO_SERVER : PACKET_TO_CLIENT, frame.data(), size) != 0) {
        s.Skipped[fromClient ? SKIPPED_FROM_CLIENT : SKIPPED_FROM_SERVER] += 1;
        return;
    }
    sendChatFrame(s, fromClient ? DIR_TO_SERVER : DIR_TO_CLIENT, frame);
}

template <typename Handle>
void Form1::relayFrames(FrameCollector& c, std::int32_t n, Handle handle) {
    int whole = collectPlaced(c, n);
    while (whole == 1) {
        try {
            handle(c.front());
        } catch (...) {
            PacketRemove(c);  // a fault never relays the same frame twice
            throw;
        }
        PacketRemove(c);
        whole = PacketCollect(c, nullptr, 0);
    }
}

bool Form1::sendUnit(Session& s, int slot, std::span<const std::uint8_t> unit,
                     std::string_view peer) {
    OutQueue& out = s.links[slot].out;
    if (s.sockets[slot] == SOK_NO_SOCKET || s.links[slot].failed ||
        out.size() + unit.size() > OUT_QUEUE_LIMIT) {
        LogLine("Failed to transmit to " + std::string(peer) + " " + std::to_string(unit.size()) +
                " bytes");
        return false;
    }
    out.append(unit);
    return true;
}

bool Form1::sendChatFrame(Session& s, int to, std::span<std::uint8_t> frame) {
    const bool toServer = to == DIR_TO_SERVER;
    stampSequence(frame, toServer ? s.seqToServer : s.seqToClient);
    if (!sendUnit(s, toServer ? SLOT_SERVER_CHAT : SLOT_CLIENT_CHAT, frame, chatPeer(to))) {
        return false;
    }
    s.Packets[to] += 1;
    s.Datagramms[to] += 1;
    s.Bytes[to] += static_cast<Counter>(frame.size());
    return true;
}

void Form1::flush(Session& s, int slot) {
    Link& link = s.links[slot];
    while (!link.out.empty() && !link.failed) {
        const std::span<const std::uint8_t> pending = link.out.pending();
        const auto length = static_cast<std::int32_t>(
            std::min<std::size_t>(pending.size(), std::numeric_limits<std::int32_t>::max()));
        const std::int32_t n = Sok_send(s.sockets[slot], pending.data(), length);
        if (n == 0) {
            return;  // the socket is full: the rest goes once it is writable
        }
        if (n < 0) {
            LogLine("Failed to transmit to " + std::string(peerName(slot)) + " " +
                    std::to_string(pending.size()) + " bytes");
            link.out.release();
            link.failed = true;
            return;
        }
        link.out.consume(static_cast<std::size_t>(n));
    }
}

void Form1::closeLink(Session& s, int slot) {
    if (s.sockets[slot] != SOK_NO_SOCKET && !s.links[slot].failed) {
        flush(s, slot);
    }
    Sok_close(s.sockets[slot]);
    s.links[slot].reset();
}

const char* Form1::chatPeer(int to) {
    return peerName(to == DIR_TO_SERVER ? SLOT_SERVER_CHAT : SLOT_CLIENT_CHAT);
}

const char* Form1::peerName(int slot) {
    switch (slot) {
        case SLOT_CLIENT_LOGIN:
            return "client-login";
        case SLOT_SERVER_LOGIN:
            return "server-login";
        case SLOT_CLIENT_CHAT:
            return "client-chat";
        default:
            return "server-chat";
    }
}

int Form1::otherSide(int slot) {
    switch (slot) {
        case SLOT_CLIENT_LOGIN:
            return SLOT_SERVER_LOGIN;
        case SLOT_SERVER_LOGIN:
            return SLOT_CLIENT_LOGIN;
        case SLOT_CLIENT_CHAT:
            return SLOT_SERVER_CHAT;
        default:
            return SLOT_CLIENT_CHAT;
    }
}
