// The two dialogs as the library's templates make them: controls in tab
// order with their ids, classes, texts, styles and places in dialog units,
// the dialogs' fonts, sizes and frames.
#include <initializer_list>
#include <utility>

#include "tests/plugin_win32/PluginDll.h"
#include "tests/support/DorrimelDialogDesign.h"

namespace {

// A control's window class and the style bits that say its kind: a mask and
// the bits expected within it.
struct Win32Kind {
    const char* className;
    LONG styleMask;
    LONG style;
};

Win32Kind win32Kind(dialogs::Kind kind) {
    constexpr LONG kTypeMask = 0x0F;  // BS_TYPEMASK, SS_TYPEMASK's low part
    constexpr LONG kButton = kTypeMask | WS_TABSTOP;
    switch (kind) {
        case dialogs::Kind::DefaultButton:
            return {"Button", kButton, BS_DEFPUSHBUTTON | WS_TABSTOP};
        case dialogs::Kind::Button:
            return {"Button", kButton, BS_PUSHBUTTON | WS_TABSTOP};
        case dialogs::Kind::CheckBox:
            return {"Button", kButton, BS_AUTOCHECKBOX | WS_TABSTOP};
        case dialogs::Kind::DropDownList:  // its WS_VSCROLL goes to the open list
            return {"ComboBox", 0x3 | WS_TABSTOP, CBS_DROPDOWNLIST | WS_TABSTOP};
        case dialogs::Kind::Label:
            return {"Static", kTypeMask, SS_LEFT};
        case dialogs::Kind::Edit:
            return {"Edit", ES_RIGHT | ES_AUTOHSCROLL | ES_MULTILINE | WS_TABSTOP,
                    ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP};
        case dialogs::Kind::ListBox:
            // The border and the vertical scroll bar are checked apart: the
            // dialog manager turns a control's border into a sunken edge, and
            // the bar shows only once the lines overflow.
            return {
                "ListBox",
                LBS_SORT | LBS_NOINTEGRALHEIGHT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | WS_HSCROLL,
                LBS_NOINTEGRALHEIGHT};
    }
    return {"", 0, 0};
}

// Where the dialog manager puts a control: origin and size are converted
// separately.
RECT dialogUnits(HWND dialog, const RECT& units) {
    RECT origin{units.left, units.top, 0, 0};
    RECT size{0, 0, units.right, units.bottom};
    MapDialogRect(dialog, &origin);
    MapDialogRect(dialog, &size);
    return {origin.left, origin.top, origin.left + size.right, origin.top + size.bottom};
}

RECT placeInDialog(HWND dialog, HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

::testing::AssertionResult sameRect(const RECT& actual, const RECT& expected) {
    if (EqualRect(&actual, &expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "(" << actual.left << "," << actual.top << ")-(" << actual.right << ","
           << actual.bottom << ") instead of (" << expected.left << "," << expected.top << ")-("
           << expected.right << "," << expected.bottom << ")";
}

// The children of dialog in z-order, which is the template's order.
void expectControls(HWND dialog, const dialogs::Design& design) {
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const dialogs::Control& want : design.controls) {
        ASSERT_NE(child, nullptr) << "missing control " << want.id;
        const Win32Kind kind = win32Kind(want.kind);
        SCOPED_TRACE(std::string("control ") + std::to_string(want.id) + " " + kind.className +
                     " " + (want.caption ? want.caption : ""));
        EXPECT_EQ(GetDlgCtrlID(child), want.id);
        EXPECT_EQ(className(child), kind.className);
        if (want.caption != nullptr) {
            EXPECT_EQ(windowText(child), want.caption);
        }
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        EXPECT_EQ(style & kind.styleMask, kind.style);
        EXPECT_TRUE(style & WS_VISIBLE);
        const RECT place = placeInDialog(dialog, child);
        const RECT units = dialogUnits(dialog, {want.x, want.y, want.width, want.height});
        if (want.kind == dialogs::Kind::DropDownList) {
            // A drop-down list is as high as its field; the template's height
            // is that of the open list.
            EXPECT_TRUE(sameRect({place.left, place.top, place.right, place.top},
                                 {units.left, units.top, units.right, units.top}));
            RECT open{};
            SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&open));
            MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&open), 2);
            EXPECT_GT(open.bottom, place.bottom);
        } else {
            EXPECT_TRUE(sameRect(place, units));
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template holds";
}

// A dialog window with the frame of both templates, the design's font and
// client size, and its controls.
void expectDialog(HWND dialog, const dialogs::Design& design, bool visible) {
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(className(dialog), "#32770");
    EXPECT_EQ(IsWindowVisible(dialog) != FALSE, visible);
    expectControls(dialog, design);
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    const LONG frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(style & frame, frame);
    EXPECT_EQ(style & (WS_CHILD | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    EXPECT_EQ(GetParent(dialog), nullptr);

    LOGFONTA font{};
    const auto fontHandle = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(fontHandle, nullptr);
    ASSERT_NE(GetObjectA(fontHandle, sizeof font, &font), 0);
    EXPECT_STREQ(font.lfFaceName, design.face);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(design.points, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_TRUE(sameRect(client, dialogUnits(dialog, {0, 0, design.width, design.height})));
}

// The edits' texts, by control id.
void expectEdits(HWND dialog, std::initializer_list<std::pair<int, const char*>> texts) {
    for (const auto& [id, text] : texts) {
        char shown[100] = {};
        GetDlgItemTextA(dialog, id, shown, sizeof shown);
        EXPECT_STREQ(shown, text) << id;
    }
}

using DialogTemplateTest = PluginDllTest;

TEST_F(DialogTemplateTest, OptionsWindowIsTemplate101FilledWithTheSettings) {
    init();
    preferences();
    const HWND dialog = optionsWindow();
    ASSERT_NO_FATAL_FAILURE(expectDialog(dialog, dialogs::kOptions, true));
    expectEdits(dialog, {{1002, "1"}, {1004, "5"}, {1005, "10"}});  // the default settings

    const HWND list = GetDlgItem(dialog, 1001);
    const char* names[] = {"Message from recipient", "Offline message from recipient",
                           "Message from Mirabilis", "Message from UIN=2"};
    ASSERT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 4);
    for (int i = 0; i < 4; ++i) {
        char text[64] = {};
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, names[i]);
    }
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1000), BST_CHECKED);
}

