// Binding of the plug-in library: found, loaded and its entry resolved.
#include "proxy/plugin_host/PluginApi.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

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
#else
struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

Library openLibrary(const std::string& path) {
    return Library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

void* findEntry(const Library& library) {
    return dlsym(library.get(), PLUGIN_ENTRY_NAME);
}
#endif

// The binding of this run: the folder it was made for and the entry found.
struct Binding {
    std::string programDir;
    PluginFunction entry = nullptr;
};

Binding& binding() {
    static Binding bound;
    return bound;
}

PluginFunction bind(const std::string& programDir) {
    Library library = openLibrary((std::filesystem::path(programDir) / PLUGIN_FILE_NAME).string());
    if (!library) {
        return nullptr;
    }
    void* symbol = findEntry(library);
    if (symbol == nullptr) {
        return nullptr;  // not a plug-in: let the library go again
    }
    // Bound: the library is kept loaded for the rest of the process on
    // purpose, so its handle is dropped without closing it.
    static_cast<void>(library.release());
    return reinterpret_cast<PluginFunction>(symbol);
}

}  // namespace

PluginFunction pluginEntry(const std::string& programDir) {
    Binding& bound = binding();
    if (bound.entry != nullptr && bound.programDir == programDir) {
        return bound.entry;
    }
    const PluginFunction entry = bind(programDir);
    if (entry != nullptr) {
        bound.programDir = programDir;
        bound.entry = entry;
    }
    return entry;
}
