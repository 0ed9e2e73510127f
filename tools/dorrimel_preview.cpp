// Opens Dorrimel's windows outside the proxy, for screenshots: loads
// plugin.so like the host does, initialises it, feeds it a few messages and
// acknowledgements, and leaves one window on screen until it is terminated.
//
//   dorrimel_preview options|log [path/to/plugin.so [seconds]]
//
// "options" shows the options window; "log" shows the log window alone
// (through "Show Log", then Cancel). With seconds, the application quits
// after that long the way the host does when its window closes, so that the
// plug-in's shutdown can be watched (under the sanitizers, say). Run it in a scratch folder: the
// plug-in writes dorrimel.ini and msgack.log into the current directory.
#include <dlfcn.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "proxy/plugin_host/PluginInterface.h"
#include "tools/preview_records.h"

namespace {

using namespace preview;

class Plugin {
  public:
    explicit Plugin(const std::string& path)
        : library_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (library_) {
            entry_ = reinterpret_cast<PluginFunction>(dlsym(library_.get(), "pluginFun"));
        }
    }
    bool loaded() const { return entry_ != nullptr; }
    void send(const Bytes& record) const { entry_(record.data()); }
    void packet(std::uint8_t code, const Bytes& frame) const { send(event(code, frame)); }

  private:
    struct Close {
        void operator()(void* library) const { dlclose(library); }
    };
    std::unique_ptr<void, Close> library_;
    PluginFunction entry_ = nullptr;
};

QPushButton* optionsButton(const char* name) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            if (auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name))) {
                return button;
            }
        }
    }
    return nullptr;
}

// Three messages: one acknowledged by the server, one by the recipient, one
// still waiting; and a client acknowledgement that matches nothing.
void feedTraffic(const Plugin& plugin) {
    plugin.packet(PACKET_TO_SERVER, imFrame(6, 0x101, 0x10, "123456"));
    plugin.packet(PACKET_TO_SERVER, imFrame(6, 0x102, 0x20, "2345678"));
    plugin.packet(PACKET_TO_SERVER, imFrame(6, 0x103, 0x30, "34567890"));
    QTimer::singleShot(
        120, [&plugin] { plugin.packet(PACKET_TO_CLIENT, imFrame(0x0C, 0x101, 0x10, "123456")); });
    QTimer::singleShot(340, [&plugin] {
        plugin.packet(PACKET_TO_CLIENT, imFrame(0x0B, 0x102, 0x20, "2345678"));
        plugin.packet(PACKET_TO_CLIENT, imFrame(0x0B, 0x1FF, 0x70, "998877"));
    });
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "options" && mode != "log") {
        std::fprintf(stderr, "usage: dorrimel_preview options|log [plugin.so]\n");
        return 2;
    }
    QApplication app(argc, argv);
    const std::string path =
        argc > 2 ? argv[2]
                 : (std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) /
                    ".." / "bin" / "plugin.so")
                       .string();
    const Plugin plugin(path);
    if (!plugin.loaded()) {
        std::fprintf(stderr, "dorrimel_preview: cannot load %s: %s\n", path.c_str(), dlerror());
        return 1;
    }

    plugin.send(initEvent(123456789, std::filesystem::current_path().string()));
    feedTraffic(plugin);
    plugin.send(event(EVENT_PREFERENCES, {}));
    if (mode == "log") {
        optionsButton("button1003")->click();
        optionsButton("buttonCancel")->click();
    }
    if (argc > 3) {
        QTimer::singleShot(std::atoi(argv[3]) * 1000, [] { QCoreApplication::quit(); });
    }
    return QApplication::exec();
}
