// The relay pump: one timer tick advances the login side and the chat side
// of the session and relays whole frames between client and server.
#include "proxy/core/BusyScope.h"
#include "proxy/core/Form1.h"
#include "proxy/core/PlugEventCodes.h"
#include "proxy/core/PortText.h"
#include "proxy/core/RunFault.h"
#include "proxy/core/SeqStamp.h"

namespace {

constexpr std::int32_t kRecvSize = 1000;
constexpr std::int32_t kRecvWaitMs = 10;
constexpr std::int32_t kConnectTimeoutMs = 5000;
// How long an open chat listener waits for the client after a redirect.
constexpr std::uint32_t kChatAwaitLimitMs = 60000;

bool alive(SokHandle s) {
    return Sok_alive(s) != SOK_FALSE;
}

}  // namespace

void Form1::Timer1_Timer() {
    if (inTick_) {
        return;  // a message box or the plug-in re-entered the window's loop
    }
    const BusyScope running(inTick_);
    try {
        showSocketStatus();
        if (loginMode == LOGIN_AWAIT_CLIENT) {
            if (!loginAwaitClient()) {
                return;  // a failed connect ends the tick at once
            }
        } else if (loginMode == LOGIN_RELAY) {
            loginRelay();
        }
        if (chatMode == CHAT_AWAIT_CLIENT) {
            chatAwaitClient();
        } else if (chatMode == CHAT_RELAY) {
            chatRelay();
        } else if (chatMode == CHAT_ENDED) {
            chatMode = CHAT_IDLE;
            rearmLogin();
        }
        clock_.sleepMs(10);
        ShowCounters();
    } catch (...) {
        logFault(FAULT_IN_TICK);
    }
}

void Form1::showSocketStatus() {
    ctl.Label3.clear();
    ctl.Label1.clear();
    for (int i = 0; i < SLOT_ROLES; ++i) {
        ctl.Label3 += std::to_string(sockets[i]) + "\r\n";
        std::string ip;
        std::uint16_t port = 0;
        const bool named = Sok_name(sockets[i], ip, port) == 0;
        ctl.Label1 += std::to_string(i);
        if (named && !ip.empty()) {
            ctl.Label1 += "  " + ip + " : " + std::to_string(port);
        }
        ctl.Label1 += "\r\n";
    }
}

// Returns false when the tick must end here.
bool Form1::loginAwaitClient() {
    if (Sok_accept(sockets[SLOT_LOGIN_LISTENER], sockets[SLOT_CLIENT_LOGIN],
                   events[SLOT_CLIENT_LOGIN]) != 0) {
        return true;
    }
    LogLine("Client-login connected, connecting to server...");
    const std::string host = ctl.Text3;
    const std::optional<std::uint16_t> port = portOf(ctl.Text4);
    const int c = port ? Sok_connect(sockets[SLOT_SERVER_LOGIN], events[SLOT_SERVER_LOGIN], host,
                                     *port, kConnectTimeoutMs, true, 0)
                       : -1;
    if (c != 0) {
        if (port) {
            LogLine("Sok_connect server-login " + host + " failed with " + std::to_string(c));
        }
        // Let the client see the failure and retry, and listen for it again.
        Sok_close(sockets[SLOT_CLIENT_LOGIN]);
        loginMode = LOGIN_IDLE;
        rearmLogin();
        return false;
    }
    LogLine("Connected to server-login " + host + ":" + std::to_string(*port));
    // Whatever a peer that left mid-frame put in the collectors belongs to a
    // connection that is gone; read on, it would swallow this session's frames.
    clientSide.clear();
    serverSide.clear();
    loginMode = LOGIN_RELAY;
    return true;
}

