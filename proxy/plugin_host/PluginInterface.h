// The record interface between the proxy (the host) and its one plug-in.
// This header is the only thing the two share at build time.
//
// Entry points
//   The plug-in exports one function under the plain C name "pluginFun". The
//   host calls it with one PLUGIN_EVENT record and gets back a record (an
//   answer) or null (no answer). The plug-in calls the host through a
//   session's callback, whose address the host hands over in that session's
//   EVENT_INIT, with one record, and gets back the host's 6-byte reply record
//   or null. Both take their one pointer argument in the platform's standard
//   calling convention for exported library functions (stdcall on 32-bit
//   Windows). Both are called on the host's UI thread only; neither side
//   takes a lock.
//
// Sessions
//   The host may run several sessions (sign-ons) at once. Each has a callback
//   of its own, and a command through it acts on that session. An address
//   names its session from the session's EVENT_INIT to its EVENT_FINISH; the
//   host may hand it to a later session after that. Sessions that come one
//   at a time all get the same address.
//   - A plug-in that serves one session (no sessions field in PLUGIN_INFO, or
//     any value but INFO_SEVERAL_SESSIONS) is served one session at a time:
//     the first that starts while it serves none, from that session's
//     EVENT_INIT to its EVENT_FINISH. It gets no EVENT_SESSION and no event
//     of another session; those are relayed without it.
//   - A plug-in whose PLUGIN_INFO says INFO_SEVERAL_SESSIONS gets every
//     session's events, each session's EVENT_INIT included. Before an event
//     of a session other than the one last named by an EVENT_INIT or an
//     EVENT_SESSION, it gets EVENT_SESSION naming that session by its
//     callback address. EVENT_INIT names its own session and
//     EVENT_PREFERENCES belongs to none, so neither is preceded by one.
//   The host learns the kind from each answer to EVENT_INIT; until the first,
//   and again once the plug-in library is bound anew, it takes the plug-in
//   for one that serves one session.
//
// Records (both directions)
//   offset 0  4 bytes  L: unsigned 32-bit little-endian count of the bytes
//                       that follow
//   offset 4  1 byte   record kind (PLUGIN_INFO, PLUGIN_EVENT, ...)
//   offset 5  L-1      payload; for events and commands the first payload
//                       byte is the event or command code
//   Integers of the interface are 32-bit little-endian. A string is a 32-bit
//   little-endian count and that many bytes of 8-bit text, no terminator; a
//   reader that displays it stops at the first zero byte within the count.
//   FLAP frames carried inside records keep their own big-endian fields.
//   The host ignores a record with L < 1 or L >= PLUG_MAX_RECORD_LENGTH.
//   An event record carries at most PLUG_MAX_EVENT_DATA data bytes.
//
// What the host does with a plug-in's record
//   It acts on PLUGIN_INFO and PLUGIN_COMMAND only; any other kind has no
//   effect and gets no reply (null). Any non-null answer to PACKET_TO_CLIENT
//   or PACKET_TO_SERVER withholds that frame, whatever the answer holds.
//   - PLUGIN_INFO: kind, 32-bit title length n, n title bytes, 32-bit
//     pluginApiVersion (L = 9 + n), and optionally a 32-bit sessions field
//     (L = 13 + n): INFO_SEVERAL_SESSIONS when the plug-in serves several
//     sessions; absent, INFO_ONE_SESSION or any other value: one. Honoured
//     only as the answer to EVENT_INIT: the host shows
//     "<title> (API: <version>)"; an n that does not fit in L leaves the
//     display as it was. Never a reply.
//   - PLUGIN_COMMAND: kind, command code, data. Carried out whether it came
//     through a callback or as an answer; an answer's reply is dropped. An
//     answer's command acts on the session of the event it answers (the
//     answer to EVENT_PREFERENCES: on the session last named); the answer to
//     EVENT_SESSION is ignored. A command through the callback of a session
//     that no longer runs sends nothing (HOST_ERROR ERROR_TRANSMIT) and
//     closes nothing (CLOSE_CLIENT_CHAT still gets HOST_ACK ACK_OK).
//       PACKET_TO_CLIENT / PACKET_TO_SERVER, data one whole FLAP frame: the
//         host stamps the direction's next sequence number into bytes 2-3
//         and sends it. Reply HOST_ACK ACK_OK, or HOST_ERROR ERROR_TRANSMIT
//         when the chat relay is not running or the send failed.
//       CLOSE_CLIENT_CHAT, no data: closes the client's chat connection.
//         Reply HOST_ACK ACK_OK.
//       any other code: reply HOST_ERROR ERROR_UNKNOWN_COMMAND.
//   A reply is always 6 bytes: L = 2, HOST_ACK or HOST_ERROR, the value.
//
// Ownership and lifetime (nothing crosses that the other side must free)
//   - An event passed to pluginFun belongs to the host and is valid only
//     during the call: the plug-in must not keep the pointer or write to it.
//   - An answer returned by pluginFun belongs to the plug-in and must stay
//     valid until the host has read it, which happens at once, before the
//     host makes any other call into the plug-in.
//   - A record passed to a callback belongs to the plug-in and is valid
//     during the call; the host copies it before acting and never writes to
//     it.
//   - The reply returned by a callback belongs to the host and is valid
//     until the host's next reply overwrites it (two replies share one
//     address, whichever session's callback gave them); copy the two bytes
//     if they are needed later.
//
// EVENT_INIT payload (offsets from the start of the record)
//   6        4      callback: low 32 bits of the address of the session's
//                   callback
//   10       4      hostApiVersion: always 8
//   14       4 + n  programDir: string, the folder of the host program
//   18 + n   4 + n  programDir2: the same folder again
//   22 + 2n  4      ownUin: the user's UIN from the client's login request
//   26 + 2n  8      (64-bit builds only) the full address of the session's
//                   callback, 64-bit little-endian
//   L is 22 + 2n on a 32-bit build and 30 + 2n on a 64-bit build. A plug-in
//   takes the full address from offset 26 + 2n when L leaves room for it,
//   and the 32-bit field otherwise. Fields that do not fit in L are absent.
//
// EVENT_SESSION payload: the callback fields of the session whose events
// follow, as in EVENT_INIT
//   6        4      callback: low 32 bits of the address
//   10       8      (64-bit builds only) the full address, 64-bit
//                   little-endian
//   L is 6 on a 32-bit build and 14 on a 64-bit build.
#pragma once

