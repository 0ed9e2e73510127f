// Binding of the plug-in library and the host's callback entry.
#include "proxy/plugin_host/PluginApi.h"

#include <dlfcn.h>

#include <filesystem>
#include <memory>

#include "proxy/core/Form1.h"

namespace {

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

// The binding of this run: the folder it was made for and the entry found.
struct Binding {
    std::string programDir;
    PluginFunction entry = nullptr;
};

Binding& binding() {
    static Binding bound;
    return bound;
}

Form1*& registeredWindow() {
    static Form1* window = nullptr;
    return window;
}

PluginFunction bind(const std::string& programDir) {
    const std::string path = (std::filesystem::path(programDir) / PLUGIN_FILE_NAME).string();
    Library library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library) {
        return nullptr;
    }
    void* symbol = dlsym(library.get(), PLUGIN_ENTRY_NAME);
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

HostWindowRegistration::HostWindowRegistration(Form1& form) : form_(form) {
    registeredWindow() = &form_;
}

HostWindowRegistration::~HostWindowRegistration() {
    if (registeredWindow() == &form_) {
        registeredWindow() = nullptr;
    }
}

extern "C" const std::uint8_t* PLUG_CALL hostCallback(const std::uint8_t* record) {
    Form1* const window = registeredWindow();
    if (record == nullptr || window == nullptr) {
        return nullptr;
    }
    // PlugCallback catches its own faults; nothing may unwind into the plug-in.
    try {
        return window->PlugCallback(record, 0);
    } catch (...) {
        return nullptr;
    }
}
