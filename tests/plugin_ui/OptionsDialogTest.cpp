// The options window (template 101) as the platform opens it: every control
// where the template puts it, the tab order, and what each button reports.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "plugin/qt/OptionsDialog.h"
#include "plugin/qt/QtOptionsView.h"
#include "plugin/qt/QtPluginPlatform.h"
#include "tests/plugin_ui/DialogUnits.h"
#include "tests/plugin_ui/QtTestApp.h"

namespace {

class OptionsDialogTest : public ::testing::Test {
  protected:
    void TearDown() override {
        view_.reset();
        flushDeferredDeletes();
    }

    OptionsDialog& open(const OptionsValues& values = sampleValues()) {
        OptionsCallbacks callbacks;
        callbacks.accepted = [this](const OptionsResult& result) {
            accepted_.push_back(result);
            if (dropOnCallback_) {
                view_.reset();
            }
        };
        callbacks.cancelled = [this] {
            ++cancelled_;
            if (dropOnCallback_) {
                view_.reset();
            }
        };
        callbacks.showLog = [this] { ++showLog_; };
        view_ = platform_.openOptions("Dorrimel v0.4 - Options - 123456", values, callbacks);
        auto* view = dynamic_cast<QtOptionsView*>(view_.get());
        EXPECT_NE(view, nullptr);
        return *view->window();
    }

    static OptionsValues sampleValues() {
        OptionsValues values;
        values.timerInterval = "1";
        values.waitTimeout = "5";
        values.removeTimeout = "1.500";
        values.notifyIndex = 2;
        values.logFile = true;
        return values;
    }

    QtPluginPlatform platform_;
    std::unique_ptr<OptionsView> view_;
    std::vector<OptionsResult> accepted_;
    int cancelled_ = 0;
    int showLog_ = 0;
    bool dropOnCallback_ = false;
};

TEST_F(OptionsDialogTest, EveryControlSitsWhereTheTemplatePutsIt) {
    expectDesign(open(OptionsValues{}), dialogs::kOptions, kOptionsBaseUnits);
}

TEST_F(OptionsDialogTest, TabVisitsTheControlsInTemplateOrderAndSkipsTheLabels) {
    EXPECT_EQ(tabOrder(open()), designTabOrder(dialogs::kOptions));
}

TEST_F(OptionsDialogTest, OpensModelessAndOwnerlessWithTheValuesItIsGiven) {
    OptionsDialog& window = open();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isModal());
    EXPECT_EQ(window.parentWidget(), nullptr);
    EXPECT_FALSE(window.testAttribute(Qt::WA_QuitOnClose)) << "closing the host must end it";
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Dorrimel v0.4 - Options - 123456"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((window.geometry().center() - screen.center()).manhattanLength(), 1);

