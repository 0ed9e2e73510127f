// Binding of the plug-in library: found, loaded and its entry resolved.
#include "proxy/plugin_host/PluginApi.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cctype>
#include <filesystem>
#include <memory>
#include <type_traits>

namespace {

#if defined(_WIN32)
struct LibraryCloser {
    void operator()(HMODULE handle) const { FreeLibrary(handle); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryCloser>;

// The program folder is held in the ANSI code page, as the system gave it.
Library openLibrary(const std::string& path) {
    return Library(LoadLibraryA(path.c_str()));
}

void* findEntry(const Library& library) {
    return reinterpret_cast<void*>(GetProcAddress(library.get(), PLUGIN_ENTRY_NAME));
}

// The system's message for the last failure of the calls above.
std::string loaderError() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason =
        n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(code);
    LocalFree(text);
    return reason;
}
#else
struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

Library openLibrary(const std::string& path) {
    return Library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

void* findEntry(const Library& library) {
    dlerror();  // a null symbol is told apart from an error only by dlerror
    return dlsym(library.get(), PLUGIN_ENTRY_NAME);
}

std::string loaderError() {
    const char* text = dlerror();
    return text != nullptr ? text : "no entry " + std::string(PLUGIN_ENTRY_NAME);
}
#endif

// The loader's reason as a clause: the file's path, which the log line names
// already, taken off the front, and the sentence's end off the back.
std::string plainReason(std::string reason, const std::string& path) {
    if (reason.rfind(path + ": ", 0) == 0) {
        reason.erase(0, path.size() + 2);
    }
    while (!reason.empty() &&
           (std::isspace(static_cast<unsigned char>(reason.back())) != 0 || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason;
}

// The binding of this run: the folder it was made for and the entry found.
struct Binding {
    std::string programDir;
    PluginFunction entry = nullptr;
};

Binding& binding() {
    static Binding bound;
    return bound;
}

PluginFunction bind(const std::string& programDir, std::string& failure) {
    const std::string path = pluginPath(programDir);
    Library library = openLibrary(path);
    if (!library) {
        failure = plainReason(loaderError(), path);
        return nullptr;
    }
    void* symbol = findEntry(library);
    if (symbol == nullptr) {
        failure = plainReason(loaderError(), path);
        return nullptr;  // not a plug-in: let the library go again
    }
    // Bound: the library is kept loaded for the rest of the process on
    // purpose, so its handle is dropped without closing it.
    static_cast<void>(library.release());
    return reinterpret_cast<PluginFunction>(symbol);
}

}  // namespace

std::string pluginPath(const std::string& programDir) {
    return (std::filesystem::path(programDir) / PLUGIN_FILE_NAME).string();
}

PluginFunction pluginEntry(const std::string& programDir, std::string& failure) {
    failure.clear();
    Binding& bound = binding();
    if (bound.entry != nullptr && bound.programDir == programDir) {
        return bound.entry;
    }
    const PluginFunction entry = bind(programDir, failure);
    if (entry != nullptr) {
        bound.programDir = programDir;
        bound.entry = entry;
    }
    return entry;
}
