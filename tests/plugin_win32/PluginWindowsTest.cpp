// The library's behaviour on Windows: its export, its answer to the init
// event, the options and log windows driven through their buttons, the
// thread timer that carries the notifications, the message box, and the
// release of everything at EVENT_FINISH and at unload.
#include <cstring>
#include <regex>
#include <string>

#include "plugin/PluginState.h"
#include "tests/plugin_win32/PluginDll.h"

namespace {

class PluginWindowsTest : public PluginDllTest {
  protected:
    // Inits, sends a message to 654321 and opens the options window: the
    // options and the (hidden) log window.
    void openWindows(HWND& options, HWND& log) {
        init();
        send(messageEvent("654321", 0x10));
        preferences();
        options = optionsWindow();
        log = logWindow();
        ASSERT_NE(options, nullptr);
        ASSERT_NE(log, nullptr);
    }
};

std::string listLine(HWND log, int index) {
    char text[256] = {};
    SendDlgItemMessageA(log, 1001, LB_GETTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text));
    return text;
}

std::string counter(HWND log, int id) {
    char text[32] = {};
    GetDlgItemTextA(log, id, text, sizeof text);
    return text;
}

bool notified() {
    for (const Bytes& record : hostCalls) {
        if (record.size() > 6 && record[4] == PLUGIN_COMMAND && record[5] == PACKET_TO_CLIENT) {
            return true;
        }
    }
    return false;
}

// The names the loaded image exports, read from its export directory.
std::vector<std::string> exportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (entry.Size == 0) {
        return names;
    }
    const auto* directory =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* nameRvas = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
        names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
    }
    EXPECT_EQ(directory->NumberOfFunctions, directory->NumberOfNames);
    return names;
}

TEST_F(PluginWindowsTest, ExportsOnlyPluginFunWhichAnswersInitWithTitleAndVersion) {
    EXPECT_EQ(exportedNames(library_.get()), std::vector<std::string>{"pluginFun"});

    const std::uint8_t* answer = init();
    ASSERT_NE(answer, nullptr);
    const std::uint8_t expected[] = {
        26,  0,   0,   0,   PLUGIN_INFO, 13,  0,   0,   0,
        'D', 'o', 'r', 'r', 'i',         'm', 'e', 'l', ' ',
        'v', '0', '.', '4', 4,           0,   0,   0,   INFO_SEVERAL_SESSIONS,
        0,   0,   0};
    EXPECT_EQ(std::memcmp(answer, expected, sizeof expected), 0);
    EXPECT_NE(logWindow(), nullptr);
    EXPECT_EQ(optionsWindow(), nullptr);
}

TEST_F(PluginWindowsTest, PreferencesOpensAndClosesTheOptionsWindow) {
    init();
    preferences();
    const HWND first = optionsWindow();
    ASSERT_NE(first, nullptr);
    preferences();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(optionsWindow(), nullptr);
    preferences();
    EXPECT_NE(optionsWindow(), nullptr);
}

// The timer of the file's period (a thousand seconds) would not tick during
// the test; only the restarted one with the new period can send the notice.
TEST_F(PluginWindowsTest, OkWithANewPeriodRestartsTheTimerAndSavesTheSettings) {
    writeFile("dorrimel.ini", "TimerInterval = 1000000\nWaitTimeout = 0\nLogFile = 0");
    init();
    send(messageEvent("654321", 0x10));
    preferences();
    const HWND dialog = optionsWindow();
    ASSERT_NE(dialog, nullptr);
    // A refused field: the window stays, says why, and hands the field back.
    SetDlgItemTextA(dialog, 1005, "99999999999");
    pressButton(dialog, IDOK);
    ASSERT_TRUE(IsWindow(dialog));
    char caption[100] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "Removing after: 0 to 2147483.647 s");
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 1005));
    DWORD from = 1;
    DWORD to = 0;
    SendDlgItemMessageA(dialog, 1005, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                        reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 11u);
    EXPECT_EQ(readText("dorrimel.ini"), "TimerInterval = 1000000\nWaitTimeout = 0\nLogFile = 0");

    SetDlgItemTextA(dialog, 1005, "10");
    SetDlgItemTextA(dialog, 1002, "0.02");
    SendDlgItemMessageA(dialog, 1001, CB_SETCURSEL, 2, 0);
    pressButton(dialog, IDOK);

    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(readText("dorrimel.ini"),
              "TimerInterval = 20\nWaitTimeout = 0\nRemoveTimeout = 10000\nNotifyType = 3\n"
              "LogFile = 0");
    ASSERT_TRUE(pumpUntil(notified)) << "no notification from the restarted timer";
    const Bytes& notice = hostCalls.front();
    const std::string text(notice.begin(), notice.end());
    EXPECT_EQ(notice[6], 0x2A);
    EXPECT_NE(text.find("was not delivered to 654321]]"), std::string::npos);
}

