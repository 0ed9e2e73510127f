// The socket layer on Windows Sockets 2: every connection socket has read
// and close selected onto its slot's event object, which Sok_recv waits on.
#include "proxy/net/SockAPI.h"

#include <windows.h>
#include <winsock2.h>

#include <cstdint>

#include "proxy/net/Address.h"
#include "proxy/net/SockPlatform.h"

namespace {

constexpr long kReadClose = FD_READ | FD_CLOSE;
static_assert(kReadClose == SOK_FD_READ_CLOSE, "the slot's armed mask is the Winsock mask");

// Socket handles are small values that fit the slot's signed 32 bits;
// INVALID_SOCKET becomes -1 and back.
SOCKET raw(SokHandle sock) {
    return static_cast<SOCKET>(static_cast<std::intptr_t>(sock));
}
SokHandle slotValue(SOCKET sock) {
    return sock == INVALID_SOCKET ? SOK_NO_SOCKET : static_cast<SokHandle>(sock);
}
WSAEVENT eventOf(const SokEvent& ev) {
    return static_cast<WSAEVENT>(ev.handle);
}

sockaddr_in makeAddress(IpAddress address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

// Bytes received and not yet read, 0 when the socket cannot tell.
u_long pendingBytes(SokHandle sock) {
    u_long pending = 0;
    if (ioctlsocket(raw(sock), FIONREAD, &pending) != 0) {
        return 0;
    }
    return pending;
}

// Reads what the caller asked for after the events of one wait: the read
// result (bytes, -3, -4) and whether a close is still to be acted on.
std::int32_t readReported(SokHandle sock, bool read, std::uint8_t* buffer, std::int32_t size) {
    if (!read || size <= 0) {
        return 0;
    }
    const int n = recv(raw(sock), reinterpret_cast<char*>(buffer), size, 0);
    if (n == 0) {
        return -3;
    }
    if (n == SOCKET_ERROR) {
        // A read reported for bytes that an earlier call already took.
        return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -4;
    }
    return n;
}

// Whether the peer's close is all that is left to read.
bool onlyCloseLeft(SokHandle sock) {
    char next = 0;
    return recv(raw(sock), &next, 1, MSG_PEEK) == 0;
}

}  // namespace

namespace sok_platform {

SokHandle newTcpSocket() {
    return slotValue(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
}

bool makeNonBlocking(SokHandle sock) {
    u_long on = 1;
    return ioctlsocket(raw(sock), FIONBIO, &on) == 0;
}

bool bindTo(SokHandle sock, IpAddress address, std::uint16_t port) {
    // No SO_REUSEADDR: on Windows it would let a second listener take a port
    // that is in use. Without it two listeners exclude each other, and a new
    // listener may still take the port of connections accepted earlier.
    const sockaddr_in sa = makeAddress(address, port);
    return bind(raw(sock), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0;
}

ConnectStart startConnect(SokHandle sock, IpAddress address, std::uint16_t port, int& lastError) {
    const sockaddr_in sa = makeAddress(address, port);
    if (connect(raw(sock), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
        return ConnectStart::connected;
    }
    lastError = WSAGetLastError();
    return lastError == WSAEWOULDBLOCK ? ConnectStart::pending : ConnectStart::failed;
}

bool armSlot(SokHandle sock, SokEvent& ev) {
    if (!ev.created || ev.handle == nullptr) {
        return false;
    }
    ev.closeSeen = false;
    WSAResetEvent(eventOf(ev));
    if (WSAEventSelect(raw(sock), eventOf(ev), kReadClose) != 0) {
        return false;
    }
    ev.armed = SOK_FD_READ_CLOSE;
    return true;
}

void disarmSlot(SokEvent& ev) {
    // Nothing may signal for the socket, not even what an earlier socket
    // of the slot left behind.
    ev.armed = 0;
    ev.closeSeen = false;
    if (ev.handle != nullptr) {
        WSAResetEvent(eventOf(ev));
    }
}

std::int32_t sendSome(SokHandle sock, const std::uint8_t* data, std::int32_t length) {
    const int n = send(raw(sock), reinterpret_cast<const char*>(data), length, 0);
    if (n > 0) {
        return n;
    }
    return n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

bool awaitWritable(SokHandle sock, std::int32_t waitMs) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(raw(sock), &writable);
    FD_SET(raw(sock), &failed);
    timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    return ready > 0 && FD_ISSET(raw(sock), &writable) && !FD_ISSET(raw(sock), &failed);
}

void endStream(SokHandle sock) {
    shutdown(raw(sock), SD_BOTH);
}

}  // namespace sok_platform

int Sok_init() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) != 0 ? 1 : 0;
}

void Sok_cleanup() {
    WSACleanup();
}

int Sok_start(SokHandle& sock, SokEvent& ev) {
    sock = SOK_NO_SOCKET;
    ev = SokEvent{};
    const WSAEVENT handle = WSACreateEvent();
    if (handle == WSA_INVALID_EVENT) {
        return 1;
    }
    ev.handle = handle;
    ev.created = true;
    return 0;
}

int Sok_stop(SokHandle& sock, SokEvent& ev) {
    if (sock != SOK_NO_SOCKET) {
        Sok_close(sock);
    }
    if (ev.handle != nullptr) {
        WSACloseEvent(eventOf(ev));
    }
    ev = SokEvent{};
    return 0;
}

int Sok_close(SokHandle& sock) {
    if (sock == SOK_NO_SOCKET) {
        return 1;
    }
    shutdown(raw(sock), SD_SEND);
    closesocket(raw(sock));
    sock = SOK_NO_SOCKET;
    return 0;
}

int Sok_listen(SokHandle& sock) {
    if (sock == SOK_NO_SOCKET) {
        return 1;
    }
    return listen(raw(sock), SOMAXCONN) != 0 ? 1 : 0;
}

int Sok_accept(SokHandle& listener, SokHandle& conn, SokEvent& ev) {
    if (listener == SOK_NO_SOCKET) {
        return 1;
    }
    if (conn != SOK_NO_SOCKET) {
        return 2;
    }
    conn = slotValue(accept(raw(listener), nullptr, nullptr));
    if (conn == SOK_NO_SOCKET) {
        return 5;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(raw(conn)), HANDLE_FLAG_INHERIT, 0);
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
    if (!ev.created || ev.handle == nullptr) {
        return -1;
    }
    WSAEVENT handle = eventOf(ev);
    const DWORD waited =
        WSAWaitForMultipleEvents(1, &handle, FALSE, static_cast<DWORD>(waitMs), FALSE);
    if (waited == WSA_WAIT_FAILED) {
        return -1;
    }
    if (waited != WSA_WAIT_EVENT_0) {
        return -2;
    }
    WSANETWORKEVENTS reported{};
    WSAEnumNetworkEvents(raw(sock), handle, &reported);
    bool closed = ev.closeSeen || (reported.lNetworkEvents & FD_CLOSE) != 0;
    // A close with bytes still queued reads them first; the close is acted
    // on by the call that leaves nothing unread.
    const bool read = closed ? pendingBytes(sock) > 0 : (reported.lNetworkEvents & FD_READ) != 0;
    const std::int32_t got = readReported(sock, read, buffer, size);
    if (got < 0) {
        return got;
    }
    // Windows may report a close only after the bytes before it were read:
    // the call that reads the last of them already sees it.
    if (!closed && got > 0 && pendingBytes(sock) == 0) {
        closed = onlyCloseLeft(sock);
    }
    if (closed && pendingBytes(sock) == 0) {
        ev.closeSeen = false;
        Sok_close(sock);
    } else if (closed) {
        // Windows reports the close once: keep it, and let the next wait
        // end at once.
        ev.closeSeen = true;
        WSASetEvent(handle);
    }
    return got;
}

std::int32_t Sok_alive(SokHandle sock) {
    if (sock == SOK_NO_SOCKET) {
        return SOK_FALSE;
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(raw(sock), &writable);
    timeval now{0, 0};
    if (select(0, nullptr, &writable, nullptr, &now) <= 0) {
        return SOK_FALSE;
    }
    // A refused connect must never count as connected.
    int error = 0;
    int length = sizeof(error);
    if (getsockopt(raw(sock), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
            0 ||
        error != 0) {
        return SOK_FALSE;
    }
    // A socket shut down for sending, or reset, still polls as writable on
    // Windows; a send of nothing tells it apart and puts nothing on the wire.
    const char nothing = 0;
    return send(raw(sock), &nothing, 0, 0) == 0 ? SOK_TRUE : SOK_FALSE;
}

int Sok_name(SokHandle sock, std::string& ip, std::uint16_t& port) {
    sockaddr_in sa{};
    int length = sizeof(sa);
    if (sock == SOK_NO_SOCKET ||
        getsockname(raw(sock), reinterpret_cast<sockaddr*>(&sa), &length) != 0 ||
        sa.sin_family != AF_INET) {
        return 1;
    }
    ip = inet_ntoa(sa.sin_addr);
    port = ntohs(sa.sin_port);
    return 0;
}
