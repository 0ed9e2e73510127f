// The socket functions that are the same on every platform: the slots,
// binding, accepting, connecting, reading, sending, closing and local
// names. The system calls under them are in posix/ and win32/.
#include "proxy/net/SockAPI.h"

#include <array>
#include <optional>
#include <string>

#include "proxy/net/Address.h"
#include "proxy/net/SockPlatform.h"

namespace {

using namespace sok_platform;

// Closes what a failed operation created and frees its slot.
int closeAndFail(SokHandle& sock, int result) {
    Sok_close(sock);
    return result;
}

std::string dottedText(IpAddress address) {
    const auto byte = [address](int i) { return std::to_string((address >> (8 * i)) & 0xFF); };
    return byte(0) + "." + byte(1) + "." + byte(2) + "." + byte(3);
}

}  // namespace

int Sok_start(SokHandle& sock) {
    sock = SOK_NO_SOCKET;
    return 0;
}

int Sok_stop(SokHandle& sock) {
    Sok_close(sock);
    return 0;
}

int Sok_close(SokHandle& sock) {
    if (sock == SOK_NO_SOCKET) {
        return 1;
    }
    closeSocket(sock);
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
    // A name that does not resolve is refused rather than widened to every
    // interface; "0.0.0.0" asks for every interface and resolves.
    const std::optional<IpAddress> address =
        host.empty() ? std::optional(getLocalIP()) : resolveIP(host);
    if (!address || !bindTo(sock, *address, port)) {
        return closeAndFail(sock, 4);
    }
    return 0;
}

int Sok_listen(SokHandle& sock) {
    return sock != SOK_NO_SOCKET && listenOn(sock) ? 0 : 1;
}

int Sok_accept(SokHandle& listener, SokHandle& conn) {
    if (listener == SOK_NO_SOCKET) {
        return 1;
    }
    if (conn != SOK_NO_SOCKET) {
        return 2;
    }
    conn = acceptOne(listener);
    if (conn == SOK_NO_SOCKET) {
        return 5;
    }
    setNoDelay(conn);
    Sok_close(listener);
    return 0;
}

int Sok_connect(SokHandle& sock, const std::string& host, std::uint16_t port) {
    Sok_trace("Sok_connect: " + std::to_string(sock) + ", " + host + ":" + std::to_string(port));
    if (sock != SOK_NO_SOCKET) {
        return 1;
    }
    sock = newTcpSocket();
    Sok_trace(" socket: " + std::to_string(sock));
    if (sock == SOK_NO_SOCKET) {
        return 2;
    }
    const IpAddress address = getIP(host);
    const bool nonBlocking = makeNonBlocking(sock);
    Sok_trace(" ioctl: " + std::to_string(nonBlocking ? 0 : -1));
    if (!nonBlocking) {
        return closeAndFail(sock, 3);
    }
    setNoDelay(sock);
    // Address 0 names no host: it fails at once, as on platforms that
    // refuse to connect to it.
    int lastError = 0;
    if (address == 0 || startConnect(sock, address, port, lastError) == ConnectStart::failed) {
        Sok_trace(" connect, lasterr: " + std::to_string(lastError));
        return closeAndFail(sock, 4);
    }
    return 0;
}

int Sok_connected(SokHandle& sock) {
    if (sock == SOK_NO_SOCKET) {
        return 4;
    }
    int lastError = 0;
    switch (connectState(sock, lastError)) {
        case ConnectState::connected:
            Sok_trace(" connected.");
            return 0;
        case ConnectState::pending:
            return SOK_CONNECTING;
        case ConnectState::failed:
            break;
    }
    Sok_trace(" connect, lasterr: " + std::to_string(lastError));
    return closeAndFail(sock, 4);
}

std::int32_t Sok_recv(SokHandle sock, std::uint8_t* buffer, std::int32_t size) {
    if (sock == SOK_NO_SOCKET || size <= 0) {
        return 0;
    }
    return receiveSome(sock, buffer, size);
}

std::int32_t Sok_send(SokHandle sock, const std::uint8_t* data, std::int32_t length) {
    if (sock == SOK_NO_SOCKET || length < 0 || (length > 0 && data == nullptr)) {
        return -1;
    }
    return length == 0 ? 0 : sendSome(sock, data, length);
}

int Sok_name(SokHandle sock, std::string& ip, std::uint16_t& port) {
    IpAddress address = 0;
    std::uint16_t local = 0;
    if (sock == SOK_NO_SOCKET || !localAddress(sock, address, local)) {
        return 1;
    }
    ip = dottedText(address);
    port = local;
    return 0;
}

int Sok_wait(std::span<SokWaitItem> items, std::int32_t waitMs) {
    for (SokWaitItem& item : items) {
        item.ready = 0;
    }
    return waitReady(items, waitMs);
}

void Sok_trace(const std::string& text) {
    static_cast<void>(text);
}
