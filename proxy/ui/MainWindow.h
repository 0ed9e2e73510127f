// The proxy's main window in Qt Widgets: shows the core's controls at their
// design positions, passes clicks, typing, the 100 ms timer and socket
// readiness to the core's handlers, and mirrors what the core writes back
// after every call but socket readiness (the next tick shows that).
#pragma once

#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "proxy/core/Form1.h"
#include "proxy/ui/SocketNotifiers.h"
#include "proxy/ui/common/ControlTable.h"

class QCloseEvent;
class QComboBox;
class QResizeEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QtMessageBoxes;

class MainWindow : public QWidget {
    Q_OBJECT

  public:
    // Builds the window, attaches `boxes` to it and runs `Form_Load`; the
    // 100 ms timer ("Timer1") runs from here on while the core needs ticks.
    MainWindow(Form1& form, QtMessageBoxes& boxes);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // One pump tick: `Timer1_Timer`, then the widgets show the core's state.
    void tick();
    // Whether the close saves where the window is; a window no one sees (a
    // headless run) leaves the saved place as it was.
    void setKeepsPlace(bool keeps) { keepsPlace_ = keeps; }

  protected:
    // The log and the plug-in panel follow the window as it grows; the
    // design size is the least.
    void resizeEvent(QResizeEvent* event) override;
    // Runs `Form_Unload` once, then lets the window close; during a handler,
    // after it.
    void closeEvent(QCloseEvent* event) override;

  private:
    // A text box showing one core text; the editable ones also write back.
    struct BoxBinding {
        std::string Controls::*field;
        QLineEdit* box;
    };
    // A label showing one core text; `shown` is the core text it shows now.
    struct LabelBinding {
        std::string Controls::*field;
        QLabel* label;
        std::string shown;
    };

    // A control and the design row it was built from.
    struct Placed {
        const ControlDesign* design;
        QWidget* widget;
    };
    // A button that the core enables only when it can act.
    struct ButtonBinding {
        const bool* enabled;
        QPushButton* button;
    };

    // Shows the core's texts; a widget is only touched when its text differs,
    // so typing and the caret are left alone.
    void refresh();
    void buildControls();
    QWidget* addWidget(const ControlDesign& design, QWidget* parent);
    QWidget* makeWidget(const ControlDesign& design, QWidget* parent);
    QLabel* makeLabel(const ControlDesign& design, QWidget* parent);
    QLineEdit* makeBox(const ControlDesign& design, QWidget* parent);
    QPushButton* makeButton(const ControlDesign& design, QWidget* parent);
    QComboBox* makeChooser(QWidget* parent);
    // The session chooser's entries, choice and visibility as the core has them.
    void showChooser();
    void setFocusOrder();
    void applyPlace();
    void keepPlace();
    void showLog(const std::string& text);
    // Runs one core handler, never inside another one, then refreshes.
    template <typename Handler>
    void run(Handler handler);

    Form1& form_;
    bool keepsPlace_ = true;
    QTimer timer_{this};
    SocketNotifiers notifiers_;
    QPlainTextEdit* log_ = nullptr;
    std::string logShown_;  // the core text that the log box shows now
    QComboBox* chooser_ = nullptr;
    std::vector<std::string> entriesShown_;  // the core entries the chooser lists now
    std::vector<BoxBinding> boxes_;
    std::vector<LabelBinding> labels_;
    std::vector<ButtonBinding> buttons_;
    std::vector<Placed> placed_;
    bool busy_ = false;
    bool closePending_ = false;  // a close came while a handler ran
    bool unloaded_ = false;
};
