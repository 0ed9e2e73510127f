#include "proxy/ui/MainWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QValidator>
#include <algorithm>

#include "proxy/core/BusyScope.h"
#include "proxy/ui/QtMessageBoxes.h"

namespace {

const QSize kDesignSize{twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips)};

// A control's rectangle in pixels, relative to the widget it lies in, in a
// window of `size`.
QRect placedRect(const ControlDesign& design, QSize size) {
    const PixelRect r = placeControl(design, std::max(0, size.width() - kDesignSize.width()),
                                     std::max(0, size.height() - kDesignSize.height()));
    return {r.left, r.top, r.width, r.height};
}

constexpr int kTimerIntervalMs = 100;
// The design font was a small, narrow one: 8 points fit the status list's six
// lines and the counter table's four rows into their labels, and a condensed
// face (where the system has one) fits captions such as "Datagramms".
constexpr int kFontPointSize = 8;

// The core ends lines with CR LF; the widgets want LF.
QString forDisplay(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A port box takes digits only, up to 65535; what would make it anything
// else is refused as it is typed.
class PortValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        switch (portTyping(input.toStdString())) {
            case PortTyping::Port:
                return Acceptable;
            case PortTyping::Incomplete:
                return Intermediate;
            case PortTyping::Refused:
                break;
        }
        return Invalid;
    }
};

}  // namespace

// skelvane.qrc lives in a static library: its resources are registered by
// hand, once, before the first use.
static QIcon windowIconResource() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(skelvane);
        return true;
    }();
    (void)registered;
    return QIcon(QStringLiteral(":/skelvane.png"));
}

template <typename Handler>
void MainWindow::run(Handler handler) {
    if (busy_ || unloaded_) {
        return;
    }
    {
        BusyScope scope(busy_);
        handler();
    }
    refresh();
    if (closePending_) {
        close();  // the close that came while the handler ran
    }
}

MainWindow::MainWindow(Form1& form, QtMessageBoxes& boxes)
    : form_(form),
      notifiers_(
          [this](int slot, int ready) {
              if (busy_ || unloaded_) {
                  return;
              }
              {
                  const BusyScope scope(busy_);
                  form_.socketReady(slot, ready);
              }
              if (closePending_) {
                  close();
              }
          },
          [this] {
              if (!unloaded_ && !timer_.isActive()) {
                  timer_.start();
              }
          }) {
    boxes.attach(this);
    setWindowIcon(windowIconResource());
    form_.setToolkitText("Qt " + std::string(qVersion()));
    QFont font = this->font();
    font.setPointSize(kFontPointSize);
    font.setStretch(QFont::SemiCondensed);
    setFont(font);
    setMinimumSize(kDesignSize);
    resize(kDesignSize);

    buildControls();
    setFocusOrder();

    form_.setSocketWatch(&notifiers_);
    timer_.setObjectName(QStringLiteral("Timer1"));
    timer_.setInterval(kTimerIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &MainWindow::tick);
    timer_.start();

    run([this] { form_.Form_Load(); });
    applyPlace();
}

// The size saved at the last close, and its position if a screen shows it.
void MainWindow::applyPlace() {
    const WindowPlace& place = form_.ctl.windowPlace;
    if (!place.known) {
        return;
    }
    const PixelRect client = placedClient(place);
    resize(client.width, client.height);
    std::vector<PixelRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        screens.push_back({area.x(), area.y(), area.width(), area.height()});
    }
    if (placeIsSeen(place, screens)) {
        move(place.left, place.top);
    }
}

// Where the window is now (as it was before it was maximized), to be saved.
void MainWindow::keepPlace() {
    const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : QRect(pos(), size());
    form_.ctl.windowPlace = {normal.x(), normal.y(), normal.width(), normal.height(), true};
}

MainWindow::~MainWindow() {
    form_.setSocketWatch(nullptr);
}

// Frame1 is built first: the controls inside it are its children, placed
// relative to it.
void MainWindow::buildControls() {
    QWidget* frame = this;
    for (const ControlDesign& design : controlTable()) {
        if (design.kind == ControlKind::Frame) {
            frame = addWidget(design, this);
        }
    }
    for (const ControlDesign& design : controlTable()) {
        if (design.kind != ControlKind::Frame) {
            addWidget(design, design.inFrame ? frame : this);
        }
    }
}

QWidget* MainWindow::addWidget(const ControlDesign& design, QWidget* parent) {
    QWidget* widget = makeWidget(design, parent);
    widget->setObjectName(QString::fromLatin1(design.name));
    widget->setGeometry(placedRect(design, kDesignSize));
    if (!shownNow(design, form_.ctl)) {
        widget->hide();
    }
    placed_.push_back({&design, widget});
    if (design.bold) {
        QFont bold = widget->font();
        bold.setBold(true);
        widget->setFont(bold);
    }
    return widget;
}

QWidget* MainWindow::makeWidget(const ControlDesign& design, QWidget* parent) {
    switch (design.kind) {
        case ControlKind::Label:
            return makeLabel(design, parent);
        case ControlKind::TextBox:
        case ControlKind::ReadOnlyBox:
            return makeBox(design, parent);
        case ControlKind::LogBox:
            log_ = new QPlainTextEdit(parent);
            log_->setReadOnly(true);
            log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            log_->setUndoRedoEnabled(false);
            log_->setTabChangesFocus(true);
            return log_;
        case ControlKind::Button:
            return makeButton(design, parent);
        case ControlKind::Frame:
            return new QGroupBox(QString::fromLatin1(design.text), parent);
        case ControlKind::Chooser:
            return makeChooser(parent);
        case ControlKind::Line:
            break;
    }
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    return line;
}

