// The host's side of the test plug-ins: a loopback session's Form1
// (LoopbackSessionTest) with a test plug-in installed in its program folder
// as "plugin.so" ("plugin.dll" on Windows), the probe plug-in's script and
// log, and its way of calling the host back.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "proxy/plugin_host/PluginApi.h"
#include "tests/support/LoopbackSession.h"

inline ByteVec fromHex(const std::string& text) {
    ByteVec bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// A record: L (the bytes after it), kind, payload.
inline ByteVec record(std::uint8_t kind, const ByteVec& payload) {
    ByteVec v;
    appendLe32(v, static_cast<std::uint32_t>(payload.size() + 1));
    v.push_back(kind);
    v.insert(v.end(), payload.begin(), payload.end());
    return v;
}
inline ByteVec command(std::uint8_t code, const ByteVec& data = {}) {
    return record(PLUGIN_COMMAND, concat({ByteVec{code}, data}));
}
// A record whose L field says `l`, whatever follows.
inline ByteVec withL(std::uint32_t l, ByteVec rec) {
    for (int i = 0; i < 4; ++i) {
        rec.at(static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(l >> (8 * i) & 0xFF);
    }
    return rec;
}
inline ByteVec pluginInfo(std::int32_t n, const ByteVec& title, std::int32_t version,
                          std::optional<std::uint32_t> sessions = std::nullopt) {
    ByteVec payload;
    appendLe32(payload, static_cast<std::uint32_t>(n));
    payload.insert(payload.end(), title.begin(), title.end());
    appendLe32(payload, static_cast<std::uint32_t>(version));
    if (sessions) {
        appendLe32(payload, *sessions);
    }
    return record(PLUGIN_INFO, payload);
}
inline const ByteVec kServesSeveral = pluginInfo(5, textBytes("Probe"), 8, INFO_SEVERAL_SESSIONS);

// The callback an EVENT_INIT or EVENT_SESSION record names: the full
// address where L holds it, else the 32-bit field.
inline HostCallbackFunction callbackIn(const ByteVec& event) {
    const bool init = event.at(5) == EVENT_INIT;
    const std::size_t full = init ? initOffsetFullCallback(le32At(event, INIT_OFFSET_PROGRAM_DIR))
                                  : SESSION_OFFSET_FULL_CALLBACK;
    std::uint64_t address = le32At(event, init ? INIT_OFFSET_CALLBACK : SESSION_OFFSET_CALLBACK);
    if (event.size() >= full + 8) {
        address = le32At(event, full) | static_cast<std::uint64_t>(le32At(event, full + 4)) << 32;
    }
    return reinterpret_cast<HostCallbackFunction>(static_cast<std::uintptr_t>(address));
}

inline const ByteVec kAck{2, 0, 0, 0, HOST_ACK, ACK_OK};
inline const ByteVec kNotSent{2, 0, 0, 0, HOST_ERROR, ERROR_TRANSMIT};
inline const ByteVec kUnknownCommand{2, 0, 0, 0, HOST_ERROR, ERROR_UNKNOWN_COMMAND};

inline ByteVec replyBytes(const std::uint8_t* reply) {
    return reply == nullptr ? ByteVec{} : ByteVec(reply, reply + PLUG_REPLY_SIZE);
}

// One "call" line of the probe plug-in's log.
struct ProbeCall {
    ByteVec head;   // the first 6 bytes of the record it passed
    ByteVec reply;  // empty for a null reply
    std::uintptr_t replyAddress = 0;
};

class HostTest : public LoopbackSessionTest {
  protected:
    // Puts the library at `libraryPath` into the program folder as the plug-in.
    // A relative path is taken from the test program's own folder.
    void install(const char* libraryPath) {
        std::filesystem::copy_file(testProgramDir() / libraryPath, dir / PLUGIN_FILE_NAME);
    }
    void installProbe() { install(PROBE_PLUGIN_PATH); }
    // Replaces the probe plug-in's script (lines "<code> call|answer <hex>").
    void script(const std::vector<std::string>& lines) {
        std::ofstream file(dir / "probe.cfg", std::ios::trunc);
        for (const std::string& line : lines) {
            file << line << '\n';
        }
    }
    static std::string answer(int code, const ByteVec& rec) {
        return std::to_string(code) + " answer " + hexOf(rec);
    }
    static std::string call(int code, const ByteVec& rec) {
        return std::to_string(code) + " call " + hexOf(rec);
    }

    // Every event record the probe plug-in received, in order.
    std::vector<ByteVec> events() const {
        std::vector<ByteVec> got;
        for (const std::string& line : probeLog()) {
            if (line.rfind("event ", 0) == 0) {
                got.push_back(fromHex(line.substr(6)));
            }
        }
        return got;
    }
    // The events of code `code`, in order.
    std::vector<ByteVec> events(int code) const {
        std::vector<ByteVec> got;
        for (ByteVec& e : events()) {
            if (e.at(5) == code) {
                got.push_back(std::move(e));
            }
        }
        return got;
    }
    std::vector<int> eventCodes() const {
        std::vector<int> codes;
        for (const ByteVec& e : events()) {
            codes.push_back(e.at(5));
        }
        return codes;
    }
    // Every callback the probe plug-in made, in order.
    std::vector<ProbeCall> calls() const {
        std::vector<ProbeCall> got;
        for (const std::string& line : probeLog()) {
            std::istringstream words(line);
            std::string verb, head, replyWord, reply;
            ProbeCall c;
            words >> verb >> head >> replyWord >> reply >> c.replyAddress;
            if (verb == "call") {
                c.head = fromHex(head);
                c.reply = reply == "null" ? ByteVec{} : fromHex(reply);
                got.push_back(c);
            }
        }
        return got;
    }

    // Calls the host through the address the probe plug-in got in EVENT_INIT,
    // as the plug-in would from its own timer.
    const std::uint8_t* probeCall(const ByteVec& rec) { return probeCallRaw(rec.data()); }
    const std::uint8_t* probeCallRaw(const std::uint8_t* rec) {
        using Call = const std::uint8_t* (*)(const std::uint8_t*);
        const auto entry = reinterpret_cast<Call>(loadedProbeEntry());
        if (entry == nullptr) {
            ADD_FAILURE() << "the plug-in is not loaded";
            return nullptr;
        }
        return entry(rec);
    }

  private:
    // The probe plug-in's `probeCall` in the library the host bound (the
    // test only borrows it), or null when none is loaded.
#if defined(_WIN32)
    void* loadedProbeEntry() const {
        const std::string path = (dir / PLUGIN_FILE_NAME).make_preferred().string();
        const HMODULE library = GetModuleHandleA(path.c_str());
        return library == nullptr ? nullptr
                                  : reinterpret_cast<void*>(GetProcAddress(library, "probeCall"));
    }
    static std::filesystem::path testProgramDir() {
        std::string path(MAX_PATH, '\0');
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), MAX_PATH);
        path.resize(length);
        return std::filesystem::path(path).parent_path();
    }
#else
    void* loadedProbeEntry() const {
        const std::string path = (dir / PLUGIN_FILE_NAME).string();
        const std::unique_ptr<void, int (*)(void*)> library(
            dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), &dlclose);
        return library ? dlsym(library.get(), "probeCall") : nullptr;
    }
    // The build gives the test plug-ins by absolute path here.
    static std::filesystem::path testProgramDir() {
        return {};
    }
#endif

    std::vector<std::string> probeLog() const {
        std::ifstream file(dir / "probe.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    }
};
