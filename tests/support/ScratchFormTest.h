// A fixture that gives each test its own Form1 in a scratch folder, which is
// the program's folder (dump.log and skelvane.ini land there), on the fake
// clock, with recorded message boxes and a poll loop that reports socket
// readiness as a window's loop would.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "proxy/core/Form1.h"
#include "tests/support/FakeClock.h"
#include "tests/support/PollLoop.h"
#include "tests/support/RecordingBoxes.h"
#include "tests/support/ScratchDir.h"

class ScratchFormTest : public ::testing::Test {
  protected:
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

    // The port the login listener was bound to.
    std::uint16_t loginListenerPort() {
        std::string ip;
        std::uint16_t port = 0;
        EXPECT_EQ(Sok_name(form.loginListener, ip, port), 0);
        return port;
    }

    // Reports socket readiness until `done` holds, giving up after
    // `patienceMs` of real time. No tick runs and the clock stands still.
    bool pumpUntil(const std::function<bool()>& done, int patienceMs = 5000) {
        const auto giveUp =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= giveUp) {
                return false;
            }
            loop.runOnce(form, 10);
        }
        return true;
    }

  private:
    ScratchWorkDir scratch_{"skelvane-core"};

  protected:
    std::filesystem::path dir = scratch_.path();
    FakeClock clock;
    RecordingBoxes boxes;
    PollLoop loop;
    Form1 form{clock, boxes, dir.string()};

  private:
    const bool watched_ = (form.setSocketWatch(&loop), true);
};
