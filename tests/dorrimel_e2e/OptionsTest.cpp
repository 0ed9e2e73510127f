// "Preferences" in the running proxy: it opens and closes Dorrimel's options
// window; OK saves dorrimel.ini and gives the tracker a new timer only when
// the period changed. The tracker's timer is seen through its ticks on the
// application's event loop.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/dorrimel_e2e/DorrimelSession.h"

namespace {

std::string editText(const QWidget* options, const char* name) {
    const auto* edit = options->findChild<QLineEdit*>(name);
    return edit ? edit->text().toStdString() : "(no edit)";
}

void setEdit(const QWidget* options, const char* name, const char* text) {
    auto* edit = options->findChild<QLineEdit*>(name);
    ASSERT_NE(edit, nullptr) << name;
    edit->setText(QString::fromLatin1(text));
}

void pressOk(const QWidget* options) {
    auto* ok = options->findChild<QPushButton*>("buttonOk");
    ASSERT_NE(ok, nullptr);
    ok->click();
}

}  // namespace

TEST_F(DorrimelSessionTest, PreferencesTogglesOptionsAndOkRestartsTheTimerOnlyForANewPeriod) {
    ASSERT_NO_FATAL_FAILURE(signOn(kOwnUin));
    ASSERT_NO_FATAL_FAILURE(openChat());
    QPointer<QTimer> tracker;
    ASSERT_TRUE(runUntil([&] { return (tracker = timers.tickingWith(50)) != nullptr; }));

    // Two presses: the window opens with the settings, then closes.
    form.Command2_Click();
    EXPECT_TRUE(logHas("Plugin preferences"));
    QWidget* options = dorrimelWindow("OptionsDialog");
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->isVisible());
    EXPECT_EQ(options->windowTitle().toStdString(), "Dorrimel v0.4 - Options - 123456789");
    EXPECT_EQ(editText(options, "edit1002"), "0.050");
    EXPECT_EQ(editText(options, "edit1004"), "0.200");
    EXPECT_EQ(editText(options, "edit1005"), "0.400");
    const auto* type = options->findChild<QComboBox*>("list1001");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->currentIndex(), 0);
    const auto* logFile = options->findChild<QCheckBox*>("check1000");
    ASSERT_NE(logFile, nullptr);
    EXPECT_TRUE(logFile->isChecked());
    form.Command2_Click();
    flushDeferredDeletes();
    EXPECT_EQ(dorrimelWindow("OptionsDialog"), nullptr);

    // OK with the same period: saved, the running timer left alone.
    std::filesystem::remove(dir / "dorrimel.ini");
    form.Command2_Click();
    options = dorrimelWindow("OptionsDialog");
    ASSERT_NE(options, nullptr);
    ASSERT_NO_FATAL_FAILURE(setEdit(options, "edit1004", "0.3"));
    ASSERT_NO_FATAL_FAILURE(pressOk(options));
    EXPECT_EQ(readFile(dir / "dorrimel.ini"),
              "TimerInterval = 50\nWaitTimeout = 300\nRemoveTimeout = 400\nNotifyType = 1\n"
              "LogFile = 1");
    flushDeferredDeletes();
    EXPECT_EQ(dorrimelWindow("OptionsDialog"), nullptr);
    timers.clear();
    ASSERT_TRUE(runUntil([&] { return tracker.isNull() || timers.ticksOf(tracker) >= 3; }));
    ASSERT_FALSE(tracker.isNull());
    EXPECT_TRUE(tracker->isActive());
    EXPECT_EQ(tracker->interval(), 50);
    EXPECT_EQ(timers.ticksOfOthers(tracker), 0);

    // OK with a new period: a timer with that period replaces the old one.
    form.Command2_Click();
    options = dorrimelWindow("OptionsDialog");
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(editText(options, "edit1004"), "0.300");
    ASSERT_NO_FATAL_FAILURE(setEdit(options, "edit1002", "0.07"));
    ASSERT_NO_FATAL_FAILURE(pressOk(options));
    EXPECT_EQ(readFile(dir / "dorrimel.ini"),
              "TimerInterval = 70\nWaitTimeout = 300\nRemoveTimeout = 400\nNotifyType = 1\n"
              "LogFile = 1");
    timers.clear();
    QPointer<QTimer> replacement;
    ASSERT_TRUE(runUntil([&] { return (replacement = timers.tickingWith(70)) != nullptr; }));
    EXPECT_NE(replacement.data(), tracker.data());
    EXPECT_TRUE(tracker.isNull() || !tracker->isActive());
    flushDeferredDeletes();
    EXPECT_TRUE(tracker.isNull());
    EXPECT_EQ(timers.ticksOfOthers(replacement), 0);

    // The new timer drives the tracker: an unanswered message is notified.
    const Cookie cookie{1, 2, 3, 4, 5, 6, 7, 8};
    client().send(outgoingMessage(cookie, "987654321", 0x41));
    ASSERT_TRUE(runUntil([&] { return !clientFrames.empty(); }));
    EXPECT_EQ(form.session().Generated[0], 1);
    ASSERT_GE(clientFrames[0].size(), 10U);
    EXPECT_EQ(clientFrames[0][7], 4);  // SNAC 4/7
    EXPECT_EQ(clientFrames[0][9], 7);

    ASSERT_NO_FATAL_FAILURE(endChatFromServer());
    EXPECT_EQ(msgack().back(), "Stopping");
    flushDeferredDeletes();
    EXPECT_EQ(dorrimelWindowCount(), 0);
    EXPECT_TRUE(replacement.isNull());
}
