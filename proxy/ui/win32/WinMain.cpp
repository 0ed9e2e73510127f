// Skelvane for Windows: the main window over the core, run from the folder
// that holds the program, until the window is closed. --help and --version
// answer before anything else is made.
#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/core/Form1.h"
#include "proxy/ui/common/CommandLine.h"
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

bool writeAll(HANDLE to, const std::string& text) {
    DWORD written = 0;
    return WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// A GUI program has no console of its own. The text goes to the standard
// output (or error) where that leads somewhere (a pipe, a file), else to the
// console of the command prompt that started the program, else into a
// message box.
bool tellUser(const std::string& answer, bool isError) {
    std::string text = answer;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
        text.insert(at, 1, '\r');
    }
    HANDLE standard = GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (standard != nullptr && standard != INVALID_HANDLE_VALUE && writeAll(standard, text)) {
        return true;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        // The prompt has already been printed: start on a line of our own.
        const bool written = console != INVALID_HANDLE_VALUE && writeAll(console, "\r\n" + text);
        if (console != INVALID_HANDLE_VALUE) {
            CloseHandle(console);
        }
        FreeConsole();
        if (written) {
            return true;
        }
    }
    return MessageBoxA(nullptr, text.c_str(), APP_TITLE,
                       MB_OK | (isError ? MB_ICONERROR : MB_ICONINFORMATION)) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showCommand) {
    const std::vector<std::string_view> args(__argv + 1, __argv + __argc);
    if (const int answered = answerCommandLine(args, {}, programDir(), tellUser); answered >= 0) {
        return answered;
    }
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
