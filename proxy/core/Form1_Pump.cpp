// The session's two state machines: the login side and the chat side, moved
// on by socket readiness (accepts and connects) and by the 100 ms tick
// (status display, counters, time-outs and the re-arm).
#include <memory>
#include <vector>

#include "proxy/core/Form1.h"
#include "proxy/core/PortText.h"
#include "proxy/core/RunFault.h"
#include "proxy/plugin_host/PluginInterface.h"

namespace {

// How long an open chat listener waits for the client after a redirect.
constexpr std::uint32_t kChatAwaitLimitMs = 60000;

}  // namespace

void Form1::Timer1_Timer() {
    if (depth_ > 0) {
        return;  // the plug-in re-entered the window's loop
    }
    const Handler handler(*this);
    try {
        const std::vector<std::int64_t> before = stateStamp();
        showSocketStatus(shown());
        // A tick adds no session and releases none (the settling does), so
        // the list holds still.
        for (const std::unique_ptr<Session>& s : sessions_) {
            const Acting acting(*this, *s);
            sessionTick(*s);
        }
        ShowCounters();
        // Shown, unless the tick itself opened or closed something.
        changedSinceTick_ = stateStamp() != before;
    } catch (...) {
        logFault(FAULT_IN_TICK);
    }
}

// What a tick compares to tell whether it changed anything: the listener,
// and each session's sockets and machines.
std::vector<std::int64_t> Form1::stateStamp() const {
    std::vector<std::int64_t> stamp{loginListener};
    for (const std::unique_ptr<Session>& s : sessions_) {
        stamp.insert(stamp.end(), s->sockets.begin(), s->sockets.end());
        stamp.push_back(s->loginMode);
        stamp.push_back(s->chatMode);
    }
    return stamp;
}

// A session's time-outs and its re-arm after a chat session.
void Form1::sessionTick(Session& s) {
    if (s.loginMode == LOGIN_CONNECTING) {
        connectTimeout(s, SLOT_SERVER_LOGIN);
    }
    if (s.chatMode == CHAT_AWAIT_CLIENT) {
        chatListenerTimeout(s);
    } else if (s.chatMode == CHAT_CONNECTING) {
        connectTimeout(s, SLOT_SERVER_CHAT);
    } else if (s.chatMode == CHAT_ENDED) {
        s.chatMode = CHAT_IDLE;
        rearmLogin(s);
    }
}

void Form1::socketReady(int key, int ready) {
    if (depth_ > 0 || key < 0) {
        return;
    }
    const int role = watchRole(key);
    // The login listener is the program's; the waiting session takes its client.
    Session* const s = role == SLOT_LOGIN_LISTENER ? &waiting() : sessionAt(watchSession(key));
    if (s == nullptr) {
        return;
    }
    const Handler handler(*this, *s);
    try {
        const Acting acting(*this, *s);
        sessionReady(*s, role, ready);
    } catch (...) {
        logFault(FAULT_IN_TICK);
    }
}

void Form1::sessionReady(Session& s, int slot, int ready) {
    switch (slot) {
        case SLOT_LOGIN_LISTENER:
            if (s.loginMode == LOGIN_AWAIT_CLIENT) {
                loginAccept(s);
            }
            break;
        case SLOT_CHAT_LISTENER:
            if (s.chatMode == CHAT_AWAIT_CLIENT) {
                chatAccept(s);
            }
            break;
        case SLOT_SERVER_LOGIN:
        case SLOT_SERVER_CHAT:
            if (connecting(s, slot)) {
                connectReady(s, slot);
                break;
            }
            [[fallthrough]];
        default:
            relayReady(s, slot, ready);
            break;
    }
}

void Form1::showSocketStatus(Session& s) {
    ctl.Label3.clear();
    ctl.Label1.clear();
    for (int i = 0; i < SLOT_ROLES; ++i) {
        ctl.Label3 += std::to_string(sock(s, i)) + "\r\n";
        std::string ip;
        std::uint16_t port = 0;
        const bool named = Sok_name(sock(s, i), ip, port) == 0;
        ctl.Label1 += std::to_string(i);
        if (named && !ip.empty()) {
            ctl.Label1 += "  " + ip + " : " + std::to_string(port);
        }
        ctl.Label1 += "\r\n";
    }
}

