// Between two handlers the core is always settled: nothing waits in a queue
// that the socket would take, no session runs on a connection that is gone,
// and the event loop watches exactly the sockets that the state machines
// read or write. The outermost handler settles it as it ends.
#include "proxy/core/Form1.h"
#include "proxy/core/RunFault.h"

Form1::Handler::Handler(Form1& form, Caller caller) : form_(form), caller_(caller) {
    if (form_.depth_++ == 0) {
        form_.changedSinceTick_ = true;
    }
}

Form1::Handler::~Handler() {
    if (form_.depth_ == 1) {
        form_.settle(caller_ == host);
    }
    --form_.depth_;
}

void Form1::setSocketWatch(SocketWatch* watch) {
    listenerWatched_ = {};
    for (const std::unique_ptr<Session>& s : sessions_) {
        s->watched = {};
    }
    watch_ = watch;
    updateWatches();
}

bool Form1::tickNeeded() const {
    const Session& s = session();
    return changedSinceTick_ || s.loginMode == LOGIN_CONNECTING ||
           s.chatMode == CHAT_AWAIT_CLIENT || s.chatMode == CHAT_CONNECTING ||
           s.chatMode == CHAT_ENDED;
}

void Form1::opened(Session& s, int slot) {
    (slot == SLOT_LOGIN_LISTENER ? listenerSerial_ : s.serials[slot]) = ++lastSerial_;
}

SokHandle& Form1::sock(Session& s, int slot) {
    return slot == SLOT_LOGIN_LISTENER ? loginListener : s.sockets[slot];
}

SokHandle Form1::sock(const Session& s, int slot) const {
    return slot == SLOT_LOGIN_LISTENER ? loginListener : s.sockets[slot];
}

int Form1::indexOf(const Session& s) const {
    for (std::size_t i = 0; i < sessions_.size(); ++i) {
        if (sessions_[i].get() == &s) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Runs with the handler's depth still counted, so that the plug-in events
// of a session's end settle nothing on their own.
void Form1::settle(bool mayCallPlugin) noexcept {
    try {
        Session& s = session();
        // Ending a session can flush again and end the other one; a few
        // rounds see every change through.
        for (int round = 0; round < 3; ++round) {
            for (int slot = 0; slot < SLOT_ROLES; ++slot) {
                if (!s.links[slot].out.empty() && s.sockets[slot] != SOK_NO_SOCKET) {
                    flush(s, slot);
                }
            }
            if (!mayCallPlugin || !endBrokenSessions(s)) {
                break;
            }
        }
        updateWatches();
        showCommands();
        if (watch_ != nullptr && tickNeeded()) {
            watch_->wantTick();
        }
    } catch (...) {
        logFault(FAULT_IN_TICK);
    }
}

// "Host login" acts only while both machines are idle (else it warns that the
// proxy is in work); "Disconnect" while anything runs or is open.
void Form1::showCommands() {
    const Session& s = session();
    const bool idle = s.loginMode == LOGIN_IDLE && s.chatMode == CHAT_IDLE;
    bool open = false;
    for (int slot = 0; slot < SLOT_ROLES; ++slot) {
        open = open || sock(s, slot) != SOK_NO_SOCKET;
    }
    ctl.Command1Enabled = idle;
    ctl.Command3Enabled = !idle || open;
}

bool Form1::endBrokenSessions(Session& s) {
    const auto gone = [&s](int slot) {
        return s.sockets[slot] == SOK_NO_SOCKET || s.links[slot].failed;
    };
    bool ended = false;
    if (s.loginMode == LOGIN_RELAY && (gone(SLOT_SERVER_LOGIN) || gone(SLOT_CLIENT_LOGIN))) {
        endLogin(s, gone(SLOT_SERVER_LOGIN));
        ended = true;
    }
    if (s.chatMode == CHAT_RELAY && (gone(SLOT_SERVER_CHAT) || gone(SLOT_CLIENT_CHAT))) {
        endChatSession(
            s, gone(SLOT_SERVER_CHAT) ? "Server-chat disconnected" : "Client-chat disconnected");
        ended = true;
    }
    return ended;
}

int Form1::wantedMask(const Session& s, int slot) const {
    if (sock(s, slot) == SOK_NO_SOCKET) {
        return 0;
    }
    switch (slot) {
        case SLOT_LOGIN_LISTENER:
            return s.loginMode == LOGIN_AWAIT_CLIENT ? SOK_READABLE : 0;
        case SLOT_CHAT_LISTENER:
            return s.chatMode == CHAT_AWAIT_CLIENT ? SOK_READABLE : 0;
        default:
            break;
    }
    if (connecting(s, slot)) {
        return SOK_WRITABLE;
    }
    const bool login = slot == SLOT_CLIENT_LOGIN || slot == SLOT_SERVER_LOGIN;
    if (login ? s.loginMode != LOGIN_RELAY : s.chatMode != CHAT_RELAY) {
        return 0;
    }
    // A side whose partner has a full queue is not read until it drains.
    const bool room = s.links[otherSide(slot)].out.size() < OUT_QUEUE_BOUND;
    return (room ? SOK_READABLE : 0) | (s.links[slot].out.empty() ? 0 : SOK_WRITABLE);
}

// Slots whose socket changed let go of the old one first: a system that
// reuses the handle's value in another slot then finds it free. The login
// listener is watched under session 0's key of its role.
void Form1::updateWatches() {
    if (watch_ == nullptr) {
        return;
    }
    Session& s = session();
    const int index = indexOf(s);
    const auto watchedOf = [&](int slot) -> Session::Watched& {
        return slot == SLOT_LOGIN_LISTENER ? listenerWatched_ : s.watched[slot];
    };
    const auto serialOf = [&](int slot) {
        return slot == SLOT_LOGIN_LISTENER ? listenerSerial_ : s.serials[slot];
    };
    const auto sameSocket = [&](int slot) {
        return watchedOf(slot).sock == sock(s, slot) && watchedOf(slot).serial == serialOf(slot);
    };
    for (int slot = 0; slot < SLOT_ROLES; ++slot) {
        if (!sameSocket(slot) && watchedOf(slot).mask != 0) {
            watch_->watchSlot(watchKey(index, slot), SOK_NO_SOCKET, 0);
            watchedOf(slot) = Session::Watched{};
        }
    }
    for (int slot = 0; slot < SLOT_ROLES; ++slot) {
        const int mask = wantedMask(s, slot);
        Session::Watched& watched = watchedOf(slot);
        if (!sameSocket(slot) || watched.mask != mask) {
            if (mask != 0 || watched.mask != 0) {
                watch_->watchSlot(watchKey(index, slot), mask != 0 ? sock(s, slot) : SOK_NO_SOCKET,
                                  mask);
            }
            watched = Session::Watched{sock(s, slot), serialOf(slot), mask};
        }
    }
}
