// The socket layer's system calls on Windows Sockets 2, and the socket
// messages that let the window's own loop run the relay.
#include "proxy/net/SockAPI.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <string>

#include "proxy/net/Address.h"
#include "proxy/net/SockPlatform.h"

namespace {

// Socket handles are small values that fit the slot's signed 32 bits;
// INVALID_SOCKET becomes -1 and back.
SOCKET raw(SokHandle sock) {
    return static_cast<SOCKET>(static_cast<std::intptr_t>(sock));
}
SokHandle slotValue(SOCKET sock) {
    return sock == INVALID_SOCKET ? SOK_NO_SOCKET : static_cast<SokHandle>(sock);
}

sockaddr_in makeAddress(IpAddress address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

int pendingError(SokHandle sock) {
    int error = 0;
    int length = sizeof(error);
    if (getsockopt(raw(sock), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
        0) {
        return WSAGetLastError();
    }
    return error;
}

constexpr long kReadEvents = FD_READ | FD_ACCEPT | FD_CLOSE;
constexpr long kWriteEvents = FD_WRITE | FD_CONNECT;

}  // namespace

namespace sok_platform {

// The usual socket errors in words, for a system whose message table lacks
// them (Wine has none for Windows Sockets codes).
const char* knownSocketError(int code) {
    switch (code) {
        case WSAEADDRINUSE:
            return "address already in use";
        case WSAEADDRNOTAVAIL:
            return "cannot assign requested address";
        case WSAEACCES:
            return "permission denied";
        case WSAECONNREFUSED:
            return "connection refused";
        case WSAETIMEDOUT:
            return "connection timed out";
        case WSAENETUNREACH:
            return "network is unreachable";
        case WSAEHOSTUNREACH:
            return "no route to host";
        case WSAECONNRESET:
            return "connection reset by peer";
        case WSAHOST_NOT_FOUND:
            return "host not found";
        case WSATRY_AGAIN:
            return "temporary failure in name resolution";
        case WSANO_DATA:
            return "no address for the name";
        default:
            return "";
    }
}

std::string systemMessage(int code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 && text != nullptr ? std::string(text, n) : knownSocketError(code);
    LocalFree(text);
    return message;
}

void noteSystemError() {
    noteSystemError(WSAGetLastError());
}

void noteSystemError(int code) {
    noteError(code, systemMessage(code), code == WSAEADDRINUSE);
}

SokHandle newTcpSocket() {
    return slotValue(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
}

bool makeNonBlocking(SokHandle sock) {
    u_long on = 1;
    return ioctlsocket(raw(sock), FIONBIO, &on) == 0;
}

void setNoDelay(SokHandle sock) {
    const BOOL on = TRUE;
    setsockopt(raw(sock), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
}

bool bindTo(SokHandle sock, IpAddress address, std::uint16_t port) {
    // No SO_REUSEADDR: on Windows it would let a second listener take a port
    // that is in use. Without it two listeners exclude each other, and a new
    // listener may still take the port of connections accepted earlier.
    const sockaddr_in sa = makeAddress(address, port);
    return bind(raw(sock), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0;
}

bool listenOn(SokHandle sock) {
    return listen(raw(sock), SOMAXCONN) == 0;
}

SokHandle acceptOne(SokHandle listener) {
    const SOCKET conn = accept(raw(listener), nullptr, nullptr);
    if (conn == INVALID_SOCKET) {
        return SOK_NO_SOCKET;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(conn), HANDLE_FLAG_INHERIT, 0);
    // An accepted socket takes over the listener's mode and socket messages
    // until the caller chooses its own.
    u_long on = 1;
    ioctlsocket(conn, FIONBIO, &on);
    return slotValue(conn);
}

void closeSocket(SokHandle sock) {
    shutdown(raw(sock), SD_SEND);
    closesocket(raw(sock));
}

ConnectStart startConnect(SokHandle sock, IpAddress address, std::uint16_t port, int& lastError) {
    const sockaddr_in sa = makeAddress(address, port);
    if (connect(raw(sock), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
        return ConnectStart::connected;
    }
    lastError = WSAGetLastError();
    return lastError == WSAEWOULDBLOCK ? ConnectStart::pending : ConnectStart::failed;
}

ConnectState connectState(SokHandle sock, int& lastError) {
    // Windows shows a failed connect in the error set, a made one in the
    // write set.
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(raw(sock), &writable);
    FD_SET(raw(sock), &failed);
    timeval now{0, 0};
    if (select(0, nullptr, &writable, &failed, &now) <= 0) {
        return ConnectState::pending;
    }
    lastError = pendingError(sock);
    if (FD_ISSET(raw(sock), &failed) || lastError != 0) {
        return ConnectState::failed;
    }
    return ConnectState::connected;
}

std::int32_t receiveSome(SokHandle sock, std::uint8_t* buffer, std::int32_t size) {
    const int n = recv(raw(sock), reinterpret_cast<char*>(buffer), size, 0);
    if (n > 0) {
        return n;
    }
    if (n == 0) {
        return -3;
    }
    if (WSAGetLastError() == WSAEWOULDBLOCK) {
        return 0;
    }
    noteSystemError();
    return -4;
}

std::int32_t sendSome(SokHandle sock, const std::uint8_t* data, std::int32_t length) {
    const int n = send(raw(sock), reinterpret_cast<const char*>(data), length, 0);
    if (n >= 0) {
        return n;
    }
    if (WSAGetLastError() == WSAEWOULDBLOCK) {
        return 0;
    }
    noteSystemError();
    return -1;
}

bool localAddress(SokHandle sock, IpAddress& address, std::uint16_t& port) {
    sockaddr_in sa{};
    int length = sizeof(sa);
    if (getsockname(raw(sock), reinterpret_cast<sockaddr*>(&sa), &length) != 0 ||
        sa.sin_family != AF_INET) {
        return false;
    }
    address = sa.sin_addr.s_addr;
    port = ntohs(sa.sin_port);
    return true;
}

int waitReady(std::span<SokWaitItem> items, std::int32_t waitMs) {
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    int watched = 0;
    for (const SokWaitItem& item : items) {
        if (item.sock == SOK_NO_SOCKET || item.wanted == 0 || watched == FD_SETSIZE) {
            continue;
        }
        if ((item.wanted & SOK_READABLE) != 0) {
            FD_SET(raw(item.sock), &readable);
        }
        if ((item.wanted & SOK_WRITABLE) != 0) {
            FD_SET(raw(item.sock), &writable);
        }
        FD_SET(raw(item.sock), &failed);
        ++watched;
    }
    if (watched == 0) {
        Sleep(static_cast<DWORD>(waitMs));  // select refuses empty sets
        return 0;
    }
    timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
    const int ready = select(0, &readable, &writable, &failed, &wait);
    if (ready <= 0) {
        return ready < 0 ? -1 : 0;
    }
    int count = 0;
    for (SokWaitItem& item : items) {
        if (item.sock == SOK_NO_SOCKET || item.wanted == 0) {
            continue;
        }
        const bool broken = FD_ISSET(raw(item.sock), &failed) != 0;
        item.ready = ((FD_ISSET(raw(item.sock), &readable) != 0 || broken) ? SOK_READABLE : 0) |
                     ((FD_ISSET(raw(item.sock), &writable) != 0 || broken) ? SOK_WRITABLE : 0);
        item.ready &= item.wanted;
        count += item.ready != 0 ? 1 : 0;
    }
    return count;
}

}  // namespace sok_platform

int Sok_init() {
    WSADATA data{};
    if (const int code = WSAStartup(MAKEWORD(2, 2), &data); code != 0) {
        sok_platform::noteSystemError(code);
        return 1;
    }
    return 0;
}

void Sok_cleanup() {
    WSACleanup();
}

bool Sok_notify(SokHandle sock, void* window, unsigned message, int mask) {
    if (sock == SOK_NO_SOCKET) {
        return false;
    }
    const long events = ((mask & SOK_READABLE) != 0 ? kReadEvents : 0) |
                        ((mask & SOK_WRITABLE) != 0 ? kWriteEvents : 0);
    // Windows posts a message for a condition that already holds when the
    // selection is made, so nothing that arrived before is missed.
    return WSAAsyncSelect(raw(sock), static_cast<HWND>(window), events != 0 ? message : 0,
                          events) == 0;
}

int Sok_notified(std::intptr_t lParam) {
    const long event = WSAGETSELECTEVENT(lParam);
    return ((event & kReadEvents) != 0 ? SOK_READABLE : 0) |
           ((event & kWriteEvents) != 0 ? SOK_WRITABLE : 0);
}

std::intptr_t Sok_notification(int ready) {
    return ((ready & SOK_READABLE) != 0 ? FD_READ : 0) |
           ((ready & SOK_WRITABLE) != 0 ? FD_WRITE : 0);
}
