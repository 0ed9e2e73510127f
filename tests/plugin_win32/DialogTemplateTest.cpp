// The two dialogs as the library's templates make them: controls in tab
// order with their ids, classes, texts, styles and places in dialog units,
// the dialogs' fonts, sizes and frames.
#include <vector>

#include "tests/plugin_win32/PluginDll.h"

namespace {

struct Control {
    int id;
    const char* className;
    const char* text;  // null: not compared
    RECT units;        // left, top, width, height in dialog units
    LONG styleMask;
    LONG style;
};

constexpr LONG kTypeMask = 0x0F;  // BS_TYPEMASK, SS_TYPEMASK's low part

// Template 101, in template (tab) order, filled with the default settings.
const std::vector<Control> kOptionsControls = {
    {IDOK,
     "Button",
     "OK",
     {125, 60, 50, 14},
     kTypeMask | WS_TABSTOP,
     BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDCANCEL,
     "Button",
     "Cancel",
     {125, 79, 50, 14},
     kTypeMask | WS_TABSTOP,
     BS_PUSHBUTTON | WS_TABSTOP},
    {1000,
     "Button",
     "Log into file",
     {7, 84, 62, 9},
     kTypeMask | WS_TABSTOP,
     BS_AUTOCHECKBOX | WS_TABSTOP},
    {1001,
     "ComboBox",
     nullptr,
     {7, 65, 105, 45},
     0x3 | WS_TABSTOP,  // its WS_VSCROLL goes to the open list
     CBS_DROPDOWNLIST | WS_TABSTOP},
    {-1, "Static", "Notification type:", {7, 55, 90, 8}, kTypeMask, SS_LEFT},
    {1002,
     "Edit",
     "1",
     {63, 7, 49, 12},
     ES_RIGHT | ES_AUTOHSCROLL | ES_MULTILINE | WS_TABSTOP,
     ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP},
    {-1, "Static", "Timer interval:", {7, 7, 55, 10}, kTypeMask, SS_LEFT},
    {1004,
     "Edit",
     "5",
     {63, 22, 49, 12},
     ES_RIGHT | ES_AUTOHSCROLL | ES_MULTILINE | WS_TABSTOP,
     ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP},
    {-1, "Static", "Waiting ack:", {7, 22, 55, 10}, kTypeMask, SS_LEFT},
    {1005,
     "Edit",
     "10",
     {63, 37, 49, 12},
     ES_RIGHT | ES_AUTOHSCROLL | ES_MULTILINE | WS_TABSTOP,
     ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP},
    {-1, "Static", "Removing after:", {7, 37, 55, 10}, kTypeMask, SS_LEFT},
    {1003,
     "Button",
     "Show Log",
     {125, 7, 50, 15},
     kTypeMask | WS_TABSTOP,
     BS_PUSHBUTTON | WS_TABSTOP},
    {-1, "Static", "s", {114, 8, 9, 10}, kTypeMask, SS_LEFT},
    {-1, "Static", "s", {114, 22, 9, 10}, kTypeMask, SS_LEFT},
    {-1, "Static", "s", {114, 37, 9, 10}, kTypeMask, SS_LEFT},
};

// Template 102, right after EVENT_INIT. The list box's border and vertical
// scroll bar are checked apart: the dialog manager turns a control's border
// into a sunken edge, and the bar shows only once the lines overflow.
const std::vector<Control> kLogControls = {
    {-1, "Static", "Msg processed:", {5, 0, 60, 8}, kTypeMask, SS_LEFT},
    {1004, "Static", "0", {65, 0, 25, 10}, kTypeMask, SS_LEFT},
    {-1, "Static", "Msg waiting: ", {95, 0, 50, 8}, kTypeMask, SS_LEFT},
    {1005, "Static", "0", {145, 0, 25, 10}, kTypeMask, SS_LEFT},
    {1001,
     "ListBox",
     nullptr,
     {0, 10, 215, 115},
     LBS_SORT | LBS_NOINTEGRALHEIGHT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | WS_HSCROLL,
     LBS_NOINTEGRALHEIGHT},
};

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
void expectControls(HWND dialog, const std::vector<Control>& expected) {
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const Control& want : expected) {
        ASSERT_NE(child, nullptr) << "missing control " << want.id;
        SCOPED_TRACE(std::string("control ") + std::to_string(want.id) + " " + want.className +
                     " " + (want.text ? want.text : ""));
        EXPECT_EQ(GetDlgCtrlID(child), want.id);
        EXPECT_EQ(className(child), want.className);
        if (want.text != nullptr) {
            EXPECT_EQ(windowText(child), want.text);
        }
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        EXPECT_EQ(style & want.styleMask, want.style);
        EXPECT_TRUE(style & WS_VISIBLE);
        const RECT place = placeInDialog(dialog, child);
        const RECT units = dialogUnits(dialog, want.units);
        if (want.className == std::string("ComboBox")) {
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

// The frame of both templates, their font and their client size.
void expectFrame(HWND dialog, const char* face, int points, int widthUnits, int heightUnits) {
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
    EXPECT_STREQ(font.lfFaceName, face);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_TRUE(sameRect(client, dialogUnits(dialog, {0, 0, widthUnits, heightUnits})));
}

using DialogTemplateTest = PluginDllTest;

TEST_F(DialogTemplateTest, OptionsWindowIsTemplate101FilledWithTheSettings) {
    init();
    preferences();
    const HWND dialog = optionsWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(className(dialog), "#32770");
    EXPECT_TRUE(IsWindowVisible(dialog));
    expectFrame(dialog, "MS Sans Serif", 8, 182, 100);
    expectControls(dialog, kOptionsControls);

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
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(className(dialog), "#32770");
    EXPECT_FALSE(IsWindowVisible(dialog));
    expectFrame(dialog, "Courier New", 9, 215, 125);
    expectControls(dialog, kLogControls);

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
    char text[100] = {};
    GetDlgItemTextA(dialog, 1002, text, sizeof text);
    EXPECT_STREQ(text, "1.500");
    GetDlgItemTextA(dialog, 1004, text, sizeof text);
    EXPECT_STREQ(text, "2.500");
    GetDlgItemTextA(dialog, 1005, text, sizeof text);
    EXPECT_STREQ(text, "60");
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1001, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1000), BST_UNCHECKED);
}

}  // namespace
