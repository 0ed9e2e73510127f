// The core's socket watch on Windows: Windows posts a socket message to the
// main window whenever a watched socket is ready, and the window hands it
// to the core. Messages keep coming inside any modal loop (a message box,
// a window being moved), so the relay never pauses for one.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <utility>

#include "proxy/core/Form1.h"

// The socket message; wParam is the socket, lParam the events.
inline constexpr UINT WM_SKELVANE_SOCKET = WM_APP + 1;

class SocketMessages : public SocketWatch {
  public:
    // Messages go to `window`; the core's wish for a tick goes to `wantTick`.
    void attach(HWND window, std::function<void()> wantTick) {
        window_ = window;
        wantTick_ = std::move(wantTick);
    }

    void watchSlot(int slot, SokHandle sock, int mask) override;
    void readAgain(int slot) override;
    void wantTick() override {
        if (wantTick_) {
            wantTick_();
        }
    }
    // The slot a socket message is for and what it reports, or false for
    // one that no watched slot wants (left over from a closed socket).
    bool decode(WPARAM wParam, LPARAM lParam, int& slot, int& ready) const;
    // Posts a report for every watched slot, for what the core wants of it:
    // after a report had to be dropped, the core looks again.
    void kickAll() const;

  private:
    struct Watched {
        SokHandle sock = SOK_NO_SOCKET;
        int mask = 0;
    };
    void kick(SokHandle sock, int ready) const;

    HWND window_ = nullptr;
    std::function<void()> wantTick_;
    std::array<Watched, WATCH_KEYS> slots_{};
};
