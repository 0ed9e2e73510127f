// The main window over a real core, on Qt's offscreen platform: layout, focus
// order, typing into the core, the core's texts on screen, and boxes that do
// not block.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "generated/Version.h"
#include "proxy/core/Form1.h"
#include "proxy/ui/MainWindow.h"
#include "proxy/ui/QtMessageBoxes.h"

namespace fs = std::filesystem;

namespace {

const std::string kCaption = std::string("Skelvane (beta) ") + SKELVANE_VERSION;

class StillClock : public Clock {
  public:
    std::int32_t tickCount() override { return 77; }
    LocalTime localTime() override { return {14, 5, 9}; }
    void sleepMs(int) override {}
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class MainWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    static void TearDownTestSuite() { app_.reset(); }

    void SetUp() override {
        startDir_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "skelvane-ui-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        // Free ports, so that the first tick's listener never collides.
        std::ofstream(dir_ / "skelvane.ini", std::ios::binary)
            << "HostLoginIP = 127.0.0.1\r\nHostLoginPort = 0\r\n"
               "ServerLoginIP = 127.0.0.1\r\nServerLoginPort = 1\r\n"
               "HostChatIP = 127.0.0.1\r\nHostChatPort = 0\r\n";
        form_ = std::make_unique<Form1>(clock_, boxes_, dir_.string());
        window_ = std::make_unique<MainWindow>(*form_, boxes_);
        window_->show();
    }

    void TearDown() override {
        window_->close();
        window_.reset();
        form_.reset();
        fs::current_path(startDir_);
        fs::remove_all(dir_);
    }

    template <typename W>
    W* child(const char* name) {
        return window_->findChild<W*>(QString::fromLatin1(name));
    }

    static std::unique_ptr<QApplication> app_;
    StillClock clock_;
    QtMessageBoxes boxes_;
    fs::path startDir_;
    fs::path dir_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<MainWindow> window_;
};

std::unique_ptr<QApplication> MainWindowTest::app_;

// The design table in twips (15 twips a pixel); positions inside Frame1 for
// labPlug and Command2. `text` is the fixed caption, or null when the core
// fills it.
struct Design {
    const char* name;
    int left, top, width, height;
    const char* text;
};

constexpr Design kDesign[] = {
    {"Label22", 1680, 120, 1095, 255, "Hostname:"},
    {"Label23", 3120, 120, 1095, 255, "Port:"},
    {"Label4", 120, 405, 1335, 255, "Host login:"},
    {"Text1", 1560, 360, 1335, 375, nullptr},
    {"Text2", 3000, 360, 1335, 375, nullptr},
    {"Label5", 120, 885, 1335, 255, "ICQ login server:"},
    {"Text3", 1560, 840, 1335, 375, nullptr},
    {"Text4", 3000, 840, 1335, 375, nullptr},
    {"Label6", 120, 1365, 1335, 255, "Host chat:"},
    {"Text7", 1560, 1320, 1335, 375, nullptr},
    {"Text8", 3000, 1320, 1335, 375, nullptr},
    {"Label2", 120, 1965, 1335, 255, "ICQ chat server:"},
    {"Text6", 1560, 1920, 1335, 375, ""},
    {"Text5", 3000, 1920, 1335, 375, "5190"},
    {"Command1", 4440, 360, 1215, 375, "Host login"},
    {"Command3", 4440, 840, 1215, 375, "Disconnect"},
    {"Command4", 4440, 1320, 1215, 375, "About"},
    {"Label20", 5760, 120, 2055, 255, "Sockets IP/port status"},
    {"Label1", 5760, 360, 2055, 1215, nullptr},
    {"Label3", 8760, 600, 1935, 1455, nullptr},
    {"Label21", 4560, 1965, 975, 255, "User UIN:"},
    {"txtUIN", 5760, 1920, 1335, 375, ""},
    {"Label8", 120, 2460, 1215, 255, "Direction"},
    {"Label7", 1560, 2460, 1215, 255, "Bytes"},
    {"Label9", 2880, 2460, 975, 255, "Datagramms"},
    {"Label10", 3960, 2460, 975, 255, "Packets"},
    {"Label12", 5040, 2460, 975, 255, "Skipped"},
    {"Label17", 6120, 2460, 975, 255, "Generated"},
    {"Label14", 120, 2760, 1215, 855, "From Server\nTo Client\nFrom Client\nTo Server"},
    {"Label13", 1560, 2760, 1215, 855, nullptr},
    {"Label15", 2880, 2760, 975, 855, nullptr},
    {"Label16", 3960, 2760, 975, 855, nullptr},
    {"Label18", 5040, 2760, 975, 855, nullptr},
    {"Label11", 6120, 2760, 975, 855, nullptr},
    {"txtLOG", 120, 3720, 7815, 2415, nullptr},
    {"Frame1", 120, 6240, 7815, 1455, nullptr},
    {"labPlug", 120, 360, 7575, 255, ""},
    {"Command2", 120, 720, 1335, 495, "Preferences"},
};

QString shownText(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text();
    }
    if (auto* box = qobject_cast<QLineEdit*>(w)) {
        return box->text();
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        return button->text();
    }
    return {};
}

