#include "plugin/qt/DialogFrame.h"

#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>

void setUpDialogFrame(QDialog& dialog, const QStringList& fontFamilies) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setModal(false);
    dialog.setSizeGripEnabled(false);
    dialog.setFixedSize(dialog.size());
    // The host's main window alone decides when the program ends.
    dialog.setAttribute(Qt::WA_QuitOnClose, false);

    QFont font = dialog.font();
    font.setFamilies(fontFamilies);
    dialog.setFont(font);
}

void centreOnScreen(QDialog& dialog) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // The frame is not known before the window is shown: the client area
        // is what gets centred.
        QRect area = dialog.geometry();
        area.moveCenter(screen->availableGeometry().center());
        dialog.setGeometry(area);
    }
}
