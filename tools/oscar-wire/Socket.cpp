#include "tools/oscar-wire/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

namespace oscar {

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int Fd::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

namespace {

Fd streamSocket() {
    return Fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

void noDelay(const Fd& fd) {
    const int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

std::string describe(const sockaddr_in& addr) {
    char ip[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(addr.sin_port));
}

bool resolve(const std::string& host, std::uint16_t port, sockaddr_in& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    std::memcpy(&out, found->ai_addr, sizeof out);
    ::freeaddrinfo(found);
    out.sin_port = htons(port);
    return true;
}

bool waitConnected(const Fd& fd, int timeoutMs, std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd.get(), POLLOUT, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::max<long>(0, left.count())));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n == 0 ? "timed out" : std::strerror(errno);
            return false;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) {
            error = std::strerror(soError);
            return false;
        }
        return true;
    }
}

}  // namespace

std::optional<Fd> listenLoopback(std::uint16_t port, std::string& error) {
    Fd fd = streamSocket();
    const int on = 1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!fd || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd.get(), 16) != 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    return fd;
}

std::uint16_t localPort(const Fd& fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return 0;
    }
    return ntohs(addr.sin_port);
}

std::optional<Fd> acceptPending(const Fd& listener, std::string& peer) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    Fd fd(::accept4(listener.get(), reinterpret_cast<sockaddr*>(&addr), &len,
                    SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd) {
        return std::nullopt;
    }
    noDelay(fd);
    peer = describe(addr);
    return fd;
}

std::optional<Fd> connectTcp(const std::string& host, std::uint16_t port, int timeoutMs,
                             std::string& error) {
    sockaddr_in addr{};
    if (!resolve(host, port, addr)) {
        error = "cannot resolve " + host;
        return std::nullopt;
    }
    Fd fd = streamSocket();
    if (!fd) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    noDelay(fd);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        if (!waitConnected(fd, timeoutMs, error)) {
            return std::nullopt;
        }
    }
    return fd;
}

long sendSome(const Fd& fd, ByteView data) {
    const ssize_t n = ::send(fd.get(), data.data(), data.size(), MSG_NOSIGNAL);
    if (n >= 0) {
        return n;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

bool parseNumber(std::string_view text, long low, long high, long& out) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

bool parseHostPort(std::string_view text, std::string& host, std::uint16_t& port) {
    const auto colon = text.rfind(':');
    long value = 0;
    if (colon == std::string_view::npos || colon == 0 ||
        !parseNumber(text.substr(colon + 1), 1, 65535, value)) {
        return false;
    }
    host = std::string(text.substr(0, colon));
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace oscar
