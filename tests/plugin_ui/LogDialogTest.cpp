// The log window (template 102) as the platform creates it: controls where
// the template puts them, hidden at first, lines kept in place, and a close
// button that only hides it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "plugin/qt/LogDialog.h"
#include "plugin/qt/QtLogView.h"
#include "plugin/qt/QtPluginPlatform.h"
#include "tests/plugin_ui/DialogUnits.h"
#include "tests/plugin_ui/QtTestApp.h"

namespace {

class LogDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view_ = platform_.createLogWindow("Dorrimel v0.4 - Log", [this] { ++closed_; });
        logView_ = dynamic_cast<QtLogView*>(view_.get());
        ASSERT_NE(logView_, nullptr);
        ASSERT_NE(logView_->window(), nullptr);
    }
    void TearDown() override {
        view_.reset();
        flushDeferredDeletes();
    }

    LogDialog& window() { return *logView_->window(); }
    QListWidget& list() { return *window().ui.list1001; }

    QtPluginPlatform platform_;
    std::unique_ptr<LogView> view_;
    QtLogView* logView_ = nullptr;
    int closed_ = 0;
};

TEST_F(LogDialogTest, EveryControlSitsWhereTheTemplatePutsIt) {
    expectDesign(window(), dialogs::kLog, kLogBaseUnits);
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Dorrimel v0.4 - Log"));
    EXPECT_EQ(tabOrder(window()), designTabOrder(dialogs::kLog));
}

TEST_F(LogDialogTest, IsCreatedHiddenOwnerlessWithAnUnsortedScrollingList) {
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().parentWidget(), nullptr);
    EXPECT_FALSE(window().isModal());
    EXPECT_FALSE(window().testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(list().verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(list().count(), 0);

    EXPECT_EQ(view_->appendLine("b line"), 0);
    EXPECT_EQ(view_->appendLine("a line"), 1);
    EXPECT_EQ(list().item(0)->text(), QStringLiteral("b line")) << "unsorted";
}

TEST_F(LogDialogTest, LinesAreAppendedReadAndReplacedInPlace) {
    ASSERT_EQ(view_->appendLine("12.00.01 for    123456, 60 b."), 0);
    ASSERT_EQ(view_->appendLine("12.00.02 from   654321  received ack"), 1);
    ASSERT_EQ(view_->appendLine("caf\xe9"), 2);
    view_->selectLine(1);
    EXPECT_EQ(list().currentRow(), 1);

    std::string text;
    ASSERT_TRUE(view_->lineText(0, text));
    view_->replaceLine(0, text + " - srv ack in 120 ms");
    ASSERT_TRUE(view_->lineText(0, text));
    EXPECT_EQ(text, "12.00.01 for    123456, 60 b. - srv ack in 120 ms");
    EXPECT_EQ(list().count(), 3);
    EXPECT_EQ(list().currentRow(), 1) << "the selection is left as it was";

    ASSERT_TRUE(view_->lineText(2, text));
    EXPECT_EQ(text, "caf\xe9") << "Latin-1 both ways";
    EXPECT_EQ(list().item(2)->text(), QString::fromUtf8("caf\u00e9"));

    EXPECT_FALSE(view_->lineText(3, text));
    EXPECT_FALSE(view_->lineText(-1, text));
    view_->replaceLine(7, "nothing");
    view_->selectLine(7);
    EXPECT_EQ(list().count(), 3);
    EXPECT_EQ(list().currentRow(), 1);
}

TEST_F(LogDialogTest, CountersShowUnsignedDecimals) {
    view_->setCounters(40, 3);
    EXPECT_EQ(window().ui.label1004->text(), QStringLiteral("40"));
    EXPECT_EQ(window().ui.label1005->text(), QStringLiteral("3"));
    view_->setCounters(std::numeric_limits<std::uint32_t>::max(), 0);
    EXPECT_EQ(window().ui.label1004->text(), QStringLiteral("4294967295"));
    EXPECT_EQ(window().ui.label1005->text(), QStringLiteral("0"));
}

TEST_F(LogDialogTest, CloseButtonAndEscapeHideTheWindowWithoutDestroyingIt) {
    view_->appendLine("first");
    view_->setCounters(1, 1);
    view_->show(true);
    ASSERT_TRUE(window().isVisible());

    QPointer<LogDialog> before = &window();
    EXPECT_TRUE(window().close());
    flushDeferredDeletes();
    EXPECT_FALSE(before.isNull());
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(closed_, 1);

    view_->show(true);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(list().item(0)->text(), QStringLiteral("first")) << "lines survive";
    EXPECT_EQ(window().ui.label1004->text(), QStringLiteral("1"));
    QTest::keyClick(&window(), Qt::Key_Escape);
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(closed_, 2);

    view_->show(true);
    view_->show(false);
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(closed_, 2) << "hiding on request is not the close button";
}

TEST_F(LogDialogTest, DroppingTheViewDeletesTheWindowLater) {
    view_->show(true);
    QPointer<LogDialog> window = &this->window();
    view_.reset();
    EXPECT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible());
    flushDeferredDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(closed_, 0);
}

}  // namespace
