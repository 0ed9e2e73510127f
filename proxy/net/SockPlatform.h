// What each platform's socket and resolver files (posix/, win32/) give the
// shared socket and address functions: the system calls, wrapped so that
// the shared code needs no system header. Internal to proxy/net.
#pragma once

#include <cstdint>
#include <string>

#include "proxy/net/Address.h"
#include "proxy/net/SockAPI.h"

namespace sok_platform {

// A new IPv4 TCP socket that child processes do not inherit, or
// SOK_NO_SOCKET.
SokHandle newTcpSocket();
bool makeNonBlocking(SokHandle sock);
// Binds the socket to address:port, ready to listen.
bool bindTo(SokHandle sock, IpAddress address, std::uint16_t port);

enum class ConnectStart { connected, pending, failed };
// Starts a non-blocking connect; on `failed` the system's error code is in
// `lastError`.
ConnectStart startConnect(SokHandle sock, IpAddress address, std::uint16_t port, int& lastError);

// Arms read and close of a new socket on its slot's event, with nothing
// left over from the slot's previous socket; false when the slot has no
// event object.
bool armSlot(SokHandle sock, SokEvent& ev);
// Lets nothing signal on the slot's event.
void disarmSlot(SokEvent& ev);

// One send: the bytes taken (> 0), 0 when the socket's buffer is full, -1
// when the connection failed.
std::int32_t sendSome(SokHandle sock, const std::uint8_t* data, std::int32_t length);
// Waits until the socket can take more bytes, at most `waitMs`.
bool awaitWritable(SokHandle sock, std::int32_t waitMs);
// Ends the stream both ways, leaving the socket open.
void endStream(SokHandle sock);

enum class Lookup { found, noAnswer, noList, noFirst };
// The first IPv4 address of the resolver's answer for `host`.
Lookup resolveFirst(const std::string& host, IpAddress& address);
// The machine's own host name, empty when the system does not tell.
std::string localHostName();

}  // namespace sok_platform
