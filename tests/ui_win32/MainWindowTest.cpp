// The Win32 main window: its controls against the design table, the focus
// order, and the traffic between the controls and the core around handlers,
// ticks, message boxes and closing; and whole sessions that socket messages
// alone carry, also inside a real message box's own loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "generated/Version.h"
#include "proxy/core/Form1.h"
#include "proxy/ui/win32/MainWindow.h"
#include "proxy/ui/win32/ResourceIds.h"
#include "proxy/ui/win32/Win32MessageBoxes.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Flap.h"
#include "tests/support/Loopback.h"
#include "tests/support/MainWindowDesign.h"
#include "tests/support/RecordingBoxes.h"
#include "tests/support/ScratchDir.h"

namespace {

const std::string kCaption = std::string("Skelvane (beta) ") + SKELVANE_VERSION;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string classOf(HWND w) {
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    return lower(name);
}

std::string textOf(HWND w) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(w)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextA(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

LONG_PTR styleOf(HWND w) {
    return GetWindowLongPtrA(w, GWL_STYLE);
}

std::string describe(const RECT& r) {
    std::ostringstream s;
    s << r.left << "," << r.top << " " << r.right - r.left << "x" << r.bottom - r.top;
    return s.str();
}

LOGFONTA fontOf(HWND w) {
    LOGFONTA font{};
    auto handle = reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0));
    GetObjectA(handle, sizeof font, &font);
    return font;
}

// A text drawn in a control's font: its width in pixels and the face the
// system really draws it with (which depends on the fonts installed).
struct Drawn {
    int width;
    std::string face;
};
Drawn drawnText(HWND w, const std::string& text) {
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    return {size.cx, face};
}

// A window of the test's own, in a scratch folder that is the program's
// folder: loopback endpoints on free ports, a login server nobody asks. Its
// message boxes are recorded, or with `realBoxes` shown as the program shows
// them.
class MainWindowTest : public ::testing::Test {
  protected:
    explicit MainWindowTest(bool realBoxes = false) : realBoxes_(realBoxes) { open(ini_); }

