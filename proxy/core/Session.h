// One client's sign-on and chat: its two state machines, its connections
// (each with its frame collector and outgoing queue), the connects under
// way, what the event loop watches for them, its counters and sequence
// numbers, its UIN and the chat server its redirect named. The program's
// own parts (the login listener, settings, log, plug-in) stay in Form1,
// which owns its sessions.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "proxy/core/Controls.h"
#include "proxy/core/FrameCollector.h"
#include "proxy/core/OutQueue.h"
#include "proxy/core/SeqStamp.h"
#include "proxy/net/SockAPI.h"

// Socket slot roles.
inline constexpr int SLOT_LOGIN_LISTENER = 0;
inline constexpr int SLOT_CLIENT_LOGIN = 1;
inline constexpr int SLOT_SERVER_LOGIN = 2;
inline constexpr int SLOT_CHAT_LISTENER = 3;
inline constexpr int SLOT_CLIENT_CHAT = 4;
inline constexpr int SLOT_SERVER_CHAT = 5;
// Slots 0 to 5 carry the six roles above: the login listener is the
// program's, the other five belong to a session.
inline constexpr int SLOT_ROLES = 6;

// loginMode values.
inline constexpr std::int32_t LOGIN_IDLE = 0;
inline constexpr std::int32_t LOGIN_AWAIT_CLIENT = 1;
inline constexpr std::int32_t LOGIN_RELAY = 2;
// Client-login accepted; the connect to server-login is under way.
inline constexpr std::int32_t LOGIN_CONNECTING = 3;
// chatMode values.
inline constexpr std::int32_t CHAT_IDLE = 0;
inline constexpr std::int32_t CHAT_AWAIT_CLIENT = 1;
inline constexpr std::int32_t CHAT_RELAY = 2;
// Client-chat accepted; the connect to server-chat is under way.
inline constexpr std::int32_t CHAT_CONNECTING = 3;
inline constexpr std::int32_t CHAT_ENDED = 100;

// Counter directions.
inline constexpr int DIR_FROM_SERVER = 0;
inline constexpr int DIR_FROM_CLIENT = 1;
inline constexpr int DIR_TO_CLIENT = 2;
inline constexpr int DIR_TO_SERVER = 3;
// Skipped: frames the plug-in took, by the side they came from.
inline constexpr int SKIPPED_FROM_SERVER = 0;
inline constexpr int SKIPPED_FROM_CLIENT = 1;
// Generated: frames the plug-in injected, by the side they went to.
inline constexpr int GENERATED_TO_CLIENT = 0;
inline constexpr int GENERATED_TO_SERVER = 1;

// One relayed connection: the frames cut from what it delivers, and the
// bytes waiting to go out on it.
struct Link {
    FrameCollector in;
    OutQueue out;
    bool failed = false;  // a send failed; the session ends before the handler returns

    void reset() {
        in.clear();
        out.release();
        failed = false;
    }
};

// Counters are kept 64 bits wide so that a long session never overflows them.
using Counter = std::int64_t;

struct Session {
    // A connect under way on server-login or server-chat.
    struct Connect {
        std::string host;
        std::uint16_t port = 0;
        std::int32_t since = 0;  // tick count when it began
    };
    // What the event loop watches for one slot.
    struct Watched {
        SokHandle sock = SOK_NO_SOCKET;
        std::uint32_t serial = 0;
        int mask = 0;
    };

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();  // closes what is still open

    // Its place among the watch keys (see watchKey), fixed for its life.
    int index = 0;
    std::int32_t loginMode = LOGIN_IDLE;
    std::int32_t chatMode = CHAT_IDLE;
    // By slot role; the login listener's entry stays closed, since the
    // listener is the program's.
    std::array<SokHandle, SLOT_ROLES> sockets{-1, -1, -1, -1, -1, -1};
    // The four relayed connections use theirs.
    std::array<Link, SLOT_ROLES> links;
    // server-login and server-chat use theirs.
    std::array<Connect, SLOT_ROLES> connects{};
    std::array<Watched, SLOT_ROLES> watched{};
    // Renewed each time a socket is opened into the slot.
    std::array<std::uint32_t, SLOT_ROLES> serials{};

    std::array<Counter, 4> Bytes{};
    std::array<Counter, 4> Datagramms{};
    std::array<Counter, 4> Packets{};
    std::array<Counter, 2> Skipped{};
    std::array<Counter, 2> Generated{};
    std::int32_t seqToServer = SEQ_START_TO_SERVER;
    std::int32_t seqToClient = SEQ_START_TO_CLIENT;
    std::int32_t ownUin = 0;

    // The chat server from the redirect, as the window shows it.
    std::string chatServerHost;
    std::string chatServerPort = DEFAULT_CHAT_SERVER_PORT;
    std::int32_t chatListenSince = 0;  // tick count when the chat listener opened

    // Counters and sequence numbers as a new chat connection starts them.
    void resetCounters();
    // The counters and sequence numbers of a session that ended, for the
    // window to go on showing.
    void takeFigures(const Session& ended);
};
