#include "plugin/win32/Win32PluginPlatform.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "plugin/win32/DllModule.h"
#include "plugin/win32/Win32LogView.h"
#include "plugin/win32/Win32OptionsView.h"

namespace {

// The platform whose timers timerProc serves; the logic keeps one at a time.
Win32PluginPlatform* timerOwner = nullptr;

}  // namespace

Win32PluginPlatform::Win32PluginPlatform() {
    timerOwner = this;
}

Win32PluginPlatform::~Win32PluginPlatform() {
    if (!dllProcessEnding()) {
        for (const auto& timer : timers_) {
            KillTimer(nullptr, timer.first);
        }
    }
    if (timerOwner == this) {
        timerOwner = nullptr;
    }
}

std::unique_ptr<LogView> Win32PluginPlatform::createLogWindow(const std::string& caption,
                                                              std::function<void()> closeButton) {
    auto view = std::make_unique<Win32LogView>(caption, std::move(closeButton));
    if (!view->created()) {
        return nullptr;
    }
    return view;
}

std::unique_ptr<OptionsView> Win32PluginPlatform::openOptions(const std::string& caption,
                                                              const OptionsValues& values,
                                                              OptionsCallbacks callbacks) {
    auto view = std::make_unique<Win32OptionsView>(caption, values, std::move(callbacks));
    if (!view->created()) {
        return nullptr;
    }
    return view;
}

TimerId Win32PluginPlatform::startTimer(std::int32_t periodMs, std::function<void()> tick) {
    const auto period = static_cast<UINT>(std::max(periodMs, MIN_TIMER_PERIOD_MS));
    const UINT_PTR id = SetTimer(nullptr, 0, period, &Win32PluginPlatform::timerProc);
    if (id == 0) {
        return 0;
    }
    if (id > std::numeric_limits<TimerId>::max()) {  // not seen in practice
        KillTimer(nullptr, id);
        return 0;
    }
    timers_[id] = std::move(tick);
    return static_cast<TimerId>(id);
}

void Win32PluginPlatform::killTimer(TimerId id) {
    const auto found = timers_.find(id);
    if (found == timers_.end()) {
        return;
    }
    if (!dllProcessEnding()) {
        KillTimer(nullptr, found->first);
    }
    timers_.erase(found);
}

// A copy of the tick runs, so that the tick may kill its own timer.
void CALLBACK Win32PluginPlatform::timerProc(HWND, UINT, UINT_PTR id, DWORD) {
    if (timerOwner == nullptr) {
        return;
    }
    const auto found = timerOwner->timers_.find(id);
    if (found == timerOwner->timers_.end()) {
        return;
    }
    const std::function<void()> tick = found->second;
    if (tick) {
        tick();
    }
}

void Win32PluginPlatform::messageBox(const std::string& text, const std::string& caption,
                                     BoxIcon icon) {
    const UINT iconStyle = icon == BoxIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION;
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | iconStyle);
}

std::unique_ptr<PluginPlatform> makePluginPlatform() {
    return std::make_unique<Win32PluginPlatform>();
}
