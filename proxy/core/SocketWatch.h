// What the core asks of the window's event loop. The core says, slot by
// slot, which socket it wants to hear about and for what, and when it needs
// the timer's next tick; the loop then
// calls Form1::socketReady(slot, ready) on the UI thread whenever that
// socket is ready so, and never from inside another handler of the core.
// A report may come when nothing is ready after all (a notification still
// queued for a socket that has gone, or one that a read already used up):
// the core takes it as a hint and never waits on it.
#pragma once

#include "proxy/net/SockAPI.h"

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