void Form1::loginRelay() {
    std::int32_t n = Sok_recv(sockets[SLOT_CLIENT_LOGIN], events[SLOT_CLIENT_LOGIN],
                              recvBuffer.data(), kRecvSize, kRecvWaitMs);
    if (n > 0) {
        LogLine("From client-login: " + std::to_string(n) + " bytes");
        relayFrames(clientSide, recvBuffer.data(), n, [this](std::span<std::uint8_t> frame) {
            sendUnit(SLOT_SERVER_LOGIN, frame, "server-login");
            captureUin(frame);
        });
    }
    n = Sok_recv(sockets[SLOT_SERVER_LOGIN], events[SLOT_SERVER_LOGIN], recvBuffer.data(),
                 kRecvSize, kRecvWaitMs);
    if (n > 0) {
        LogLine("From server-login: " + std::to_string(n) + " bytes");
        relayFrames(serverSide, recvBuffer.data(), n, [this](std::span<std::uint8_t> frame) {
            if (!rewriteRedirect(frame)) {
                sendUnit(SLOT_CLIENT_LOGIN, frame, "client-login");
            }
        });
    }
    // A connection found dead here may still sit in its slot (a reset that
    // no receive has reported yet): both login slots are freed, or the
    // next accept or connect would find its slot busy for good.
    if (!alive(sockets[SLOT_SERVER_LOGIN])) {
        LogLine("Server-login disconnected");
        Sok_close(sockets[SLOT_SERVER_LOGIN]);
        Sok_close(sockets[SLOT_CLIENT_LOGIN]);
        loginMode = LOGIN_IDLE;
    }
    if (!alive(sockets[SLOT_CLIENT_LOGIN])) {
        LogLine("Client-login disconnected");
        Sok_close(sockets[SLOT_CLIENT_LOGIN]);
        Sok_close(sockets[SLOT_SERVER_LOGIN]);
        loginMode = LOGIN_IDLE;
    }
    if (loginMode == LOGIN_IDLE) {
        rearmLogin();
    }
}

// Every automatic return to listening goes through here: a sign-on that
// ends without a pending chat session, the end of a chat session, a chat
// listener nobody came to, a failed upstream connect. It opens the login
// listener only when both sides are idle, so "Host login" never refuses
// with its box here; a side still busy re-arms when it ends.
void Form1::rearmLogin() {
    if (loginMode == LOGIN_IDLE && chatMode == CHAT_IDLE) {
        Command1_Click();
    }
}

void Form1::chatAwaitClient() {
    if (Sok_accept(sockets[SLOT_CHAT_LISTENER], sockets[SLOT_CLIENT_CHAT],
                   events[SLOT_CLIENT_CHAT]) != 0) {
        // A client that crashed after its sign-on must not keep the proxy
        // from serving the next one.
        const auto waited = static_cast<std::uint32_t>(clock_.tickCount()) -
                            static_cast<std::uint32_t>(chatListenSince_);
        if (waited >= kChatAwaitLimitMs) {
            Sok_close(sockets[SLOT_CHAT_LISTENER]);
            LogLine("No client-chat connect within " + std::to_string(kChatAwaitLimitMs / 1000) +
                    " s, chat listener closed");
            chatMode = CHAT_IDLE;
            rearmLogin();
        }
        return;
    }
    LogLine("Client-chat connected");
    const std::string host = ctl.Text6;
    ResetCounters();
    const std::optional<std::uint16_t> port = portOf(ctl.Text5);
    const int c = port ? Sok_connect(sockets[SLOT_SERVER_CHAT], events[SLOT_SERVER_CHAT], host,
                                     *port, kConnectTimeoutMs, true, 0)
                       : -1;
    if (c != 0) {
        if (port) {
            LogLine("Sok_connect server-chat " + host + " failed with " + std::to_string(c));
        }
        // End the chat session: the client sees the failure, the plug-in
        // releases what the sign-on set up, and the next tick listens again.
        Sok_close(sockets[SLOT_CLIENT_CHAT]);
        PlugEvent(EVENT_FINISH, nullptr, 0);
        chatMode = CHAT_ENDED;
        return;
    }
    LogLine("Connected to server-chat " + host + ":" + std::to_string(*port));
    clientSide.clear();
    serverSide.clear();
    PlugEvent(EVENT_CHAT_CONNECTED, nullptr, 0);
    chatMode = CHAT_RELAY;
}

