#include "tests/net/LoopbackPeer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "tests/support/TestSockets.h"

namespace {

constexpr int kStallSeconds = 10;

}  // namespace

LoopbackPeer LoopbackPeer::connectTo(std::uint16_t port, int receiveBuffer) {
    LoopbackPeer peer(testnet::openSocket());
    if (!peer.connected()) {
        return peer;
    }
    if (receiveBuffer > 0) {
        testnet::setBufferSize(peer.fd(), SO_RCVBUF, receiveBuffer);
    }
    testnet::setStall(peer.fd(), kStallSeconds);
    if (!testnet::connectLoopback(peer.fd(), port)) {
        peer.reset();
    }
    return peer;
}

bool LoopbackPeer::sendAll(const std::vector<std::uint8_t>& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const long n = testnet::sendSome(fd(), bytes.data() + sent, bytes.size() - sent);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<std::uint8_t> LoopbackPeer::readUpTo(std::size_t limit) const {
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 16384> chunk{};
    while (bytes.size() < limit) {
        const std::size_t want = std::min(chunk.size(), limit - bytes.size());
        const long n = testnet::receiveSome(fd(), chunk.data(), want);
        if (n <= 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    }
    return bytes;
}

bool LoopbackPeer::atEnd() const {
    std::uint8_t byte = 0;
    return testnet::receiveSome(fd(), &byte, 1) == 0;
}

bool waitReadable(int fd, int ms) {
    return (testnet::awaitEvents(fd, POLLIN, ms) & POLLIN) != 0;
}

bool waitPeerClosed(int fd, int ms) {
    return testnet::awaitPeerClosed(fd, ms);
}

bool waitUntilFull(int fd) {
    constexpr int kChecks = 5000;
    for (int i = 0; i < kChecks; ++i) {
        if (testnet::awaitEvents(fd, POLLOUT, 0) == 0) {
            return true;
        }
        // Lets the sender run: a one-millisecond wait on nothing.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void shrinkSendBuffer(int fd, int bytes) {
    testnet::setBufferSize(fd, SO_SNDBUF, bytes);
}

std::vector<std::uint8_t> pattern(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    return bytes;
}

std::string dotted(IpAddress address) {
    // The address is in network byte order: a.b.c.d lie in memory order.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}