    EXPECT_EQ(window.ui.edit1002->text(), QStringLiteral("1"));
    EXPECT_EQ(window.ui.edit1004->text(), QStringLiteral("5"));
    EXPECT_EQ(window.ui.edit1005->text(), QStringLiteral("1.500"));
    for (QLineEdit* edit : {window.ui.edit1002, window.ui.edit1004, window.ui.edit1005}) {
        EXPECT_EQ(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    }
    ASSERT_EQ(window.ui.list1001->count(), 4);
    EXPECT_EQ(window.ui.list1001->itemText(0), QStringLiteral("Message from recipient"));
    EXPECT_EQ(window.ui.list1001->itemText(1), QStringLiteral("Offline message from recipient"));
    EXPECT_EQ(window.ui.list1001->itemText(2), QStringLiteral("Message from Mirabilis"));
    EXPECT_EQ(window.ui.list1001->itemText(3), QStringLiteral("Message from UIN=2"));
    EXPECT_FALSE(window.ui.list1001->isEditable());
    EXPECT_EQ(window.ui.list1001->currentIndex(), 2);
    EXPECT_TRUE(window.ui.check1000->isChecked());
    EXPECT_TRUE(window.ui.buttonOk->isDefault());
}

TEST_F(OptionsDialogTest, AnEntryOutsideTheListLeavesNothingSelected) {
    for (int index : {-1, 4, 99}) {
        OptionsValues values;
        values.notifyIndex = index;
        const OptionsDialog& window = open(values);
        EXPECT_EQ(window.ui.list1001->currentIndex(), -1) << index;
        EXPECT_FALSE(window.ui.check1000->isChecked());
    }
}

TEST_F(OptionsDialogTest, OkReportsTheTextsTheSelectionAndTheCheckBox) {
    OptionsDialog& window = open();
    window.ui.edit1002->setText(QStringLiteral("2.5"));
    window.ui.edit1004->setText(QStringLiteral("abc"));
    window.ui.edit1005->setText(QString(120, QLatin1Char('7')));
    window.ui.list1001->setCurrentIndex(3);
    QTest::mouseClick(window.ui.check1000, Qt::LeftButton);
    EXPECT_FALSE(window.ui.check1000->isChecked()) << "the box toggles itself";

    QTest::mouseClick(window.ui.buttonOk, Qt::LeftButton);
    ASSERT_EQ(accepted_.size(), 1U);
    EXPECT_EQ(accepted_[0].timerInterval, "2.5");
    EXPECT_EQ(accepted_[0].waitTimeout, "abc");
    EXPECT_EQ(accepted_[0].removeTimeout, std::string(99, '7')) << "at most 99 characters";
    EXPECT_EQ(accepted_[0].notifyIndex, 3);
    EXPECT_FALSE(accepted_[0].logFile);
    EXPECT_EQ(cancelled_, 0);
    EXPECT_TRUE(window.isVisible()) << "the window never closes by itself";
}

TEST_F(OptionsDialogTest, ARefusalNamesTheFieldInTheCaptionAndSelectsIt) {
    OptionsDialog& window = open();
    window.ui.edit1005->setText(QStringLiteral("abc"));
    view_->refuse(OptionsField::RemoveTimeout, "Removing after: 0 to 2147483.647 s");
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Removing after: 0 to 2147483.647 s"));
    EXPECT_EQ(window.focusWidget(), window.ui.edit1005);
    EXPECT_EQ(window.ui.edit1005->selectedText(), QStringLiteral("abc"));
    view_->refuse(OptionsField::NotifyType, "Notification type: choose one");
    EXPECT_EQ(window.focusWidget(), window.ui.list1001);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(OptionsDialogTest, ReturnInAnEditPressesTheDefaultButton) {
    OptionsDialog& window = open();
    window.ui.list1001->setCurrentIndex(-1);
    QTest::keyClick(window.ui.edit1004, Qt::Key_Return);
    ASSERT_EQ(accepted_.size(), 1U);
    EXPECT_EQ(accepted_[0].waitTimeout, "5");
    EXPECT_EQ(accepted_[0].notifyIndex, -1);
}

TEST_F(OptionsDialogTest, CancelTheCloseButtonAndEscapeReportCancelOnly) {
    OptionsDialog& window = open();
    QTest::mouseClick(window.ui.buttonCancel, Qt::LeftButton);
    window.close();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(cancelled_, 3);
    EXPECT_TRUE(accepted_.empty());
    EXPECT_EQ(showLog_, 0);
}

TEST_F(OptionsDialogTest, ShowLogReportsEachPressAndTheWindowStaysOpen) {
    OptionsDialog& window = open();
    QTest::mouseClick(window.ui.button1003, Qt::LeftButton);
    QTest::mouseClick(window.ui.button1003, Qt::LeftButton);
    EXPECT_EQ(showLog_, 2);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(accepted_.empty());
    EXPECT_EQ(cancelled_, 0);
}

TEST_F(OptionsDialogTest, DroppedFromItsOwnCallbackTheWindowClosesAndGoesQuietly) {
    dropOnCallback_ = true;
    QPointer<OptionsDialog> window = &open();
    QTest::mouseClick(window->ui.buttonOk, Qt::LeftButton);
    ASSERT_EQ(view_, nullptr);
    ASSERT_FALSE(window.isNull()) << "deleted later, not inside its own handler";
    EXPECT_FALSE(window->isVisible());

    QTest::mouseClick(window->ui.buttonCancel, Qt::LeftButton);
    window->close();
    EXPECT_EQ(cancelled_, 0) << "a dropped window reports nothing";
    flushDeferredDeletes();
    EXPECT_TRUE(window.isNull());
}

TEST_F(OptionsDialogTest, CloseButtonThatDropsTheWindowClosesIt) {
    dropOnCallback_ = true;
    QPointer<OptionsDialog> window = &open();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(cancelled_, 1);
    flushDeferredDeletes();
    EXPECT_TRUE(window.isNull());
}

}  // namespace
