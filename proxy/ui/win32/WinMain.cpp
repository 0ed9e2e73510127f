// Skelvane for Windows: the main window over the core, run from the folder
// that holds the program, until the window is closed.
#include <windows.h>

#include <exception>
#include <memory>
#include <string>

#include "proxy/core/Form1.h"
#include "proxy/ui/win32/MainWindow.h"
#include "proxy/ui/win32/Win32MessageBoxes.h"

namespace {

// The folder that holds the program file, as 8-bit text: the core and the
// plug-in interface carry it so.
std::string programDir() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return ".";
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // truncated: try with more room
    }
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The dialog manager gives every top-level window of this thread (the main
// window and any modeless window of the plug-in) Tab and arrow navigation.
int runMessageLoop() {
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root != nullptr && IsDialogMessageA(root, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showCommand) {
    try {
        SystemClock clock;
        Win32MessageBoxes boxes;
        // Form1 holds two large frame collectors: keep it off the stack.
        auto form = std::make_unique<Form1>(clock, boxes, programDir());
        MainWindow window(*form, instance);
        boxes.attach(window.handle());
        window.show(showCommand);
        return runMessageLoop();
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), APP_TITLE, MB_OK | MB_ICONERROR);
        return 1;
    }
}
