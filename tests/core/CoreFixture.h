// Test doubles for the core's clock and message boxes, and a fixture that
// runs each test in a scratch folder with its own Form1.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "proxy/core/Clock.h"
#include "proxy/core/Form1.h"
#include "proxy/core/MessageBoxes.h"
#include "tests/support/ScratchDir.h"

// A clock whose time the test sets; sleeping only counts.
class FakeClock : public Clock {
  public:
    std::int32_t ticks = 77;
    LocalTime time{14, 5, 9};
    int sleeps = 0;
    bool failSleep = false;         // the next sleep throws an overflow fault
    std::function<void()> onSleep;  // runs once, during the next sleep

    // Moves the tick count on, wrapping as the system's does.
    void advance(std::uint32_t ms) {
        ticks = static_cast<std::int32_t>(static_cast<std::uint32_t>(ticks) + ms);
    }

    std::int32_t tickCount() override { return ticks; }
    LocalTime localTime() override { return time; }
    void sleepMs(int /*ms*/) override {
        ++sleeps;
        if (failSleep) {
            failSleep = false;
            throw std::overflow_error("test fault");
        }
        if (onSleep) {
            std::exchange(onSleep, nullptr)();
        }
    }
};

// Records every box instead of showing it.
class RecordingBoxes : public MessageBoxes {
  public:
    struct Shown {
        std::string text;
        std::string title;
        MessageIcon icon;
    };
    std::vector<Shown> shown;
    std::function<void()> onShow;  // runs while the box "is up"

    void show(const std::string& text, const std::string& title, MessageIcon icon) override {
        shown.push_back({text, title, icon});
        if (onShow) {
            onShow();
        }
    }
};

// Each test runs in its own scratch folder, which is also the program's
// folder, so dump.log and skelvane.ini land there.
class CoreTest : public ::testing::Test {
  protected:
    CoreTest() : oldDir_(std::filesystem::current_path()), dir(scratch_.path()) {
        std::filesystem::current_path(dir);
    }
    // Leaves the folder before the scratch folder goes.
    ~CoreTest() override { std::filesystem::current_path(oldDir_); }

    // Number of times `text` occurs in the log box.
    int logCount(const std::string& text) const {
        int count = 0;
        for (auto at = form.ctl.txtLOG.find(text); at != std::string::npos;
             at = form.ctl.txtLOG.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
    bool logHas(const std::string& text) const { return logCount(text) > 0; }

    // Runs ticks until `done` holds or the tick budget is spent.
    bool pumpUntil(const std::function<bool()>& done, int maxTicks = 400) {
        for (int i = 0; i < maxTicks; ++i) {
            form.Timer1_Timer();
            if (done()) {
                return true;
            }
        }
        return false;
    }

  private:
    std::filesystem::path oldDir_;
    ScratchDir scratch_{"skelvane-core"};

  protected:
    std::filesystem::path dir;
    FakeClock clock;
    RecordingBoxes boxes;
    Form1 form{clock, boxes, dir.string()};
};
