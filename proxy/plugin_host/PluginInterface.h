// The record interface between the proxy (the host) and its one plug-in.
// This header is the only thing the two share at build time.
//
// Entry points
//   The plug-in exports one function under the plain C name "pluginFun". The
//   host calls it with one PLUGIN_EVENT record and gets back a record (an
//   answer) or null (no answer). The plug-in calls the host through
//   `hostCallback`, whose address the host hands over in EVENT_INIT, with one
//   record, and gets back the host's 6-byte reply record or null. Both take
//   their one pointer argument in the platform's standard calling convention
//   for exported library functions (stdcall on 32-bit Windows). Both are
//   called on the host's UI thread only; neither side takes a lock.
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
//     pluginApiVersion (L = 9 + n). Honoured only as the answer to
//     EVENT_INIT: the host shows "<title> (API: <version>)"; an n that does
//     not fit in L leaves the display as it was. Never a reply.
//   - PLUGIN_COMMAND: kind, command code, data. Carried out whether it came
//     through hostCallback or as an answer; an answer's reply is dropped.
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
//   - A record passed to hostCallback belongs to the plug-in and is valid
//     during the call; the host copies it before acting and never writes to
//     it.
//   - The reply returned by hostCallback belongs to the host and is valid
//     until the host's next reply overwrites it (two replies share one
//     address); copy the two bytes if they are needed later.
//
// EVENT_INIT payload (offsets from the start of the record)
//   6        4      callback: low 32 bits of the address of hostCallback
//   10       4      hostApiVersion: always 7
//   14       4 + n  programDir: string, the folder of the host program
//   18 + n   4 + n  programDir2: the same folder again
//   22 + 2n  4      ownUin: the user's UIN from the client's login request
//   26 + 2n  8      (64-bit builds only) the full address of hostCallback,
//                   64-bit little-endian
//   L is 22 + 2n on a 32-bit build and 30 + 2n on a 64-bit build. A plug-in
//   takes the full address from offset 26 + 2n when L leaves room for it,
//   and the 32-bit field otherwise. Fields that do not fit in L are absent.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define PLUG_CALL __stdcall
#else
#define PLUG_CALL
#endif

// Record kinds.
inline constexpr std::uint8_t PLUGIN_INFO = 2;     // plug-in -> host, answer to EVENT_INIT
inline constexpr std::uint8_t PLUGIN_EVENT = 3;    // host -> plug-in, argument of pluginFun
inline constexpr std::uint8_t PLUGIN_COMMAND = 5;  // plug-in -> host, callback or any answer
inline constexpr std::uint8_t HOST_ACK = 6;        // host -> plug-in, reply to a command
inline constexpr std::uint8_t HOST_ERROR = 7;      // host -> plug-in, reply to a command

// Event codes (second byte of a PLUGIN_EVENT).
inline constexpr std::uint8_t EVENT_INIT = 1;               // data: the init payload
inline constexpr std::uint8_t EVENT_FINISH = 2;             // chat over: release everything
inline constexpr std::uint8_t EVENT_PREFERENCES = 3;        // the user pressed "Preferences"
inline constexpr std::uint8_t EVENT_CHAT_CONNECTED = 4;     // chat relay begins
inline constexpr std::uint8_t EVENT_CHAT_DISCONNECTED = 5;  // a chat side closed; FINISH follows
// Traffic events and the send commands share these codes: 80 is towards
// the client, 81 towards the server. The data is one whole FLAP frame.
inline constexpr std::uint8_t PACKET_TO_CLIENT = 80;
inline constexpr std::uint8_t PACKET_TO_SERVER = 81;

// Command codes (second byte of a PLUGIN_COMMAND), besides the two above.
inline constexpr std::uint8_t CLOSE_CLIENT_CHAT = 10;  // close the client's chat connection

// Reply values (the byte after the reply's kind).
inline constexpr std::uint8_t ACK_OK = 1;                 // with HOST_ACK: done
inline constexpr std::uint8_t ERROR_TRANSMIT = 1;         // with HOST_ERROR: frame not sent
inline constexpr std::uint8_t ERROR_UNKNOWN_COMMAND = 2;  // with HOST_ERROR: unknown command

// Sizes.
inline constexpr std::uint32_t PLUG_HEAD_SIZE = 4;              // the L field
inline constexpr std::uint32_t PLUG_MAX_RECORD_LENGTH = 70000;  // L must stay below this
inline constexpr std::uint32_t PLUG_REPLY_SIZE = 6;             // every host reply
inline constexpr std::uint32_t PLUG_EVENT_HEAD_SIZE = 6;        // L, kind, event code
inline constexpr std::uint32_t PLUG_MAX_EVENT_DATA = 69995;     // the most data an event carries
inline constexpr std::uint32_t HOST_API_VERSION = 7;

// Offsets of the EVENT_INIT fields; n is the length of the program folder.
inline constexpr std::uint32_t INIT_OFFSET_CALLBACK = 6;
inline constexpr std::uint32_t INIT_OFFSET_HOST_API_VERSION = 10;
inline constexpr std::uint32_t INIT_OFFSET_PROGRAM_DIR = 14;
inline constexpr std::uint32_t initOffsetProgramDir2(std::uint32_t n) {
    return 18 + n;
}
inline constexpr std::uint32_t initOffsetOwnUin(std::uint32_t n) {
    return 22 + 2 * n;
}
inline constexpr std::uint32_t initOffsetFullCallback(std::uint32_t n) {
    return 26 + 2 * n;
}

extern "C" {
// The plug-in's export, looked up by the name "pluginFun".
typedef const std::uint8_t*(PLUG_CALL* PluginFunction)(const std::uint8_t* eventRecord);
// The host's callback entry, reached through the address in EVENT_INIT.
typedef const std::uint8_t*(PLUG_CALL* HostCallbackFunction)(const std::uint8_t* record);
}
