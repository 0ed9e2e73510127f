#include "proxy/ui/win32/SocketMessages.h"

void SocketMessages::watchSlot(int slot, SokHandle sock, int mask) {
    if (slot < 0 || slot >= WATCH_KEYS) {
        return;
    }
    Watched& w = slots_[static_cast<std::size_t>(slot)];
    const int gained = w.sock == sock ? mask & ~w.mask : mask;
    if (w.sock != SOK_NO_SOCKET && (w.sock != sock || mask == 0)) {
        Sok_notify(w.sock, window_, WM_SKELVANE_SOCKET, 0);
    }
    w = sock != SOK_NO_SOCKET && mask != 0 ? Watched{sock, mask} : Watched{};
    if (w.sock == SOK_NO_SOCKET) {
        return;
    }
    Sok_notify(sock, window_, WM_SKELVANE_SOCKET, mask);
    // Windows reports most conditions that already hold when a selection is
    // made, but not a close that a paused read has not seen, nor room to send
    // that no failed send asked for: the core looks once itself.
    if (gained != 0) {
        kick(sock, gained);
    }
}

bool SocketMessages::decode(WPARAM wParam, LPARAM lParam, int& slot, int& ready) const {
    const auto sock = static_cast<SokHandle>(static_cast<std::intptr_t>(wParam));
    for (int i = 0; i < WATCH_KEYS; ++i) {
        const Watched& w = slots_[static_cast<std::size_t>(i)];
        if (w.sock == sock && w.sock != SOK_NO_SOCKET) {
            slot = i;
            ready = Sok_notified(static_cast<std::intptr_t>(lParam)) & w.mask;
            return ready != 0;
        }
    }
    return false;
}

// Windows posts a close once, maybe before the bytes ahead of it were read.
void SocketMessages::readAgain(int slot) {
    const Watched& w = slots_.at(static_cast<std::size_t>(slot));
    if (w.sock != SOK_NO_SOCKET && (w.mask & SOK_READABLE) != 0) {
        kick(w.sock, SOK_READABLE);
    }
}

void SocketMessages::kickAll() const {
    for (const Watched& w : slots_) {
        if (w.sock != SOK_NO_SOCKET) {
            kick(w.sock, w.mask);
        }
    }
}

void SocketMessages::kick(SokHandle sock, int ready) const {
    PostMessageA(window_, WM_SKELVANE_SOCKET, static_cast<WPARAM>(static_cast<std::intptr_t>(sock)),
                 static_cast<LPARAM>(Sok_notification(ready)));
}
