// The main window over a real core, on Qt's offscreen platform: layout, focus
// order, typing into the core, the core's texts on screen, and boxes that do
// not block.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
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
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include "generated/Version.h"
#include "proxy/core/Form1.h"
#include "proxy/ui/MainWindow.h"
#include "proxy/ui/QtMessageBoxes.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Flap.h"
#include "tests/support/Loopback.h"
#include "tests/support/MainWindowDesign.h"
#include "tests/support/RecordingBoxes.h"
#include "tests/support/ScratchDir.h"

namespace fs = std::filesystem;

namespace {

const std::string kCaption = std::string("Skelvane (beta) ") + SKELVANE_VERSION;

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

    // Free ports, so that the first tick's listener never collides.
    const std::string loginPort_ = std::to_string(freePort());
    const std::string ini_ = "HostLoginIP = 127.0.0.1\r\nHostLoginPort = " + loginPort_ +
                             "\r\nServerLoginIP = 127.0.0.1\r\nServerLoginPort = 1\r\n"
                             "HostChatIP = 127.0.0.1\r\nHostChatPort = " +
                             std::to_string(freePort()) + "\r\n";

    void SetUp() override { open(ini_); }

    // A window (again) over a new core, loaded from this settings file.
    void open(const std::string& ini) {
        window_.reset();
        std::ofstream(dir_ / "skelvane.ini", std::ios::binary) << ini;
        form_ = std::make_unique<Form1>(clock_, boxes_, dir_.string());
        window_ = std::make_unique<MainWindow>(*form_, boxes_);
        window_->show();
    }

    void TearDown() override {
        window_->close();
        window_.reset();
        form_.reset();
    }

    template <typename W>
    W* child(const char* name) {
        return window_->findChild<W*>(QString::fromLatin1(name));
    }

    static std::unique_ptr<QApplication> app_;
    FakeClock clock_;
    QtMessageBoxes boxes_;
    RecordingBoxes recording_;  // for a core whose boxes must not show
    ScratchWorkDir scratch_{"skelvane-ui"};
    fs::path dir_ = scratch_.path();
    std::unique_ptr<Form1> form_;
    std::unique_ptr<MainWindow> window_;
};

std::unique_ptr<QApplication> MainWindowTest::app_;

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
    if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        return frame->title();
    }
    return {};
}

const char* qtClass(design::Kind kind) {
    switch (kind) {
        case design::Kind::Label:
            return "QLabel";
        case design::Kind::Box:
        case design::Kind::ReadOnlyBox:
            return "QLineEdit";
        case design::Kind::Log:
            return "QPlainTextEdit";
        case design::Kind::Button:
            return "QPushButton";
        case design::Kind::Frame:
            return "QGroupBox";
        case design::Kind::Line:
            return "QFrame";
    }
    return "";
}

TEST_F(MainWindowTest, ControlsSitAtTheirDesignPositionsWithTheirTexts) {
    QWidget* frame = child<QGroupBox>("Frame1");
    ASSERT_NE(frame, nullptr);
    for (const design::Control& d : design::kMainWindow) {
        SCOPED_TRACE(d.name);
        auto* w = child<QWidget>(d.name);
        ASSERT_NE(w, nullptr);
        const int px = design::kTwipsPerPixel;
        EXPECT_EQ(w->geometry(), QRect(d.left / px, d.top / px, d.width / px, d.height / px));
        EXPECT_EQ(w->parentWidget(), d.inFrame1 ? frame : window_.get());
        if (d.caption != nullptr) {
            EXPECT_EQ(shownText(w), QString::fromLatin1(d.caption).replace("\r\n", "\n"));
        }
        EXPECT_STREQ(w->metaObject()->className(), qtClass(d.kind));
        if (auto* box = qobject_cast<QLineEdit*>(w)) {
            EXPECT_EQ(box->isReadOnly(), d.kind == design::Kind::ReadOnlyBox);
        }
    }
    // Label3 lies beyond the right edge of the client area, and stays unseen.
    EXPECT_GE(child<QWidget>("Label3")->x(), window_->width());
    EXPECT_FALSE(child<QWidget>("Label3")->isVisible());
}

TEST_F(MainWindowTest, GrownWindowGivesTheRoomToTheLogAndThePluginPanel) {
    const auto before = [&](const char* name) { return child<QWidget>(name)->geometry(); };
    const QRect log = before("txtLOG"), frame = before("Frame1"), title = before("labPlug"),
                line = before("Line1"), status = before("Label1");
    window_->resize(window_->width() + 100, window_->height() + 80);
    QApplication::processEvents();
    EXPECT_EQ(before("txtLOG"), log.adjusted(0, 0, 100, 80));
    EXPECT_EQ(before("Frame1"), frame.translated(0, 80).adjusted(0, 0, 100, 0));
    EXPECT_EQ(before("labPlug"), title.adjusted(0, 0, 100, 0));
    EXPECT_EQ(before("Line1"), line.adjusted(0, 0, 100, 0));
    EXPECT_EQ(before("Label1"), status);
    EXPECT_FALSE(child<QWidget>("Label3")->isVisible()) << "nothing hidden comes into view";
}

