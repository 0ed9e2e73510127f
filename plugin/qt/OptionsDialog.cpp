#include "plugin/qt/OptionsDialog.h"

#include <utility>

#include "plugin/qt/DialogFrame.h"
#include "plugin/qt/Latin1.h"

namespace {

// The dialog reads at most this many characters of an edit field.
constexpr qsizetype kEditTextLimit = 99;

std::string editText(const QLineEdit& edit) {
    return toLatin1(edit.text().left(kEditTextLimit));
}

}  // namespace

OptionsDialog::OptionsDialog(OptionsCallbacks callbacks) : callbacks_(std::move(callbacks)) {
    ui.setupUi(this);
    setUpDialogFrame(*this, {QStringLiteral("MS Sans Serif"),
                             QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                             QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                             QStringLiteral("Helvetica"), QStringLiteral("sans-serif")});
    for (const char* name : NOTIFY_TYPE_NAMES) {
        ui.list1001->addItem(QString::fromLatin1(name));
    }
    connect(ui.buttonOk, &QPushButton::clicked, this, &OptionsDialog::okClicked);
    connect(ui.buttonCancel, &QPushButton::clicked, this, &OptionsDialog::reject);
    connect(ui.button1003, &QPushButton::clicked, this, &OptionsDialog::showLogClicked);
}

void OptionsDialog::fill(const OptionsValues& values) {
    ui.edit1002->setText(fromLatin1(values.timerInterval));
    ui.edit1004->setText(fromLatin1(values.waitTimeout));
    ui.edit1005->setText(fromLatin1(values.removeTimeout));
    const bool listed = values.notifyIndex >= 0 && values.notifyIndex < ui.list1001->count();
    ui.list1001->setCurrentIndex(listed ? values.notifyIndex : -1);
    ui.check1000->setChecked(values.logFile);
}

OptionsResult OptionsDialog::result() const {
    OptionsResult result;
    result.timerInterval = editText(*ui.edit1002);
    result.waitTimeout = editText(*ui.edit1004);
    result.removeTimeout = editText(*ui.edit1005);
    result.notifyIndex = ui.list1001->currentIndex();
    result.logFile = ui.check1000->isChecked();
    return result;
}

void OptionsDialog::refuse(OptionsField field, const QString& text) {
    setWindowTitle(text);
    QLineEdit* edit = field == OptionsField::TimerInterval   ? ui.edit1002
                      : field == OptionsField::WaitTimeout   ? ui.edit1004
                      : field == OptionsField::RemoveTimeout ? ui.edit1005
                                                             : nullptr;
    if (edit == nullptr) {
        ui.list1001->setFocus(Qt::OtherFocusReason);
        return;
    }
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

// Each handler calls back last: the callback may drop this window.
void OptionsDialog::okClicked() {
    if (!detached_ && callbacks_.accepted) {
        callbacks_.accepted(result());
    }
}

void OptionsDialog::reject() {
    if (!detached_ && callbacks_.cancelled) {
        callbacks_.cancelled();
    }
}

void OptionsDialog::showLogClicked() {
    if (!detached_ && callbacks_.showLog) {
        callbacks_.showLog();
    }
}
