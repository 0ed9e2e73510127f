// Plain IPv4 loopback sockets for the tests' peers (the client and servers
// around the proxy), the same over Windows Sockets and POSIX. A socket is
// held as an int, as the proxy's slots hold theirs; -1 is none.
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstddef>
#include <cstdint>

namespace testnet {

#if defined(_WIN32)
using Native = SOCKET;
using IoSize = int;
inline constexpr int kNoSignal = 0;

// The socket library stays started for the whole test program.
inline bool startup() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
inline Native native(int fd) {
    return static_cast<Native>(static_cast<std::intptr_t>(fd));
}
inline int fromNative(Native s) {
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
inline void closeSocket(int fd) {
    closesocket(native(fd));
}
inline bool setNonBlocking(int fd) {
    u_long on = 1;
    return ioctlsocket(native(fd), FIONBIO, &on) == 0;
}
inline bool lastCallWouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
inline int pollSockets(pollfd* fds, unsigned count, int ms) {
    return WSAPoll(fds, count, ms);
}
// Send and receive time-outs, so a broken test fails instead of hanging.
inline void setStall(int fd, int seconds) {
    const DWORD ms = static_cast<DWORD>(seconds) * 1000;
    setsockopt(native(fd), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    setsockopt(native(fd), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}
#else
using Native = int;
using IoSize = std::size_t;
inline constexpr int kNoSignal = MSG_NOSIGNAL;

inline bool startup() {
    return true;
}
inline Native native(int fd) {
    return fd;
}
inline int fromNative(Native s) {
    return s;
}
inline void closeSocket(int fd) {
    ::close(fd);
}
inline bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags != -1 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) != -1;
}
inline bool lastCallWouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
inline int pollSockets(pollfd* fds, unsigned count, int ms) {
    return ::poll(fds, count, ms);
}
inline void setStall(int fd, int seconds) {
    const timeval stall{seconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &stall, sizeof stall);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &stall, sizeof stall);
}
#endif

// A new blocking TCP socket, or -1.
inline int openSocket() {
    if (!startup()) {
        return -1;
    }
    return fromNative(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

inline sockaddr_in loopbackAddress(std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sa;
}

inline bool bindLoopback(int fd, std::uint16_t port) {
    const sockaddr_in sa = loopbackAddress(port);
    return ::bind(native(fd), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}
inline bool connectLoopback(int fd, std::uint16_t port) {
    const sockaddr_in sa = loopbackAddress(port);
    return ::connect(native(fd), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}
inline bool listenOn(int fd, int backlog) {
    return ::listen(native(fd), backlog) == 0;
}
// A pending connection, or -1.
inline int acceptOne(int fd) {
    return fromNative(::accept(native(fd), nullptr, nullptr));
}
// The local port of a socket, 0 when it cannot be read.
inline std::uint16_t localPort(int fd) {
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    if (::getsockname(native(fd), reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}

inline long sendSome(int fd, const std::uint8_t* data, std::size_t size) {
    return static_cast<long>(::send(native(fd), reinterpret_cast<const char*>(data),
                                    static_cast<IoSize>(size), kNoSignal));
}
inline long receiveSome(int fd, std::uint8_t* data, std::size_t size) {
    return static_cast<long>(
        ::recv(native(fd), reinterpret_cast<char*>(data), static_cast<IoSize>(size), 0));
}

inline void setBufferSize(int fd, int option, int bytes) {
    setsockopt(native(fd), SOL_SOCKET, option, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

// Whether small writes on `fd` leave at once (TCP_NODELAY).
inline bool noDelay(int fd) {
    int on = 0;
    socklen_t length = sizeof on;
    return getsockopt(native(fd), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on),
                      &length) == 0 &&
           on != 0;
}
// Makes the next close of `fd` reset the connection instead of ending it.
inline void resetOnClose(int fd) {
    const linger abort{1, 0};
    setsockopt(native(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
               sizeof abort);
}

// Waits up to `ms` for any of `events` on `fd`; the events that came, 0 for none.
inline short awaitEvents(int fd, short events, int ms) {
    pollfd pfd{};
    pfd.fd = native(fd);
    pfd.events = events;
    return pollSockets(&pfd, 1, ms) == 1 ? pfd.revents : 0;
}

#if defined(_WIN32)
// Waits up to `ms` until the peer of `fd` has closed its side. Windows shows
// a close that follows unread bytes only once they are read: the wait then
// ends when those bytes are there (on loopback the close has come with them).
inline bool awaitPeerClosed(int fd, int ms) {
    return (awaitEvents(fd, POLLRDNORM, ms) & (POLLHUP | POLLRDNORM)) != 0;
}
#else
// Waits up to `ms` until the peer of `fd` has closed its side, also while
// bytes it sent before are still unread.
inline bool awaitPeerClosed(int fd, int ms) {
    return (awaitEvents(fd, POLLRDHUP, ms) & POLLRDHUP) != 0;
}
#endif

}  // namespace testnet
