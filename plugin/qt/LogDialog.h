// The log window (dialog template 102 in LogDialog.ui): the counters
// "Msg processed:" (label 1004) and "Msg waiting: " (label 1005) over the
// list box 1001. Its close button and Escape only hide it.
#pragma once

#include <QDialog>
#include <functional>

#include "ui_LogDialog.h"

class LogDialog : public QDialog {
    Q_OBJECT

  public:
    // closed runs after the user has hidden the window.
    explicit LogDialog(std::function<void()> closed);

    Ui::LogDialog ui;

    // Close button (through QDialog::closeEvent) and Escape.
    void reject() override;

  private:
    std::function<void()> closed_;
};
