// Thin TCP socket layer: every operation works on socket and event slots that
// the caller owns, reports a small integer result and never throws.
//
// A socket slot holds a platform socket handle or SOK_NO_SOCKET (-1); every
// operation that closes a socket writes -1 back into the slot. An event slot
// belongs to one socket slot for the whole run and records which network
// events (read, close) were armed for the socket that currently occupies it.
#pragma once

#include <cstdint>
#include <string>

using SokHandle = std::int32_t;

inline constexpr SokHandle SOK_NO_SOCKET = -1;
inline constexpr std::int32_t SOK_TRUE = -1;
inline constexpr std::int32_t SOK_FALSE = 0;

// Network events that a connection socket arms on its event slot.
inline constexpr std::int32_t SOK_FD_READ = 1;
inline constexpr std::int32_t SOK_FD_CLOSE = 32;
inline constexpr std::int32_t SOK_FD_READ_CLOSE = SOK_FD_READ | SOK_FD_CLOSE;

// The event object of one socket slot. `created` false is the null handle.
struct SokEvent {
    bool created = false;
    std::int32_t armed = 0;  // SOK_FD_* mask selected for the slot's socket
#if defined(_WIN32)
    // The Windows event object (WSAEVENT) that the armed events signal.
    void* handle = nullptr;
    // A close was reported while bytes were still unread: Windows reports
    // it only once, so the slot remembers it until the bytes are read.
    bool closeSeen = false;
#endif
};

// Starts the socket library: 0 started, 1 failed.
int Sok_init();
// Stops the socket library at shutdown, after every slot was stopped.
void Sok_cleanup();

// Marks the socket slot unused and creates its event object: 0, or 1 when
// the event object could not be created.
int Sok_start(SokHandle& sock, SokEvent& ev);
// Closes the slot's socket if any and destroys its event object: always 0.
int Sok_stop(SokHandle& sock, SokEvent& ev);

// Creates a non-blocking socket in the slot and binds it to host:port. An
// empty host means the machine's own first address, "0.0.0.0" every
// interface; a host that does not resolve fails like a bind. 0; 1 slot busy;
// 2 no socket; 3 no non-blocking mode; 4 bind failed or host not resolved.
// On 3 and 4 the created socket is closed and the slot is -1 again.
int Sok_bind(SokHandle& sock, const std::string& host, std::uint16_t port);
// 0; 1 listen failed.
int Sok_listen(SokHandle& sock);
// Accepts one pending connection into `conn` and arms read and close on `ev`.
// The listener is closed on success: it serves exactly one connection.
// 0; 1 no listener; 2 connection slot busy; 5 nothing accepted; 6 event
// selection failed (both sockets closed).
int Sok_accept(SokHandle& listener, SokHandle& conn, SokEvent& ev);
// Connects to host:port within `timeoutMs`. A refused or unreachable server
// does not end the wait early: the call runs to its deadline. `cancel` 1
// lets the Escape key cancel (result 100, socket left in the slot).
// 0; 1 slot busy; 2 no socket; 3 no non-blocking mode (slot closed again);
// 4 failed or timed out (slot closed); 5 event selection failed (slot
// closed); 100 cancelled.
int Sok_connect(SokHandle& sock, SokEvent& ev, const std::string& host, std::uint16_t port,
                std::int32_t timeoutMs, bool arm, std::int32_t cancel);
// Waits up to `waitMs` for the slot's armed events and reads at most `size`
// bytes. Returns the bytes read (1 or more), or 0 (nothing to read, or an
// unused slot), -1 wait failed, -2 nothing within the wait, -3 the peer
// closed while a read was reported, -4 receive error. A close is acted on
// (the slot closed and set to -1) only once nothing is left unread, so no
// byte the peer sent before closing is lost; it is reported again on the
// next call while data remains.
std::int32_t Sok_recv(SokHandle& sock, SokEvent& ev, std::uint8_t* buffer, std::int32_t size,
                      std::int32_t waitMs);
// SOK_TRUE when the socket is connected and writable right now, else SOK_FALSE
// (also for -1, a closed socket, or a socket with a pending error).
std::int32_t Sok_alive(SokHandle sock);
// 0 closed; 1 the slot was already unused.
int Sok_close(SokHandle& sock);
// The socket's local address: 0, or 1 when it cannot be read (outputs untouched).
int Sok_name(SokHandle sock, std::string& ip, std::uint16_t& port);
// Receives the layer's trace texts and discards them.
void Sok_trace(const std::string& text);

// Sends one whole unit: every byte reaches the peer in order, or the result
// is -1. A peer that does not read is waited for at most SOK_SEND_WAIT_MS;
// if the unit could then only be sent in part, the connection is shut down
// (so the peer never sees a cut unit followed by later data) and the result
// is -1. Returns `length` on success; a length of 0 sends nothing and
// succeeds.
inline constexpr std::int32_t SOK_SEND_WAIT_MS = 3000;
std::int32_t Sok_send(SokHandle sock, const std::uint8_t* data, std::int32_t length);
