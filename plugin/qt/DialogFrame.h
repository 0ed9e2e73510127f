// What the plug-in's two dialog templates share: a fixed pop-up frame with
// caption, system menu and close button, no owner, the template's font (with
// look-alikes where the face is not installed), and a place in the middle of
// the screen.
#pragma once

#include <QStringList>

class QDialog;

// Applies the frame and the font families (first installed one wins) to a
// dialog built from its template; the template's point size is kept.
void setUpDialogFrame(QDialog& dialog, const QStringList& fontFamilies);

// Moves the window's client area to the centre of the primary screen's
// work area.
void centreOnScreen(QDialog& dialog);
