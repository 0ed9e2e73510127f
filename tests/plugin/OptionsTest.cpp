// The options window as the user drives it: what it shows, OK (which saves
// and restarts the timer only for a new period), Cancel, and "Show Log".
#include "tests/plugin/PluginFixture.h"

namespace {

class OptionsTest : public PluginTest {
  protected:
    void openWith(const std::string& settingsFile) {
        writeSettings(settingsFile);
        init(4242);
        preferences();
        ASSERT_EQ(rec.optionsWindows, 1);
    }
    static OptionsResult result(const std::string& timer, const std::string& wait,
                                const std::string& remove, int index, bool logFile) {
        return OptionsResult{timer, wait, remove, index, logFile};
    }
};

TEST_F(OptionsTest, WindowShowsTheCurrentSettings) {
    openWith("TimerInterval=1500\nNotifyType=3\nLogFile=0");
    EXPECT_EQ(rec.optionsCaption, "Dorrimel v0.4 - Options - 4242");
    EXPECT_EQ(rec.optionsValues.timerInterval, "1.500");
    EXPECT_EQ(rec.optionsValues.waitTimeout, "5");
    EXPECT_EQ(rec.optionsValues.removeTimeout, "10");
    EXPECT_EQ(rec.optionsValues.notifyIndex, 2);
    EXPECT_FALSE(rec.optionsValues.logFile);
    preferences();

    // Out of range in the file: the default shows, never an empty choice nor
    // a wrapped number.
    writeSettings("NotifyType=5\nWaitTimeout=-1");
    init();
    preferences();
    EXPECT_EQ(rec.optionsValues.notifyIndex, 0);
    EXPECT_EQ(rec.optionsValues.waitTimeout, "5");
    EXPECT_TRUE(rec.optionsValues.logFile);
    const std::vector<std::string> notes{
        "dorrimel.ini: WaitTimeout = -1 is outside 0 to 2147483647, the default 5000 is used",
        "dorrimel.ini: NotifyType = 5 is outside 1 to 4, the default 1 is used"};
    EXPECT_EQ(rec.lines, notes);  // in the log window, and in the file after "Starting"
    const std::vector<std::string> file = logFileLines();
    EXPECT_EQ(std::vector<std::string>(file.end() - 3, file.end()),
              (std::vector<std::string>{"Starting", notes[0], notes[1]}));
}

TEST_F(OptionsTest, OkTakesTheFieldsSavesAndRestartsTheTimerForANewPeriod) {
    openWith("");
    const TimerId first = rec.timers.begin()->first;
    rec.options.accepted(result("2.5", "0", "1", 2, false));
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_EQ(pluginSettings().timerInterval, 2500);
    EXPECT_EQ(pluginSettings().waitTimeout, 0);
    EXPECT_EQ(pluginSettings().removeTimeout, 1000);
    EXPECT_EQ(pluginSettings().notifyType, 3);
    EXPECT_EQ(pluginSettings().logFile, 0);
    EXPECT_EQ(readText("dorrimel.ini"),
              "TimerInterval = 2500\nWaitTimeout = 0\nRemoveTimeout = 1000\nNotifyType = 3\n"
              "LogFile = 0");
    ASSERT_EQ(rec.timers.size(), 1u);
    EXPECT_NE(rec.timers.begin()->first, first);
    EXPECT_EQ(rec.timers.begin()->second, 2500);

    // The same period leaves the running timer alone.
    const TimerId second = rec.timers.begin()->first;
    preferences();
    rec.options.accepted(result("2.500", "5", "10", 0, true));
    EXPECT_EQ(rec.timers, (std::map<TimerId, std::int32_t>{{second, 2500}}));
    EXPECT_EQ(pluginSettings().logFile, 1);
}

TEST_F(OptionsTest, OkRefusesAFieldOutsideItsRangeAndKeepsTheWindowOpen) {
    openWith("TimerInterval=0");  // out of range: the default
    EXPECT_EQ(rec.timers.begin()->second, 1000);
    using F = OptionsField;
    const std::vector<std::pair<OptionsResult, std::pair<F, std::string>>> refused{
        {result("abc", "5", "10", 0, true),
         {F::TimerInterval, "Timer interval: 0.010 to 2147483.647 s"}},
        {result("0.009", "5", "10", 0, true),
         {F::TimerInterval, "Timer interval: 0.010 to 2147483.647 s"}},
        {result("1", "-5", "10", 0, true), {F::WaitTimeout, "Waiting ack: 0 to 2147483.647 s"}},
        {result("1", "5", "99999999999", 0, true),
         {F::RemoveTimeout, "Removing after: 0 to 2147483.647 s"}},
        {result("1", "5", "2147483.648", 0, true),
         {F::RemoveTimeout, "Removing after: 0 to 2147483.647 s"}},
        {result("1", "5", "10", -1, true), {F::NotifyType, "Notification type: choose one"}},
    };
    for (const auto& [fields, refusal] : refused) {
        rec.refusals.clear();
        rec.options.accepted(fields);
        EXPECT_EQ(rec.refusals, (std::vector<std::pair<F, std::string>>{refusal}))
            << fields.timerInterval << "/" << fields.waitTimeout << "/" << fields.removeTimeout;
    }
    EXPECT_EQ(rec.optionsWindows, 1);
    EXPECT_EQ(pluginSettings().timerInterval, 1000);  // nothing taken
    EXPECT_EQ(pluginSettings().waitTimeout, 5000);
    EXPECT_EQ(readText("dorrimel.ini"), "TimerInterval=0");  // nor saved

    rec.options.accepted(result("0.011", "2147483.647", "0", 3, true));  // the edges are taken
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_EQ(rec.timers.begin()->second, 11);
    EXPECT_EQ(pluginSettings().waitTimeout, 2147483647);
    EXPECT_EQ(pluginSettings().removeTimeout, 0);
}

TEST_F(OptionsTest, EditTextsAreReadUpTo99Characters) {
    openWith("");
    rec.options.accepted(result(std::string(98, ' ') + "25", "1", "1", 0, true));
    EXPECT_EQ(pluginSettings().timerInterval, 2000);
}

TEST_F(OptionsTest, CancelChangesNothing) {
    openWith("WaitTimeout=7000");
    rec.options.cancelled();
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_EQ(pluginSettings().waitTimeout, 7000);
    EXPECT_EQ(readText("dorrimel.ini"), "WaitTimeout=7000");
}

TEST_F(OptionsTest, ShowLogTogglesTheLogWindowWhichKeepsItsLines) {
    openWith("");
    sendMessage("42", cookieOf(1));
    rec.options.showLog();
    EXPECT_TRUE(rec.logVisible);
    EXPECT_TRUE(pluginState().logShown);
    EXPECT_EQ(rec.optionsWindows, 1);  // the options window stays open

    rec.logCloseButton();  // hides, never destroys
    EXPECT_FALSE(rec.logVisible);
    EXPECT_FALSE(pluginState().logShown);
    EXPECT_EQ(rec.logWindows, 1);

    rec.options.showLog();
    EXPECT_TRUE(rec.logVisible);
    EXPECT_EQ(rec.lines.size(), 1u);
    EXPECT_EQ(rec.processed, 1u);
    rec.options.showLog();
    EXPECT_FALSE(rec.logVisible);
}

}  // namespace
