// The plug-in's windows, timers and message boxes on the host's Qt event
// loop. makePluginPlatform() hands one out when the host runs a QApplication.
#pragma once

#include <QTimer>
#include <map>

#include "plugin/PluginWindows.h"
#include "plugin/qt/QtOwned.h"

class QtPluginPlatform : public PluginPlatform {
  public:
    std::unique_ptr<LogView> createLogWindow(const std::string& caption,
                                             std::function<void()> closeButton) override;
    std::unique_ptr<OptionsView> openOptions(const std::string& caption,
                                             const OptionsValues& values,
                                             OptionsCallbacks callbacks) override;
    // Periods below MIN_TIMER_PERIOD_MS (0 and negative ones among them) run
    // at MIN_TIMER_PERIOD_MS, so that no value spins the UI thread.
    TimerId startTimer(std::int32_t periodMs, std::function<void()> tick) override;
    void killTimer(TimerId id) override;
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;

    // The period a running timer was given, -1 for no such timer.
    int timerInterval(TimerId id) const;

  private:
    std::map<TimerId, QtOwned<QTimer>> timers_;
    TimerId lastTimerId_ = 0;
};
