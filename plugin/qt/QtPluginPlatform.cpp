#include "plugin/qt/QtPluginPlatform.h"

#include <QApplication>
#include <QMessageBox>
#include <algorithm>
#include <utility>

#include "plugin/qt/Latin1.h"
#include "plugin/qt/QtLogView.h"
#include "plugin/qt/QtOptionsView.h"

std::unique_ptr<LogView> QtPluginPlatform::createLogWindow(const std::string& caption,
                                                           std::function<void()> closeButton) {
    return std::make_unique<QtLogView>(caption, std::move(closeButton));
}

std::unique_ptr<OptionsView> QtPluginPlatform::openOptions(const std::string& caption,
                                                           const OptionsValues& values,
                                                           OptionsCallbacks callbacks) {
    return std::make_unique<QtOptionsView>(caption, values, std::move(callbacks));
}

TimerId QtPluginPlatform::startTimer(std::int32_t periodMs, std::function<void()> tick) {
    if (QCoreApplication::instance() == nullptr) {
        return 0;
    }
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(std::max(periodMs, MIN_TIMER_PERIOD_MS));
    QObject::connect(timer.get(), &QTimer::timeout, timer.get(), std::move(tick));
    timer->start();
    const TimerId id = ++lastTimerId_;
    timers_.emplace(id, QtOwned<QTimer>(std::move(timer)));
    return id;
}

void QtPluginPlatform::killTimer(TimerId id) {
    const auto found = timers_.find(id);
    if (found == timers_.end()) {
        return;
    }
    // The tick being run (if this is called from one) finishes; the timer
    // itself is deleted later from the event loop.
    if (found->second) {
        found->second->stop();
    }
    timers_.erase(found);
}

int QtPluginPlatform::timerInterval(TimerId id) const {
    const auto found = timers_.find(id);
    return found != timers_.end() && found->second ? found->second->interval() : -1;
}

void QtPluginPlatform::messageBox(const std::string& text, const std::string& caption,
                                  BoxIcon icon) {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    const QMessageBox::Icon qtIcon =
        icon == BoxIcon::Error ? QMessageBox::Critical : QMessageBox::Information;
    auto box = std::make_unique<QMessageBox>(qtIcon, fromLatin1(caption), fromLatin1(text),
                                             QMessageBox::Ok);
    // Modeless and self-freeing: the caller, and the relay, go on at once.
    box->setModal(false);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_QuitOnClose, false);
    releaseWhenLoopEnds(*box);
    box.release()->show();
}

std::unique_ptr<PluginPlatform> makePluginPlatform() {
    // Windows need a widget application; a host without one gets none.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return nullptr;
    }
    return std::make_unique<QtPluginPlatform>();
}