TEST_F(PluginWindowsTest, CancelAndTheCloseButtonCloseWithoutChangingAnything) {
    init();
    preferences();
    HWND dialog = optionsWindow();
    ASSERT_NE(dialog, nullptr);
    SetDlgItemTextA(dialog, 1004, "77");
    pressButton(dialog, IDCANCEL);
    EXPECT_FALSE(IsWindow(dialog));

    preferences();
    dialog = optionsWindow();
    ASSERT_NE(dialog, nullptr);
    char text[100] = {};
    GetDlgItemTextA(dialog, 1004, text, sizeof text);
    EXPECT_STREQ(text, "5");
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(std::filesystem::exists("dorrimel.ini"));
}

TEST_F(PluginWindowsTest, ShowLogTogglesTheLogWindowAndItsCloseButtonOnlyHidesIt) {
    HWND options = nullptr;
    HWND log = nullptr;
    ASSERT_NO_FATAL_FAILURE(openWindows(options, log));

    pressButton(options, 1003);
    EXPECT_TRUE(IsWindowVisible(log));
    EXPECT_TRUE(IsWindow(options));
    SendMessageA(log, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(log));
    EXPECT_FALSE(IsWindowVisible(log));
    pressButton(options, 1003);
    EXPECT_TRUE(IsWindowVisible(log));
    EXPECT_EQ(SendDlgItemMessageA(log, 1001, LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(counter(log, 1004), "1");
    pressButton(options, 1003);
    EXPECT_FALSE(IsWindowVisible(log));
}

TEST_F(PluginWindowsTest, LogListShowsMessagesAndUpdatesTheirLinesInPlace) {
    init();
    const HWND log = logWindow();
    ASSERT_NE(log, nullptr);
    send(messageEvent("654321", 0x10));
    send(messageEvent("777", 0x20));
    EXPECT_TRUE(std::regex_match(listLine(log, 0),
                                 std::regex(R"(\d\d\.\d\d\.\d\d for    654321, \d+ b\.)")));
    EXPECT_TRUE(std::regex_match(listLine(log, 1),
                                 std::regex(R"(\d\d\.\d\d\.\d\d for       777, \d+ b\.)")));
    EXPECT_EQ(SendDlgItemMessageA(log, 1001, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(counter(log, 1004), "2");
    EXPECT_EQ(counter(log, 1005), "2");

    send(ackEvent(0x0C, "654321", 0x10));
    EXPECT_TRUE(std::regex_match(
        listLine(log, 0),
        std::regex(R"(\d\d\.\d\d\.\d\d for    654321, \d+ b\. - srv ack in \d+ ms)")));
    EXPECT_EQ(SendDlgItemMessageA(log, 1001, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendDlgItemMessageA(log, 1001, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(counter(log, 1004), "2");
    EXPECT_EQ(counter(log, 1005), "1");

    send(ackEvent(0x0B, "999999", 0x70));
    EXPECT_TRUE(std::regex_match(listLine(log, 2),
                                 std::regex(R"(\d\d\.\d\d\.\d\d from   999999  received ack)")));
    EXPECT_EQ(SendDlgItemMessageA(log, 1001, LB_GETCURSEL, 0, 0), 2);
}

TEST_F(PluginWindowsTest, FinishDestroysBothWindows) {
    HWND options = nullptr;
    HWND log = nullptr;
    ASSERT_NO_FATAL_FAILURE(openWindows(options, log));
    finish();
    EXPECT_FALSE(IsWindow(options));
    EXPECT_FALSE(IsWindow(log));
    finish();  // nothing left to release
}

// Two sessions of a host that serves several: one's finish leaves the
// windows, the timer and the other's message, whose notice goes through the
// other's own callback.
TEST_F(PluginWindowsTest, OneSessionsFinishLeavesTheOthersWindowsAndNotice) {
    writeFile("dorrimel.ini", "TimerInterval = 10\nWaitTimeout = 0\nLogFile = 0");
    init();
    send(initRecord(222, "C:\\Skelvane", otherHostCallback, HOST_API_SEVERAL_SESSIONS));
    send(messageEvent("654321", 0x10));
    send(sessionRecord(recordingHostCallback));
    finish();
    EXPECT_NE(logWindow(), nullptr);
    ASSERT_TRUE(pumpUntil([] { return !otherHostCalls.empty(); })) << "no notice";
    EXPECT_TRUE(hostCalls.empty());
    const std::string text(otherHostCalls.front().begin(), otherHostCalls.front().end());
    EXPECT_NE(text.find("was not delivered to 654321]]"), std::string::npos);

    send(sessionRecord(otherHostCallback));
    finish();
    EXPECT_EQ(logWindow(), nullptr);
}

// Unloading while inited: the windows go, and so does the 10 ms thread
// timer, whose WM_TIMER messages (no window) would otherwise go on while the
// test's own 50 ms timer ticks three times.
UINT testTicks = 0;
UINT_PTR testTimer = 0;
void CALLBACK countTick(HWND, UINT, UINT_PTR, DWORD) {
    ++testTicks;
}

int pluginTimerMessages = 0;
void countPluginTimer(const MSG& message) {
    if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam != testTimer) {
        ++pluginTimerMessages;
    }
}

TEST_F(PluginWindowsTest, UnloadReleasesTheWindowsAndTheTimer) {
    writeFile("dorrimel.ini", "TimerInterval = 10");
    HWND options = nullptr;
    HWND log = nullptr;
    ASSERT_NO_FATAL_FAILURE(openWindows(options, log));
    pluginTimerMessages = 0;
    ASSERT_TRUE(pumpUntil([] { return pluginTimerMessages > 0; }, std::chrono::seconds(20),
                          countPluginTimer));

    unload();
    EXPECT_FALSE(IsWindow(options));
    EXPECT_FALSE(IsWindow(log));
    testTicks = 0;
    pluginTimerMessages = 0;
    testTimer = SetTimer(nullptr, 0, 50, countTick);
    ASSERT_NE(testTimer, 0u);
    EXPECT_TRUE(
        pumpUntil([] { return testTicks >= 3; }, std::chrono::seconds(20), countPluginTimer));
    KillTimer(nullptr, testTimer);
    testTimer = 0;
    EXPECT_EQ(pluginTimerMessages, 0);
}

TEST_F(PluginWindowsTest, PreferencesBeforeInitOpenTheOptionsWindow) {
    writeFile("dorrimel.ini", "RemoveTimeout = 60000");
    preferences();
    const HWND dialog = threadWindow("Dorrimel v0.4 - Options - 0");  // no UIN yet
    ASSERT_NE(dialog, nullptr);
    char text[100] = {};
    GetDlgItemTextA(dialog, 1005, text, sizeof text);
    EXPECT_STREQ(text, "60");
    SetDlgItemTextA(dialog, 1004, "3");
    pressButton(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(readText("dorrimel.ini"),
              "TimerInterval = 1000\nWaitTimeout = 3000\nRemoveTimeout = 60000\nNotifyType = 1\n"
              "LogFile = 1");
}

}  // namespace
