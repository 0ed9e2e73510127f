// Thin TCP socket layer: every operation works on a socket slot that the
// caller owns, reports a small integer result and never throws. Nothing in
// it waits on a peer: sockets are non-blocking, a connect completes in the
// background, and the caller learns of readiness from its event loop
// (Sok_wait here, or a window's socket notifications).
//
// A socket slot holds a platform socket handle or SOK_NO_SOCKET (-1); every
// operation that closes a socket writes -1 back into the slot, and every
// failing operation closes what it created.
#pragma once

#include <cstdint>
#include <span>
#include <string>

using SokHandle = std::int32_t;

inline constexpr SokHandle SOK_NO_SOCKET = -1;

// Starts the socket library: 0 started, 1 failed.
int Sok_init();
// Stops the socket library at shutdown, after every slot was stopped.
void Sok_cleanup();

// Marks the socket slot unused: always 0.
int Sok_start(SokHandle& sock);
// Closes the slot's socket if any: always 0.
int Sok_stop(SokHandle& sock);

// Creates a non-blocking socket in the slot and binds it to host:port. An
// empty host means the machine's own first address, "0.0.0.0" every
// interface; a host that does not resolve fails like a bind, and so does an
// empty one when the machine's own name does not resolve (never every
// interface). 0; 1 slot busy;
// 2 no socket; 3 no non-blocking mode; 4 bind failed or host not resolved.
// On 3 and 4 the created socket is closed and the slot is -1 again.
int Sok_bind(SokHandle& sock, const std::string& host, std::uint16_t port);
// 0; 1 listen failed (or no socket in the slot).
int Sok_listen(SokHandle& sock);
// Accepts one pending connection into `conn`, non-blocking and with
// TCP_NODELAY. The listener is closed on success: it serves exactly one
// connection. 0; 1 no listener; 2 connection slot busy; 5 nothing pending.
int Sok_accept(SokHandle& listener, SokHandle& conn);
// Sok_accept that leaves the listener open for the next connection.
int Sok_acceptMore(SokHandle listener, SokHandle& conn);

// Starts a connect to host:port on a new non-blocking socket with
// TCP_NODELAY and returns at once. 0 started (Sok_connected tells the
// outcome); 1 slot busy; 2 no socket; 3 no non-blocking mode (slot closed
// again); 4 failed at once, for example a host that does not resolve (slot
// closed).
int Sok_connect(SokHandle& sock, const std::string& host, std::uint16_t port);
// The outcome of a connect that Sok_connect started; the socket shows it by
// becoming writable. 0 connected; SOK_CONNECTING not yet; 4 failed (refused
// or unreachable: the slot is closed).
inline constexpr int SOK_CONNECTING = 7;
int Sok_connected(SokHandle& sock);

// Reads what has arrived, at most `size` bytes, without waiting. Returns the
// bytes read (1 or more); 0 nothing to read now (or an unused slot); -3 the
// peer closed its end; -4 the connection failed. The slot stays as it is.
std::int32_t Sok_recv(SokHandle sock, std::uint8_t* buffer, std::int32_t size);
// Sends what the socket takes now, without waiting: the bytes taken (0 when
// its buffer is full, and for a length of 0), or -1 when the connection
// failed or the slot is unused.
std::int32_t Sok_send(SokHandle sock, const std::uint8_t* data, std::int32_t length);

// 0 closed; 1 the slot was already unused.
int Sok_close(SokHandle& sock);
// The socket's local address: 0, or 1 when it cannot be read (outputs untouched).
int Sok_name(SokHandle sock, std::string& ip, std::uint16_t& port);
// The system's own reason for the latest failure in this layer, kept until
// the next one: its code (errno, a Windows Sockets code, or a resolver's
// code), its text in words ("address already in use"), and what it was.
struct SokError {
    int code = 0;
    std::string text;
    bool addressInUse = false;  // a bind to an address another socket holds
    bool unresolved = false;    // a host name that did not resolve
};
const SokError& Sok_lastError();

// Receives the layer's trace texts and discards them.
void Sok_trace(const std::string& text);

// Readiness that an event loop waits for and reports.
inline constexpr int SOK_READABLE = 1;  // data, a pending connection, or the peer's close
inline constexpr int SOK_WRITABLE = 2;  // room to send, or a connect's outcome

struct SokWaitItem {
    SokHandle sock = SOK_NO_SOCKET;
    int wanted = 0;  // SOK_READABLE | SOK_WRITABLE
    int ready = 0;   // set by Sok_wait; an error or hang-up counts as both
};
// Waits up to `waitMs` until one of the sockets is ready as wanted: the
// number of items ready (their `ready` set), 0 when the wait ran out, -1 when
// it failed. Items with socket -1 or nothing wanted are skipped.
int Sok_wait(std::span<SokWaitItem> items, std::int32_t waitMs);

#if defined(_WIN32)
// Asks Windows to post `message` to `window` whenever the socket is ready as
// in `mask` (SOK_READABLE: read, accept, close; SOK_WRITABLE: write,
// connect); mask 0 stops it. wParam carries the socket, as the slot holds
// it. False when Windows refused.
bool Sok_notify(SokHandle sock, void* window, unsigned message, int mask);
// The readiness that one such message reports, and the lParam of a message
// that reports `ready`.
int Sok_notified(std::intptr_t lParam);
std::intptr_t Sok_notification(int ready);
#endif
