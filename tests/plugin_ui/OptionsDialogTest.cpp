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

struct Control {
    const char* name;
    const char* className;
    int id;  // 0: none
    const char* text;
    int x, y, width, height;  // dialog units
};

// The template's controls in template order.
const std::vector<Control> kControls = {
    {"buttonOk", "QPushButton", 1, "OK", 125, 60, 50, 14},
    {"buttonCancel", "QPushButton", 2, "Cancel", 125, 79, 50, 14},
    {"check1000", "QCheckBox", 1000, "Log into file", 7, 84, 62, 9},
    {"list1001", "QComboBox", 1001, "", 7, 65, 105, 45},
    {"labelNotificationType", "QLabel", 0, "Notification type:", 7, 55, 90, 8},
    {"edit1002", "QLineEdit", 1002, "", 63, 7, 49, 12},
    {"labelTimerInterval", "QLabel", 0, "Timer interval:", 7, 7, 55, 10},
    {"edit1004", "QLineEdit", 1004, "", 63, 22, 49, 12},
    {"labelWaitingAck", "QLabel", 0, "Waiting ack:", 7, 22, 55, 10},
    {"edit1005", "QLineEdit", 1005, "", 63, 37, 49, 12},
    {"labelRemovingAfter", "QLabel", 0, "Removing after:", 7, 37, 55, 10},
    {"button1003", "QPushButton", 1003, "Show Log", 125, 7, 50, 15},
    {"labelTimerUnit", "QLabel", 0, "s", 114, 8, 9, 10},
    {"labelWaitingUnit", "QLabel", 0, "s", 114, 22, 9, 10},
    {"labelRemovingUnit", "QLabel", 0, "s", 114, 37, 9, 10},
};

// The closed drop-down list is as high as its font makes it (21 pixels for
// the template's font); the template's 45 units are the height of the open list.
constexpr int kClosedDropDownHeight = 21;

QString widgetText(const QWidget& widget) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) {
        return edit->text();
    }
    return {};
}

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
    OptionsDialog& window = open(OptionsValues{});
    EXPECT_EQ(window.size(), dluRect(kOptionsBaseUnits, 0, 0, 182, 100).size());
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "a modal frame does not resize";
    EXPECT_EQ(window.font().pointSize(), 8);
    EXPECT_EQ(window.font().families().value(0), QStringLiteral("MS Sans Serif"));

    const QObjectList children = window.children();
    std::vector<QWidget*> widgets;
    for (QObject* child : children) {
        if (auto* widget = qobject_cast<QWidget*>(child)) {
            widgets.push_back(widget);
        }
    }
    ASSERT_EQ(widgets.size(), kControls.size());
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        const Control& control = kControls[i];
        SCOPED_TRACE(control.name);
        QWidget* widget = widgets[i];
        EXPECT_EQ(widget->objectName(), QString::fromLatin1(control.name)) << "template order";
        EXPECT_STREQ(widget->metaObject()->className(), control.className);
        EXPECT_EQ(widget->property("controlId").toInt(), control.id);
        EXPECT_EQ(widgetText(*widget), QString::fromLatin1(control.text));
        QRect expected =
            dluRect(kOptionsBaseUnits, control.x, control.y, control.width, control.height);
        if (qobject_cast<QComboBox*>(widget) != nullptr) {
            expected.setHeight(kClosedDropDownHeight);
        }
        EXPECT_EQ(widget->geometry(), expected);
        if (qobject_cast<QLabel*>(widget) != nullptr) {
            EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
        }
    }
}

TEST_F(OptionsDialogTest, TabVisitsTheControlsInTemplateOrderAndSkipsTheLabels) {
    OptionsDialog& window = open();
    std::vector<QString> names;
    for (QWidget* widget : tabOrder(window)) {
        names.push_back(widget->objectName());
    }
    const std::vector<QString> expected = {"buttonOk", "buttonCancel", "check1000", "list1001",
                                           "edit1002", "edit1004",     "edit1005",  "button1003"};
    EXPECT_EQ(names, expected);
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