int Form1::startConnect(Session& s, int slot, const std::string& host, std::uint16_t port) {
    s.connects[slot] = Session::Connect{host, port, clock_.tickCount()};
    const int c = Sok_connect(s.sockets[slot], host, port);
    if (c == 0) {
        opened(s, slot);
    }
    return c;
}

// The listener stays open for the next client, which a new waiting session
// awaits. Sessions that ended within the tick still hold their watch index
// until it releases them, so they bound the sessions too.
void Form1::loginAccept(Session& s) {
    if (live() >= maxSessions_ || running() >= MAX_SESSIONS) {
        refuseSignOn();
        return;
    }
    if (Sok_acceptMore(loginListener, s.sockets[SLOT_CLIENT_LOGIN]) != 0) {
        return;
    }
    opened(s, SLOT_CLIENT_LOGIN);
    addWaiting();
    LogLine("Client-login connected, connecting to server...");
    const std::optional<std::uint16_t> port = portOf(ctl.Text4);
    const int c = port ? startConnect(s, SLOT_SERVER_LOGIN, ctl.Text3, *port) : -1;
    s.loginMode = LOGIN_CONNECTING;
    if (c != 0) {
        s.connects[SLOT_SERVER_LOGIN].host = ctl.Text3;
        loginConnected(s, port ? c : -1);
    }
}

void Form1::refuseSignOn() {
    SokHandle conn = SOK_NO_SOCKET;
    if (Sok_acceptMore(loginListener, conn) != 0) {
        return;
    }
    Sok_close(conn);
    const int n = live();
    plainLine("Sign-on refused: " + std::to_string(n) + (n == 1 ? " session is" : " sessions are") +
              " running already (MaxSessions in skelvane.ini)");
}

void Form1::chatAccept(Session& s) {
    if (Sok_accept(s.sockets[SLOT_CHAT_LISTENER], s.sockets[SLOT_CLIENT_CHAT]) != 0) {
        return;
    }
    opened(s, SLOT_CLIENT_CHAT);
    LogLine("Client-chat connected");
    s.resetCounters();
    const std::optional<std::uint16_t> port = portOf(s.chatServerPort);
    const int c = port ? startConnect(s, SLOT_SERVER_CHAT, s.chatServerHost, *port) : -1;
    s.chatMode = CHAT_CONNECTING;
    if (c != 0) {
        s.connects[SLOT_SERVER_CHAT].host = s.chatServerHost;
        chatConnected(s, port ? c : -1);
    }
}

bool Form1::connecting(const Session& s, int slot) {
    return slot == SLOT_SERVER_LOGIN ? s.loginMode == LOGIN_CONNECTING
                                     : slot == SLOT_SERVER_CHAT && s.chatMode == CHAT_CONNECTING;
}

// The socket of a connect under way became writable: its outcome is known.
void Form1::connectReady(Session& s, int slot) {
    const int c = Sok_connected(s.sockets[slot]);
    if (c == SOK_CONNECTING) {
        return;
    }
    if (slot == SLOT_SERVER_LOGIN) {
        loginConnected(s, c);
    } else {
        chatConnected(s, c);
    }
}

void Form1::connectTimeout(Session& s, int slot) {
    connectReady(s, slot);  // an outcome not reported yet counts first
    if (!connecting(s, slot)) {
        return;
    }
    const auto waited = static_cast<std::uint32_t>(clock_.tickCount()) -
                        static_cast<std::uint32_t>(s.connects[slot].since);
    if (waited >= static_cast<std::uint32_t>(CONNECT_TIMEOUT_MS)) {
        Sok_trace(" connect timeout.");
        Sok_close(s.sockets[slot]);
        const std::string reason =
            "no answer within " + std::to_string(CONNECT_TIMEOUT_MS / 1000) + " s";
        if (slot == SLOT_SERVER_LOGIN) {
            loginConnected(s, 4, reason);
        } else {
            chatConnected(s, 4, reason);
        }
    }
}

// A connect that failed with code c, in words: the server, its address and
// the reason (the socket layer's, unless one is given).
void Form1::cannotConnect(Session& s, int slot, int c, std::string_view reason) {
    const Session::Connect& to = s.connects[slot];
    const bool login = slot == SLOT_SERVER_LOGIN;
    LogLine(std::string("Sok_connect ") + (login ? "server-login " : "server-chat ") + to.host +
            " failed with " + std::to_string(c));
    problem(slot, std::string("Could not connect to the ") + (login ? "login" : "chat") +
                      " server " + to.host + ":" + std::to_string(to.port) + ": " +
                      (reason.empty() ? Sok_lastError().text : std::string(reason)));
}

