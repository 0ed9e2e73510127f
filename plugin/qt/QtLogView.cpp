#include "plugin/qt/QtLogView.h"

#include <QListWidget>
#include <memory>
#include <utility>

#include "plugin/qt/DialogFrame.h"
#include "plugin/qt/Latin1.h"

QtLogView::QtLogView(const std::string& caption, std::function<void()> closeButton)
    : window_(std::make_unique<LogDialog>(std::move(closeButton))) {
    window_->setWindowTitle(fromLatin1(caption));
    centreOnScreen(*window_);
}

int QtLogView::appendLine(const std::string& text) {
    if (!window_) {
        return -1;
    }
    QListWidget& list = *window_->ui.list1001;
    list.addItem(fromLatin1(text));
    return list.count() - 1;
}

bool QtLogView::lineText(int index, std::string& text) const {
    const QListWidgetItem* item = window_ ? window_->ui.list1001->item(index) : nullptr;
    if (item == nullptr) {
        return false;
    }
    text = toLatin1(item->text());
    return true;
}

void QtLogView::replaceLine(int index, const std::string& text) {
    // Changing the item's text in place is the delete-and-insert at the same
    // index, with the selection untouched.
    if (QListWidgetItem* item = window_ ? window_->ui.list1001->item(index) : nullptr) {
        item->setText(fromLatin1(text));
    }
}

void QtLogView::selectLine(int index) {
    if (!window_) {
        return;
    }
    QListWidget& list = *window_->ui.list1001;
    if (QListWidgetItem* item = list.item(index)) {
        list.setCurrentItem(item);
        list.scrollToItem(item);
    }
}

void QtLogView::setCounters(std::uint32_t processed, std::uint32_t waiting) {
    if (window_) {
        window_->ui.label1004->setText(QString::number(processed));
        window_->ui.label1005->setText(QString::number(waiting));
    }
}

void QtLogView::show(bool visible) {
    if (!window_) {
        return;
    }
    if (!visible) {
        window_->hide();
        return;
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}
