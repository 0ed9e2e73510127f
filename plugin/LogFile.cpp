#include "plugin/LogFile.h"

#include <cstdio>
#include <memory>

#include "plugin/PluginState.h"
#include "plugin/Settings.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int logToFile(const std::string& text) {
    if (pluginSettings().logFile == 0) {
        return 0;
    }
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(LOG_FILE_NAME, "a"));
    if (!file) {
        return 1;
    }
    const PluginDateTime t = pluginClock().localDateTime();
    std::fprintf(file.get(), "%02i.%02i.%04i %02i:%02i:%02i.%03i %s\n", t.day, t.month, t.year,
                 t.hour, t.minute, t.second, t.millisecond, text.c_str());
    return 0;
}
