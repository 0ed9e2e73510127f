// The plug-in's windows as the host reaches them: through pluginFun, with
// the Qt platform that the first EVENT_INIT installs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/qt/LogDialog.h"
#include "plugin/qt/OptionsDialog.h"
#include "plugin/qt/QtPluginPlatform.h"
#include "tests/plugin_ui/QtTestApp.h"
#include "tests/support/PluginRecords.h"
#include "tests/support/ScratchDir.h"

extern "C" const std::uint8_t* PLUG_CALL pluginFun(const std::uint8_t* eventRecord);

namespace fs = std::filesystem;

namespace {

const std::uint8_t* send(std::uint8_t code) {
    return pluginFun(eventRecord(code).data());
}

template <typename T>
T* onlyWindow(bool visible) {
    std::vector<T*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window && window->isVisible() == visible) {
            found.push_back(window);
        }
    }
    return found.size() == 1 ? found.front() : nullptr;
}

class PluginFunWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        send(EVENT_FINISH);
        flushDeferredDeletes();
    }
    void TearDown() override {
        send(EVENT_FINISH);
        for (QMessageBox* box : visibleWindows<QMessageBox>()) {
            box->close();
        }
        flushDeferredDeletes();
    }

    void init(std::uint32_t ownUin) {
        const std::uint8_t* answer = pluginFun(initRecord(ownUin, "/opt/skelvane").data());
        ASSERT_NE(answer, nullptr);
        ASSERT_EQ(answer[4], PLUGIN_INFO);
    }

    // Sends EVENT_PREFERENCES: the one options window then open, or null.
    static OptionsDialog* preferences() {
        send(EVENT_PREFERENCES);
        return onlyWindow<OptionsDialog>(true);
    }

    static QtPluginPlatform& platform() {
        auto* platform = dynamic_cast<QtPluginPlatform*>(pluginPlatform());
        EXPECT_NE(platform, nullptr) << "the first EVENT_INIT installs the Qt platform";
        return *platform;
    }

    ScratchWorkDir scratch_{"dorrimel-ui"};
};

TEST_F(PluginFunWindowsTest, PreferencesBeforeInitOpenTheOptionsWindowOnTheFile) {
    std::ofstream("dorrimel.ini") << "WaitTimeout = 2500";
    EXPECT_EQ(send(EVENT_PREFERENCES), nullptr);
    EXPECT_EQ(onlyWindow<QMessageBox>(true), nullptr);
    QPointer<OptionsDialog> options = onlyWindow<OptionsDialog>(true);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->windowTitle(), QStringLiteral("Dorrimel v0.4 - Options - 0"));
    EXPECT_EQ(options->ui.edit1004->text(), QStringLiteral("2.500"));
    options->ui.edit1004->setText(QStringLiteral("4"));
    QTest::mouseClick(options->ui.buttonOk, Qt::LeftButton);
    flushDeferredDeletes();
    EXPECT_TRUE(options.isNull());
    EXPECT_EQ(readFile("dorrimel.ini"),
              "TimerInterval = 1000\nWaitTimeout = 4000\nRemoveTimeout = 10000\nNotifyType = 1\n"
              "LogFile = 1");
}

TEST_F(PluginFunWindowsTest, InitCreatesTheLogWindowHiddenAndFinishFreesIt) {
    init(123456);
    QPointer<LogDialog> log = onlyWindow<LogDialog>(false);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->windowTitle(), QStringLiteral("Dorrimel v0.4 - Log"));
    EXPECT_EQ(log->ui.label1004->text(), QStringLiteral("0"));
    EXPECT_EQ(platform().timerInterval(pluginState().timerId), 1000);

    send(EVENT_FINISH);
    flushDeferredDeletes();
    EXPECT_TRUE(log.isNull());
}