    // A window (again) over a new core, loaded from this settings file.
    void open(const std::string& settings) {
        window_.reset();
        std::ofstream(dir_.path() / "skelvane.ini", std::ios::binary) << settings;
        MessageBoxes& boxes = realBoxes_ ? static_cast<MessageBoxes&>(win32Boxes_) : boxes_;
        form_ = std::make_unique<Form1>(clock_, boxes, dir_.string());
        window_ = std::make_unique<MainWindow>(*form_, GetModuleHandleA(nullptr));
        win32Boxes_.attach(main());
        window_->show(SW_SHOWNORMAL);
    }
    ~MainWindowTest() override {
        window_.reset();
        form_.reset();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND main() const { return window_->handle(); }
    HWND control(const char* name) const {
        HWND w = window_->control(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Where a control lies in the main window's client area, in pixels.
    RECT placeOf(HWND w) const {
        RECT r{};
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, main(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    void tick() { SendMessageA(main(), WM_TIMER, MainWindow::kTimerId, 0); }
    void click(const char* button) { SendMessageA(control(button), BM_CLICK, 0, 0); }
    // Replaces a box's text keystroke by keystroke, as the user types.
    void type(const char* box, const std::string& text) {
        HWND w = control(box);
        SendMessageA(w, EM_SETSEL, 0, -1);
        for (char c : text) {
            SendMessageA(w, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
        }
    }
    bool logHas(const std::string& text) const {
        return form_->ctl.txtLOG.find(text) != std::string::npos;
    }
    std::string lastLogLine() const {
        const std::string& log = form_->ctl.txtLOG;
        const auto at = log.rfind("\r\n");
        return at == std::string::npos ? log : log.substr(at + 2);
    }

    bool realBoxes_;
    ScratchWorkDir dir_{"skelvane-ui"};
    // Free ports, so that the first tick's listener never collides.
    const std::string loginPort_ = std::to_string(freePort());
    const std::string ini_ = "HostLoginIP=127.0.0.1\r\nHostLoginPort=" + loginPort_ +
                             "\r\nServerLoginIP=127.0.0.1\r\nServerLoginPort=1\r\n"
                             "HostChatIP=127.0.0.1\r\nHostChatPort=" +
                             std::to_string(freePort()) + "\r\n";
    FakeClock clock_;
    RecordingBoxes boxes_;
    Win32MessageBoxes win32Boxes_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, WindowAndEveryControlMatchTheDesign) {
    RECT client{};
    GetClientRect(main(), &client);
    EXPECT_EQ(client.right, design::kClientWidthPixels);
    EXPECT_EQ(client.bottom, design::kClientHeightPixels);
    EXPECT_EQ(textOf(main()), kCaption);
    const LONG_PTR style = styleOf(main());
    const auto icon = reinterpret_cast<HICON>(GetClassLongPtrA(main(), GCLP_HICON));
    EXPECT_NE(icon, nullptr);
    EXPECT_NE(icon, LoadIcon(nullptr, IDI_APPLICATION)) << "the program's own icon";
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(IDI_SKELVANE), RT_GROUP_ICON), nullptr)
        << "the program carries the icon group";
    EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) &&
                (style & WS_MINIMIZEBOX) && (style & WS_MAXIMIZEBOX) && (style & WS_THICKFRAME));

    std::vector<int> ids;
    for (const design::Control& row : design::kMainWindow) {
        SCOPED_TRACE(row.name);
        HWND w = control(row.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(GetParent(w), main());
        const int id = GetDlgCtrlID(w);
        EXPECT_EQ(GetDlgItem(main(), id), w);
        EXPECT_NE(id, IDOK);
        EXPECT_NE(id, IDCANCEL);
        ids.push_back(id);

        const design::TwipsRect twips = design::inClientArea(row);
        const int px = design::kTwipsPerPixel;
        const RECT want{twips.left / px, twips.top / px, (twips.left + twips.width) / px,
                        (twips.top + twips.height) / px};
        EXPECT_EQ(describe(placeOf(w)), describe(want));
        if (row.caption != nullptr) {
            EXPECT_EQ(textOf(w), row.caption);
        }

        using design::Kind;
        const LONG_PTR s = styleOf(w);
        EXPECT_EQ((s & WS_VISIBLE) != 0, std::string(row.name) != "Label3") << "Label3 is unseen";
        const bool edit =
            row.kind == Kind::Box || row.kind == Kind::ReadOnlyBox || row.kind == Kind::Log;
        const bool button = row.kind == Kind::Button || row.kind == Kind::Frame;
        EXPECT_EQ(classOf(w), edit ? "edit" : button ? "button" : "static");
        EXPECT_EQ((s & WS_TABSTOP) != 0,
                  row.kind == Kind::Box || row.kind == Kind::Log || row.kind == Kind::Button);
        if (edit) {
            EXPECT_EQ((s & ES_READONLY) != 0, row.kind != Kind::Box);
            EXPECT_EQ((s & ES_MULTILINE) != 0, row.kind == Kind::Log);
            EXPECT_EQ((s & WS_VSCROLL) != 0, row.kind == Kind::Log);
        }
        if (button) {
            EXPECT_EQ(s & BS_TYPEMASK, row.kind == Kind::Frame ? BS_GROUPBOX : BS_PUSHBUTTON);
        }
        if (row.kind == Kind::Line) {
            EXPECT_EQ(s & SS_TYPEMASK, SS_BLACKRECT);
            continue;  // draws no text, so has no font
        }
        const LOGFONTA font = fontOf(w);
        EXPECT_EQ(font.lfHeight, -11);  // 8 points at 96 dots per inch
        EXPECT_EQ(font.lfWeight >= FW_BOLD, std::string(row.name) == "txtUIN");
        if (row.kind == Kind::Label && row.height == 255) {
            // A one-line caption fits its label, or it would wrap out of sight.
            // Under Wine, which lacks the design face, the window's narrow
            // fallback comes from fonts-dejavu-extra.
            const std::string caption = textOf(w);
            const Drawn drawn = drawnText(w, caption);
            EXPECT_LE(drawn.width, row.width / px) << caption << " in " << drawn.face;
        }
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "ids are unique";

    // The endpoints read from the settings file at the load.
    const std::pair<const char*, const char*> texts[] = {
        {"Text1", "127.0.0.1"}, {"Text2", loginPort_.c_str()}, {"Text3", "127.0.0.1"},
        {"Text4", "1"},         {"Text7", "127.0.0.1"},
    };
    for (const auto& [name, text] : texts) {
        EXPECT_EQ(textOf(control(name)), text) << name;
    }
    const std::string log = textOf(control("txtLOG"));
    EXPECT_EQ(log.rfind(kCaption + "\r\n", 0), 0u) << log;
    EXPECT_NE(log.find(" Started"), std::string::npos) << log;
}

TEST_F(MainWindowTest, GrownWindowGivesTheRoomToTheLogAndThePluginPanelButNoLess) {
    RECT outer{};
    GetWindowRect(main(), &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const auto place = [&](const char* name) { return placeOf(control(name)); };
    const RECT log = place("txtLOG"), frame = place("Frame1"), title = place("labPlug"),
               button = place("Command2"), status = place("Label1");
    SetWindowPos(main(), nullptr, 0, 0, width + 100, height + 80, SWP_NOMOVE | SWP_NOZORDER);
    const auto grown = [](RECT r, int dx, int dy, int dw, int dh) {
        return describe({r.left + dx, r.top + dy, r.right + dx + dw, r.bottom + dy + dh});
    };
    EXPECT_EQ(describe(place("txtLOG")), grown(log, 0, 0, 100, 80));
    EXPECT_EQ(describe(place("Frame1")), grown(frame, 0, 80, 100, 0));
    EXPECT_EQ(describe(place("labPlug")), grown(title, 0, 80, 100, 0));
    EXPECT_EQ(describe(place("Command2")), grown(button, 0, 80, 0, 0));
    EXPECT_EQ(describe(place("Label1")), describe(status));
    EXPECT_FALSE(IsWindowVisible(control("Label3")));

    // The design size is the least.
    SetWindowPos(main(), nullptr, 0, 0, width - 50, height - 50, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(main(), &outer);
    EXPECT_EQ(outer.right - outer.left, width);
    EXPECT_EQ(outer.bottom - outer.top, height);
}

TEST_F(MainWindowTest, PlaceIsSavedAfterTheEndpointsAndComesBackWhereAMonitorShowsIt) {
    const auto ini = dir_.path() / "skelvane.ini";
    RECT outer{};
    GetWindowRect(main(), &outer);
    SetWindowPos(main(), nullptr, 30, 40, outer.right - outer.left + 62,
                 outer.bottom - outer.top + 39, SWP_NOZORDER);
    SendMessageA(main(), WM_CLOSE, 0, 0);
    const std::string place =
        "WindowLeft = 30\r\nWindowTop = 40\r\nWindowWidth = 600\r\n"
        "WindowHeight = 560\r\nMaxSessions = 8\r\n";
    const std::string saved = readFile(ini);
    ASSERT_GT(saved.size(), place.size());
    EXPECT_EQ(saved.substr(saved.size() - place.size()), place) << saved;

    const auto clientSize = [&] {
        RECT client{};
        GetClientRect(main(), &client);
        return std::pair(client.right, client.bottom);
    };
    open(saved);
    GetWindowRect(main(), &outer);
    EXPECT_EQ(std::pair(outer.left, outer.top), std::pair(30L, 40L));
    EXPECT_EQ(clientSize(), std::pair(600L, 560L));
    open(ini_ +
         "WindowLeft=-9000\r\nWindowTop=40\r\nWindowWidth=600\r\n"
         "WindowHeight=560\r\n");
    GetWindowRect(main(), &outer);
    EXPECT_GT(outer.left, -9000) << "off every monitor";
    EXPECT_EQ(clientSize(), std::pair(600L, 560L));
    open(ini_ +
         "WindowLeft=30\r\nWindowTop=40\r\nWindowWidth=6x0\r\n"
         "WindowHeight=560\r\n");
    EXPECT_EQ(clientSize(),
              std::pair(long{design::kClientWidthPixels}, long{design::kClientHeightPixels}));
}

TEST_F(MainWindowTest, TabWalksTheDesignFocusOrder) {
    // Tab passes over a greyed button; here both may act.
    EnableWindow(control("Command1"), TRUE);
    EnableWindow(control("Command3"), TRUE);
    HWND at = GetNextDlgTabItem(main(), nullptr, FALSE);
    for (const char* name : design::kTabOrder) {
        EXPECT_EQ(at, control(name)) << "expected " << name;
        at = GetNextDlgTabItem(main(), at, FALSE);
    }
    EXPECT_EQ(at, control("Text1")) << "the order wraps round";
    EXPECT_EQ(GetNextDlgTabItem(main(), control("Text1"), TRUE), control("Command2"));
}

TEST_F(MainWindowTest, HostLoginAndDisconnectAreEnabledOnlyWhenTheyCanAct) {
    const auto buttons = [&] {
        return std::pair(IsWindowEnabled(control("Command1")) != FALSE,
                         IsWindowEnabled(control("Command3")) != FALSE);
    };
    EXPECT_EQ(buttons(), std::pair(false, true)) << "the first tick is to listen";
    tick();
    EXPECT_EQ(buttons(), std::pair(false, true)) << "listening";
    SetFocus(control("Command3"));
    click("Command3");
    EXPECT_EQ(buttons(), std::pair(true, false)) << "stopped";
    EXPECT_NE(GetFocus(), control("Command3")) << "the focus moved on";
    const std::string log = form_->ctl.txtLOG;
    click("Command3");
    EXPECT_EQ(form_->ctl.txtLOG, log) << "a greyed button does nothing";
    click("Command1");
    EXPECT_EQ(form_->session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(buttons(), std::pair(false, true));
}

TEST_F(MainWindowTest, TickShowsEveryChangedCoreTextAndLeavesTypedBoxesAlone) {
    type("Text3", "login.example");
    ASSERT_TRUE(SendMessageA(control("Text3"), EM_GETMODIFY, 0, 0));
    tick();  // the first tick opens the login listener
    tick();  // the second one shows it in the status list

    const Controls& ctl = form_->ctl;
    EXPECT_EQ(form_->session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_NE(ctl.Label1.find("0  127.0.0.1 : "), std::string::npos) << ctl.Label1;
    const std::pair<const char*, const std::string*> shown[] = {
        {"Label1", &ctl.Label1},   {"Label3", &ctl.Label3},   {"Label13", &ctl.Label13},
        {"Label15", &ctl.Label15}, {"Label16", &ctl.Label16}, {"Label18", &ctl.Label18},
        {"Label11", &ctl.Label11}, {"txtLOG", &ctl.txtLOG},   {"Text1", &ctl.Text1},
        {"Text2", &ctl.Text2},     {"Text3", &ctl.Text3},     {"Text5", &ctl.Text5},
        {"txtUIN", &ctl.txtUIN},   {"labPlug", &ctl.labPlug},
    };
    for (const auto& [name, text] : shown) {
        EXPECT_EQ(textOf(control(name)), *text) << name;
    }
    EXPECT_EQ(ctl.Label13, "0\r\n0\r\n0\r\n0");
    EXPECT_EQ(ctl.Label18, "0\r\n\r\n0");
    EXPECT_NE(lastLogLine().find("Await client-login connect at 127.0.0.1:" + loginPort_),
              std::string::npos);

    // The typed box went into the core and was not written over: a rewrite
    // would have cleared its modified flag (and moved the caret).
    EXPECT_EQ(ctl.Text3, "login.example");
    EXPECT_TRUE(SendMessageA(control("Text3"), EM_GETMODIFY, 0, 0));

    // A text that the core changes between two ticks shows at the next one.
    form_->ctl.Text6 = "chat.example";
    form_->ctl.txtUIN = "123456789";
    tick();
    EXPECT_EQ(textOf(control("Text6")), "chat.example");
    EXPECT_EQ(textOf(control("txtUIN")), "123456789");
}

TEST_F(MainWindowTest, TypedTextsReachTheCoreBeforeEachHandler) {
    tick();
    ASSERT_EQ(form_->session().loginMode, LOGIN_AWAIT_CLIENT);
    click("Command3");
    EXPECT_EQ(form_->session().loginMode, LOGIN_IDLE);
    EXPECT_NE(lastLogLine().find("Listening stopped"), std::string::npos);

    // "Host login" reads Text2 as it stands, without any tick in between.
    SetWindowTextA(control("Text2"), "99999");
    click("Command1");
    EXPECT_NE(lastLogLine().find("The port \"99999\" in \"Host login\""), std::string::npos)
        << lastLogLine();
    EXPECT_EQ(form_->session().loginMode, LOGIN_IDLE);
    // The caption shows the problem until listening works again.
    EXPECT_NE(textOf(main()).find(" - The port \"99999\""), std::string::npos) << textOf(main());

    type("Text2", loginPort_);
    type("Text1", "localhost");
    click("Command1");
    EXPECT_NE(lastLogLine().find("Await client-login connect at localhost:" + loginPort_),
              std::string::npos)
        << lastLogLine();
    EXPECT_EQ(textOf(main()), kCaption);
    EXPECT_EQ(form_->session().loginMode, LOGIN_AWAIT_CLIENT);
}

TEST_F(MainWindowTest, PortBoxesTakeDigitsUpTo65535) {
    for (const char* name : {"Text2", "Text4", "Text8"}) {
        SCOPED_TRACE(name);
        HWND box = control(name);
        type(name, "6a5-5 3 6");
        EXPECT_EQ(textOf(box), "6553") << "letters, signs, spaces and 65536 are refused";
        type(name, "1234567");
        EXPECT_EQ(textOf(box), "12345") << "five digits at most";
        // A paste of anything but digits is taken back.
        SendMessageA(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("x"));
        EXPECT_EQ(textOf(box), "12345");
    }
    // A host box takes any text.
    type("Text1", "a-");
    EXPECT_EQ(textOf(control("Text1")), "a-");
}

TEST_F(MainWindowTest, AboutAndPreferencesButtonsReachTheirHandlers) {
    click("Command4");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text.rfind(kCaption + "\n\n", 0), 0u) << boxes_.shown[0].text;
    EXPECT_NE(boxes_.shown[0].text.find("MIT License"), std::string::npos);
    EXPECT_EQ(boxes_.shown[0].text.find("Qt"), std::string::npos) << "no toolkit on Windows";
    EXPECT_EQ(boxes_.shown[0].title, "Skelvane (beta)");
    EXPECT_EQ(boxes_.shown[0].icon, MessageIcon::Information);

    click("Command2");
    // Then the line that no plug-in could be loaded.
    EXPECT_NE(form_->ctl.txtLOG.find(" Plugin preferences\r\n"), std::string::npos)
        << lastLogLine();
    EXPECT_EQ(textOf(control("txtLOG")), form_->ctl.txtLOG);
}

TEST_F(MainWindowTest, NoTickRunsInsideAHandlersBox) {
    // Before the first tick chatMode still says "ended".
    int chatModeDuringBox = -1;
    boxes_.onShow = [&] {
        // The box's own message loop would deliver the timer meanwhile.
        tick();
        chatModeDuringBox = form_->session().chatMode;
    };
    click("Command4");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(chatModeDuringBox, CHAT_ENDED) << "a tick ran inside the handler";
    boxes_.onShow = nullptr;
    tick();
    EXPECT_EQ(form_->session().loginMode, LOGIN_AWAIT_CLIENT);
}

TEST_F(MainWindowTest, CloseRunsFormUnloadWithTheTypedTextsAndEndsTheLoop) {
    const auto ini = dir_.path() / "skelvane.ini";
    type("Text1", "localhost");
    type("Text8", "6001");
    SendMessageA(main(), WM_CLOSE, 0, 0);

    EXPECT_FALSE(IsWindow(main()));
    EXPECT_EQ(readFile(ini).rfind("HostLoginIP = localhost\r\nHostLoginPort = " + loginPort_ +
                                      "\r\nServerLoginIP = 127.0.0.1\r\n"
                                      "ServerLoginPort = 1\r\nHostChatIP = 127.0.0.1\r\n"
                                      "HostChatPort = 6001\r\nWindowLeft = ",
                                  0),
              0u)
        << readFile(ini);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no quit message";
}

TEST_F(MainWindowTest, CloseDuringAMessageBoxWaitsForTheHandler) {
    const auto ini = dir_.path() / "skelvane.ini";
    std::filesystem::remove(ini);
    bool windowDuringBox = false;
    bool savedDuringBox = true;
    boxes_.onShow = [&] {
        SendMessageA(main(), WM_CLOSE, 0, 0);
        windowDuringBox = IsWindow(main()) != FALSE;
        savedDuringBox = std::filesystem::exists(ini);
    };
    HWND window = main();
    click("Command4");
    EXPECT_TRUE(windowDuringBox);
    EXPECT_FALSE(savedDuringBox);
    EXPECT_FALSE(IsWindow(window)) << "the close came after the box";
    EXPECT_TRUE(std::filesystem::exists(ini));
}

TEST_F(MainWindowTest, LogBoxKeepsItsLastLineInView) {
    tick();
    for (int i = 0; i < 20; ++i) {
        click("Command3");
        click("Command1");
    }
    HWND log = control("txtLOG");
    EXPECT_EQ(textOf(log), form_->ctl.txtLOG);
    RECT view{};
    SendMessageA(log, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&view));
    const auto length = static_cast<WPARAM>(GetWindowTextLengthA(log));
    const LRESULT last = SendMessageA(log, EM_POSFROMCHAR, length - 1, 0);
    const LRESULT first = SendMessageA(log, EM_POSFROMCHAR, 0, 0);
    const int lastY = static_cast<short>(HIWORD(last));
    EXPECT_GE(lastY, view.top);
    EXPECT_LT(lastY, view.bottom);
    EXPECT_LT(static_cast<short>(HIWORD(first)), view.top) << "the first lines scrolled away";
    EXPECT_GT(SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

// A session between the test's peers through the window with the real
// message boxes, carried by socket messages alone: once the first tick has
// opened the login listener the window's timer stops, and the fake clock
// stands still.
class MainWindowSessionTest : public MainWindowTest {
  protected:
    MainWindowSessionTest() : MainWindowTest(true) {
        type("Text4", std::to_string(loginServer_.port));
        type("Text8", std::to_string(chatPort_));
        tick();
        KillTimer(main(), MainWindow::kTimerId);
    }

    // Dispatches this thread's messages until `done` holds; false when it
    // did not within `patienceMs`.
    static bool pumpUntil(const std::function<bool()>& done, DWORD patienceMs = 5000) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start >= patienceMs) {
                return false;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        return true;
    }
    // The next `count` whole frames that reach `peer`.
    static std::vector<ByteVec> framesAt(Peer& peer, std::size_t count) {
        std::vector<ByteVec> got;
        pumpUntil([&] {
            for (ByteVec& f : peer.takeFrames()) {
                got.push_back(std::move(f));
            }
            return got.size() >= count;
        });
        return got;
    }

    // The client signs on, follows the rewritten redirect, and the chat
    // session is up between client() and server().
    void signOnAndChat() {
        std::string ip;
        std::uint16_t port = 0;
        ASSERT_EQ(Sok_name(form_->loginListener, ip, port), 0);
        Peer login = *connectTo(port);
        ASSERT_TRUE(pumpUntil([&] { return form_->session().loginMode == LOGIN_RELAY; }));
        std::optional<Peer> upstream = loginServer_.accept(kWaitMs);
        ASSERT_TRUE(upstream.has_value());
        const std::string uin = "123456789";
        login.send(flap(2, 0x0102, snac(0x17, 0x06, concat({tlv(1, uin), tlv(2, "pw")}))));
        ASSERT_EQ(framesAt(*upstream, 1).size(), 1u);
        const std::string chatAt = "127.0.0.1:" + std::to_string(chatServer_.port);
        upstream->send(flap(2, 0x7001, snac(0x17, 0x03, concat({tlv(1, uin), tlv(5, chatAt)}))));
        const std::vector<ByteVec> reply = framesAt(login, 1);
        ASSERT_EQ(reply.size(), 1u);
        const std::string proxyAt = "127.0.0.1:" + std::to_string(chatPort_);
        EXPECT_NE(std::string(reply[0].begin(), reply[0].end()).find(proxyAt), std::string::npos);
        upstream->close();
        ASSERT_TRUE(pumpUntil([&] { return form_->session().loginMode == LOGIN_IDLE; }));
        ASSERT_EQ(form_->session().chatMode, CHAT_AWAIT_CLIENT);

        chatClient_.emplace(*connectTo(chatPort_));
        ASSERT_TRUE(pumpUntil([&] { return form_->session().chatMode == CHAT_RELAY; }));
        chatServerEnd_ = chatServer_.accept(kWaitMs);
        ASSERT_TRUE(chatServerEnd_.has_value());
    }
    Peer& client() { return *chatClient_; }
    Peer& server() { return *chatServerEnd_; }

    TestListener loginServer_;
    TestListener chatServer_;
    std::uint16_t chatPort_ = freePort();
    std::optional<Peer> chatClient_;
    std::optional<Peer> chatServerEnd_;
};

// Calls `step` from a thread timer every 10 ms, in whichever message loop
// runs (a message box's own, too), while the object lives.
class EveryTenMs {
  public:
    explicit EveryTenMs(std::function<void()> step) : id_(SetTimer(nullptr, 0, 10, &fire)) {
        step_ = std::move(step);
    }
    ~EveryTenMs() {
        KillTimer(nullptr, id_);
        step_ = nullptr;
    }
    EveryTenMs(const EveryTenMs&) = delete;
    EveryTenMs& operator=(const EveryTenMs&) = delete;

  private:
    static void CALLBACK fire(HWND, UINT, UINT_PTR, DWORD) {
        if (step_) {
            step_();
        }
    }
    static inline std::function<void()> step_;
    UINT_PTR id_;
};

BOOL CALLBACK addText(HWND child, LPARAM texts) {
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(textOf(child));
    return TRUE;
}
std::vector<std::string> childTexts(HWND window) {
    std::vector<std::string> texts;
    EnumChildWindows(window, &addText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

TEST_F(MainWindowSessionTest, SocketMessagesAloneCarryASessionAndAStalledClientLosesNothing) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    const ByteVec up = flap(2, 0x0101, snac(4, 6, tlv(1, "up")));
    client().send(up);
    EXPECT_EQ(framesAt(server(), 1), std::vector<ByteVec>{withSeq(up, 0x4000)});
    const ByteVec down = flap(2, 0x0202, snac(4, 7, tlv(1, "down")));
    server().send(down);
    EXPECT_EQ(framesAt(client(), 1), std::vector<ByteVec>{withSeq(down, 0x2000)});

    // The client reads nothing while the server sends far more than the
    // sockets hold: the proxy fills its queue toward the client and stops
    // reading the server, while the client's frames still go up.
    ByteVec burst;
    ByteVec expected;
    for (std::uint16_t i = 0; burst.size() < 6 * OUT_QUEUE_BOUND; ++i) {
        const ByteVec frame = flap(2, i, ByteVec(60000, static_cast<std::uint8_t>(i)));
        const ByteVec stamped = withSeq(frame, static_cast<std::uint16_t>(0x2001 + i));
        burst.insert(burst.end(), frame.begin(), frame.end());
        expected.insert(expected.end(), stamped.begin(), stamped.end());
    }
    std::size_t offered = 0;
    const auto offer = [&] { offered += server().offer(std::span(burst).subspan(offered)); };
    ASSERT_TRUE(pumpUntil([&] {
        offer();
        return form_->session().links[SLOT_CLIENT_CHAT].out.size() >= OUT_QUEUE_BOUND;
    }));
    const ByteVec upAgain = flap(2, 0x0303, snac(1, 2, {}));
    client().send(upAgain);
    EXPECT_EQ(framesAt(server(), 1), std::vector<ByteVec>{withSeq(upAgain, 0x4001)});

    // Once the client reads, Windows' reports of room to send move the rest:
    // every frame arrives whole, in order and renumbered.
    ASSERT_TRUE(pumpUntil(
        [&] {
            offer();
            client().poll();
            return client().received.size() >= expected.size();
        },
        60000))
        << client().received.size() << " of " << expected.size() << " bytes";
    const auto differ = std::mismatch(client().received.begin(), client().received.end(),
                                      expected.begin(), expected.end());
    EXPECT_EQ(differ.first - client().received.begin(), static_cast<long>(expected.size()))
        << "bytes alike before the first difference";

    client().close();
    ASSERT_TRUE(pumpUntil([&] {
        server().poll();
        return server().closedByPeer;
    }));
    EXPECT_EQ(form_->session().chatMode, CHAT_ENDED);
    EXPECT_TRUE(logHas("Client-chat disconnected"));
    EXPECT_FALSE(logHas("Failed to transmit"));
}

// The session chooser lies clear of every designed control and shows only
// while two sessions run; choosing the second shows its UIN, and when it
// ends the first is shown again and the focus has left the chooser.
TEST_F(MainWindowSessionTest, SessionChooserShowsWhileSessionsRunSideBySide) {
    HWND chooser = control("cboSession");
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(classOf(chooser), "combobox");
    for (const design::Control& row : design::kMainWindow) {
        RECT overlap{};
        const RECT a = placeOf(chooser);
        const RECT b = placeOf(control(row.name));
        EXPECT_FALSE(IntersectRect(&overlap, &a, &b)) << row.name << " under " << describe(a);
    }
    std::string ip;
    std::uint16_t port = 0;
    ASSERT_EQ(Sok_name(form_->loginListener, ip, port), 0);
    std::vector<Peer> clients;
    std::vector<Peer> servers;
    for (const char* uin : {"111", "222"}) {
        EXPECT_FALSE(IsWindowVisible(chooser)) << "one session or none";
        clients.push_back(*connectTo(port));
        const int i = form_->running();
        ASSERT_TRUE(pumpUntil([&] {
            return form_->running() > i && form_->runningSession(i).loginMode == LOGIN_RELAY;
        }));
        servers.push_back(*loginServer_.accept(kWaitMs));
        clients.back().send(flap(2, 1, snac(0x17, 0x06, concat({tlv(1, uin), tlv(2, "pw")}))));
        ASSERT_TRUE(pumpUntil([&] { return form_->runningSession(i).ownUin != 0; }));
        tick();
    }
    ASSERT_TRUE(IsWindowVisible(chooser));
    EXPECT_EQ(SendMessageA(chooser, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(textOf(chooser), "111");
    EXPECT_EQ(textOf(control("txtUIN")), "111");
    SetFocus(chooser);
    SendMessageA(chooser, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(form_->ctl.cboSessionChosen, 1);
    EXPECT_EQ(textOf(control("txtUIN")), "222");

    servers[1].close();
    ASSERT_TRUE(pumpUntil([&] { return form_->running() == 1; }));
    tick();
    EXPECT_FALSE(IsWindowVisible(chooser));
    HWND focus = GetFocus();
    EXPECT_TRUE(focus != chooser && IsChild(main(), focus) && IsWindowVisible(focus))
        << "the keyboard keeps a control to work in";
    EXPECT_EQ(textOf(control("txtUIN")), "111");
}

TEST_F(MainWindowSessionTest, ServerThatNeverLetsUpHoldsBackNoTimer) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    // One message at a time, the server offers all it can and the client
    // reads all it got: the proxy's socket is ready whenever the queue is
    // looked at, so a socket message always waits there.
    const ByteVec frame = flap(2, 0, ByteVec(60000, 1));
    std::vector<std::uint8_t> sink(std::size_t{1} << 18);
    std::size_t at = 0;
    std::size_t got = 0;
    // Timer calls with bytes relayed since the one before: the timer comes,
    // and the relay goes on after it.
    int fired = 0;
    std::size_t gotBefore = 0;
    const EveryTenMs other([&] {
        fired += got > gotBefore ? 1 : 0;
        gotBefore = got;
    });
    const DWORD start = GetTickCount();
    while (fired < 3 && got < (std::size_t{512} << 20) && GetTickCount() - start < 30000) {
        for (std::size_t n = 1; n > 0; at = (at + n) % frame.size()) {
            n = server().offer(std::span(frame).subspan(at));
        }
        for (long n = 1; n > 0; got += static_cast<std::size_t>(std::max(n, 0L))) {
            n = testnet::receiveSome(client().fd(), sink.data(), sink.size());
        }
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    EXPECT_GE(fired, 3) << "the timer came " << fired << " times while " << (got >> 20)
                        << " MiB went through";
    EXPECT_EQ(form_->session().chatMode, CHAT_RELAY);
}

TEST_F(MainWindowSessionTest, RelayGoesOnInsideThePostedMessageBoxUntilItIsDismissed) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    const ByteVec up = flap(2, 0x0101, snac(4, 6, tlv(1, "up")));
    const ByteVec down = flap(2, 0x0202, snac(4, 7, tlv(1, "down")));
    std::vector<std::string> boxTexts;
    std::vector<ByteVec> gotUp;
    std::vector<ByteVec> gotDown;
    bool dismissed = false;
    const DWORD start = GetTickCount();
    // Inside the box's loop: both directions relayed, then OK is pressed.
    const EveryTenMs player([&] {
        HWND box = FindWindowExA(nullptr, nullptr, "#32770", APP_TITLE);
        if (box == nullptr || dismissed) {
            return;
        }
        if (boxTexts.empty()) {
            boxTexts = childTexts(box);
            EXPECT_EQ(GetWindow(box, GW_OWNER), main());
            EXPECT_FALSE(IsWindowEnabled(main()));
            client().send(up);
            server().send(down);
        }
        for (ByteVec& f : server().takeFrames()) {
            gotUp.push_back(std::move(f));
        }
        for (ByteVec& f : client().takeFrames()) {
            gotDown.push_back(std::move(f));
        }
        if ((gotUp.size() == 1 && gotDown.size() == 1) || GetTickCount() - start > 5000) {
            dismissed = true;
            SendMessageA(box, WM_COMMAND, IDOK, 0);
        }
    });
    click("Command4");  // "About" while a session runs
    EXPECT_TRUE(boxTexts.empty()) << "the box came up inside the handler";
    ASSERT_TRUE(pumpUntil([&] { return dismissed; }));
    EXPECT_TRUE(std::any_of(boxTexts.begin(), boxTexts.end(),
                            [](const std::string& text) { return text.rfind(kCaption, 0) == 0; }));
    EXPECT_EQ(gotUp, std::vector<ByteVec>{withSeq(up, 0x4000)});
    EXPECT_EQ(gotDown, std::vector<ByteVec>{withSeq(down, 0x2000)});
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, "#32770", APP_TITLE), nullptr);
    EXPECT_TRUE(IsWindowEnabled(main()));
    EXPECT_EQ(form_->session().chatMode, CHAT_RELAY);
}

}  // namespace
