// Dialog units to pixels as the dialog manager converts a template: each of
// x, y, width and height on its own, x and width by base x / 4, y and height
// by base y / 8, rounded half away from zero.
#pragma once

#include <QRect>
#include <QWidget>
#include <vector>

struct BaseUnits {
    int x;
    int y;
};

// "MS Sans Serif" 8 pt and "Courier New" 9 pt at 96 dots per inch.
inline constexpr BaseUnits kOptionsBaseUnits{6, 13};
inline constexpr BaseUnits kLogBaseUnits{7, 14};

QRect dluRect(BaseUnits base, int x, int y, int width, int height);

// The children of window that Tab visits, in the order it visits them.
std::vector<QWidget*> tabOrder(QWidget& window);