TEST_F(PluginFunWindowsTest, PreferencesTogglesTheOptionsWindowFilledFromTheSettings) {
    init(123456);
    QPointer<OptionsDialog> options = preferences();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->windowTitle(), QStringLiteral("Dorrimel v0.4 - Options - 123456"));
    EXPECT_EQ(options->ui.edit1002->text(), QStringLiteral("1"));
    EXPECT_EQ(options->ui.edit1004->text(), QStringLiteral("5"));
    EXPECT_EQ(options->ui.edit1005->text(), QStringLiteral("10"));
    EXPECT_EQ(options->ui.list1001->currentIndex(), 0);
    EXPECT_TRUE(options->ui.check1000->isChecked());

    send(EVENT_PREFERENCES);
    flushDeferredDeletes();
    EXPECT_TRUE(options.isNull());
    EXPECT_EQ(onlyWindow<OptionsDialog>(true), nullptr);
}

TEST_F(PluginFunWindowsTest, ShowLogTogglesTheLogWindowAndItsCloseButtonHidesIt) {
    init(1);
    OptionsDialog* options = preferences();
    ASSERT_NE(options, nullptr);
    LogDialog* log = onlyWindow<LogDialog>(false);
    ASSERT_NE(log, nullptr);

    QTest::mouseClick(options->ui.button1003, Qt::LeftButton);
    EXPECT_TRUE(log->isVisible());
    QTest::mouseClick(options->ui.button1003, Qt::LeftButton);
    EXPECT_FALSE(log->isVisible());
    QTest::mouseClick(options->ui.button1003, Qt::LeftButton);
    ASSERT_TRUE(log->isVisible());

    log->close();
    flushDeferredDeletes();
    EXPECT_EQ(onlyWindow<LogDialog>(false), log) << "hidden, not destroyed";
    QTest::mouseClick(options->ui.button1003, Qt::LeftButton);
    EXPECT_TRUE(log->isVisible()) << "closing cleared the shown flag";
    EXPECT_TRUE(options->isVisible());
}

TEST_F(PluginFunWindowsTest, OkRefusesABadFieldInTheWindowThenSavesAndRestartsTheTimer) {
    init(7);
    const TimerId before = pluginState().timerId;
    QPointer<OptionsDialog> options = preferences();
    ASSERT_NE(options, nullptr);
    options->ui.edit1004->setText(QStringLiteral("-5"));
    QTest::mouseClick(options->ui.buttonOk, Qt::LeftButton);
    flushDeferredDeletes();
    ASSERT_FALSE(options.isNull()) << "a refused OK keeps the window open";
    EXPECT_EQ(options->windowTitle(), QStringLiteral("Waiting ack: 0 to 2147483.647 s"));
    EXPECT_EQ(options->focusWidget(), options->ui.edit1004);
    EXPECT_EQ(options->ui.edit1004->selectedText(), QStringLiteral("-5"));
    EXPECT_FALSE(std::filesystem::exists("dorrimel.ini"));
    EXPECT_EQ(pluginState().timerId, before);

    options->ui.edit1002->setText(QStringLiteral("0.02"));
    options->ui.edit1004->setText(QStringLiteral("2.5"));
    options->ui.list1001->setCurrentIndex(3);
    options->ui.check1000->setChecked(false);
    QTest::mouseClick(options->ui.buttonOk, Qt::LeftButton);

    EXPECT_EQ(readFile("dorrimel.ini"),
              "TimerInterval = 20\nWaitTimeout = 2500\nRemoveTimeout = 10000\nNotifyType = 4\n"
              "LogFile = 0");
    const TimerId after = pluginState().timerId;
    EXPECT_NE(after, before);
    EXPECT_EQ(platform().timerInterval(before), -1);
    EXPECT_EQ(platform().timerInterval(after), 20);
    flushDeferredDeletes();
    EXPECT_TRUE(options.isNull());
}

TEST_F(PluginFunWindowsTest, CancelClosesWithoutSaving) {
    init(7);
    QPointer<OptionsDialog> options = preferences();
    ASSERT_NE(options, nullptr);
    options->ui.edit1002->setText(QStringLiteral("3"));
    QTest::mouseClick(options->ui.buttonCancel, Qt::LeftButton);
    flushDeferredDeletes();
    EXPECT_TRUE(options.isNull());
    EXPECT_FALSE(fs::exists("dorrimel.ini"));
    EXPECT_EQ(platform().timerInterval(pluginState().timerId), 1000);

    options = preferences();
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->close());
    flushDeferredDeletes();
    EXPECT_TRUE(options.isNull());
    EXPECT_FALSE(fs::exists("dorrimel.ini"));
}

}  // namespace
