// The socket layer on POSIX sockets: a slot's event is the mask of armed
// events, and Sok_recv polls the socket for them.
#include "proxy/net/SockAPI.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "proxy/net/Address.h"
#include "proxy/net/SockPlatform.h"

namespace {

sockaddr_in makeAddress(IpAddress address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

// Bytes received and not yet read, 0 when the socket cannot tell.
int pendingBytes(SokHandle sock) {
    int pending = 0;
    if (ioctl(sock, FIONREAD, &pending) != 0) {
        return 0;
    }
    return pending;
}

}  // namespace

namespace sok_platform {

SokHandle newTcpSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

bool makeNonBlocking(SokHandle sock) {
    const int flags = fcntl(sock, F_GETFL, 0);
    return flags != -1 && fcntl(sock, F_SETFL, flags | O_NONBLOCK) != -1;
}

bool bindTo(SokHandle sock, IpAddress address, std::uint16_t port) {
    // Lets a new listener take the port while connections accepted on it
    // earlier are still open or lingering; two listeners still exclude each
    // other.
    const int reuse = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    const sockaddr_in sa = makeAddress(address, port);
    return bind(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0;
}

ConnectStart startConnect(SokHandle sock, IpAddress address, std::uint16_t port, int& lastError) {
    const sockaddr_in sa = makeAddress(address, port);
    if (connect(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
        return ConnectStart::connected;
    }
    lastError = errno;
    return lastError == EINPROGRESS ? ConnectStart::pending : ConnectStart::failed;
}

bool armSlot(SokHandle, SokEvent& ev) {
    if (!ev.created) {
        return false;
    }
    ev.armed = SOK_FD_READ_CLOSE;
    return true;
}

void disarmSlot(SokEvent& ev) {
    ev.armed = 0;
}

std::int32_t sendSome(SokHandle sock, const std::uint8_t* data, std::int32_t length) {
    ssize_t n = 0;
    do {
        n = send(sock, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        return static_cast<std::int32_t>(n);
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
}

bool awaitWritable(SokHandle sock, std::int32_t waitMs) {
    pollfd pfd{sock, POLLOUT, 0};
    const int ready = poll(&pfd, 1, waitMs);
    return ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

void endStream(SokHandle sock) {
    shutdown(sock, SHUT_RDWR);
}

}  // namespace sok_platform

int Sok_init() {
    // A send to a peer that has gone must fail with an error, never end the
    // program.
    return std::signal(SIGPIPE, SIG_IGN) == SIG_ERR ? 1 : 0;
}

void Sok_cleanup() {}

int Sok_start(SokHandle& sock, SokEvent& ev) {
    sock = SOK_NO_SOCKET;
    ev = SokEvent{true, 0};
    return 0;
}

int Sok_stop(SokHandle& sock, SokEvent& ev) {
    if (sock != SOK_NO_SOCKET) {
        Sok_close(sock);
    }
    ev = SokEvent{};
    return 0;
}

int Sok_close(SokHandle& sock) {
    if (sock == SOK_NO_SOCKET) {
        return 1;
    }
    shutdown(sock, SHUT_WR);
    close(sock);
    sock = SOK_NO_SOCKET;
    return 0;
}

int Sok_listen(SokHandle& sock) {
    return listen(sock, SOMAXCONN) != 0 ? 1 : 0;
}

int Sok_accept(SokHandle& listener, SokHandle& conn, SokEvent& ev) {
    if (listener == SOK_NO_SOCKET) {
        return 1;
    }
    if (conn != SOK_NO_SOCKET) {
        return 2;
    }
    conn = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (conn == SOK_NO_SOCKET) {
        return 5;
    }
    if (!sok_platform::armSlot(conn, ev)) {
        Sok_close(conn);
        Sok_close(listener);
        return 6;
    }
    Sok_close(listener);
    return 0;
}

std::int32_t Sok_recv(SokHandle& sock, SokEvent& ev, std::uint8_t* buffer, std::int32_t size,
                      std::int32_t waitMs) {
    if (sock == SOK_NO_SOCKET) {
        return 0;
    }
    if (!ev.created) {
        return -1;
    }
    pollfd pfd{sock, 0, 0};
    if ((ev.armed & SOK_FD_READ) != 0) {
        pfd.events |= POLLIN;
    }
    if ((ev.armed & SOK_FD_CLOSE) != 0) {
        pfd.events |= POLLRDHUP;
    }
    // Without armed events nothing can signal: the wait runs out.
    const int ready = pfd.events != 0 ? poll(&pfd, 1, waitMs) : poll(nullptr, 0, waitMs);
    if (ready < 0) {
        return -1;
    }
    if (ready == 0) {
        return -2;
    }
    const bool closed = (ev.armed & SOK_FD_CLOSE) != 0 &&
                        (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
    const bool readable = (ev.armed & SOK_FD_READ) != 0 && (pfd.revents & POLLIN) != 0;
    // A close with bytes still queued reads them first; the close is acted
    // on by the call that leaves nothing unread.
    const bool read = closed ? pendingBytes(sock) > 0 : readable;
    std::int32_t got = 0;
    if (read && size > 0) {
        const ssize_t n = recv(sock, buffer, static_cast<std::size_t>(size), 0);
        if (n == 0) {
            return -3;
        }
        if (n < 0) {
            return -4;
        }
        got = static_cast<std::int32_t>(n);
    }
    if (closed && pendingBytes(sock) == 0) {
        Sok_close(sock);
    }
    return got;
}

std::int32_t Sok_alive(SokHandle sock) {
    if (sock == SOK_NO_SOCKET) {
        return SOK_FALSE;
    }
    // A refused connect shows as writable with an error: not alive.
    pollfd pfd{sock, POLLOUT, 0};
    if (poll(&pfd, 1, 0) != 1) {
        return SOK_FALSE;
    }
    const bool writable = (pfd.revents & POLLOUT) != 0;
    const bool broken = (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
    return writable && !broken ? SOK_TRUE : SOK_FALSE;
}

int Sok_name(SokHandle sock, std::string& ip, std::uint16_t& port) {
    sockaddr_in sa{};
    socklen_t length = sizeof(sa);
    if (sock == SOK_NO_SOCKET ||
        getsockname(sock, reinterpret_cast<sockaddr*>(&sa), &length) != 0 ||
        sa.sin_family != AF_INET) {
        return 1;
    }
    std::array<char, INET_ADDRSTRLEN> text{};
    if (inet_ntop(AF_INET, &sa.sin_addr, text.data(), text.size()) == nullptr) {
        return 1;
    }
    ip = text.data();
    port = ntohs(sa.sin_port);
    return 0;
}
