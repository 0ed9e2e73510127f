#include "plugin/qt/LogDialog.h"

#include <utility>

#include "plugin/qt/DialogFrame.h"

LogDialog::LogDialog(std::function<void()> closed) : closed_(std::move(closed)) {
    ui.setupUi(this);
    setUpDialogFrame(*this, {QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                             QStringLiteral("Nimbus Mono PS"), QStringLiteral("Courier"),
                             QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
}

void LogDialog::reject() {
    // Hidden, not destroyed: the lines stay until the plug-in is released.
    hide();
    if (closed_) {
        closed_();
    }
}
