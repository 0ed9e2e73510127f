// The socket functions that are the same on every platform: the slots,
// binding, accepting, connecting, reading, sending, closing and local
// names. The system calls under them are in posix/ and win32/.
#include "proxy/net/SockAPI.h"

#include <array>
#include <cctype>
#include <optional>
#include <string>
#include <utility>

#include "proxy/net/Address.h"
#include "proxy/net/SockPlatform.h"

namespace {

using namespace sok_platform;

constexpr const char* kSlotBusy = "a socket is still open in its place";

// Closes what a failed operation created and frees its slot.
int closeAndFail(SokHandle& sock, int result) {
    Sok_close(sock);
    return result;
}

SokError& lastError() {
    static SokError error;
    return error;
}

// A system message as a clause: no sentence end, and a capital only where
// the word is one ("Address already in use." reads "address already in use").
std::string clause(std::string text) {
    while (!text.empty() &&
           (std::isspace(static_cast<unsigned char>(text.back())) != 0 || text.back() == '.')) {
        text.pop_back();
    }
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) != 0 &&
        std::islower(static_cast<unsigned char>(text[1])) != 0) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

std::string dottedText(IpAddress address) {
    const auto byte = [address](int i) { return std::to_string((address >> (8 * i)) & 0xFF); };
    return byte(0) + "." + byte(1) + "." + byte(2) + "." + byte(3);
}

}  // namespace

void sok_platform::noteError(int code, std::string text, bool addressInUse, bool unresolved) {
    SokError& error = lastError();
    error.code = code;
    error.text = clause(std::move(text));
    if (error.text.empty()) {
        error.text = "error " + std::to_string(code);
    }
    error.addressInUse = addressInUse;
    error.unresolved = unresolved;
}

const SokError& Sok_lastError() {
    return lastError();
}

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
        noteError(0, kSlotBusy);
        return 1;
    }
    sock = newTcpSocket();
    if (sock == SOK_NO_SOCKET) {
        noteSystemError();
        return 2;
    }
    if (!makeNonBlocking(sock)) {
        noteSystemError();
        return closeAndFail(sock, 3);
    }
    // A name that does not resolve is refused rather than widened to every
    // interface, the machine's own name for an empty host too; "0.0.0.0"
    // asks for every interface and resolves.
    const std::optional<IpAddress> address = host.empty() ? resolveLocalIP() : resolveIP(host);
    if (!address) {
        return closeAndFail(sock, 4);
    }
    if (!bindTo(sock, *address, port)) {
        noteSystemError();
        return closeAndFail(sock, 4);
    }
    return 0;
}

int Sok_listen(SokHandle& sock) {
    if (sock == SOK_NO_SOCKET) {
        noteError(0, "no socket to listen on");
        return 1;
    }
    if (!listenOn(sock)) {
        noteSystemError();
        return 1;
    }
    return 0;
}

int Sok_acceptMore(SokHandle listener, SokHandle& conn) {
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
    return 0;
}

int Sok_accept(SokHandle& listener, SokHandle& conn) {
    const int n = Sok_acceptMore(listener, conn);
    if (n == 0) {
        Sok_close(listener);
    }
    return n;
}

int Sok_connect(SokHandle& sock, const std::string& host, std::uint16_t port) {
    Sok_trace("Sok_connect: " + std::to_string(sock) + ", " + host + ":" + std::to_string(port));
    if (sock != SOK_NO_SOCKET) {
        noteError(0, kSlotBusy);
        return 1;
    }
    sock = newTcpSocket();
    Sok_trace(" socket: " + std::to_string(sock));
    if (sock == SOK_NO_SOCKET) {
        noteSystemError();
        return 2;
    }
    const std::optional<IpAddress> resolved = resolveIP(host);
    const IpAddress address = resolved.value_or(0);
    const bool nonBlocking = makeNonBlocking(sock);
    Sok_trace(" ioctl: " + std::to_string(nonBlocking ? 0 : -1));
    if (!nonBlocking) {
        noteSystemError();
        return closeAndFail(sock, 3);
    }
    setNoDelay(sock);
    // Address 0 names no host: it fails at once, as on platforms that
    // refuse to connect to it.
    int lastError = 0;
    if (address == 0) {
        // The resolver's failure is the reason; "0.0.0.0" names no host.
        if (resolved) {
            noteError(0, "no host to connect to");
        }
        return closeAndFail(sock, 4);
    }
    if (startConnect(sock, address, port, lastError) == ConnectStart::failed) {
        Sok_trace(" connect, lasterr: " + std::to_string(lastError));
        noteSystemError(lastError);
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
    noteSystemError(lastError);
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
