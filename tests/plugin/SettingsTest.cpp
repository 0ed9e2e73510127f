// The settings file "dorrimel.ini" read and written, and the conversions
// between milliseconds and the seconds of the options window's fields.
#include "plugin/TextNumbers.h"
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
        "RemoveTimeout=30000\n"     // the last one wins
        "TimerInterval = 1500ms\n"  // digits up to the first other character
        "Unknown = 5\n" +
        std::string(99, '#') + "LogFile = 0");  // the rest of a long line is a line of its own
    EXPECT_EQ(loadSettings(), 0);
    EXPECT_EQ(current(), (Values{1500, 7000, 30000, 1, 0}));
}

TEST_F(SettingsTest, ValueOutsideItsRangeKeepsTheDefaultAndSaysSo) {
    writeSettings(
        "TimerInterval = 9\nWaitTimeout = -1\nRemoveTimeout = 99999999999\r\n"
        "NotifyType = 9\nNotifyType = 5\nLogFile = 2\nLogFile = 0\n");
    std::vector<std::string> notes;
    EXPECT_EQ(loadSettings(&notes), 0);
    EXPECT_EQ(current(), (Values{1000, 5000, 10000, 1, 0}));
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "dorrimel.ini: TimerInterval = 9 is outside 10 to 2147483647, the "
                         "default 1000 is used",
                         "dorrimel.ini: WaitTimeout = -1 is outside 0 to 2147483647, the default "
                         "5000 is used",
                         "dorrimel.ini: RemoveTimeout = 99999999999 is outside 0 to 2147483647, "
                         "the default 10000 is used",
                         "dorrimel.ini: NotifyType = 5 is outside 1 to 4, the default 1 is used",
                     }));  // one line per key, for its last value; LogFile's last one stands

    writeSettings("NotifyType = three\nWaitTimeout = 0\nTimerInterval = 2147483647");
    notes.clear();
    loadSettings(&notes);
    EXPECT_EQ(current(), (Values{2147483647, 0, 10000, 1, 1}));
    EXPECT_EQ(notes, (std::vector<std::string>{"dorrimel.ini: NotifyType = three is not a number "
                                               "from 1 to 4, the default 1 is used"}));
}

TEST_F(SettingsTest, OneLineChangesOnlyItsSetting) {
    writeSettings("LogFile=0");
    loadSettings();
    EXPECT_EQ(current(), (Values{1000, 5000, 10000, 1, 0}));
}

TEST_F(SettingsTest, SavedFileHasFiveLinesWithoutAFinalBreakAndReadsBack) {
    pluginSettings() = PluginSettings{1500, 2500, 0, 3, 0};
    EXPECT_EQ(saveSettings(), 0);
    EXPECT_EQ(readText("dorrimel.ini"),
              "TimerInterval = 1500\nWaitTimeout = 2500\nRemoveTimeout = 0\nNotifyType = 3\n"
              "LogFile = 0");
    pluginSettings() = PluginSettings{};
    loadSettings();
    EXPECT_EQ(current(), (Values{1500, 2500, 0, 3, 0}));
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

TEST(SecondsText, EditTextsAreSecondsWithAnOptionalFraction) {
    EXPECT_EQ(parseSecondsAsMs("2.5"), 2500);
    EXPECT_EQ(parseSecondsAsMs(" 10 "), 10000);
    EXPECT_EQ(parseSecondsAsMs(".25"), 250);
    EXPECT_EQ(parseSecondsAsMs("7."), 7000);
    EXPECT_EQ(parseSecondsAsMs("0.0015"), 1);                    // cut toward zero
    EXPECT_EQ(parseSecondsAsMs("99999999999"), 99999999999000);  // for the range check to see
    EXPECT_EQ(parseSecondsAsMs(std::string(40, '9')), 1'000'000'000'000'000);
    for (const char* text : {"", " ", "abc", "-5", "+7", "1,5", "7s", "1e1", ".", "1.2.3", "nan"}) {
        EXPECT_EQ(parseSecondsAsMs(text), std::nullopt) << text;
    }
}

}  // namespace
