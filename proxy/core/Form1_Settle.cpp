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
    watched_ = {};
    watch_ = watch;
    updateWatches();
}

bool Form1::tickNeeded() const {
    return changedSinceTick_ || loginMode == LOGIN_CONNECTING || chatMode == CHAT_AWAIT_CLIENT ||
           chatMode == CHAT_CONNECTING || chatMode == CHAT_ENDED;
}

void Form1::opened(int slot) {
    serials_[slot] = ++lastSerial_;
}

// Runs with the handler's depth still counted, so that the plug-in events
// of a session's end settle nothing on their own.
void Form1::settle(bool mayCallPlugin) noexcept {
    try {
        // Ending a session can flush again and end the other one; a few
        // rounds see every change through.
        for (int round = 0; round < 3; ++round) {
            for (int slot = 0; slot < SLOT_ROLES; ++slot) {
                if (!links[slot].out.empty() && sockets[slot] != SOK_NO_SOCKET) {
                    flush(slot);
                }
            }
            if (!mayCallPlugin || !endBrokenSessions()) {
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
    const bool idle = loginMode == LOGIN_IDLE && chatMode == CHAT_IDLE;
    bool open = false;
    for (int slot = 0; slot < SLOT_ROLES; ++slot) {
        open = open || sockets[slot] != SOK_NO_SOCKET;
    }
    ctl.Command1Enabled = idle;
    ctl.Command3Enabled = !idle || open;
}

bool Form1::endBrokenSessions() {
    const auto gone = [this](int slot) {
        return sockets[slot] == SOK_NO_SOCKET || links[slot].failed;
    };
    bool ended = false;
    if (loginMode == LOGIN_RELAY && (gone(SLOT_SERVER_LOGIN) || gone(SLOT_CLIENT_LOGIN))) {
        endLogin(gone(SLOT_SERVER_LOGIN));
        ended = true;
    }
    if (chatMode == CHAT_RELAY && (gone(SLOT_SERVER_CHAT) || gone(SLOT_CLIENT_CHAT))) {
        endChatSession(gone(SLOT_SERVER_CHAT) ? "Server-chat disconnected"
                                              : "Client-chat disconnected");
        ended = true;
    }
    return ended;
}

int Form1::wantedMask(int slot) const {
    if (sockets[slot] == SOK_NO_SOCKET) {
        return 0;
    }
    switch (slot) {
        case SLOT_LOGIN_LISTENER:
            return loginMode == LOGIN_AWAIT_CLIENT ? SOK_READABLE : 0;
        case SLOT_CHAT_LISTENER:
            return chatMode == CHAT_AWAIT_CLIENT ? SOK_READABLE : 0;
        default:
            break;
    }
    if (connecting(slot)) {
        return SOK_WRITABLE;
    }
    const bool login = slot == SLOT_CLIENT_LOGIN || slot == SLOT_SERVER_LOGIN;
    if (login ? loginMode != LOGIN_RELAY : chatMode != CHAT_RELAY) {
        return 0;
    }
    // A side whose partner has a full queue is not read until it drains.
    const bool room = links[otherSide(slot)].out.size() < OUT_QUEUE_BOUND;
    return (room ? SOK_READABLE : 0) | (links[slot].out.empty() ? 0 : SOK_WRITABLE);
}

// Slots whose socket changed let go of the old one first: a system that
// reuses the handle's value in another slot then finds it free.
void Form1::updateWatches() {
    if (watch_ == nullptr) {
        return;
    }
    const auto sameSocket = [this](int slot) {
        return watched_[slot].sock == sockets[slot] && watched_[slot].serial == serials_[slot];
    };
    for (int slot = 0; slot < SLOT_ROLES; ++slot) {
        if (!sameSocket(slot) && watched_[slot].mask != 0) {
            watch_->watchSlot(slot, SOK_NO_SOCKET, 0);
            watched_[slot] = Watched{};
        }
    }
    for (int slot = 0; slot < SLOT_ROLES; ++slot) {
        const int mask = wantedMask(slot);
        if (!sameSocket(slot) || watched_[slot].mask != mask) {
            if (mask != 0 || watched_[slot].mask != 0) {
                watch_->watchSlot(slot, mask != 0 ? sockets[slot] : SOK_NO_SOCKET, mask);
            }
            watched_[slot] = Watched{sockets[slot], serials_[slot], mask};
        }
    }
}
