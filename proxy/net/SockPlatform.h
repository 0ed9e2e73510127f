// What each platform's socket and resolver files (posix/, win32/) give the
// shared socket and address functions: the system calls, wrapped so that
// the shared code needs no system header. Internal to proxy/net.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "proxy/net/Address.h"
#include "proxy/net/SockAPI.h"

namespace sok_platform {

// A new IPv4 TCP socket that child processes do not inherit, or
// SOK_NO_SOCKET.
SokHandle newTcpSocket();
bool makeNonBlocking(SokHandle sock);
// Sends every small write at once instead of holding it back for more.
void setNoDelay(SokHandle sock);
// Binds the socket to address:port, ready to listen.
bool bindTo(SokHandle sock, IpAddress address, std::uint16_t port);
bool listenOn(SokHandle sock);
// One pending connection, non-blocking and not inherited, or SOK_NO_SOCKET.
SokHandle acceptOne(SokHandle listener);
// Shuts the socket down for sending and closes it.
void closeSocket(SokHandle sock);

enum class ConnectStart { connected, pending, failed };
// Starts a non-blocking connect; `lastError` gets the system's error code
// when it did not connect at once.
ConnectStart startConnect(SokHandle sock, IpAddress address, std::uint16_t port, int& lastError);
enum class ConnectState { connected, pending, failed };
// Where a started connect stands now, without waiting; `lastError` as above.
ConnectState connectState(SokHandle sock, int& lastError);

// One receive: the bytes read (> 0), 0 when nothing is there now, -3 when
// the peer closed, -4 when the connection failed.
std::int32_t receiveSome(SokHandle sock, std::uint8_t* buffer, std::int32_t size);
// One send: the bytes taken (>= 0; 0 when the socket's buffer is full), -1
// when the connection failed.
std::int32_t sendSome(SokHandle sock, const std::uint8_t* data, std::int32_t length);
// The local address in network byte order and the port in host order.
bool localAddress(SokHandle sock, IpAddress& address, std::uint16_t& port);
// Waits for readiness as Sok_wait describes.
int waitReady(std::span<SokWaitItem> items, std::int32_t waitMs);

// Records a failure for Sok_lastError.
void noteError(int code, std::string text, bool addressInUse = false, bool unresolved = false);
// Records the system's last socket error (errno, WSAGetLastError) or `code`.
void noteSystemError();
void noteSystemError(int code);
#if defined(_WIN32)
// The system's message for a Windows error code.
std::string systemMessage(int code);
#endif

enum class Lookup { found, noAnswer, noList };
// The first IPv4 address of the resolver's answer for `host`; a failure is
// recorded, as unresolved.
Lookup resolveFirst(const std::string& host, IpAddress& address);
// gethostname into `name`: false when the system does not tell.
bool hostName(std::span<char> name);

}  // namespace sok_platform
