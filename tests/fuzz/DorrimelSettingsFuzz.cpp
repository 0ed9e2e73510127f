// Dorrimel's settings reader on any dorrimel.ini. Promises checked: reading
// never faults, every value read is in its range, and what was read, written
// back with saveSettings and read again, gives the same five values.
#include <fstream>

#include "plugin/PluginWindows.h"
#include "plugin/Settings.h"
#include "tests/fuzz/FuzzSupport.h"

// The windowing layer's factory; settings need no windows.
std::unique_ptr<PluginPlatform> makePluginPlatform() {
    return nullptr;
}

namespace {

bool same(const PluginSettings& a, const PluginSettings& b) {
    return a.timerInterval == b.timerInterval && a.waitTimeout == b.waitTimeout &&
           a.removeTimeout == b.removeTimeout && a.notifyType == b.notifyType &&
           a.logFile == b.logFile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = enterScratchFolder();
    std::ofstream(SETTINGS_FILE_NAME, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    try {
        fuzzCheck(loadSettings() == 0, "the settings file could not be read");
        const PluginSettings read = pluginSettings();
        for (const SettingRule& rule : SETTING_RULES) {
            fuzzCheck(inRange(rule, read.*rule.value), "a value read outside its range");
        }
        fuzzCheck(saveSettings() == 0, "the settings file could not be written");
        pluginSettings() = PluginSettings{};
        fuzzCheck(loadSettings() == 0, "the written settings file could not be read");
        fuzzCheck(same(read, pluginSettings()), "settings changed by writing and reading back");
    } catch (...) {
        fuzzCheck(false, "a fault escaped the settings reader");
    }
    return 0;
}
