#include "tests/plugin_ui/DialogUnits.h"

namespace {

int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

}  // namespace

QRect dluRect(BaseUnits base, int x, int y, int width, int height) {
    return {mulDiv(x, base.x, 4), mulDiv(y, base.y, 8), mulDiv(width, base.x, 4),
            mulDiv(height, base.y, 8)};
}

std::vector<QWidget*> tabOrder(QWidget& window) {
    std::vector<QWidget*> order;
    for (QWidget* widget = window.nextInFocusChain(); widget != &window;
         widget = widget->nextInFocusChain()) {
        if (widget->parentWidget() == &window && (widget->focusPolicy() & Qt::TabFocus) != 0) {
            order.push_back(widget);
        }
    }
    return order;
}
