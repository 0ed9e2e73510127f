// Skelvane: the program. Runs from the folder it lives in, headless when no
// display is around, and closes on SIGINT or SIGTERM as on its close button.
// --help and --version answer before anything else is made.
#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "proxy/core/Form1.h"
#include "proxy/ui/MainWindow.h"
#include "proxy/ui/QtMessageBoxes.h"
#include "proxy/ui/SignalPipe.h"
#include "proxy/ui/common/CommandLine.h"

namespace {

// The folder that holds the program file, wherever it was started from.
std::string programDir() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::filesystem::current_path(ec).string();
    }
    return exe.parent_path().string();
}

// Without any display the program still runs, on Qt's offscreen platform.
// True when it runs there, with no window anyone sees.
bool goHeadlessWithoutDisplay() {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return platform != nullptr && std::string_view(platform) == "offscreen";
}

// Qt keeps private files in the session's runtime folder ($XDG_RUNTIME_DIR),
// which a desktop login provides. Started outside one (su, a service, a
// container), the program sets up the folder that Qt would fall back to,
// <temp>/runtime-<user>, private to the user, so that Qt finds it in place.
void provideRuntimeDir() {
    if (std::getenv("XDG_RUNTIME_DIR") != nullptr) {
        return;
    }
    const char* temp = std::getenv("TMPDIR");
    const passwd* user = ::getpwuid(::geteuid());
    const std::string dir = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") +
                            "/runtime-" +
                            (user != nullptr ? user->pw_name : std::to_string(::geteuid()));
    struct stat st {};
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return;
    }
    // Only a folder of this user's, and no one else's to read: Qt checks both.
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0)) {
        return;
    }
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

// Qt's own options, which QApplication reads and takes out of the arguments.
constexpr ToolkitOption kQtOptions[] = {
    {"platform", true, false},
    {"platformpluginpath", true, false},
    {"platformtheme", true, false},
    {"plugin", true, false},
    {"qwindowgeometry", true, false},
    {"qwindowicon", true, false},
    {"qwindowtitle", true, false},
    {"session", true, false},
    {"display", true, false},
    {"geometry", true, false},
    {"style", true, true},
    {"stylesheet", true, true},
    {"reverse", false, false},
    {"widgetcount", false, false},
    {"nograb", false, false},
    {"dograb", false, false},
    {"sync", false, false},
};

// Writes `text` whole; false if it could not be written (a closed or full
// output).
bool print(const std::string& text, bool isError) {
    std::FILE* to = isError ? stderr : stdout;
    return std::fputs(text.c_str(), to) >= 0 && std::fflush(to) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (const int answered = answerCommandLine(args, kQtOptions, programDir(), print);
        answered >= 0) {
        return answered;
    }
    const bool headless = goHeadlessWithoutDisplay();
    provideRuntimeDir();
    QApplication app(argc, argv);

    SystemClock clock;
    QtMessageBoxes boxes;
    // Form1 holds two large frame collectors: keep it off the stack.
    auto form = std::make_unique<Form1>(clock, boxes, programDir());
    if (headless) {
        // Nobody sees the window: where it listens and what goes wrong go to
        // the standard output.
        form->setLineSink([](const std::string& line) { print(line + "\n", false); });
        // A blinking caret would repaint the unseen window twice a second.
        QApplication::setCursorFlashTime(0);
    }
    MainWindow window(*form, boxes);
    window.setKeepsPlace(!headless);
    SignalPipe stopRequests([&window] { window.close(); });

    window.show();
    return QApplication::exec();
}
