// The plug-in's clock and windowing platform in every test, fuzz target and
// benchmark of its logic: time stands where the test puts it, and fakes in
// place of the windows, timers and message boxes record in a Recorder what
// they were asked to do.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin/PluginWindows.h"

class FakePluginClock : public PluginClock {
  public:
    std::uint32_t tick = 1000000;
    PluginDateTime local{2024, 3, 7, 14, 5, 9, 42};
    PluginDateTime utc{2024, 3, 7, 13, 5, 9, 42};

    std::uint32_t tickCount() override { return tick; }
    PluginDateTime localDateTime() override { return local; }
    PluginDateTime utcDateTime() override { return utc; }
};

struct Recorder {
    // Log window.
    bool failLogWindow = false;
    bool refuseLines = false;
    int logWindows = 0;  // alive
    std::string logCaption;
    std::function<void()> logCloseButton;
    std::vector<std::string> lines;
    int selected = -1;
    std::uint32_t processed = 0;
    std::uint32_t waiting = 0;
    bool logVisible = false;
    // Options window.
    bool failOptionsWindow = false;
    int optionsWindows = 0;  // alive
    std::string optionsCaption;
    OptionsValues optionsValues;
    OptionsCallbacks options;
    // Each refusal of OK: the field and the text shown.
    std::vector<std::pair<OptionsField, std::string>> refusals;
    // Timers: id -> period; the tick of each; the shortest period ever asked.
    std::map<TimerId, std::int32_t> timers;
    std::map<TimerId, std::function<void()>> ticks;
    TimerId nextTimer = 1;
    std::int32_t shortestPeriod = std::numeric_limits<std::int32_t>::max();
    // Message boxes.
    struct Box {
        std::string text;
        std::string caption;
        BoxIcon icon;
    };
    std::vector<Box> boxes;
};

class FakeLogView : public LogView {
  public:
    explicit FakeLogView(Recorder& rec) : rec_(rec) { ++rec_.logWindows; }
    ~FakeLogView() override { --rec_.logWindows; }

    int appendLine(const std::string& text) override {
        if (rec_.refuseLines) {
            return -1;
        }
        rec_.lines.push_back(text);
        return static_cast<int>(rec_.lines.size()) - 1;
    }
    bool lineText(int index, std::string& text) const override {
        if (index < 0 || index >= static_cast<int>(rec_.lines.size())) {
            return false;
        }
        text = rec_.lines[static_cast<std::size_t>(index)];
        return true;
    }
    void replaceLine(int index, const std::string& text) override {
        if (index >= 0 && index < static_cast<int>(rec_.lines.size())) {
            rec_.lines[static_cast<std::size_t>(index)] = text;
        }
    }
    void selectLine(int index) override { rec_.selected = index; }
    void setCounters(std::uint32_t processed, std::uint32_t waiting) override {
        rec_.processed = processed;
        rec_.waiting = waiting;
    }
    void show(bool visible) override { rec_.logVisible = visible; }

  private:
    Recorder& rec_;
};

class FakeOptionsView : public OptionsView {
  public:
    explicit FakeOptionsView(Recorder& rec) : rec_(rec) { ++rec_.optionsWindows; }
    ~FakeOptionsView() override { --rec_.optionsWindows; }
    void refuse(OptionsField field, const std::string& text) override {
        rec_.refusals.emplace_back(field, text);
    }

  private:
    Recorder& rec_;
};

class FakePluginPlatform : public PluginPlatform {
  public:
    explicit FakePluginPlatform(Recorder& rec) : rec_(rec) {}

    std::unique_ptr<LogView> createLogWindow(const std::string& caption,
                                             std::function<void()> closeButton) override {
        if (rec_.failLogWindow) {
            return nullptr;
        }
        rec_.logCaption = caption;
        rec_.logCloseButton = std::move(closeButton);
        rec_.logVisible = false;
        rec_.lines.clear();
        rec_.processed = rec_.waiting = 0;
        return std::make_unique<FakeLogView>(rec_);
    }
    std::unique_ptr<OptionsView> openOptions(const std::string& caption,
                                             const OptionsValues& values,
                                             OptionsCallbacks callbacks) override {
        if (rec_.failOptionsWindow) {
            return nullptr;
        }
        rec_.optionsCaption = caption;
        rec_.optionsValues = values;
        rec_.options = std::move(callbacks);
        return std::make_unique<FakeOptionsView>(rec_);
    }
    TimerId startTimer(std::int32_t periodMs, std::function<void()> tick) override {
        const TimerId id = rec_.nextTimer++;
        rec_.timers[id] = periodMs;
        rec_.ticks[id] = std::move(tick);
        rec_.shortestPeriod = std::min(rec_.shortestPeriod, periodMs);
        return id;
    }
    void killTimer(TimerId id) override {
        rec_.timers.erase(id);
        rec_.ticks.erase(id);
    }
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override {
        rec_.boxes.push_back({text, caption, icon});
    }

  private:
    Recorder& rec_;
};
