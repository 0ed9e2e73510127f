// The core's socket watch in Qt: a read and a write notifier per slot,
// enabled as the core asks, each reporting to `ready` from Qt's event loop;
// the core's wish for a tick goes to `wantTick`.
#pragma once

#include <QSocketNotifier>
#include <array>
#include <functional>
#include <memory>

#include "proxy/core/Form1.h"

class SocketNotifiers : public SocketWatch {
  public:
    // `ready(slot, SOK_READABLE or SOK_WRITABLE)` is called for every
    // notification of a watched slot.
    explicit SocketNotifiers(std::function<void(int, int)> ready, std::function<void()> wantTick);
    ~SocketNotifiers() override;
    SocketNotifiers(const SocketNotifiers&) = delete;
    SocketNotifiers& operator=(const SocketNotifiers&) = delete;

    void watchSlot(int slot, SokHandle sock, int mask) override;
    void wantTick() override { wantTick_(); }

  private:
    struct Pair {
        SokHandle sock = SOK_NO_SOCKET;
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };
    void drop(Pair& pair);
    std::unique_ptr<QSocketNotifier> make(int slot, SokHandle sock, QSocketNotifier::Type type);

    std::function<void(int, int)> ready_;
    std::function<void()> wantTick_;
    std::array<Pair, WATCH_KEYS> slots_;
    bool reporting_ = false;  // a notifier's report is being handled
};
