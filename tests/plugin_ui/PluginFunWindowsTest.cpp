// The plug-in's windows as the host reaches them: through pluginFun, with
// the Qt platform that the first EVENT_INIT installs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/qt/LogDialog.h"
#include "plugin/qt/OptionsDialog.h"
#include "plugin/qt/QtPluginPlatform.h"
#include "proxy/plugin_host/PluginInterface.h"
#include "tests/plugin_ui/QtTestApp.h"

extern "C" const std::uint8_t* PLUG_CALL pluginFun(const std::uint8_t* eventRecord);

namespace fs = std::filesystem;

namespace {

void putLe32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::vector<std::uint8_t> eventRecord(std::uint8_t code, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> record;
    putLe32(record, static_cast<std::uint32_t>(2 + data.size()));
    record.push_back(PLUGIN_EVENT);
    record.push_back(code);
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

// The 32-bit form of the init payload, without a callback address.
std::vector<std::uint8_t> initRecord(std::uint32_t ownUin) {
    const std::string dir = "/opt/skelvane";
    std::vector<std::uint8_t> data;
    putLe32(data, 0);
    putLe32(data, HOST_API_VERSION);
    for (int copy = 0; copy < 2; ++copy) {
        putLe32(data, static_cast<std::uint32_t>(dir.size()));
        data.insert(data.end(), dir.begin(), dir.end());
    }
    putLe32(data, ownUin);
    return eventRecord(EVENT_INIT, data);
}

const std::uint8_t* send(std::uint8_t code) {
    return pluginFun(eventRecord(code, {}).data());
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

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class PluginFunWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        startDir_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "dorrimel-ui-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        scratch_ = pattern;
        fs::current_path(scratch_);
        send(EVENT_FINISH);
        flushDeferredDeletes();
    }
    void TearDown() override {
        send(EVENT_FINISH);
        for (QMessageBox* box : visibleWindows<QMessageBox>()) {
            box->close();
        }
        flushDeferredDeletes();
        fs::current_path(startDir_);
        fs::remove_all(scratch_);
    }

    void init(std::uint32_t ownUin) {
        const std::uint8_t* answer = pluginFun(initRecord(ownUin).data());
        ASSERT_NE(answer, nullptr);
        ASSERT_EQ(answer[4], PLUGIN_INFO);
    }

    static QtPluginPlatform& platform() {
        auto* platform = dynamic_cast<QtPluginPlatform*>(pluginPlatform());
        EXPECT_NE(platform, nullptr) << "the first EVENT_INIT installs the Qt platform";
        return *platform;
    }

    fs::path startDir_;
    fs::path scratch_;
};

TEST_F(PluginFunWindowsTest, PreferencesBeforeInitShowsABoxThatDoesNotBlock) {
    EXPECT_EQ(send(EVENT_PREFERENCES), nullptr);
    QMessageBox* box = onlyWindow<QMessageBox>(true);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Plugin not inited.\nOptions not available."));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Dorrimel v0.4"));
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(onlyWindow<OptionsDialog>(true), nullptr);
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
    send(EVENT_PREFERENCES);
    QPointer<OptionsDialog> options = onlyWindow<OptionsDialog>(true);
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
    send(EVENT_PREFERENCES);
    OptionsDialog* options = onlyWindow<OptionsDialog>(true);
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

TEST_F(PluginFunWindowsTest, OkSavesRestartsTheTimerNoFasterThanTenMsAndCloses) {
    init(7);
    const TimerId before = pluginState().timerId;
    send(EVENT_PREFERENCES);
    QPointer<OptionsDialog> options = onlyWindow<OptionsDialog>(true);
    ASSERT_NE(options, nullptr);
    options->ui.edit1002->setText(QStringLiteral("no number"));
    options->ui.edit1004->setText(QStringLiteral("2.5"));
    options->ui.list1001->setCurrentIndex(3);
    options->ui.check1000->setChecked(false);
    QTest::mouseClick(options->ui.buttonOk, Qt::LeftButton);

    EXPECT_EQ(readFile("dorrimel.ini"),
              "TimerInterval = 0\nWaitTimeout = 2500\nRemoveTimeout = 10000\nNotifyType = 4\n"
              "LogFile = 0");
    const TimerId after = pluginState().timerId;
    EXPECT_NE(after, before);
    EXPECT_EQ(platform().timerInterval(before), -1);
    EXPECT_EQ(platform().timerInterval(after), 10) << "a period of 0 runs every 10 ms";
    flushDeferredDeletes();
    EXPECT_TRUE(options.isNull());
}

TEST_F(PluginFunWindowsTest, CancelClosesWithoutSaving) {
    init(7);
    send(EVENT_PREFERENCES);
    QPointer<OptionsDialog> options = onlyWindow<OptionsDialog>(true);
    ASSERT_NE(options, nullptr);
    options->ui.edit1002->setText(QStringLiteral("3"));
    QTest::mouseClick(options->ui.buttonCancel, Qt::LeftButton);
    flushDeferredDeletes();
    EXPECT_TRUE(options.isNull());
    EXPECT_FALSE(fs::exists("dorrimel.ini"));
    EXPECT_EQ(platform().timerInterval(pluginState().timerId), 1000);

    send(EVENT_PREFERENCES);
    options = onlyWindow<OptionsDialog>(true);
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->close());
    flushDeferredDeletes();
    EXPECT_TRUE(options.isNull());
    EXPECT_FALSE(fs::exists("dorrimel.ini"));
}

}  // namespace