// The outcome of the server-login connect: 0 connected, -1 no valid port
// (already logged), else the failure code.
void Form1::loginConnected(Session& s, int c, std::string_view reason) {
    const Session::Connect& to = s.connects[SLOT_SERVER_LOGIN];
    if (c != 0) {
        if (c != -1) {
            cannotConnect(s, SLOT_SERVER_LOGIN, c, reason);
        }
        // Let the client see the failure and retry, and listen for it again.
        Sok_close(s.sockets[SLOT_CLIENT_LOGIN]);
        s.loginMode = LOGIN_IDLE;
        rearmLogin(s);
        return;
    }
    LogLine("Connected to server-login " + to.host + ":" + std::to_string(to.port));
    solved(SLOT_SERVER_LOGIN);
    s.links[SLOT_CLIENT_LOGIN].reset();
    s.links[SLOT_SERVER_LOGIN].reset();
    s.loginMode = LOGIN_RELAY;
}

void Form1::chatConnected(Session& s, int c, std::string_view reason) {
    const Session::Connect& to = s.connects[SLOT_SERVER_CHAT];
    if (c != 0) {
        if (c != -1) {
            cannotConnect(s, SLOT_SERVER_CHAT, c, reason);
        }
        // End the chat session: the client sees the failure, the plug-in
        // releases what the sign-on set up, and the next tick listens again.
        Sok_close(s.sockets[SLOT_CLIENT_CHAT]);
        PlugEvent(EVENT_FINISH, nullptr, 0);
        s.chatMode = CHAT_ENDED;
        return;
    }
    LogLine("Connected to server-chat " + to.host + ":" + std::to_string(to.port));
    solved(SLOT_SERVER_CHAT);
    s.links[SLOT_CLIENT_CHAT].reset();
    s.links[SLOT_SERVER_CHAT].reset();
    PlugEvent(EVENT_CHAT_CONNECTED, nullptr, 0);
    s.chatMode = CHAT_RELAY;
}

// A client that crashed after its sign-on must not keep the proxy from
// serving the next one; one that is already waiting is still taken.
void Form1::chatListenerTimeout(Session& s) {
    const auto waited = static_cast<std::uint32_t>(clock_.tickCount()) -
                        static_cast<std::uint32_t>(s.chatListenSince);
    if (waited < kChatAwaitLimitMs) {
        return;
    }
    chatAccept(s);
    if (s.chatMode != CHAT_AWAIT_CLIENT) {
        return;
    }
    Sok_close(s.sockets[SLOT_CHAT_LISTENER]);
    LogLine("No client-chat connect within " + std::to_string(kChatAwaitLimitMs / 1000) +
            " s, chat listener closed");
    s.chatMode = CHAT_IDLE;
    rearmLogin(s);
}

// Every end of a side goes through here: a sign-on that ends without a
// pending chat session, the end of a chat session, a chat listener nobody
// came to, a failed upstream connect. A session with both sides idle has
// ended, and the settling releases it; the login listener stays open. Only
// the waiting session's first tick after start-up opens the listener, and
// only while every session is idle, so "Host login" never refuses with its
// box here.
void Form1::rearmLogin(Session& s) {
    if (&s == &waiting() && idle(s)) {
        Command1_Click();
    }
}

// The login server closing first reports both ends, as the client's end
// is closed with it.
void Form1::endLogin(Session& s, bool serverFirst) {
    if (serverFirst) {
        LogLine("Server-login disconnected");
    }
    LogLine("Client-login disconnected");
    closeLink(s, SLOT_CLIENT_LOGIN);
    closeLink(s, SLOT_SERVER_LOGIN);
    s.loginMode = LOGIN_IDLE;
    rearmLogin(s);
}

void Form1::endChatSession(Session& s, const char* reason) {
    LogLine(reason);
    PlugEvent(EVENT_CHAT_DISCONNECTED, nullptr, 0);
    PlugEvent(EVENT_FINISH, nullptr, 0);
    closeLink(s, SLOT_CLIENT_CHAT);
    closeLink(s, SLOT_SERVER_CHAT);
    s.chatMode = CHAT_ENDED;
}

std::optional<std::uint16_t> Form1::portOf(const std::string& text) {
    const std::optional<std::uint16_t> port = portFromText(text);
    if (!port) {
        LogLine("Invalid port " + text);
    }
    return port;
}
