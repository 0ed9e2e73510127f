// The plug-in's way back into the main window.
#include "proxy/core/HostCallback.h"

#include "proxy/core/Form1.h"

namespace {

Form1*& registeredWindow() {
    static Form1* window = nullptr;
    return window;
}

}  // namespace

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