TEST_F(MainWindowTest, WindowStartsAtItsLeastSizeAndBoxesHaveTheirKinds) {
    const QSize least(design::kClientWidthPixels, design::kClientHeightPixels);
    EXPECT_EQ(window_->size(), least);
    EXPECT_EQ(window_->minimumSize(), least);
    EXPECT_GT(window_->maximumWidth(), least.width());
    EXPECT_FALSE(window_->windowIcon().pixmap(32, 32).isNull()) << "the window has its icon";
    EXPECT_EQ(window_->windowTitle(), QString::fromStdString(kCaption));

    EXPECT_TRUE(child<QLineEdit>("txtUIN")->font().bold());
    auto* log = child<QPlainTextEdit>("txtLOG");
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isReadOnly());
    // Settings from the file replaced the design texts at load.
    EXPECT_EQ(child<QLineEdit>("Text1")->text(), "127.0.0.1");
    EXPECT_EQ(child<QLineEdit>("Text2")->text(), QString::fromStdString(loginPort_));
}

TEST_F(MainWindowTest, PlaceIsSavedAfterTheEndpointsAndComesBackWhereAScreenShowsIt) {
    window_->resize(600, 560);
    window_->move(30, 40);
    window_->close();
    const std::string place =
        "WindowLeft = 30\r\nWindowTop = 40\r\nWindowWidth = 600\r\nWindowHeight = 560\r\n"
        "MaxSessions = 8\r\n";
    EXPECT_EQ(readFile(dir_ / "skelvane.ini"), ini_ + place);

    open(readFile(dir_ / "skelvane.ini"));
    EXPECT_EQ(QRect(window_->pos(), window_->size()), QRect(30, 40, 600, 560));
    // A window no one sees leaves the saved place alone, wherever it went.
    window_->setKeepsPlace(false);
    window_->move(70, 80);
    window_->close();
    EXPECT_EQ(readFile(dir_ / "skelvane.ini"), ini_ + place);
    // Off every screen: the size comes back, the position is the system's.
    open(ini_ +
         "WindowLeft = -9000\r\nWindowTop = 40\r\nWindowWidth = 600\r\nWindowHeight = 560\r\n");
    EXPECT_EQ(window_->size(), QSize(600, 560));
    EXPECT_GT(window_->x(), -9000);
    // Damaged, missing or too small: the design size.
    const QSize least(design::kClientWidthPixels, design::kClientHeightPixels);
    for (const char* bad : {"WindowWidth = 6x0\r\n", "WindowWidth = 10\r\n", ""}) {
        SCOPED_TRACE(bad);
        open(ini_ + "WindowLeft = 30\r\nWindowTop = 40\r\nWindowHeight = 10\r\n" + bad);
        EXPECT_EQ(window_->size(), least);
    }
}

TEST_F(MainWindowTest, TabVisitsTheControlsInDesignOrder) {
    QStringList expected;
    for (const char* name : design::kTabOrder) {
        expected << name;
    }
    QWidget* start = child<QWidget>(design::kTabOrder[0]);
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
    for (const char* name : {"Text5", "Text6", "txtUIN"}) {
        EXPECT_EQ(child<QWidget>(name)->focusPolicy(), Qt::ClickFocus) << name;
    }
}

