// The socket functions that are the same on every platform: binding,
// connecting with its deadline and cancel, whole-unit sends and the trace.
// The system calls under them are in posix/ and win32/.
#include "proxy/net/SockAPI.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "proxy/net/Address.h"
#include "proxy/net/AsyncKey.h"
#include "proxy/net/SockPlatform.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace sok_platform;

// Closes what a failed operation created and frees its slot.
int closeAndFail(SokHandle& sock, int result) {
    Sok_close(sock);
    return result;
}

std::int32_t msLeft(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<std::int32_t>(left.count()) : 0;
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
int establish(SokHandle sock, IpAddress address, std::uint16_t port, std::int32_t timeoutMs,
              std::int32_t cancel) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    int lastError = 0;
    if (address != 0) {
        switch (startConnect(sock, address, port, lastError)) {
            case ConnectStart::connected:
                return 0;
            case ConnectStart::pending: {
                const int waited = awaitConnected(sock, deadline, cancel);
                if (waited != 4) {
                    return waited;
                }
                break;
            }
            case ConnectStart::failed:
                break;
        }
    }
    Sok_trace(" connect, lasterr: " + std::to_string(lastError));
    return 4;
}

}  // namespace

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
    const IpAddress address = getIP(host);
    const bool nonBlocking = makeNonBlocking(sock);
    Sok_trace(" ioctl: " + std::to_string(nonBlocking ? 0 : -1));
    if (!nonBlocking) {
        return closeAndFail(sock, 3);
    }
    const int outcome = establish(sock, address, port, timeoutMs, cancel);
    if (outcome == 100) {
        return 100;
    }
    if (outcome != 0) {
        return closeAndFail(sock, 4);
    }
    Sok_trace(" connected.");
    if (!arm) {
        disarmSlot(ev);
        return 0;
    }
    if (!armSlot(sock, ev)) {
        Sok_trace(" event-error.");
        return closeAndFail(sock, 5);
    }
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
        const std::int32_t n = sendSome(sock, data + sent, length - sent);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 || !awaitWritable(sock, msLeft(deadline))) {
            break;
        }
    }
    if (sent == length) {
        return length;
    }
    if (sent > 0) {
        // The peer holds a cut unit: end the stream so nothing follows it.
        endStream(sock);
    }
    return -1;
}
