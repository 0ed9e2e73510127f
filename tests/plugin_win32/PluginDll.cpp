#include "tests/plugin_win32/PluginDll.h"

#include <array>
#include <fstream>

namespace {

// An instant message (SNAC 4/subtype) on FLAP channel 2, with a cookie made
// of cookieByte and the seven bytes after it.
Bytes imFrame(std::uint16_t subtype, const std::string& uinText, std::uint8_t cookieByte) {
    std::array<std::uint8_t, 8> cookie{};
    for (std::uint8_t i = 0; i < 8; ++i) {
        cookie[i] = static_cast<std::uint8_t>(cookieByte + i);
    }
    return flap(2, snac(4, subtype, 0x42, messageBody(cookie, uinText)));
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

PluginDllTest::PluginDllTest() {
    hostCalls.clear();
    otherHostCalls.clear();
    load();
}

PluginDllTest::~PluginDllTest() {
    if (pluginFun_ != nullptr && library_) {
        finish();
    }
    unload();
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