TEST_F(MainWindowTest, HostLoginAndDisconnectAreEnabledOnlyWhenTheyCanAct) {
    auto* login = child<QPushButton>("Command1");
    auto* stop = child<QPushButton>("Command3");
    const auto buttons = [&] { return std::pair(login->isEnabled(), stop->isEnabled()); };
    EXPECT_EQ(buttons(), std::pair(false, true)) << "the first tick is to listen";
    window_->tick();
    EXPECT_EQ(buttons(), std::pair(false, true)) << "listening";
    stop->click();
    EXPECT_EQ(buttons(), std::pair(true, false)) << "stopped";
    stop->click();
    const auto stopped = [&] {
        return QString::fromStdString(form_->ctl.txtLOG).count("Listening stopped");
    };
    EXPECT_EQ(stopped(), 1);
    login->click();
    EXPECT_EQ(form_->session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(buttons(), std::pair(false, true));
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

TEST_F(MainWindowTest, PortBoxesTakeDigitsUpTo65535) {
    for (const char* name : {"Text2", "Text4", "Text8"}) {
        SCOPED_TRACE(name);
        auto* box = child<QLineEdit>(name);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, "6a5-5 3 6");
        EXPECT_EQ(box->text(), "6553") << "letters, signs, spaces and 65536 are refused";
        QTest::keyClicks(box, "5");
        EXPECT_EQ(box->text(), "65535");
    }
    EXPECT_EQ(form_->ctl.Text8, "65535");
    // A host box takes any text.
    QTest::keyClicks(child<QLineEdit>("Text1"), "a-");
    EXPECT_EQ(form_->ctl.Text1, "127.0.0.1a-");
}

TEST_F(MainWindowTest, CoreTextsShowAfterTheNextTick) {
    form_->session().Bytes = {1, 2, 3, 4};
    form_->ctl.txtUIN = "123456";
    form_->ctl.Text6 = "chat.example";
    form_->ctl.labPlug = "Dorrimel v0.4 (API: 4)";
    form_->ctl.problem = "Could not listen on 127.0.0.1:5190: address already in use";
    window_->tick();
    EXPECT_EQ(window_->windowTitle().toStdString(), kCaption + " - " + form_->ctl.problem);
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

// The session chooser lies clear of every designed control and shows only
// while two sessions run; choosing the second shows its UIN, and when it
// ends the first is shown again.
TEST_F(MainWindowTest, SessionChooserShowsWhileSessionsRunSideBySide) {
    auto* chooser = child<QComboBox>("cboSession");
    ASSERT_NE(chooser, nullptr);
    for (const design::Control& d : design::kMainWindow) {
        EXPECT_FALSE(chooser->geometry().intersects(child<QWidget>(d.name)->geometry())) << d.name;
    }
    TestListener loginServer;
    form_->ctl.Text4 = std::to_string(loginServer.port);
    window_->tick();  // listening
    std::vector<Peer> clients;
    std::vector<Peer> servers;
    for (const char* uin : {"111", "222"}) {
        EXPECT_FALSE(chooser->isVisible()) << "one session or none";
        clients.push_back(*connectTo(static_cast<std::uint16_t>(std::stoi(loginPort_))));
        const int i = form_->running();
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return form_->running() > i && form_->runningSession(i).loginMode == LOGIN_RELAY;
        }));
        servers.push_back(*loginServer.accept(kWaitMs));
        clients.back().send(flap(2, 1, snac(0x17, 0x06, concat({tlv(1, uin), tlv(2, "pw")}))));
        ASSERT_TRUE(QTest::qWaitFor([&] { return form_->runningSession(i).ownUin != 0; }));
        window_->tick();
    }
    auto* uinBox = child<QLineEdit>("txtUIN");
    ASSERT_TRUE(chooser->isVisible());
    EXPECT_EQ(chooser->count(), 2);
    EXPECT_EQ(chooser->currentText(), "111");
    EXPECT_EQ(uinBox->text(), "111");
    chooser->setFocus();
    QTest::keyClick(chooser, Qt::Key_Down);
    EXPECT_EQ(form_->ctl.cboSessionChosen, 1);
    EXPECT_EQ(uinBox->text(), "222");

    servers[1].close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_->running() == 1; }));
    window_->tick();
    EXPECT_FALSE(chooser->isVisible());
    EXPECT_EQ(uinBox->text(), "111");
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

TEST_F(MainWindowTest, TimerStandsWhileTheCoreNeedsNoTick) {
    auto* timer = window_->findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    for (int i = 0; i < 3 && form_->tickNeeded(); ++i) {
        window_->tick();
    }
    EXPECT_FALSE(timer->isActive());
    child<QPushButton>("Command3")->click();  // anything that changes the core wakes it
    EXPECT_TRUE(timer->isActive());
}

TEST_F(MainWindowTest, CloseDuringAHandlerWaitsForIt) {
    window_.reset();
    form_ = std::make_unique<Form1>(clock_, recording_, dir_.string());
    window_ = std::make_unique<MainWindow>(*form_, boxes_);
    window_->show();
    const fs::path ini = dir_ / "skelvane.ini";
    fs::remove(ini);
    bool savedDuringHandler = true;
    recording_.onShow = [&] {
        window_->close();  // as a loop spun inside the handler would deliver it
        savedDuringHandler = fs::exists(ini);
    };
    child<QPushButton>("Command4")->click();
    EXPECT_FALSE(savedDuringHandler);
    EXPECT_TRUE(fs::exists(ini)) << "the close came after the handler";
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, AboutNamesTheQtVersionAndTheSettingsFolder) {
    child<QPushButton>("Command4")->click();
    QStringList texts;
    for (const QMessageBox* box : window_->findChildren<QMessageBox*>()) {
        texts << box->text();
    }
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(QString::fromStdString(kCaption))) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains(QStringLiteral("Built with Qt ") + qVersion()));
    EXPECT_TRUE(texts[0].endsWith(QString::fromStdString(dir_.string())));
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
    form_->Command1_Click();
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