// The header is shared by the host (C++) and by plug-ins written in C or C++:
// every constant is a macro of a fixed-width type, so that it works in C case
// labels and has the same type in both languages.
#include <stdint.h>
#ifdef __cplusplus
#include <cstdint>
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define PLUG_CALL __stdcall
#else
#define PLUG_CALL
#endif

#define PLUG_U8(value) ((uint8_t)(value))
#define PLUG_U32(value) ((uint32_t)(value))

// Record kinds.
#define PLUGIN_INFO PLUG_U8(2)     // plug-in -> host, answer to EVENT_INIT
#define PLUGIN_EVENT PLUG_U8(3)    // host -> plug-in, argument of pluginFun
#define PLUGIN_COMMAND PLUG_U8(5)  // plug-in -> host, callback or any answer
#define HOST_ACK PLUG_U8(6)        // host -> plug-in, reply to a command
#define HOST_ERROR PLUG_U8(7)      // host -> plug-in, reply to a command

// Event codes (second byte of a PLUGIN_EVENT).
#define EVENT_INIT PLUG_U8(1)               // data: the init payload
#define EVENT_FINISH PLUG_U8(2)             // chat over: release everything
#define EVENT_PREFERENCES PLUG_U8(3)        // the user pressed "Preferences"
#define EVENT_CHAT_CONNECTED PLUG_U8(4)     // chat relay begins
#define EVENT_CHAT_DISCONNECTED PLUG_U8(5)  // a chat side closed; FINISH follows
#define EVENT_SESSION PLUG_U8(6)            // data: the callback fields of a session
// Traffic events and the send commands share these codes: 80 is towards
// the client, 81 towards the server. The data is one whole FLAP frame.
#define PACKET_TO_CLIENT PLUG_U8(80)
#define PACKET_TO_SERVER PLUG_U8(81)

// Command codes (second byte of a PLUGIN_COMMAND), besides the two above.
#define CLOSE_CLIENT_CHAT PLUG_U8(10)  // close the client's chat connection

// Reply values (the byte after the reply's kind).
#define ACK_OK PLUG_U8(1)                 // with HOST_ACK: done
#define ERROR_TRANSMIT PLUG_U8(1)         // with HOST_ERROR: frame not sent
#define ERROR_UNKNOWN_COMMAND PLUG_U8(2)  // with HOST_ERROR: unknown command

// Sizes.
#define PLUG_HEAD_SIZE PLUG_U32(4)              // the L field
#define PLUG_MAX_RECORD_LENGTH PLUG_U32(70000)  // L must stay below this
#define PLUG_REPLY_SIZE PLUG_U32(6)             // every host reply
#define PLUG_EVENT_HEAD_SIZE PLUG_U32(6)        // L, kind, event code
#define PLUG_MAX_EVENT_DATA PLUG_U32(69995)     // the most data an event carries
#define HOST_API_VERSION PLUG_U32(8)
// The first hostApiVersion whose host hands a plug-in several sessions.
#define HOST_API_SEVERAL_SESSIONS PLUG_U32(8)

// PLUGIN_INFO's sessions field after pluginApiVersion (L = 13 + n): what the
// plug-in serves. Absent or any value but INFO_SEVERAL_SESSIONS: one session
// at a time.
#define INFO_ONE_SESSION PLUG_U32(0)
#define INFO_SEVERAL_SESSIONS PLUG_U32(1)

// Offsets of the EVENT_SESSION fields: the session's callback address, its
// low 32 bits and (64-bit builds only) the full address.
#define SESSION_OFFSET_CALLBACK PLUG_U32(6)
#define SESSION_OFFSET_FULL_CALLBACK PLUG_U32(10)

// Offsets of the EVENT_INIT fields; n is the length of the program folder.
#define INIT_OFFSET_CALLBACK PLUG_U32(6)
#define INIT_OFFSET_HOST_API_VERSION PLUG_U32(10)
#define INIT_OFFSET_PROGRAM_DIR PLUG_U32(14)
#ifdef __cplusplus
#define PLUG_INLINE constexpr
#else
#define PLUG_INLINE static inline
#endif
PLUG_INLINE uint32_t initOffsetProgramDir2(uint32_t n) {
    return 18 + n;
}
PLUG_INLINE uint32_t initOffsetOwnUin(uint32_t n) {
    return 22 + 2 * n;
}
PLUG_INLINE uint32_t initOffsetFullCallback(uint32_t n) {
    return 26 + 2 * n;
}

#ifdef __cplusplus
extern "C" {
#endif
// The plug-in's export, looked up by the name "pluginFun".
typedef const uint8_t*(PLUG_CALL* PluginFunction)(const uint8_t* eventRecord);
// A session's callback entry, reached through the address in its EVENT_INIT.
typedef const uint8_t*(PLUG_CALL* HostCallbackFunction)(const uint8_t* record);
#ifdef __cplusplus
}
#endif
