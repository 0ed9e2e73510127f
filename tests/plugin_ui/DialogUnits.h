// Dialog units to pixels as the dialog manager converts a template: each of
// x, y, width and height on its own, x and width by base x / 4, y and height
// by base y / 8, rounded half away from zero. And the check of a Qt dialog
// against Dorrimel's dialog design.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

#include "tests/support/DorrimelDialogDesign.h"

struct BaseUnits {
    int x;
    int y;
};

// "MS Sans Serif" 8 pt and "Courier New" 9 pt at 96 dots per inch.
inline constexpr BaseUnits kOptionsBaseUnits{6, 13};
inline constexpr BaseUnits kLogBaseUnits{7, 14};

QRect dluRect(BaseUnits base, int x, int y, int width, int height);

// The object names of the children of window that Tab visits, in order.
std::vector<QString> tabOrder(QWidget& window);
// The object names of the controls that the design lets Tab visit, in order.
std::vector<QString> designTabOrder(const dialogs::Design& design);

// Expects window's font, fixed size and children (in template order, each
// with its name, class, id, text and place) to be those of the design.
void expectDesign(QWidget& window, const dialogs::Design& design, BaseUnits base);