void Form1::chatRelay() {
    // Passes repeat while server-chat delivers, so downstream bursts drain
    // within one tick.
    bool serverData = true;
    while (serverData) {
        serverData = false;
        std::int32_t n = Sok_recv(sockets[SLOT_CLIENT_CHAT], events[SLOT_CLIENT_CHAT],
                                  recvBuffer.data(), kRecvSize, kRecvWaitMs);
        if (n > 0) {
            Bytes[DIR_FROM_CLIENT] += n;
            Datagramms[DIR_FROM_CLIENT] += 1;
            relayFrames(clientSide, recvBuffer.data(), n,
                        [this](std::span<std::uint8_t> frame) { chatFrame(frame, true); });
        }
        n = Sok_recv(sockets[SLOT_SERVER_CHAT], events[SLOT_SERVER_CHAT], recvBuffer.data(),
                     kRecvSize, kRecvWaitMs);
        if (n > 0) {
            serverData = true;
            Bytes[DIR_FROM_SERVER] += n;
            Datagramms[DIR_FROM_SERVER] += 1;
            relayFrames(serverSide, recvBuffer.data(), n,
                        [this](std::span<std::uint8_t> frame) { chatFrame(frame, false); });
        }
    }
    if (!alive(sockets[SLOT_SERVER_CHAT])) {
        endChatSession("Server-chat disconnected");
    } else if (!alive(sockets[SLOT_CLIENT_CHAT])) {
        endChatSession("Client-chat disconnected");
    }
}

// One whole chat frame: offered to the plug-in, then sent on unless the
// plug-in took it.
void Form1::chatFrame(std::span<std::uint8_t> frame, bool fromClient) {
    Packets[fromClient ? DIR_FROM_CLIENT : DIR_FROM_SERVER] += 1;
    const auto size = static_cast<std::int32_t>(frame.size());
    if (PlugEvent(fromClient ? PACKET_TO_SERVER : PACKET_TO_CLIENT, frame.data(), size) != 0) {
        Skipped[fromClient ? SKIPPED_FROM_CLIENT : SKIPPED_FROM_SERVER] += 1;
        return;
    }
    sendChatFrame(fromClient ? DIR_TO_SERVER : DIR_TO_CLIENT, frame);
}

void Form1::endChatSession(const char* reason) {
    LogLine(reason);
    PlugEvent(EVENT_CHAT_DISCONNECTED, nullptr, 0);
    PlugEvent(EVENT_FINISH, nullptr, 0);
    Sok_close(sockets[SLOT_CLIENT_CHAT]);
    Sok_close(sockets[SLOT_SERVER_CHAT]);
    chatMode = CHAT_ENDED;
}

void Form1::relayFrames(FrameCollector& c, const std::uint8_t* data, std::int32_t n,
                        const FrameHandler& handle) {
    int whole = PacketCollect(c, data, n);
    while (whole == 1) {
        const auto frame =
            std::span<std::uint8_t>(c.array.data(), static_cast<std::size_t>(c.frameLen));
        try {
            handle(frame);
        } catch (...) {
            PacketRemove(c);  // a fault never relays the same frame twice
            throw;
        }
        PacketRemove(c);
        whole = PacketCollect(c, nullptr, 0);
    }
}

bool Form1::sendUnit(int slot, std::span<const std::uint8_t> unit, std::string_view peer) {
    const auto size = static_cast<std::int32_t>(unit.size());
    if (Sok_send(sockets[slot], unit.data(), size) == -1) {
        LogLine("Failed to transmit to " + std::string(peer) + " " + std::to_string(size) +
                " bytes");
        return false;
    }
    return true;
}

bool Form1::sendChatFrame(int to, std::span<std::uint8_t> frame) {
    const bool toServer = to == DIR_TO_SERVER;
    stampSequence(frame, toServer ? seqToServer : seqToClient);
    if (!sendUnit(toServer ? SLOT_SERVER_CHAT : SLOT_CLIENT_CHAT, frame, chatPeer(to))) {
        return false;
    }
    Packets[to] += 1;
    Datagramms[to] += 1;
    Bytes[to] += static_cast<Counter>(frame.size());
    return true;
}

const char* Form1::chatPeer(int to) {
    return to == DIR_TO_SERVER ? "server-chat" : "client-chat";
}

std::optional<std::uint16_t> Form1::portOf(const std::string& text) {
    const std::optional<std::uint16_t> port = portFromText(text);
    if (!port) {
        LogLine("Invalid port " + text);
    }
    return port;
}