TEST_F(DialogTemplateTest, LogWindowIsTemplate102CreatedHidden) {
    init();
    const HWND dialog = logWindow();
    ASSERT_NO_FATAL_FAILURE(expectDialog(dialog, dialogs::kLog, false));

    const HWND list = GetDlgItem(dialog, 1001);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE((GetWindowLongA(list, GWL_STYLE) & WS_BORDER) != 0 ||
                (GetWindowLongA(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0);
    for (std::uint8_t i = 0; i < 30; ++i) {
        send(messageEvent(std::to_string(1000 + i), static_cast<std::uint8_t>(8 * i)));
    }
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 30);
    EXPECT_NE(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL, 0);
}

TEST_F(DialogTemplateTest, SettingsFromTheFileShowInTheOptionsWindow) {
    writeFile("dorrimel.ini",
              "TimerInterval = 1500\nWaitTimeout = 2500\nRemoveTimeout = 60000\n"
              "NotifyType = 9\nLogFile = 0");
    init();
    preferences();
    const HWND dialog = optionsWindow();
    ASSERT_NE(dialog, nullptr);
    expectEdits(dialog, {{1002, "1.500"}, {1004, "2.500"}, {1005, "60"}});
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1001, CB_GETCURSEL, 0, 0), 0) << "9 gives the default";
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1000), BST_UNCHECKED);
}

}  // namespace
