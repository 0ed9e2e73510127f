// The choice of the folder for settings and logs.
#include "proxy/settings/DataFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Made and removed at once; the name keeps clear of the program's files.
constexpr const char* kProbeFile = ".skelvane-write-probe";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string userDataDir() {
#ifdef _WIN32
    const std::string appData = environment("APPDATA");
    return appData.empty() ? "" : (fs::path(appData) / "Skelvane").string();
#else
    const std::string config = environment("XDG_CONFIG_HOME");
    if (!config.empty()) {
        return (fs::path(config) / "skelvane").string();
    }
    const std::string home = environment("HOME");
    return home.empty() ? "" : (fs::path(home) / ".config" / "skelvane").string();
#endif
}

bool folderWritable(const std::string& dir) {
    if (dir.empty()) {
        return false;
    }
    const fs::path probe = fs::path(dir) / kProbeFile;
    bool made = false;
    {
        std::ofstream file(probe, std::ios::binary | std::ios::trunc);
        made = file.is_open() && static_cast<bool>(file << 'x') && static_cast<bool>(file.flush());
    }
    std::error_code ignored;
    fs::remove(probe, ignored);
    return made;
}

DataFolder chooseDataFolder(const std::string& programDir, const std::string& userDir) {
    if (folderWritable(programDir)) {
        return {programDir, DataFolderKind::Program};
    }
    std::error_code ignored;
    if (!userDir.empty()) {
        fs::create_directories(userDir, ignored);
    }
    if (folderWritable(userDir)) {
        return {userDir, DataFolderKind::User};
    }
    return {programDir, DataFolderKind::Unwritable};
}
