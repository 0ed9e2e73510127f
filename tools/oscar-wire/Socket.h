// TCP over POSIX sockets for the tools: an owning descriptor, a loopback
// listener, accept and a bounded connect. Every socket is non-blocking and
// close-on-exec; nothing here raises SIGPIPE (sends use MSG_NOSIGNAL).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/oscar-wire/ByteReader.h"

namespace oscar {

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset();

  private:
    int fd_ = -1;
};

// Listens on 127.0.0.1:port (0 picks a free port).
std::optional<Fd> listenLoopback(std::uint16_t port, std::string& error);
std::uint16_t localPort(const Fd& fd);
// One pending connection, or nothing; `peer` gets "ip:port".
std::optional<Fd> acceptPending(const Fd& listener, std::string& peer);
// Connects within `timeoutMs`.
std::optional<Fd> connectTcp(const std::string& host, std::uint16_t port, int timeoutMs,
                             std::string& error);
// Sends what the socket takes now: bytes sent, or -1 when the connection is
// broken.
long sendSome(const Fd& fd, ByteView data);

// "host:port" with a port of 1 to 65535.
bool parseHostPort(std::string_view text, std::string& host, std::uint16_t& port);
// A whole decimal number within [low, high].
bool parseNumber(std::string_view text, long low, long high, long& out);

}  // namespace oscar
