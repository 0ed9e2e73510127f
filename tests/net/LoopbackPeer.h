// The far end of a loopback connection for socket tests: a plain blocking
// socket that plays the client or service, plus small helpers around it
// (freePort and the non-blocking Peer are in tests/support/Loopback.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "proxy/net/Address.h"
#include "tests/support/Loopback.h"

class LoopbackPeer {
  public:
    LoopbackPeer() = default;
    explicit LoopbackPeer(int fd) : fd_(fd) {}

    // Connects to 127.0.0.1:port; `receiveBuffer` > 0 shrinks the receive
    // buffer first so that a peer that does not read fills up quickly.
    static LoopbackPeer connectTo(std::uint16_t port, int receiveBuffer = 0);

    bool connected() const { return fd_.get() != -1; }
    int fd() const { return fd_.get(); }
    // Closes the socket now.
    void reset() { fd_.reset(-1); }

    bool sendAll(const std::vector<std::uint8_t>& bytes) const;
    // Reads until `limit` bytes arrived or the stream ended (or stalled for
    // several seconds, so a broken test fails instead of hanging).
    std::vector<std::uint8_t> readUpTo(std::size_t limit) const;
    // Whether the stream ended (end of file) after what was read so far.
    bool atEnd() const;

  private:
    Fd fd_;
};

// Waits for `fd` to become readable, at most `ms`; false when it did not.
bool waitReadable(int fd, int ms = 5000);
// Waits until the peer of `fd` has closed its side, at most `ms`.
bool waitPeerClosed(int fd, int ms = 5000);
// Waits until `fd` cannot take more bytes (its peer stopped reading and the
// buffers are full), at most a few seconds; false when it stayed writable.
bool waitUntilFull(int fd);
// Shrinks a socket's send buffer.
void shrinkSendBuffer(int fd, int bytes);
// `count` bytes of a sequence that does not repeat within 251 bytes, so a
// lost, doubled or reordered piece shows.
std::vector<std::uint8_t> pattern(std::size_t count);
// Dotted decimal text of an address in network byte order.
std::string dotted(IpAddress address);
