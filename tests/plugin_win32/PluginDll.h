// The real plugin.dll, loaded with LoadLibrary and driven through pluginFun
// as the host drives it, with a host callback that keeps every record it is
// handed. Each test runs in a scratch current directory (dorrimel.ini,
// msgack.log; readText reads them back) and on this thread's own message
// loop.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "proxy/plugin_host/PluginInterface.h"
#include "tests/support/PluginRecords.h"
#include "tests/support/ScratchDir.h"

inline constexpr char kTitle[] = "Dorrimel v0.4";
inline constexpr std::uint32_t kOwnUin = 123456;
inline constexpr char kOptionsCaption[] = "Dorrimel v0.4 - Options - 123456";
inline constexpr char kLogCaption[] = "Dorrimel v0.4 - Log";

// PACKET_TO_SERVER with SNAC 4/6 to uinText, or PACKET_TO_CLIENT with an
// acknowledgement (subtype 0x0B or 0x0C) of such a message.
Bytes messageEvent(const std::string& uinText, std::uint8_t cookieByte);
Bytes ackEvent(std::uint16_t subtype, const std::string& uinText, std::uint8_t cookieByte);

// Dispatches this thread's messages until done() holds or limit has passed
// (waiting for messages in between); returns done(). seen, when given, is
// shown every message before it is dispatched.
bool pumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20),
               const std::function<void(const MSG&)>& seen = nullptr);

// The top-level window of this thread captioned exactly caption, or null.
HWND threadWindow(const std::string& caption, const char* className = nullptr);

std::string windowText(HWND window);
std::string className(HWND window);
// A button's click as its parent receives it.
void pressButton(HWND dialog, int id);

struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule>;

// The folder of bin/plugin.dll: ../bin from this program's folder.
std::filesystem::path pluginPath();

class PluginDllTest : public ::testing::Test {
  protected:
    PluginDllTest();
    ~PluginDllTest() override;

    void load();
    void unload() { library_.reset(); }

    const std::uint8_t* send(const Bytes& record) { return pluginFun_(record.data()); }
    const std::uint8_t* init() { return send(initRecord(kOwnUin, "C:\\Skelvane")); }
    void finish() { send(eventRecord(EVENT_FINISH)); }
    void preferences() { send(eventRecord(EVENT_PREFERENCES)); }

    HWND optionsWindow() const { return threadWindow(kOptionsCaption); }
    HWND logWindow() const { return threadWindow(kLogCaption); }

    static void writeFile(const std::string& name, const std::string& text);

    Library library_;
    PluginFunction pluginFun_ = nullptr;

  private:
    ScratchWorkDir scratch_{"dorrimel-win32"};
};
