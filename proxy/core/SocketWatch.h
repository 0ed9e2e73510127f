// What the core asks of the window's event loop. The core says, slot by
// slot, which socket it wants to hear about and for what, and when it needs
// the timer's next tick; the loop then
// calls Form1::socketReady(slot, ready) on the UI thread whenever that
// socket is ready so, and never from inside another handler of the core.
// A report may come when nothing is ready after all (a notification still
// queued for a socket that has gone, or one that a read already used up):
// the core takes it as a hint and never waits on it.
#pragma once

#include "proxy/core/Session.h"
#include "proxy/net/SockAPI.h"

// The slot number a loop is given: a session's index and one of its slot
// roles, so session 0's slots are its roles. The login listener, the
// program's own, is watched as session 0's SLOT_LOGIN_LISTENER.
inline constexpr int watchKey(int session, int role) {
    return session * SLOT_ROLES + role;
}
inline constexpr int watchSession(int key) {
    return key / SLOT_ROLES;
}
inline constexpr int watchRole(int key) {
    return key % SLOT_ROLES;
}
// How many sessions may run at once (MaxSessions in skelvane.ini bounds
// them further). Beside them the core keeps one that awaits the next
// client, so a loop keeps the slots of one more.
inline constexpr int MAX_SESSIONS = 32;
inline constexpr int WATCH_KEYS = (MAX_SESSIONS + 1) * SLOT_ROLES;

class SocketWatch {
  public:
    virtual ~SocketWatch() = default;
    // From now on, slot `slot` watches `sock` for `mask` (SOK_READABLE,
    // SOK_WRITABLE), replacing what the slot watched before; a mask of 0 or
    // a socket of -1 stops watching. A slot whose socket changes is first
    // told to watch nothing, so a loop never holds a socket that was closed.
    virtual void watchSlot(int slot, SokHandle sock, int mask) = 0;
    // A read of `slot` stopped on its pass's bound with bytes perhaps left: a
    // loop that reports a condition only once (a close) reports it again.
    virtual void readAgain(int slot) { static_cast<void>(slot); }
    // The core has work for the next tick (see Form1::tickNeeded): a loop
    // that stopped its timer while the core needed none starts it again.
    virtual void wantTick() {}
};
