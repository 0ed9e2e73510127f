#include "plugin/qt/QtOptionsView.h"

#include <memory>
#include <utility>

#include "plugin/qt/DialogFrame.h"
#include "plugin/qt/Latin1.h"

QtOptionsView::QtOptionsView(const std::string& caption, const OptionsValues& values,
                             OptionsCallbacks callbacks)
    : window_(std::make_unique<OptionsDialog>(std::move(callbacks))) {
    window_->setWindowTitle(fromLatin1(caption));
    window_->fill(values);
    centreOnScreen(*window_);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

QtOptionsView::~QtOptionsView() {
    // This may run inside one of the window's own callbacks: the window is
    // only silenced here; QtOwned hides it and deletes it later.
    if (window_) {
        window_->detach();
    }
}

void QtOptionsView::refuse(OptionsField field, const std::string& text) {
    if (window_) {
        window_->refuse(field, fromLatin1(text));
    }
}
