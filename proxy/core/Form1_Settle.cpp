// Between two handlers the core is always settled: nothing waits in a queue
// that the socket would take, no session runs on a connection that is gone,
// and the event loop watches exactly the sockets that the state machines
// read or write. The outermost handler settles it as it ends.
#include "proxy/core/Form1.h"
#include "proxy/core/RunFault.h"

Form1::Handler::Handler(Form1& form, Caller caller) : form_(form), caller_(caller) {
    const bool outermost = form_.depth_++ == 0;
    if (outermost) {
        form_.changedSinceTick_ = true;
        form_.touched_ = 0;
    }
    // Any entry but one session's socket, and a plug-in's callback, which
    // may act on any session, settle them all.
    if (outermost || caller == plugin) {
        form_.settleAll_ = true;
    }
}

Form1::Handler::Handler(Form1& form, Session& s) : form_(form), caller_(host) {
    if (form_.depth_++ == 0) {
        form_.changedSinceTick_ = true;
        form_.touched_ = 0;
        form_.settleAll_ = false;
    }
    form_.touch(s);
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
    if (changedSinceTick_) {
        return true;
    }
    for (const std::unique_ptr<Session>& s : sessions_) {
        if (s->loginMode == LOGIN_CONNECTING || s->chatMode == CHAT_AWAIT_CLIENT ||
            s->chatMode == CHAT_CONNECTING || s->chatMode == CHAT_ENDED) {
            return true;
        }
    }
    return false;
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

// A session whose chat ended waits for the next tick to be released, but
// no longer counts against MaxSessions: clients that come and go quickly
// are not refused for it.
int Form1::live() const {
    int n = 0;
    for (const std::unique_ptr<Session>& s : sessions_) {
        const bool over =
            s->loginMode == LOGIN_IDLE && (s->chatMode == CHAT_IDLE || s->chatMode == CHAT_ENDED);
        n += &*s != &waiting() && !over ? 1 : 0;
    }
    return n;
}

Session* Form1::sessionAt(int index) {
    for (const std::unique_ptr<Session>& s : sessions_) {
        if (s->index == index) {
            return s.get();
        }
    }
    return nullptr;
}

// The new waiting session takes the lowest watch index no other one holds.
void Form1::addWaiting() {
    int index = 0;
    while (sessionAt(index) != nullptr) {
        ++index;
    }
    auto next = std::make_unique<Session>();
    next->index = index;
    next->loginMode = LOGIN_AWAIT_CLIENT;
    touch(*next);
    sessions_.push_back(std::move(next));
    chooserStale_ = true;
}

void Form1::releaseEnded() {
    for (auto it = sessions_.begin(); it + 1 < sessions_.end();) {
        Session& s = **it;
        if (!idle(s)) {
            ++it;
            continue;
        }
        unwatch(s);
        if (running() == 1) {
            waiting().takeFigures(s);  // shown until the next chat connection
        }
        if (pluginSession_ == &s) {
            pluginSession_ = nullptr;
        }
        if (pluginNamed_ == &s) {
            pluginNamed_ = nullptr;
        }
        if (chosen_ == &s) {
            chosen_ = nullptr;
            choiceMoved_ = true;
        }
        chooserStale_ = true;
        it = sessions_.erase(it);  // its destructor closes what is still open
    }
    // The waiting session holds no socket yet: it takes the lowest index
    // free again, so sessions that come one at a time all have index 0 and
    // the plug-in the same callback.
    Session& next = waiting();
    next.index = 0;
    while (sessionAt(next.index) != &next) {
        ++next.index;
    }
    touch(next);
}

void Form1::unwatch(Session& s) {
    for (int slot = SLOT_CLIENT_LOGIN; slot < SLOT_ROLES; ++slot) {
        if (watch_ != nullptr && s.watched[slot].mask != 0) {
            watch_->watchSlot(watchKey(s.index, slot), SOK_NO_SOCKET, 0);
        }
        s.watched[slot] = Session::Watched{};
    }
}

// Runs with the handler's depth still counted, so that the plug-in events
// of a session's end settle nothing on their own.
void Form1::settle(bool mayCallPlugin) noexcept {
    try {
        // Ending one side of a session can flush again and end the other;
        // a few rounds see every change through. Sessions are independent.
        for (const std::unique_ptr<Session>& each : sessions_) {
            Session& s = *each;
            if (!settles(s)) {
                continue;
            }
            const Acting acting(*this, s);
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
        }
        releaseEnded();
        if (chooserStale_) {
            showChooser();
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
    bool allIdle = true;
    bool open = loginListener != SOK_NO_SOCKET;
    for (const std::unique_ptr<Session>& s : sessions_) {
        allIdle = allIdle && idle(*s);
        for (const SokHandle sock : s->sockets) {
            open = open || sock != SOK_NO_SOCKET;
        }
    }
    ctl.Command1Enabled = allIdle;
    ctl.Command3Enabled = !allIdle || open;
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
            return &s == &waiting() && s.loginMode == LOGIN_AWAIT_CLIENT ? SOK_READABLE : 0;
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

// Slots whose socket changed let go of the old one first, in every session
// before any watches anew: a system that reuses the handle's value in
// another slot then finds it free. The login listener is watched under
// index 0's key of its role, for the waiting session.
void Form1::updateWatches() {
    if (watch_ == nullptr) {
        return;
    }
    const auto watchedOf = [&](Session& s, int slot) -> Session::Watched& {
        return slot == SLOT_LOGIN_LISTENER ? listenerWatched_ : s.watched[slot];
    };
    const auto serialOf = [&](const Session& s, int slot) {
        return slot == SLOT_LOGIN_LISTENER ? listenerSerial_ : s.serials[slot];
    };
    const auto sameSocket = [&](Session& s, int slot) {
        return watchedOf(s, slot).sock == sock(s, slot) &&
               watchedOf(s, slot).serial == serialOf(s, slot);
    };
    const auto keyOf = [](const Session& s, int slot) {
        return slot == SLOT_LOGIN_LISTENER ? watchKey(0, slot) : watchKey(s.index, slot);
    };
    // The listener counts once, with the waiting session.
    const auto firstSlot = [&](const Session& s) {
        return &s == &waiting() ? SLOT_LOGIN_LISTENER : SLOT_CLIENT_LOGIN;
    };
    for (const std::unique_ptr<Session>& each : sessions_) {
        Session& s = *each;
        if (!settles(s)) {
            continue;
        }
        for (int slot = firstSlot(s); slot < SLOT_ROLES; ++slot) {
            if (!sameSocket(s, slot) && watchedOf(s, slot).mask != 0) {
                watch_->watchSlot(keyOf(s, slot), SOK_NO_SOCKET, 0);
                watchedOf(s, slot) = Session::Watched{};
            }
        }
    }
    for (const std::unique_ptr<Session>& each : sessions_) {
        Session& s = *each;
        if (!settles(s)) {
            continue;
        }
        for (int slot = firstSlot(s); slot < SLOT_ROLES; ++slot) {
            const int mask = wantedMask(s, slot);
            Session::Watched& watched = watchedOf(s, slot);
            if (!sameSocket(s, slot) || watched.mask != mask) {
                if (mask != 0 || watched.mask != 0) {
                    watch_->watchSlot(keyOf(s, slot), mask != 0 ? sock(s, slot) : SOK_NO_SOCKET,
                                      mask);
                }
                watched = Session::Watched{sock(s, slot), serialOf(s, slot), mask};
            }
        }
    }
}
