// The settings file "dorrimel.ini" read and written, and the conversions
// between milliseconds and the seconds of the options window's fields.
#include "tests/plugin/PluginFixture.h"

namespace {

using SettingsTest = PluginTest;

struct Values {
    std::int32_t timer, wait, remove, notify, log;
    bool operator==(const Values&) const = default;
};

Values current() {
    const PluginSettings& s = pluginSettings();
    return {s.timerInterval, s.waitTimeout, s.removeTimeout, s.notifyType, s.logFile};
}

void PrintTo(const Values& v, std::ostream* os) {
    *os << v.timer << "/" << v.wait << "/" << v.remove << "/" << v.notify << "/" << v.log;
}

constexpr Values kDefaults{1000, 5000, 10000, 1, 1};

TEST_F(SettingsTest, MissingFileLeavesTheDefaults) {
    pluginSettings().waitTimeout = 3;
    EXPECT_EQ(loadSettings(), 1);
    EXPECT_EQ(current(), kDefaults);
}

TEST_F(SettingsTest, FileLinesAreTrimmedMatchedExactlyAndTheLastWins) {
    writeSettings(
        " \tWaitTimeout \t=  7000 \n"
        "waittimeout = 1\n"  // keys are case-sensitive
        "no equals sign here\n"
        "RemoveTimeout = 20000\r\n"
        "RemoveTimeout=-30000\n"    // the last one wins
        "NotifyType = three\n"      // not a number: 0
        "TimerInterval = 1500ms\n"  // digits up to the first other character
        "Unknown = 5\n" +
        std::string(99, '#') + "LogFile = 0");  // the rest of a long line is a line of its own
    EXPECT_EQ(loadSettings(), 0);
    EXPECT_EQ(current(), (Values{1500, 7000, -30000, 0, 0}));
}

TEST_F(SettingsTest, OneLineChangesOnlyItsSetting) {
    writeSettings("LogFile=0");
    loadSettings();
    EXPECT_EQ(current(), (Values{1000, 5000, 10000, 1, 0}));
}

TEST_F(SettingsTest, SavedFileHasFiveLinesWithoutAFinalBreakAndReadsBack) {
    pluginSettings() = PluginSettings{1500, 2500, -1, 3, 0};
    EXPECT_EQ(saveSettings(), 0);
    EXPECT_EQ(readText("dorrimel.ini"),
              "TimerInterval = 1500\nWaitTimeout = 2500\nRemoveTimeout = -1\nNotifyType = 3\n"
              "LogFile = 0");
    pluginSettings() = PluginSettings{};
    loadSettings();
    EXPECT_EQ(current(), (Values{1500, 2500, -1, 3, 0}));
}

TEST_F(SettingsTest, UnwritableFileIsReported) {
    std::filesystem::create_directory("dorrimel.ini");
    EXPECT_EQ(saveSettings(), 1);
#if defined(_WIN32)
    EXPECT_EQ(loadSettings(), 1);  // a directory does not open as a file
#else
    EXPECT_EQ(loadSettings(), 0);  // a directory opens but holds no lines
#endif
    EXPECT_EQ(current(), kDefaults);
}

TEST(SecondsText, MillisecondsShowAsSeconds) {
    EXPECT_EQ(formatSeconds(5000), "5");
    EXPECT_EQ(formatSeconds(10000), "10");
    EXPECT_EQ(formatSeconds(0), "0");
    EXPECT_EQ(formatSeconds(1500), "1.500");
    EXPECT_EQ(formatSeconds(1), "0.001");
    EXPECT_EQ(formatSeconds(-1000), "4294966.296");  // taken as unsigned
}

TEST(SecondsText, EditTextsBecomeWholeMilliseconds) {
    EXPECT_EQ(secondsTextToMs("2.5"), 2500);
    EXPECT_EQ(secondsTextToMs("0.0015"), 1);  // cut toward zero
    EXPECT_EQ(secondsTextToMs("-0.0015"), -1);
    EXPECT_EQ(secondsTextToMs("abc"), 0);
    EXPECT_EQ(secondsTextToMs(""), 0);
    EXPECT_EQ(secondsTextToMs("1,5"), 1000);  // the separator is the point
    EXPECT_EQ(secondsTextToMs("  +7s"), 7000);
    EXPECT_EQ(secondsTextToMs("1e1"), 10000);
    EXPECT_EQ(secondsTextToMs(".25"), 250);
    EXPECT_EQ(secondsTextToMs("1e400"), 2147483647);  // held within 32 bits
    EXPECT_EQ(secondsTextToMs("-1e400"), -2147483647 - 1);
    EXPECT_EQ(secondsTextToMs("1e-400"), 0);
    EXPECT_EQ(secondsTextToMs("nan"), 0);
}

}  // namespace
