// A scriptable test plug-in, built from the interface header alone.
//
// Every event it gets is appended to "probe.log" in the current directory as
// "event <hex of the whole record>". Before answering, it reads "probe.cfg"
// from the current directory; each line there is
//   <event code> call <hex record>    call the host back with the record
//   <event code> answer <hex record>  answer the event with the record
// Calls run in file order, each logged as "call <hex> reply <hex|null> <address>";
// the last "answer" line of the event's code is the answer, none means null.
// A record is built in a zero-filled buffer, so one whose L claims more than
// the hex gives is padded with zero bytes up to 4 + L (within the buffer).
//
// The export `probeCall` lets a test call the host through the address that
// EVENT_INIT delivered, at any moment, exactly as the plug-in would.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "proxy/plugin_host/PluginInterface.h"

#if defined(_WIN32)
#define TEST_PLUGIN_EXPORT __declspec(dllexport)
#else
#define TEST_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

namespace {

constexpr std::size_t kBufferSize = 80000;
using Buffer = std::array<std::uint8_t, kBufferSize>;

HostCallbackFunction hostEntry = nullptr;
Buffer answerBuffer{};
Buffer callBuffer{};

std::uint32_t readLe32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string hex(const std::uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        text += digits[p[i] >> 4];
        text += digits[p[i] & 15];
    }
    return text;
}

void fill(Buffer& buffer, const std::string& hexText) {
    buffer.fill(0);
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < hexText.size() && at < buffer.size(); i += 2) {
        buffer[at++] = static_cast<std::uint8_t>(std::stoul(hexText.substr(i, 2), nullptr, 16));
    }
}

void logLine(const std::string& line) {
    std::ofstream("probe.log", std::ios::app) << line << '\n';
}

// Takes the callback address from an EVENT_INIT record: the full address
// when L leaves room for it, the 32-bit field otherwise.
void takeCallback(const std::uint8_t* record) {
    const std::uint32_t l = readLe32(record);
    if (l < INIT_OFFSET_PROGRAM_DIR) {
        return;
    }
    const std::uint32_t n = readLe32(record + INIT_OFFSET_PROGRAM_DIR);
    std::uint64_t address = readLe32(record + INIT_OFFSET_CALLBACK);
    if (PLUG_HEAD_SIZE + l >= initOffsetFullCallback(n) + 8) {
        const std::uint8_t* full = record + initOffsetFullCallback(n);
        address = readLe32(full) | static_cast<std::uint64_t>(readLe32(full + 4)) << 32;
    }
    hostEntry = reinterpret_cast<HostCallbackFunction>(static_cast<std::uintptr_t>(address));
}

const std::uint8_t* callHost(const std::uint8_t* record) {
    if (hostEntry == nullptr) {
        logLine("call without callback");
        return nullptr;
    }
    const std::uint8_t* reply = hostEntry(record);
    std::ostringstream line;
    const std::size_t head =
        record != nullptr ? std::min<std::uint64_t>(6, 4 + readLe32(record)) : 0;
    line << "call " << (record != nullptr ? hex(record, head) : "null") << " reply "
         << (reply != nullptr ? hex(reply, PLUG_REPLY_SIZE) : "null") << ' '
         << reinterpret_cast<std::uintptr_t>(reply);
    logLine(line.str());
    return reply;
}

const std::uint8_t* runScript(std::uint8_t code) {
    std::ifstream script("probe.cfg");
    std::string line;
    const std::uint8_t* answer = nullptr;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        int lineCode = -1;
        std::string verb;
        std::string part;
        std::string record;
        words >> lineCode >> verb;
        while (words >> part) {
            record += part;
        }
        if (lineCode != code) {
            continue;
        }
        if (verb == "call") {
            fill(callBuffer, record);
            callHost(callBuffer.data());
        } else if (verb == "answer") {
            fill(answerBuffer, record);
            answer = answerBuffer.data();
        }
    }
    return answer;
}

}  // namespace

extern "C" {

TEST_PLUGIN_EXPORT const std::uint8_t* PLUG_CALL pluginFun(const std::uint8_t* event) {
    try {
        const std::uint32_t l = readLe32(event);
        logLine("event " + hex(event, PLUG_HEAD_SIZE + l));
        const std::uint8_t code = l >= 2 ? event[5] : 0;
        if (code == EVENT_INIT) {
            takeCallback(event);
        }
        return runScript(code);
    } catch (...) {
        return nullptr;
    }
}

TEST_PLUGIN_EXPORT const std::uint8_t* probeCall(const std::uint8_t* record) {
    try {
        return callHost(record);
    } catch (...) {
        return nullptr;
    }
}
}