TEST_F(MainWindowTest, ControlsSitAtTheirDesignPositionsWithTheirTexts) {
    for (const Design& d : kDesign) {
        SCOPED_TRACE(d.name);
        auto* w = child<QWidget>(d.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), QRect(d.left / 15, d.top / 15, d.width / 15, d.height / 15));
        if (d.text != nullptr) {
            EXPECT_EQ(shownText(w), QString::fromLatin1(d.text));
        }
    }
    auto* frame = child<QGroupBox>("Frame1");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->title(), "Plugin");
    EXPECT_EQ(child<QWidget>("labPlug")->parentWidget(), frame);
    EXPECT_EQ(child<QWidget>("Command2")->parentWidget(), frame);

    auto* line = child<QWidget>("Line1");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->x(), 8);
    EXPECT_EQ(line->y(), 120);
    EXPECT_EQ(line->width(), 520);
    // Label3 lies beyond the right edge of the client area.
    EXPECT_GE(child<QWidget>("Label3")->x(), window_->width());
}

TEST_F(MainWindowTest, ClientAreaIsFixedAndBoxesHaveTheirKinds) {
    EXPECT_EQ(window_->size(), QSize(538, 521));
    EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
    EXPECT_EQ(window_->windowTitle(), QString::fromStdString(kCaption));

    EXPECT_TRUE(child<QLineEdit>("txtUIN")->isReadOnly());
    EXPECT_TRUE(child<QLineEdit>("txtUIN")->font().bold());
    EXPECT_TRUE(child<QLineEdit>("Text5")->isReadOnly());
    EXPECT_TRUE(child<QLineEdit>("Text6")->isReadOnly());
    for (const char* name : {"Text1", "Text2", "Text3", "Text4", "Text7", "Text8"}) {
        EXPECT_FALSE(child<QLineEdit>(name)->isReadOnly()) << name;
    }
    auto* log = child<QPlainTextEdit>("txtLOG");
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isReadOnly());
    // Settings from the file replaced the design texts at load.
    EXPECT_EQ(child<QLineEdit>("Text1")->text(), "127.0.0.1");
    EXPECT_EQ(child<QLineEdit>("Text2")->text(), "0");
}

TEST_F(MainWindowTest, TabVisitsTheControlsInDesignOrder) {
    const QStringList expected{"Command1", "Command3", "Text2",  "Text1",   "Text3",
                               "Text4",    "Text5",    "Text6",  "Text7",   "Text8",
                               "txtLOG",   "Command2", "txtUIN", "Command4"};
    QWidget* start = child<QWidget>("Command1");
    ASSERT_NE(start, nullptr);
    QStringList visited;
    QWidget* w = start;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisibleTo(window_.get())) {
            visited << w->objectName();
        }
        w = w->nextInFocusChain();
    } while (w != start && visited.size() <= expected.size());
    EXPECT_EQ(visited, expected);
}

