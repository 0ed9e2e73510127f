// The options window (dialog template 101 in OptionsDialog.ui). It reports
// OK, Cancel (also the close button and Escape) and "Show Log" through the
// callbacks and never closes or saves by itself: whoever owns it drops it.
#pragma once

#include <QDialog>

#include "plugin/PluginWindows.h"
#include "ui_OptionsDialog.h"

class OptionsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit OptionsDialog(OptionsCallbacks callbacks);

    Ui::OptionsDialog ui;

    // Fills the edits, the drop-down list and the check box.
    void fill(const OptionsValues& values);
    // What OK reports: each edit text cut to 99 characters, the selected
    // entry (-1 for none) and the check box.
    OptionsResult result() const;

    // OK was refused: the text in the caption, field focused, its text
    // selected.
    void refuse(OptionsField field, const QString& text);

    // Once detached (its owner has dropped it) the window reports nothing more.
    void detach() { detached_ = true; }

    // Cancel, the close button (through QDialog::closeEvent) and Escape.
    void reject() override;

  private:
    void okClicked();
    void showLogClicked();

    OptionsCallbacks callbacks_;
    bool detached_ = false;
};
