#include "tests/plugin_ui/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <memory>

#include "plugin/qt/LogDialog.h"
#include "plugin/qt/OptionsDialog.h"

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        flushDeferredDeletes();
        app_.reset();
    }

  private:
    int argc_ = 1;
    char name_[17] = "plugin_ui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// gtest owns registered environments.
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void flushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template <typename T>
std::vector<T*> visibleWindows() {
    std::vector<T*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window != nullptr && window->isVisible()) {
            found.push_back(window);
        }
    }
    return found;
}

template std::vector<QMessageBox*> visibleWindows<QMessageBox>();
template std::vector<OptionsDialog*> visibleWindows<OptionsDialog>();
template std::vector<LogDialog*> visibleWindows<LogDialog>();
