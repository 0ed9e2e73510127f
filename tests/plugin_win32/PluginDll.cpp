#include "tests/plugin_win32/PluginDll.h"

#include <fstream>
#include <sstream>

std::vector<Bytes> hostCalls;

namespace {

void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Bytes le32(std::uint32_t value) {
    Bytes out;
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}

Bytes be16(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes stringField(const std::string& text) {
    Bytes out = le32(static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

// FLAP channel 2, SNAC 4/subtype, cookie, message channel 1, the UIN and a
// text TLV.
Bytes imFrame(std::uint16_t subtype, const std::string& uinText, std::uint8_t cookieByte) {
    Bytes snac = be16(4);
    append(snac, be16(subtype));
    append(snac, {0, 0, 0, 0, 0, 0x42});
    for (std::uint8_t i = 0; i < 8; ++i) {
        snac.push_back(static_cast<std::uint8_t>(cookieByte + i));
    }
    append(snac, be16(1));
    snac.push_back(static_cast<std::uint8_t>(uinText.size()));
    snac.insert(snac.end(), uinText.begin(), uinText.end());
    append(snac, {0x00, 0x02, 0x00, 0x04, 'h', 'e', 'y', '!'});
    Bytes frame{0x2A, 0x02, 0x00, 0x01};
    append(frame, be16(static_cast<std::uint16_t>(snac.size())));
    append(frame, snac);
    return frame;
}

const std::uint8_t* PLUG_CALL recordingHostCallback(const std::uint8_t* record) {
    static const std::uint8_t ack[6] = {2, 0, 0, 0, HOST_ACK, ACK_OK};
    const std::uint32_t length =
        record[0] | record[1] << 8 | record[2] << 16 | static_cast<std::uint32_t>(record[3]) << 24;
    hostCalls.emplace_back(record, record + 4 + length);
    return ack;
}

struct WindowSearch {
    const std::string& caption;
    const char* className;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    if (windowText(window) == search.caption &&
        (search.className == nullptr || ::className(window) == search.className)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

Bytes eventRecord(std::uint8_t code, const Bytes& data) {
    Bytes out = le32(static_cast<std::uint32_t>(2 + data.size()));
    out.push_back(PLUGIN_EVENT);
    out.push_back(code);
    append(out, data);
    return out;
}

Bytes initRecord(std::uint32_t ownUin, const std::string& programDir) {
    const auto address = reinterpret_cast<std::uintptr_t>(&recordingHostCallback);
    Bytes data = le32(static_cast<std::uint32_t>(address));
    append(data, le32(HOST_API_VERSION));
    append(data, stringField(programDir));
    append(data, stringField(programDir));
    append(data, le32(ownUin));
    if constexpr (sizeof(address) > 4) {
        append(data, le32(static_cast<std::uint32_t>(address)));
        append(data, le32(static_cast<std::uint32_t>(std::uint64_t{address} >> 32)));
    }
    return eventRecord(EVENT_INIT, data);
}

Bytes messageEvent(const std::string& uinText, std::uint8_t cookieByte) {
    return eventRecord(PACKET_TO_SERVER, imFrame(6, uinText, cookieByte));
}

Bytes ackEvent(std::uint16_t subtype, const std::string& uinText, std::uint8_t cookieByte) {
    return eventRecord(PACKET_TO_CLIENT, imFrame(subtype, uinText, cookieByte));
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
               const std::function<void(const MSG&)>& seen) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (seen) {
                seen(message);
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done()) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
    }
}

HWND threadWindow(const std::string& caption, const char* className) {
    WindowSearch search{caption, className, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string windowText(HWND window) {
    char text[512] = {};
    const int length = GetWindowTextA(window, text, sizeof text);
    return std::string(text, static_cast<std::size_t>(length > 0 ? length : 0));
}

std::string className(HWND window) {
    char name[256] = {};
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

void pressButton(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::filesystem::path pluginPath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::filesystem::path program(std::string(path, length));
    return program.parent_path().parent_path() / "bin" / "plugin.dll";
}

PluginDllTest::PluginDllTest() : previousDir_(std::filesystem::current_path()) {
    std::filesystem::current_path(scratch_.path());
    hostCalls.clear();
    load();
}

PluginDllTest::~PluginDllTest() {
    if (pluginFun_ != nullptr && library_) {
        finish();
    }
    unload();
    std::filesystem::current_path(previousDir_);
}

void PluginDllTest::load() {
    library_.reset(LoadLibraryA(pluginPath().string().c_str()));
    ASSERT_TRUE(library_) << "cannot load " << pluginPath().string();
    pluginFun_ = reinterpret_cast<PluginFunction>(
        reinterpret_cast<void*>(GetProcAddress(library_.get(), "pluginFun")));
    ASSERT_NE(pluginFun_, nullptr);
}

void PluginDllTest::writeFile(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

std::string PluginDllTest::readFile(const std::string& name) {
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
