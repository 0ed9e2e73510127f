// Drives the plug-in's logic through pluginFun as the host does, with a clock
// the test sets, recording fakes in place of the windows, timer and message
// boxes, and a host callback that keeps every record it is handed. Each test
// runs in a scratch current directory, where dorrimel.ini and msgack.log go.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/PluginWindows.h"
#include "plugin/Settings.h"
#include "plugin/Tracker.h"
#include "tests/plugin/PluginRecords.h"
#include "tests/support/ScratchDir.h"

// The plug-in's export, as the host finds it.
extern "C" const std::uint8_t* PLUG_CALL pluginFun(const std::uint8_t* eventRecord);

class FakeClock : public PluginClock {
  public:
    std::uint32_t tick = 1000000;
    PluginDateTime local{2024, 3, 7, 14, 5, 9, 42};
    PluginDateTime utc{2024, 3, 7, 13, 5, 9, 42};

    std::uint32_t tickCount() override { return tick; }
    PluginDateTime localDateTime() override { return local; }
    PluginDateTime utcDateTime() override { return utc; }
};

// What the fake windows, timers and boxes were asked to do.
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
    int optionsWindows = 0;  // alive
    std::string optionsCaption;
    OptionsValues optionsValues;
    OptionsCallbacks options;
    // Timers: id -> period; the tick of each.
    std::map<TimerId, std::int32_t> timers;
    std::map<TimerId, std::function<void()>> ticks;
    TimerId nextTimer = 1;
    // Message boxes.
    struct Box {
        std::string text;
        std::string caption;
        BoxIcon icon;
    };
    std::vector<Box> boxes;
};

std::unique_ptr<PluginPlatform> makeFakePlatform(Recorder& recorder);

class PluginTest : public ::testing::Test {
  protected:
    PluginTest();
    ~PluginTest() override;

    const std::uint8_t* send(const Bytes& record) { return pluginFun(record.data()); }
    const std::uint8_t* init(std::uint32_t ownUin = 123456) { return send(initRecord(ownUin)); }
    void finish() { send(eventRecord(2)); }
    void preferences() { send(eventRecord(3)); }

    // An outgoing message to uinText (4/6) and an acknowledgement of one
    // (4/0B from the recipient, 4/0C from the server).
    void sendMessage(const std::string& uinText, const Cookie& cookie,
                     std::uint32_t requestId = 0x11);
    void sendAck(std::uint16_t subtype, const std::string& uinText, const Cookie& cookie,
                 std::uint32_t requestId = 0x22);
    // Runs the tracker's one running timer after ms more milliseconds.
    void tickAfter(std::uint32_t ms);

    // The settings file and the log file of the scratch directory.
    static void writeSettings(const std::string& text);
    static std::string readText(const std::string& name);
    // The log file's lines without their time stamps.
    static std::vector<std::string> logFileLines();

    FakeClock clock;
    Recorder rec;

  private:
    std::filesystem::path previousDir_;
    ScratchDir scratch_{"dorrimel"};
};

inline Cookie cookieOf(std::uint8_t first) {
    return Cookie{first, 0x01, 0x02, 0x03, 0xA4, 0xB5, 0xC6, 0xFF};
}
