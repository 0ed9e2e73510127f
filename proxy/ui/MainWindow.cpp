#include "proxy/ui/MainWindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <cmath>

#include "proxy/ui/QtMessageBoxes.h"

namespace {

// The window was designed in twips; at 96 dots per inch 15 twips make a pixel.
int px(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

QRect twipsRect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

constexpr int kClientWidth = 8070;
constexpr int kClientHeight = 7815;
constexpr int kTimerIntervalMs = 100;
// The design font was a small, narrow one: 8 points fit the status list's six
// lines and the counter table's four rows into their labels, and a condensed
// face (where the system has one) fits captions such as "Datagramms".
constexpr int kFontPointSize = 8;

// The core ends lines with CR LF; the widgets want LF.
QString forDisplay(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// "Preferences" belongs to the plug-in host.
void preferencesClicked(Form1& form) {
    form.Command2_Click();
}

// Clears a flag when a handler ends, however it ends.
class BusyScope {
  public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

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
}

MainWindow::MainWindow(Form1& form, QtMessageBoxes& boxes) : form_(form) {
    boxes.attach(this);
    QFont font = this->font();
    font.setPointSize(kFontPointSize);
    font.setStretch(QFont::SemiCondensed);
    setFont(font);
    setFixedSize(px(kClientWidth), px(kClientHeight));

    buildEndpoints();
    buildStatus();
    buildCounterTable();
    buildLogAndPlugin();
    setFocusOrder();

    timer_.setInterval(kTimerIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &MainWindow::tick);
    timer_.start();

    run([this] { form_.Form_Load(); });
}

void MainWindow::buildEndpoints() {
    addLabel("Label22", "Hostname:", 1680, 120, 1095, 255);
    addLabel("Label23", "Port:", 3120, 120, 1095, 255);
    addLabel("Label4", "Host login:", 120, 405, 1335, 255);
    addBox("Text1", &Controls::Text1, true, 1560, 360, 1335, 375);
    addBox("Text2", &Controls::Text2, true, 3000, 360, 1335, 375);
    addLabel("Label5", "ICQ login server:", 120, 885, 1335, 255);
    addBox("Text3", &Controls::Text3, true, 1560, 840, 1335, 375);
    addBox("Text4", &Controls::Text4, true, 3000, 840, 1335, 375);
    addLabel("Label6", "Host chat:", 120, 1365, 1335, 255);
    addBox("Text7", &Controls::Text7, true, 1560, 1320, 1335, 375);
    addBox("Text8", &Controls::Text8, true, 3000, 1320, 1335, 375);
    addLabel("Label2", "ICQ chat server:", 120, 1965, 1335, 255);
    addBox("Text6", &Controls::Text6, false, 1560, 1920, 1335, 375);
    addBox("Text5", &Controls::Text5, false, 3000, 1920, 1335, 375);

    connect(addButton("Command1", "Host login", 4440, 360, 1215, 375), &QPushButton::clicked, this,
            [this] { run([this] { form_.Command1_Click(); }); });
    connect(addButton("Command3", "Disconnect", 4440, 840, 1215, 375), &QPushButton::clicked, this,
            [this] { run([this] { form_.Command3_Click(); }); });
    connect(addButton("Command4", "About", 4440, 1320, 1215, 375), &QPushButton::clicked, this,
            [this] { run([this] { form_.Command4_Click(); }); });
}

void MainWindow::buildStatus() {
    addLabel("Label20", "Sockets IP/port status", 5760, 120, 2055, 255);
    bindLabel(addLabel("Label1", "", 5760, 360, 2055, 1215), &Controls::Label1);
    // Raw socket handles: lies right of the client area, so it is never seen.
    bindLabel(addLabel("Label3", "", 8760, 600, 1935, 1455), &Controls::Label3);
    addLabel("Label21", "User UIN:", 4560, 1965, 975, 255);
    QLineEdit* uin = addBox("txtUIN", &Controls::txtUIN, false, 5760, 1920, 1335, 375);
    QFont bold = uin->font();
    bold.setBold(true);
    uin->setFont(bold);

    auto* line = new QFrame(this);
    line->setObjectName("Line1");
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    line->setGeometry(px(120), px(1800), px(7920) - px(120), 1);
}

void MainWindow::buildCounterTable() {
    addLabel("Label8", "Direction", 120, 2460, 1215, 255);
    addLabel("Label7", "Bytes", 1560, 2460, 1215, 255);
    addLabel("Label9", "Datagramms", 2880, 2460, 975, 255);
    addLabel("Label10", "Packets", 3960, 2460, 975, 255);
    addLabel("Label12", "Skipped", 5040, 2460, 975, 255);
    addLabel("Label17", "Generated", 6120, 2460, 975, 255);
    bindLabel(addLabel("Label14", "", 120, 2760, 1215, 855), &Controls::Label14);
    bindLabel(addLabel("Label13", "", 1560, 2760, 1215, 855), &Controls::Label13);
    bindLabel(addLabel("Label15", "", 2880, 2760, 975, 855), &Controls::Label15);
    bindLabel(addLabel("Label16", "", 3960, 2760, 975, 855), &Controls::Label16);
    bindLabel(addLabel("Label18", "", 5040, 2760, 975, 855), &Controls::Label18);
    bindLabel(addLabel("Label11", "", 6120, 2760, 975, 855), &Controls::Label11);
}

void MainWindow::buildLogAndPlugin() {
    log_ = new QPlainTextEdit(this);
    log_->setObjectName("txtLOG");
    log_->setGeometry(twipsRect(120, 3720, 7815, 2415));
    log_->setReadOnly(true);
    log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    log_->setUndoRedoEnabled(false);
    log_->setTabChangesFocus(true);

    auto* frame = new QGroupBox(QStringLiteral("Plugin"), this);
    frame->setObjectName("Frame1");
    frame->setGeometry(twipsRect(120, 6240, 7815, 1455));
    bindLabel(addLabel("labPlug", "", 120, 360, 7575, 255, frame), &Controls::labPlug);
    connect(addButton("Command2", "Preferences", 120, 720, 1335, 495, frame), &QPushButton::clicked,
            this, [this] { run([this] { preferencesClicked(form_); }); });
}

void MainWindow::setFocusOrder() {
    static constexpr const char* kOrder[] = {"Command1", "Command3", "Text2",  "Text1",   "Text3",
                                             "Text4",    "Text5",    "Text6",  "Text7",   "Text8",
                                             "txtLOG",   "Command2", "txtUIN", "Command4"};
    QWidget* previous = nullptr;
    for (const char* name : kOrder) {
        auto* widget = findChild<QWidget*>(QString::fromLatin1(name));
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

QLabel* MainWindow::addLabel(const char* name, const char* text, int left, int top, int width,
                             int height, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent != nullptr ? parent : this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(twipsRect(left, top, width, height));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLineEdit* MainWindow::addBox(const char* name, std::string Controls::*field, bool editable,
                              int left, int top, int width, int height) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(twipsRect(left, top, width, height));
    box->setReadOnly(!editable);
    box->setText(QString::fromStdString(form_.ctl.*field));
    if (editable) {
        connect(box, &QLineEdit::textEdited, this,
                [this, field](const QString& text) { form_.ctl.*field = text.toStdString(); });
    }
    boxes_.push_back({field, box});
    return box;
}

QPushButton* MainWindow::addButton(const char* name, const char* text, int left, int top, int width,
                                   int height, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent != nullptr ? parent : this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(twipsRect(left, top, width, height));
    button->setAutoDefault(false);
    return button;
}

void MainWindow::bindLabel(QLabel* label, std::string Controls::*field) {
    labels_.push_back({field, label, label->text().toStdString()});
}

void MainWindow::tick() {
    run([this] { form_.Timer1_Timer(); });
}

void MainWindow::refresh() {
    const Controls& ctl = form_.ctl;
    const QString caption = QString::fromStdString(ctl.caption);
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

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        timer_.stop();
        unloaded_ = true;
        form_.Form_Unload();
    }
    event->accept();
}
