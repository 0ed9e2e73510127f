// Opens Dorrimel's windows outside the proxy, for screenshots: loads
// plugin.dll from its own folder like the host does, initialises it, feeds it
// a few messages and acknowledgements, and keeps one window on screen until
// it is terminated.
//
//   dorrimel_preview options|log
//
// "options" shows the options window; "log" shows the log window alone
// (through "Show Log", then Cancel). Run it in a scratch folder: the plug-in
// writes dorrimel.ini and msgack.log into the current directory.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "plugin/win32/resource.h"
#include "proxy/plugin_host/PluginInterface.h"
#include "tools/preview_records.h"

namespace {

using namespace preview;

constexpr char kOptionsCaption[] = "Dorrimel v0.4 - Options - 123456789";

struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule>;

PluginFunction pluginFun = nullptr;

void send(const Bytes& record) {
    pluginFun(record.data());
}

void packet(std::uint8_t code, const Bytes& frame) {
    send(event(code, frame));
}

std::string programFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// The acknowledgements come a little later, so that their times show.
void CALLBACK serverAck(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    packet(PACKET_TO_CLIENT, imFrame(0x0C, 0x101, 0x10, "123456"));
}

void CALLBACK clientAcks(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    packet(PACKET_TO_CLIENT, imFrame(0x0B, 0x102, 0x20, "2345678"));
    packet(PACKET_TO_CLIENT, imFrame(0x0B, 0x1FF, 0x70, "998877"));
}

// Three messages: one acknowledged by the server, one by the recipient, one
// still waiting; and a client acknowledgement that matches nothing.
void feedTraffic() {
    packet(PACKET_TO_SERVER, imFrame(6, 0x101, 0x10, "123456"));
    packet(PACKET_TO_SERVER, imFrame(6, 0x102, 0x20, "2345678"));
    packet(PACKET_TO_SERVER, imFrame(6, 0x103, 0x30, "34567890"));
    SetTimer(nullptr, 0, 120, serverAck);
    SetTimer(nullptr, 0, 340, clientAcks);
}

void pressButton(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "options" && mode != "log") {
        std::fprintf(stderr, "usage: dorrimel_preview options|log\n");
        return 2;
    }
    const std::string folder = programFolder();
    const Library library(LoadLibraryA((folder + "plugin.dll").c_str()));
    if (library) {
        pluginFun = reinterpret_cast<PluginFunction>(
            reinterpret_cast<void*>(GetProcAddress(library.get(), "pluginFun")));
    }
    if (pluginFun == nullptr) {
        std::fprintf(stderr, "dorrimel_preview: no pluginFun in %splugin.dll\n", folder.c_str());
        return 1;
    }
    send(initEvent(123456789, folder));
    feedTraffic();
    send(event(EVENT_PREFERENCES));
    if (mode == "log") {
        if (HWND options = FindWindowA(nullptr, kOptionsCaption)) {
            pressButton(options, IDC_SHOW_LOG);
            pressButton(options, IDCANCEL);
        }
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
