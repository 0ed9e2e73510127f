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

    writeSettings("NotifyType=5");
    init();
    preferences();
    EXPECT_EQ(rec.optionsValues.notifyIndex, -1);
    EXPECT_TRUE(rec.optionsValues.logFile);
}

TEST_F(OptionsTest, OkTakesTheFieldsSavesAndRestartsTheTimerForANewPeriod) {
    openWith("");
    const TimerId first = rec.timers.begin()->first;
    rec.options.accepted(result("2.5", "abc", "1,5", 2, false));
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
    rec.options.accepted(result("2.500", "5", "10", -1, true));
    EXPECT_EQ(rec.timers, (std::map<TimerId, std::int32_t>{{second, 2500}}));
    EXPECT_EQ(pluginSettings().notifyType, 0);  // nothing selected
    EXPECT_EQ(pluginSettings().logFile, 1);
}

TEST_F(OptionsTest, TimerNeverRunsFasterThanEveryTenMilliseconds) {
    openWith("TimerInterval=0");
    EXPECT_EQ(rec.timers.begin()->second, 10);
    rec.options.accepted(result("-3", "5", "10", 0, true));
    EXPECT_EQ(pluginSettings().timerInterval, -3000);  // stored as given
    EXPECT_EQ(rec.timers.begin()->second, 10);
    preferences();
    rec.options.accepted(result("0.011", "5", "10", 0, true));
    EXPECT_EQ(rec.timers.begin()->second, 11);
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
