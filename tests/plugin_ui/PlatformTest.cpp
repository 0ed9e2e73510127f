// The platform's timers and message boxes on the Qt event loop, and what is
// left of the windows once the host's loop has ended.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <memory>

#include "plugin/qt/OptionsDialog.h"
#include "plugin/qt/QtLogView.h"
#include "plugin/qt/QtOptionsView.h"
#include "plugin/qt/QtPluginPlatform.h"
#include "tests/plugin_ui/QtTestApp.h"

namespace {

class PlatformTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (QMessageBox* box : visibleWindows<QMessageBox>()) {
            box->close();
        }
        flushDeferredDeletes();
    }

    QtPluginPlatform platform_;
};

TEST_F(PlatformTest, TimersNeverRunFasterThanEveryTenMilliseconds) {
    const struct {
        std::int32_t asked;
        int runs;
    } cases[] = {{0, 10},  {-1, 10}, {-2147483647 - 1, 10}, {9, 10},
                 {10, 10}, {11, 11}, {1000, 1000}};
    for (const auto& c : cases) {
        const TimerId id = platform_.startTimer(c.asked, [] {});
        ASSERT_NE(id, 0U);
        EXPECT_EQ(platform_.timerInterval(id), c.runs) << c.asked;
        platform_.killTimer(id);
    }
}

TEST_F(PlatformTest, EachTimerHasItsOwnIdUntilItIsKilled) {
    const TimerId first = platform_.startTimer(1000, [] {});
    const TimerId second = platform_.startTimer(2000, [] {});
    EXPECT_NE(first, 0U);
    EXPECT_NE(second, 0U);
    EXPECT_NE(first, second);
    platform_.killTimer(first);
    EXPECT_EQ(platform_.timerInterval(first), -1);
    EXPECT_EQ(platform_.timerInterval(second), 2000);
    platform_.killTimer(first);
    platform_.killTimer(0);
    platform_.killTimer(12345);
    EXPECT_EQ(platform_.timerInterval(second), 2000);
    platform_.killTimer(second);
}

TEST_F(PlatformTest, ATickRunsFromTheEventLoopAndMayKillItsOwnTimer) {
    int ticks = 0;
    TimerId id = 0;
    id = platform_.startTimer(0, [&] {
        ++ticks;
        platform_.killTimer(id);
    });
    // Waits for the event, whatever the time it takes; nothing is timed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }, 60000));
    EXPECT_EQ(platform_.timerInterval(id), -1);
    flushDeferredDeletes();
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 1);
}

TEST_F(PlatformTest, MessageBoxesAreShownWithoutBlockingAndFreeThemselves) {
    platform_.messageBox("Plugin not inited.\nOptions not available.", "Dorrimel v0.4",
                         BoxIcon::Information);
    platform_.messageBox("Failed to allocate message list", "Dorrimel v0.4", BoxIcon::Error);
    // Both calls have returned with the boxes still open.
    std::vector<QMessageBox*> boxes = visibleWindows<QMessageBox>();
    ASSERT_EQ(boxes.size(), 2U);
    if (boxes[0]->icon() != QMessageBox::Information) {
        std::swap(boxes[0], boxes[1]);
    }
    EXPECT_EQ(boxes[0]->text(), QStringLiteral("Plugin not inited.\nOptions not available."));
    EXPECT_EQ(boxes[0]->windowTitle(), QStringLiteral("Dorrimel v0.4"));
    EXPECT_EQ(boxes[0]->icon(), QMessageBox::Information);
    EXPECT_EQ(boxes[1]->text(), QStringLiteral("Failed to allocate message list"));
    EXPECT_EQ(boxes[1]->icon(), QMessageBox::Critical);
    for (QMessageBox* box : boxes) {
        EXPECT_FALSE(box->isModal());
        EXPECT_EQ(box->parentWidget(), nullptr);
        EXPECT_FALSE(box->testAttribute(Qt::WA_QuitOnClose));
    }

    QPointer<QMessageBox> first = boxes[0];
    first->button(QMessageBox::Ok)->click();
    flushDeferredDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(visibleWindows<QMessageBox>().size(), 1U);
}

TEST_F(PlatformTest, AWidgetApplicationGetsAQtPlatform) {
    EXPECT_NE(dynamic_cast<QtPluginPlatform*>(makePluginPlatform().get()), nullptr);
}

TEST_F(PlatformTest, WhenTheHostsLoopEndsWindowsAndTimersAreFreedAndStaySafeToDrop) {
    std::unique_ptr<LogView> log = platform_.createLogWindow("Dorrimel v0.4 - Log", [] {});
    log->show(true);
    // As the plug-in does, Cancel (which is what quitting asks of the window)
    // drops the options window.
    std::unique_ptr<OptionsView> options;
    OptionsCallbacks callbacks;
    callbacks.cancelled = [&options] { options.reset(); };
    options = platform_.openOptions("Dorrimel v0.4 - Options - 0", OptionsValues{}, callbacks);
    QPointer<OptionsDialog> optionsDialog = dynamic_cast<QtOptionsView&>(*options).window();
    const TimerId timer = platform_.startTimer(1000, [] {});
    platform_.messageBox("text", "Dorrimel v0.4", BoxIcon::Information);

    // The host's loop ends the way QApplication::exec ends it, asking every
    // window to close; none of the plug-in's may hold it up.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    QTimer refused;
    refused.setSingleShot(true);
    QObject::connect(&refused, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    refused.start(30000);
    EXPECT_EQ(QApplication::exec(), 0);

    EXPECT_EQ(dynamic_cast<QtLogView&>(*log).window(), nullptr);
    EXPECT_EQ(options, nullptr);
    EXPECT_TRUE(optionsDialog.isNull());
    EXPECT_EQ(platform_.timerInterval(timer), -1);
    EXPECT_TRUE(visibleWindows<QMessageBox>().empty());
    // What the logic still calls afterwards does nothing.
    EXPECT_EQ(log->appendLine("late"), -1);
    log->setCounters(1, 1);
    log->show(true);
    platform_.killTimer(timer);
    log.reset();
}

}  // namespace
