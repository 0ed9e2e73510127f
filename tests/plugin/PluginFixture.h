// Drives the plug-in's logic through pluginFun as the host does, with a clock
// the test sets, recording fakes in place of the windows, timer and message
// boxes, and a host callback that keeps every record it is handed. Each test
// runs in a scratch current directory, where dorrimel.ini and msgack.log go.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/PluginWindows.h"
#include "plugin/Settings.h"
#include "plugin/Tracker.h"
#include "tests/support/FakePluginPlatform.h"
#include "tests/support/PluginRecords.h"
#include "tests/support/ScratchDir.h"

// The plug-in's export, as the host finds it.
extern "C" const std::uint8_t* PLUG_CALL pluginFun(const std::uint8_t* eventRecord);

class PluginTest : public ::testing::Test {
  protected:
    PluginTest();
    ~PluginTest() override;

    const std::uint8_t* send(const Bytes& record) { return pluginFun(record.data()); }
    const std::uint8_t* init(std::uint32_t ownUin = 123456) { return send(initRecord(ownUin)); }
    void finish() { send(eventRecord(2)); }
    // A session of a host that serves several at once, and the event that
    // names the session the next events belong to.
    const std::uint8_t* initSession(std::uint32_t ownUin, HostCallbackFunction callback) {
        return send(initRecord(ownUin, "C:\\Skelvane", callback, HOST_API_SEVERAL_SESSIONS));
    }
    void selectSession(HostCallbackFunction callback) { send(sessionRecord(callback)); }
    void preferences() { send(eventRecord(3)); }

    // An outgoing message to uinText (4/6) and an acknowledgement of one
    // (4/0B from the recipient, 4/0C from the server).
    void sendMessage(const std::string& uinText, const Cookie& cookie,
                     std::uint32_t requestId = 0x11);
    void sendAck(std::uint16_t subtype, const std::string& uinText, const Cookie& cookie,
                 std::uint32_t requestId = 0x22);
    // Runs the tracker's one running timer after ms more milliseconds.
    void tickAfter(std::uint32_t ms);

    // The settings file of the scratch directory (readText reads files back,
    // in text mode as the plug-in writes them).
    static void writeSettings(const std::string& text);
    // The log file's lines without their time stamps.
    static std::vector<std::string> logFileLines();

  private:
    ScratchWorkDir scratch_{"dorrimel"};

  protected:
    FakePluginClock clock;
    Recorder rec;
};

inline Cookie cookieOf(std::uint8_t first) {
    return Cookie{first, 0x01, 0x02, 0x03, 0xA4, 0xB5, 0xC6, 0xFF};
}
