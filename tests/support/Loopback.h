// Plain non-blocking loopback sockets with which the tests play the ICQ
// client and the ICQ servers around the proxy, without threads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "tests/support/Flap.h"
#include "tests/support/TestSockets.h"

inline constexpr int kWaitMs = 2000;  // upper bound for loopback delivery, never reached

// Owns one test socket.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(-1); }

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd) {
        if (fd_ >= 0) {
            testnet::closeSocket(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

inline std::uint16_t localPort(int fd) {
    const std::uint16_t port = testnet::localPort(fd);
    if (port == 0) {
        throw std::runtime_error("getsockname failed");
    }
    return port;
}

// Waits until the socket has something to read (data, a connection or a
// close), at most `ms`: loopback delivery may lag behind the sender.
inline bool awaitReadable(int fd, int ms) {
    return testnet::awaitEvents(fd, POLLIN, ms) != 0;
}

// One connected stream end.
class Peer {
  public:
    explicit Peer(Fd fd) : fd_(std::move(fd)) { testnet::setNonBlocking(fd_.get()); }

    void send(const ByteVec& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const long n = testnet::sendSome(fd_.get(), bytes.data() + sent, bytes.size() - sent);
            if (n <= 0) {
                throw std::runtime_error("test peer send failed");
            }
            sent += static_cast<std::size_t>(n);
        }
    }
    // Sends what the socket takes now: the bytes taken, from the front.
    std::size_t offer(std::span<const std::uint8_t> bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const long n = testnet::sendSome(fd_.get(), bytes.data() + sent, bytes.size() - sent);
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
        return sent;
    }
    // Waits up to `ms` for something to read, then polls; false when nothing came.
    bool awaitAndPoll(int ms) {
        const bool readable = awaitReadable(fd_.get(), ms);
        poll();
        return readable;
    }
    // Appends whatever has arrived to `received`; notes the peer's close.
    void poll() {
        std::uint8_t buf[4096];
        for (;;) {
            const long n = testnet::receiveSome(fd_.get(), buf, sizeof buf);
            if (n > 0) {
                received.insert(received.end(), buf, buf + n);
                continue;
            }
            if (n == 0 || !testnet::lastCallWouldBlock()) {
                closedByPeer = true;
            }
            return;
        }
    }
    // Takes the whole frames received so far out of `received`.
    std::vector<ByteVec> takeFrames() {
        poll();
        std::vector<ByteVec> frames;
        while (received.size() >= 6) {
            const std::size_t len = 6 + received[4] * 256U + received[5];
            if (received.size() < len) {
                break;
            }
            frames.emplace_back(received.begin(), received.begin() + static_cast<long>(len));
            received.erase(received.begin(), received.begin() + static_cast<long>(len));
        }
        return frames;
    }
    void close() { fd_.reset(-1); }
    int fd() const { return fd_.get(); }
    // Hands the socket over, for example into the proxy's slot table.
    int releaseFd() { return fd_.release(); }

    ByteVec received;
    bool closedByPeer = false;

  private:
    Fd fd_;
};

// A listener on 127.0.0.1 with a port the system chose.
class TestListener {
  public:
    TestListener() : fd_(testnet::openSocket()) {
        if (!testnet::bindLoopback(fd_.get(), 0) || !testnet::listenOn(fd_.get(), 8)) {
            throw std::runtime_error("test listener failed");
        }
        testnet::setNonBlocking(fd_.get());
        port = localPort(fd_.get());
    }
    // A pending connection, waiting up to `waitMs` for one.
    std::optional<Peer> accept(int waitMs = 0) {
        awaitReadable(fd_.get(), waitMs);
        const int fd = testnet::acceptOne(fd_.get());
        if (fd < 0) {
            return std::nullopt;
        }
        return Peer(Fd(fd));
    }

    std::uint16_t port = 0;

  private:
    Fd fd_;
};

// A listener that never accepts, its backlog filled: the system drops
// further connection requests, so a connect to it stays under way.
class FullListener {
  public:
    FullListener() : fd_(testnet::openSocket()) {
        if (!testnet::bindLoopback(fd_.get(), 0) || !testnet::listenOn(fd_.get(), 0)) {
            throw std::runtime_error("test listener failed");
        }
        port_ = localPort(fd_.get());
        for (Fd& filler : fillers_) {
            filler.reset(testnet::openSocket());
            testnet::setNonBlocking(filler.get());
            testnet::connectLoopback(filler.get(), port_);
        }
        testnet::awaitEvents(fillers_[0].get(), POLLOUT, kWaitMs);
    }
    std::uint16_t port() const { return port_; }

  private:
    Fd fd_;
    std::uint16_t port_ = 0;
    std::array<Fd, 3> fillers_;
};

// Connects to a loopback port; nullopt when nothing listens there.
inline std::optional<Peer> connectTo(std::uint16_t port) {
    Fd fd(testnet::openSocket());
    if (!testnet::connectLoopback(fd.get(), port)) {
        return std::nullopt;
    }
    return Peer(std::move(fd));
}

// A port on 127.0.0.1 that nothing listens on right now.
inline std::uint16_t freePort() {
    Fd fd(testnet::openSocket());
    if (!testnet::bindLoopback(fd.get(), 0)) {
        throw std::runtime_error("bind to port 0 failed");
    }
    return localPort(fd.get());
}

// A connected loopback pair: the near end's socket, handed over for one of
// the proxy's slots, and the far end for the test.
inline std::pair<int, Peer> loopbackPair() {
    TestListener listener;
    std::optional<Peer> farEnd = connectTo(listener.port);
    std::optional<Peer> nearEnd = listener.accept(kWaitMs);
    if (!farEnd || !nearEnd) {
        throw std::runtime_error("loopback pair failed");
    }
    return {nearEnd->releaseFd(), std::move(*farEnd)};
}
