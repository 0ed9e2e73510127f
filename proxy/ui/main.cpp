// Skelvane: the program. Runs from the folder it lives in, headless when no
// display is around, and closes on SIGINT or SIGTERM as on its close button.
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "proxy/core/Form1.h"
#include "proxy/ui/MainWindow.h"
#include "proxy/ui/QtMessageBoxes.h"
#include "proxy/ui/SignalPipe.h"

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
void goHeadlessWithoutDisplay() {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    goHeadlessWithoutDisplay();
    QApplication app(argc, argv);

    SystemClock clock;
    QtMessageBoxes boxes;
    // Form1 holds two large frame collectors: keep it off the stack.
    auto form = std::make_unique<Form1>(clock, boxes, programDir());
    MainWindow window(*form, boxes);
    SignalPipe stopRequests([&window] { window.close(); });

    window.show();
    return QApplication::exec();
}
