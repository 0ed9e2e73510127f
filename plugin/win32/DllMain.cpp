// The library's load and unload hook.
#include <windows.h>

#include "plugin/PluginState.h"
#include "plugin/win32/DllModule.h"

namespace {

HINSTANCE module = nullptr;
bool processEnding = false;

}  // namespace

HINSTANCE dllModule() {
    return module;
}

bool dllProcessEnding() {
    return processEnding;
}

// Attach: not inited, and the module handle kept for the dialog templates.
// Detach: release the timer and both windows while the code they call into
// is still mapped. At process exit (reserved set) the Win32 layer skips the
// window and timer calls. The logic's own unload hook runs after this (the
// runtime destroys the library's statics after DllMain returns) and then
// finds nothing left to release.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            module = instance;
            DisableThreadLibraryCalls(instance);
            pluginState().inited = false;
            break;
        case DLL_PROCESS_DETACH:
            processEnding = reserved != nullptr;
            releasePlugin();
            break;
        default:
            break;
    }
    return TRUE;
}
