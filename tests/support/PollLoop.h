// The event loop of the tests and benchmarks: the core's socket watch over
// Sok_wait, which hands every ready socket to Form1::socketReady as a
// window's loop would. Nothing else runs: no tick, and the clock stands.
#pragma once

#include <array>

#include "proxy/core/Form1.h"

class PollLoop : public SocketWatch {
  public:
    void watchSlot(int slot, SokHandle sock, int mask) override {
        items_.at(static_cast<std::size_t>(slot)) = SokWaitItem{sock, mask, 0};
    }
    // Waits up to `waitMs` for a watched socket to be ready and reports each
    // ready one; the number reported.
    int runOnce(Form1& form, int waitMs) {
        std::array<SokWaitItem, WATCH_KEYS> ready = items_;
        if (Sok_wait(ready, waitMs) <= 0) {
            return 0;
        }
        int reported = 0;
        for (int slot = 0; slot < WATCH_KEYS; ++slot) {
            const SokWaitItem& item = ready[static_cast<std::size_t>(slot)];
            // A slot that an earlier report of this round changed is asked again.
            if (item.ready != 0 && items_[static_cast<std::size_t>(slot)].sock == item.sock) {
                form.socketReady(slot, item.ready);
                ++reported;
            }
        }
        return reported;
    }
    // What slot `slot` watches now.
    int watching(int slot) const { return items_.at(static_cast<std::size_t>(slot)).wanted; }

  private:
    std::array<SokWaitItem, WATCH_KEYS> items_{};
};
