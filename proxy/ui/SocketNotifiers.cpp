#include "proxy/ui/SocketNotifiers.h"

#include <utility>

SocketNotifiers::SocketNotifiers(std::function<void(int, int)> ready,
                                 std::function<void()> wantTick)
    : ready_(std::move(ready)), wantTick_(std::move(wantTick)) {}

SocketNotifiers::~SocketNotifiers() = default;  // no signal of theirs runs now

void SocketNotifiers::watchSlot(int slot, SokHandle sock, int mask) {
    if (slot < 0 || slot >= WATCH_KEYS) {
        return;
    }
    Pair& pair = slots_[static_cast<std::size_t>(slot)];
    if (pair.sock != sock || mask == 0) {
        drop(pair);
    }
    if (sock == SOK_NO_SOCKET || mask == 0) {
        return;
    }
    pair.sock = sock;
    if (!pair.read) {
        pair.read = make(slot, sock, QSocketNotifier::Read);
        pair.write = make(slot, sock, QSocketNotifier::Write);
    }
    pair.read->setEnabled((mask & SOK_READABLE) != 0);
    pair.write->setEnabled((mask & SOK_WRITABLE) != 0);
}

// While a report is handled, the notifier that sent it may be among those
// dropped: they stop at once and are deleted once the event loop has
// finished with them.
void SocketNotifiers::drop(Pair& pair) {
    for (std::unique_ptr<QSocketNotifier>* n : {&pair.read, &pair.write}) {
        if (*n && reporting_) {
            (*n)->setEnabled(false);
            n->release()->deleteLater();
        }
        n->reset();
    }
    pair.sock = SOK_NO_SOCKET;
}

std::unique_ptr<QSocketNotifier> SocketNotifiers::make(int slot, SokHandle sock,
                                                       QSocketNotifier::Type type) {
    auto notifier = std::make_unique<QSocketNotifier>(sock, type);
    notifier->setEnabled(false);
    const int ready = type == QSocketNotifier::Read ? SOK_READABLE : SOK_WRITABLE;
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [this, slot, ready] {
                         const bool was = std::exchange(reporting_, true);
                         ready_(slot, ready);
                         reporting_ = was;
                     });
    return notifier;
}
