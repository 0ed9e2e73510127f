// Records and frames as the host and the OSCAR peers build them, and a host
// callback that keeps every record the plug-in hands it: shared by the tests
// and fuzz target of the plug-in's logic and the tests of its windows and of
// the built plugin library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "proxy/plugin_host/PluginInterface.h"

using Bytes = std::vector<std::uint8_t>;

// The host side: every record handed to the callback, in order.
extern std::vector<Bytes> hostCalls;
// Answers HOST_ACK ACK_OK, or HOST_ERROR ERROR_TRANSMIT while hostRefuses.
extern bool hostRefuses;
const std::uint8_t* PLUG_CALL recordingHostCallback(const std::uint8_t* record);
// A second session's callback: the same, into otherHostCalls.
extern std::vector<Bytes> otherHostCalls;
const std::uint8_t* PLUG_CALL otherHostCallback(const std::uint8_t* record);

void append(Bytes& to, const Bytes& more);
Bytes be(std::uint32_t value, std::size_t width);
Bytes le32(std::uint32_t value);
Bytes eventRecord(std::uint8_t code, const Bytes& data = {});
// The version of a host that serves a plug-in one session at a time.
inline constexpr std::uint32_t ONE_SESSION_HOST_API_VERSION = 7;
// The init record of the host's PlugInit: the callback (recordingHostCallback
// unless another is given), the host's version (unless given, one of a host
// of one session at a time), the program folder twice, the own UIN and, on
// 64-bit builds, the full callback address.
Bytes initRecord(std::uint32_t ownUin, const std::string& programDir = "C:\\Skelvane",
                 HostCallbackFunction callback = recordingHostCallback,
                 std::uint32_t hostApiVersion = ONE_SESSION_HOST_API_VERSION);
// EVENT_SESSION naming the session of this callback, with the full address
// on 64-bit builds.
Bytes sessionRecord(HostCallbackFunction callback);
Bytes withLength(Bytes record, std::uint32_t length);  // same bytes, L changed
Bytes flap(std::uint8_t channel, const Bytes& data, int declaredLength = -1);
Bytes snac(std::uint16_t family, std::uint16_t subtype, std::uint32_t requestId,
           const Bytes& body = {});
// An instant message's body: cookie, message channel 1, the UIN and a TLV.
Bytes messageBody(const std::array<std::uint8_t, 8>& cookie, const std::string& uinText);
std::uint32_t readLe(const Bytes& bytes, std::size_t at, std::size_t width);
std::uint32_t readBe(const Bytes& bytes, std::size_t at, std::size_t width);
