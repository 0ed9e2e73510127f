// The socket layer's system calls on POSIX sockets.
#include "proxy/net/SockAPI.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

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

bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

int pendingError(SokHandle sock) {
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return errno;
    }
    return error;
}

}  // namespace

namespace sok_platform {

void noteSystemError() {
    noteSystemError(errno);
}

void noteSystemError(int code) {
    noteError(code, std::strerror(code), code == EADDRINUSE);
}

SokHandle newTcpSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

bool makeNonBlocking(SokHandle sock) {
    const int flags = fcntl(sock, F_GETFL, 0);
    return flags != -1 && fcntl(sock, F_SETFL, flags | O_NONBLOCK) != -1;
}

void setNoDelay(SokHandle sock) {
    const int on = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
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

bool listenOn(SokHandle sock) {
    return listen(sock, SOMAXCONN) == 0;
}

SokHandle acceptOne(SokHandle listener) {
    return accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

void closeSocket(SokHandle sock) {
    shutdown(sock, SHUT_WR);
    close(sock);
}

ConnectStart startConnect(SokHandle sock, IpAddress address, std::uint16_t port, int& lastError) {
    const sockaddr_in sa = makeAddress(address, port);
    if (connect(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
        return ConnectStart::connected;
    }
    lastError = errno;
    return lastError == EINPROGRESS ? ConnectStart::pending : ConnectStart::failed;
}

ConnectState connectState(SokHandle sock, int& lastError) {
    pollfd pfd{sock, POLLOUT, 0};
    if (poll(&pfd, 1, 0) == 0) {
        return ConnectState::pending;
    }
    lastError = pendingError(sock);
    // A refused connect shows as writable with an error.
    const bool broken = (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
    return lastError == 0 && !broken ? ConnectState::connected : ConnectState::failed;
}

std::int32_t receiveSome(SokHandle sock, std::uint8_t* buffer, std::int32_t size) {
    ssize_t n = 0;
    do {
        n = recv(sock, buffer, static_cast<std::size_t>(size), 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        return static_cast<std::int32_t>(n);
    }
    if (n == 0) {
        return -3;
    }
    if (wouldBlock()) {
        return 0;
    }
    noteSystemError();
    return -4;
}

std::int32_t sendSome(SokHandle sock, const std::uint8_t* data, std::int32_t length) {
    ssize_t n = 0;
    do {
        n = send(sock, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        return static_cast<std::int32_t>(n);
    }
    if (wouldBlock()) {
        return 0;
    }
    noteSystemError();
    return -1;
}

bool localAddress(SokHandle sock, IpAddress& address, std::uint16_t& port) {
    sockaddr_in sa{};
    socklen_t length = sizeof(sa);
    if (getsockname(sock, reinterpret_cast<sockaddr*>(&sa), &length) != 0 ||
        sa.sin_family != AF_INET) {
        return false;
    }
    address = sa.sin_addr.s_addr;
    port = ntohs(sa.sin_port);
    return true;
}

int waitReady(std::span<SokWaitItem> items, std::int32_t waitMs) {
    constexpr std::size_t kMost = 64;
    std::array<pollfd, kMost> fds{};
    std::array<std::size_t, kMost> itemOf{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < items.size() && n < kMost; ++i) {
        const SokWaitItem& item = items[i];
        if (item.sock == SOK_NO_SOCKET || item.wanted == 0) {
            continue;
        }
        const short events = static_cast<short>(((item.wanted & SOK_READABLE) != 0 ? POLLIN : 0) |
                                                ((item.wanted & SOK_WRITABLE) != 0 ? POLLOUT : 0));
        fds[n] = pollfd{item.sock, events, 0};
        itemOf[n++] = i;
    }
    int ready = 0;
    do {
        ready = poll(fds.data(), n, waitMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return ready;
    }
    for (std::size_t k = 0; k < n; ++k) {
        const short r = fds[k].revents;
        SokWaitItem& item = items[itemOf[k]];
        const bool broken = (r & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        item.ready = (((r & POLLIN) != 0 || broken) ? SOK_READABLE : 0) |
                     (((r & POLLOUT) != 0 || broken) ? SOK_WRITABLE : 0);
        item.ready &= item.wanted;
    }
    return ready;
}

}  // namespace sok_platform

int Sok_init() {
    // A send to a peer that has gone must fail with an error, never end the
    // program.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        sok_platform::noteSystemError();
        return 1;
    }
    return 0;
}

void Sok_cleanup() {}
