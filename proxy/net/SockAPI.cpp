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
#include <chrono>
#include <csignal>
#include <thread>

#include "proxy/net/Address.h"
#include "proxy/net/AsyncKey.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// A new IPv4 TCP socket that is not inherited by child processes.
SokHandle newTcpSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

bool makeNonBlocking(SokHandle sock) {
    const int flags = fcntl(sock, F_GETFL, 0);
    return flags != -1 && fcntl(sock, F_SETFL, flags | O_NONBLOCK) != -1;
}

sockaddr_in makeAddress(IpAddress address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

// Closes what a failed operation created and frees its slot.
template <typename Result>
Result closeAndFail(SokHandle& sock, Result result) {
    Sok_close(sock);
    return result;
}

std::int32_t msLeft(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<std::int32_t>(left.count()) : 0;
}

// Bytes received and not yet read, 0 when the socket cannot tell.
int pendingBytes(SokHandle sock) {
    int pending = 0;
    if (ioctl(sock, FIONREAD, &pending) != 0) {
        return 0;
    }
    return pending;
}

// Waits for the connection of a non-blocking connect until the deadline.
// 0 connected, 4 timed out, 100 cancelled by the user.
int awaitConnected(SokHandle sock, SteadyClock::time_point deadline, std::int32_t cancel) {
    Sok_trace(" connect, wait...");
    while (SteadyClock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (Sok_alive(sock) == SOK_TRUE) {
            return 0;
        }
        if (cancel == 1 && AsyncKey_escapePressed()) {
            Sok_trace(" canceled");
            return 100;
        }
    }
    Sok_trace(" connect timeout.");
    return 4;
}

// Starts the connect and sees it through: 0 connected, 4 failed or timed
// out, 100 cancelled. Address 0 names no host and fails at once, as on
// platforms that refuse to connect to it.
int establish(SokHandle sock, const sockaddr_in& sa, std::int32_t timeoutMs, std::int32_t cancel) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    int lastError = EADDRNOTAVAIL;
    if (sa.sin_addr.s_addr != 0) {
        if (connect(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
            return 0;
        }
        lastError = errno;
        if (lastError == EINPROGRESS) {
            const int waited = awaitConnected(sock, deadline, cancel);
            if (waited != 4) {
                return waited;
            }
        }
    }
    Sok_trace(" connect, lasterr: " + std::to_string(lastError));
    return 4;
}

// Waits until the socket can take more bytes, at most `waitMs`.
bool awaitWritable(SokHandle sock, std::int32_t waitMs) {
    pollfd pfd{sock, POLLOUT, 0};
    const int ready = poll(&pfd, 1, waitMs);
    return ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

}  // namespace

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

int Sok_bind(SokHandle& sock, const std::string& host, std::uint16_t port) {
    if (sock != SOK_NO_SOCKET) {
        return 1;
    }
    sock = newTcpSocket();
    if (sock == SOK_NO_SOCKET) {
        return 2;
    }
    if (!makeNonBlocking(sock)) {
        return closeAndFail(sock, 3);
    }
    // Lets a new listener take the port while connections accepted on it
    // earlier are still open or lingering; two listeners still exclude each
    // other.
    const int reuse = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    const IpAddress address = host.empty() ? getLocalIP() : getIP(host);
    const sockaddr_in sa = makeAddress(address, port);
    if (bind(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0) {
        return closeAndFail(sock, 4);
    }
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
    if (!ev.created) {
        Sok_close(conn);
        Sok_close(listener);
        return 6;
    }
    ev.armed = SOK_FD_READ_CLOSE;
    Sok_close(listener);
    return 0;
}

int Sok_connect(SokHandle& sock, SokEvent& ev, const std::string& host, std::uint16_t port,
                std::int32_t timeoutMs, bool arm, std::int32_t cancel) {
    Sok_trace("Sok_connect: " + std::to_string(sock) + ", " + std::to_string(ev.created ? 1 : 0) +
              ", " + host + ":" + std::to_string(port) + ", " + std::to_string(timeoutMs));
    if (sock != SOK_NO_SOCKET) {
        return 1;
    }
    sock = newTcpSocket();
    Sok_trace(" socket: " + std::to_string(sock));
    if (sock == SOK_NO_SOCKET) {
        return 2;
    }
    const sockaddr_in sa = makeAddress(getIP(host), port);
    const bool nonBlocking = makeNonBlocking(sock);
    Sok_trace(" ioctl: " + std::to_string(nonBlocking ? 0 : -1));
    if (!nonBlocking) {
        return closeAndFail(sock, 3);
    }
    const int outcome = establish(sock, sa, timeoutMs, cancel);
    if (outcome == 100) {
        return 100;
    }
    if (outcome != 0) {
        return closeAndFail(sock, 4);
    }
    Sok_trace(" connected.");
    if (!arm) {
        ev.armed = 0;
        return 0;
    }
    if (!ev.created) {
        Sok_trace(" event-error.");
        return closeAndFail(sock, 5);
    }
    ev.armed = SOK_FD_READ_CLOSE;
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

void Sok_trace(const std::string& text) {
    static_cast<void>(text);
}

std::int32_t Sok_send(SokHandle sock, const std::uint8_t* data, std::int32_t length) {
    if (length == 0) {
        return 0;
    }
    if (sock == SOK_NO_SOCKET || length < 0 || data == nullptr) {
        return -1;
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(SOK_SEND_WAIT_MS);
    std::int32_t sent = 0;
    while (sent < length) {
        const ssize_t n =
            send(sock, data + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        const bool full = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        if (!full || !awaitWritable(sock, msLeft(deadline))) {
            break;
        }
    }
    if (sent == length) {
        return length;
    }
    if (sent > 0) {
        // The peer holds a cut unit: end the stream so nothing follows it.
        shutdown(sock, SHUT_RDWR);
    }
    return -1;
}
