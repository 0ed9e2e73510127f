#include "tests/plugin_ui/DialogUnits.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace {

int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

const char* qtClass(dialogs::Kind kind) {
    switch (kind) {
        case dialogs::Kind::DefaultButton:
        case dialogs::Kind::Button:
            return "QPushButton";
        case dialogs::Kind::CheckBox:
            return "QCheckBox";
        case dialogs::Kind::DropDownList:
            return "QComboBox";
        case dialogs::Kind::Label:
            return "QLabel";
        case dialogs::Kind::Edit:
            return "QLineEdit";
        case dialogs::Kind::ListBox:
            return "QListWidget";
    }
    return "";
}

QString widgetText(const QWidget& widget) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) {
        return edit->text();
    }
    return {};
}

// The closed drop-down list is as high as its font makes it (21 pixels for
// the template's font); the template's height is that of the open list.
constexpr int kClosedDropDownHeight = 21;

}  // namespace

QRect dluRect(BaseUnits base, int x, int y, int width, int height) {
    return {mulDiv(x, base.x, 4), mulDiv(y, base.y, 8), mulDiv(width, base.x, 4),
            mulDiv(height, base.y, 8)};
}

std::vector<QString> tabOrder(QWidget& window) {
    std::vector<QString> order;
    for (QWidget* widget = window.nextInFocusChain(); widget != &window;
         widget = widget->nextInFocusChain()) {
        if (widget->parentWidget() == &window && (widget->focusPolicy() & Qt::TabFocus) != 0) {
            order.push_back(widget->objectName());
        }
    }
    return order;
}

std::vector<QString> designTabOrder(const dialogs::Design& design) {
    std::vector<QString> names;
    for (const dialogs::Control& control : design.controls) {
        if (control.kind != dialogs::Kind::Label) {
            names.push_back(QString::fromLatin1(control.qtName));
        }
    }
    return names;
}

void expectDesign(QWidget& window, const dialogs::Design& design, BaseUnits base) {
    EXPECT_EQ(window.size(), dluRect(base, 0, 0, design.width, design.height).size());
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "a modal frame does not resize";
    EXPECT_EQ(window.font().pointSize(), design.points);
    EXPECT_EQ(window.font().families().value(0), QString::fromLatin1(design.face));

    std::vector<QWidget*> widgets;
    for (QObject* child : window.children()) {
        if (auto* widget = qobject_cast<QWidget*>(child)) {
            widgets.push_back(widget);
        }
    }
    ASSERT_EQ(widgets.size(), design.controls.size());
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        const dialogs::Control& control = design.controls[i];
        SCOPED_TRACE(control.qtName);
        QWidget* widget = widgets[i];
        EXPECT_EQ(widget->objectName(), QString::fromLatin1(control.qtName)) << "template order";
        EXPECT_STREQ(widget->metaObject()->className(), qtClass(control.kind));
        EXPECT_EQ(widget->property("controlId").toInt(), control.id < 0 ? 0 : control.id);
        EXPECT_EQ(widgetText(*widget), QString::fromLatin1(control.caption ? control.caption : ""));
        QRect expected = dluRect(base, control.x, control.y, control.width, control.height);
        if (control.kind == dialogs::Kind::DropDownList) {
            expected.setHeight(kClosedDropDownHeight);
        }
        EXPECT_EQ(widget->geometry(), expected);
        if (control.kind == dialogs::Kind::Label) {
            EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
        }
    }
}
