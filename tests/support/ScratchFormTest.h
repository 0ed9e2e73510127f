// A fixture that gives each test its own Form1 in a scratch folder, which is
// the program's folder (dump.log and skelvane.ini land there), on the fake
// clock and with recorded message boxes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "proxy/core/Form1.h"
#include "tests/support/FakeClock.h"
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
        EXPECT_EQ(Sok_name(form.sockets[SLOT_LOGIN_LISTENER], ip, port), 0);
        return port;
    }

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
    ScratchWorkDir scratch_{"skelvane-core"};

  protected:
    std::filesystem::path dir = scratch_.path();
    FakeClock clock;
    RecordingBoxes boxes;
    Form1 form{clock, boxes, dir.string()};
};
