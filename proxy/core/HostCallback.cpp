// The plug-in's ways back into the main window, one for each session index.
#include "proxy/core/HostCallback.h"

#include <array>
#include <utility>

#include "proxy/core/Form1.h"

namespace {

Form1*& registeredWindow() {
    static Form1* window = nullptr;
    return window;
}

const std::uint8_t* reach(int index, const std::uint8_t* record) {
    Form1* const window = registeredWindow();
    if (record == nullptr || window == nullptr) {
        return nullptr;
    }
    // PlugCallback catches its own faults; nothing may unwind into the plug-in.
    try {
        return window->PlugSessionCallback(index, record);
    } catch (...) {
        return nullptr;
    }
}

// A plain function per index, in the interface's calling convention: the
// address alone tells which session a call is for.
template <int Index>
const std::uint8_t* PLUG_CALL sessionEntry(const std::uint8_t* record) {
    return reach(Index, record);
}

template <int... Index>
constexpr std::array<HostCallbackFunction, sizeof...(Index)> entries(
    std::integer_sequence<int, Index...>) {
    return {(Index == 0 ? &hostCallback : &sessionEntry<Index>)...};
}

constexpr std::array<HostCallbackFunction, SESSION_CALLBACKS> kEntries =
    entries(std::make_integer_sequence<int, SESSION_CALLBACKS>{});

}  // namespace

HostWindowRegistration::HostWindowRegistration(Form1& form) : form_(form) {
    registeredWindow() = &form_;
}

HostWindowRegistration::~HostWindowRegistration() {
    if (registeredWindow() == &form_) {
        registeredWindow() = nullptr;
    }
}

HostCallbackFunction sessionCallback(int index) {
    if (index < 0 || index >= SESSION_CALLBACKS) {
        return nullptr;
    }
    return kEntries[static_cast<std::size_t>(index)];
}

extern "C" const std::uint8_t* PLUG_CALL hostCallback(const std::uint8_t* record) {
    return reach(0, record);
}