TEST_F(MainWindowTest, TypingReachesTheCoreAtOnceAndSurvivesTicks) {
    auto* port = child<QLineEdit>("Text2");
    port->setFocus();
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port, "5200");
    EXPECT_EQ(form_->ctl.Text2, "5200");

    auto* host = child<QLineEdit>("Text3");
    QTest::keyClicks(host, "x");
    EXPECT_EQ(form_->ctl.Text3, "127.0.0.1x");

    // A read-only box takes no typing.
    QTest::keyClicks(child<QLineEdit>("Text5"), "9");
    EXPECT_EQ(form_->ctl.Text5, "5190");

    window_->tick();
    EXPECT_EQ(port->text(), "5200");
    EXPECT_EQ(host->text(), "127.0.0.1x");

    // What was typed is saved when the window closes.
    window_->close();
    const std::string ini = readFile(dir_ / "skelvane.ini");
    EXPECT_NE(ini.find("5200"), std::string::npos) << ini;
    EXPECT_NE(ini.find("127.0.0.1x"), std::string::npos) << ini;
}

TEST_F(MainWindowTest, CoreTextsShowAfterTheNextTick) {
    form_->Bytes = {1, 2, 3, 4};
    form_->ctl.txtUIN = "123456";
    form_->ctl.Text6 = "chat.example";
    form_->ctl.labPlug = "Dorrimel v0.4 (API: 4)";
    window_->tick();
    // Counter rows From Server, To Client, From Client, To Server, one a line.
    EXPECT_EQ(child<QLabel>("Label13")->text(), "1\n3\n2\n4");
    EXPECT_EQ(child<QLineEdit>("txtUIN")->text(), "123456");
    EXPECT_EQ(child<QLineEdit>("Text6")->text(), "chat.example");
    EXPECT_EQ(child<QLabel>("labPlug")->text(), "Dorrimel v0.4 (API: 4)");
    // The first tick opened the login listener; the next one lists it.
    window_->tick();
    EXPECT_TRUE(child<QLabel>("Label1")->text().startsWith("0  127.0.0.1 : "))
        << child<QLabel>("Label1")->text().toStdString();
}

TEST_F(MainWindowTest, LogShowsTheCoreTextWithTheNewestLineInView) {
    auto* log = child<QPlainTextEdit>("txtLOG");
    auto expectShown = [&] {
        QString core = QString::fromStdString(form_->ctl.txtLOG);
        core.replace("\r\n", "\n");
        EXPECT_EQ(log->toPlainText(), core);
        EXPECT_EQ(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
        EXPECT_TRUE(log->textCursor().atEnd());
    };
    window_->tick();
    EXPECT_TRUE(
        log->toPlainText().startsWith(QString::fromStdString(kCaption + "\n14:05:09 Started")));
    EXPECT_TRUE(log->toPlainText().contains("14:05:09 Await client-login connect at 127.0.0.1:"));

    for (int i = 0; i < 200; ++i) {
        form_->LogLine("line " + std::to_string(i));
    }
    window_->tick();
    expectShown();
    EXPECT_GT(log->verticalScrollBar()->maximum(), 0);

    // A text that does not continue the shown one (a trimmed log) replaces it.
    form_->ctl.txtLOG = "trimmed\r\n14:05:09 newest";
    window_->tick();
    expectShown();
}

TEST_F(MainWindowTest, BusyWarningDoesNotBlockTheCaller) {
    // A box shown with exec() would spin a nested event loop, which runs this
    // timer and closes the box; a modeless box leaves it pending.
    bool nestedLoopRan = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        nestedLoopRan = true;
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    guard.start(0);

    // Right after load chatMode is still 100: "Host login" is refused.
    child<QPushButton>("Command1")->click();
    EXPECT_FALSE(nestedLoopRan);
    guard.stop();

    QMessageBox* shown = nullptr;
    for (QMessageBox* box : window_->findChildren<QMessageBox*>()) {
        if (box->isVisible()) {
            shown = box;
        }
    }
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text(), "Proxy is in work already!");
    EXPECT_EQ(shown->windowTitle(), "Skelvane (beta)");
    EXPECT_EQ(shown->icon(), QMessageBox::Warning);
    EXPECT_FALSE(shown->isModal());
}

}  // namespace
