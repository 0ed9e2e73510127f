// The plug-in's windows, thread timers and message boxes over the Win32 API.
// Everything runs on the host's UI thread; its message loop dispatches the
// timers' WM_TIMER messages and the dialogs' messages.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

#include "plugin/PluginWindows.h"

class Win32PluginPlatform : public PluginPlatform {
  public:
    Win32PluginPlatform();
    Win32PluginPlatform(const Win32PluginPlatform&) = delete;
    Win32PluginPlatform& operator=(const Win32PluginPlatform&) = delete;
    // Kills the timers still running (not at process exit).
    ~Win32PluginPlatform() override;

    std::unique_ptr<LogView> createLogWindow(const std::string& caption,
                                             std::function<void()> closeButton) override;
    std::unique_ptr<OptionsView> openOptions(const std::string& caption,
                                             const OptionsValues& values,
                                             OptionsCallbacks callbacks) override;
    // A thread timer (no window). Periods below MIN_TIMER_PERIOD_MS (0 and
    // negative ones among them) run at MIN_TIMER_PERIOD_MS.
    TimerId startTimer(std::int32_t periodMs, std::function<void()> tick) override;
    void killTimer(TimerId id) override;
    // A modal MessageBoxA without owner. Its own message loop keeps the
    // host's window and the plug-in's timers running while it is open.
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;

  private:
    static void CALLBACK timerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

    std::map<UINT_PTR, std::function<void()>> timers_;
};