// The controls that take focus, in the table's order.
void MainWindow::setFocusOrder() {
    QWidget* previous = nullptr;
    for (const ControlDesign& design : controlTable()) {
        if (!takesFocus(design.kind)) {
            continue;
        }
        auto* widget = findChild<QWidget*>(QString::fromLatin1(design.name));
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

// A bound label starts with the core's text and follows it.
QLabel* MainWindow::makeLabel(const ControlDesign& design, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    if (design.field == nullptr) {
        label->setText(QString::fromLatin1(design.text));
    } else {
        const std::string& text = form_.ctl.*design.field;
        label->setText(forDisplay(text));
        labels_.push_back({design.field, label, text});
    }
    return label;
}

QLineEdit* MainWindow::makeBox(const ControlDesign& design, QWidget* parent) {
    const bool editable = design.kind == ControlKind::TextBox;
    std::string Controls::*field = design.field;
    auto* box = new QLineEdit(parent);
    box->setReadOnly(!editable);
    if (!editable) {
        box->setFocusPolicy(Qt::ClickFocus);  // selectable with the mouse, out of the Tab order
    }
    box->setText(QString::fromStdString(form_.ctl.*field));
    if (isPortBox(design)) {
        box->setValidator(new PortValidator(box));
    }
    if (editable) {
        connect(box, &QLineEdit::textEdited, this,
                [this, field](const QString& text) { form_.ctl.*field = text.toStdString(); });
    }
    boxes_.push_back({field, box});
    return box;
}

QPushButton* MainWindow::makeButton(const ControlDesign& design, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(design.text), parent);
    button->setAutoDefault(false);
    if (const bool* enabled = enabledFlag(form_.ctl, design.name)) {
        button->setEnabled(*enabled);
        buttons_.push_back({enabled, button});
    }
    if (const ClickHandler handler = clickHandler(design.name)) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { run([this, handler] { handler(form_); }); });
    }
    return button;
}

// Only the user's own choice reaches the core: the entries and the choice
// that the core sets are shown without a word back.
QComboBox* MainWindow::makeChooser(QWidget* parent) {
    chooser_ = new QComboBox(parent);
    connect(chooser_, &QComboBox::activated, this,
            [this](int entry) { run([this, entry] { form_.cboSession_Click(entry); }); });
    return chooser_;
}

// While the core needs no tick the timer stands, so an idle program does
// not wake; the core asks for it again when it does.
void MainWindow::tick() {
    run([this] { form_.Timer1_Timer(); });
    if (!form_.tickNeeded()) {
        timer_.stop();
    }
}

void MainWindow::refresh() {
    const Controls& ctl = form_.ctl;
    const QString caption = QString::fromStdString(windowCaption(ctl));
    if (windowTitle() != caption) {
        setWindowTitle(caption);
    }
    for (const BoxBinding& b : boxes_) {
        const QString text = QString::fromStdString(ctl.*b.field);
        if (b.box->text() != text) {
            b.box->setText(text);
        }
    }
    for (LabelBinding& l : labels_) {
        const std::string& text = ctl.*l.field;
        if (text != l.shown) {
            l.label->setText(forDisplay(text));
            l.shown = text;
        }
    }
    if (ctl.txtLOG != logShown_) {
        showLog(ctl.txtLOG);
    }
    for (const ButtonBinding& b : buttons_) {
        if (b.button->isEnabled() != *b.enabled) {
            b.button->setEnabled(*b.enabled);
        }
    }
    showChooser();
}

void MainWindow::showChooser() {
    const Controls& ctl = form_.ctl;
    if (ctl.cboSession != entriesShown_) {
        chooser_->clear();
        for (const std::string& entry : ctl.cboSession) {
            chooser_->addItem(QString::fromStdString(entry));
        }
        entriesShown_ = ctl.cboSession;
    }
    if (chooser_->currentIndex() != ctl.cboSessionChosen) {
        chooser_->setCurrentIndex(ctl.cboSessionChosen);
    }
    if (chooser_->isVisibleTo(this) != ctl.cboSessionVisible) {
        chooser_->setVisible(ctl.cboSessionVisible);
    }
}

// Appends when the core only added lines (the usual case), else replaces the
// text; either way the newest line ends up in view.
void MainWindow::showLog(const std::string& text) {
    const bool appended = !logShown_.empty() && logShown_.back() != '\r' &&
                          text.size() > logShown_.size() &&
                          text.compare(0, logShown_.size(), logShown_) == 0;
    if (appended) {
        log_->moveCursor(QTextCursor::End);
        log_->insertPlainText(forDisplay(text.substr(logShown_.size())));
    } else {
        log_->setPlainText(forDisplay(text));
    }
    logShown_ = text;
    log_->moveCursor(QTextCursor::End);
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

// A close that comes while a handler runs (from a loop that the handler
// spins) waits for it: the window closes once the handler has returned.
void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (const Placed& p : placed_) {
        p.widget->setGeometry(placedRect(*p.design, size()));
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (busy_) {
        closePending_ = true;
        event->ignore();
        return;
    }
    closePending_ = false;
    if (!unloaded_) {
        timer_.stop();
        unloaded_ = true;
        if (keepsPlace_) {
            keepPlace();
        }
        form_.Form_Unload();
    }
    event->accept();
}
