#include "proxy/ui/QtMessageBoxes.h"

#include <QMessageBox>

void QtMessageBoxes::show(const std::string& text, const std::string& title, MessageIcon icon) {
    const QMessageBox::Icon qtIcon =
        icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::Information;
    // Owned by the parent window until dismissed; WA_DeleteOnClose frees it then.
    auto* box = new QMessageBox(qtIcon, QString::fromStdString(title), QString::fromStdString(text),
                                QMessageBox::Ok, parent_.data());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
