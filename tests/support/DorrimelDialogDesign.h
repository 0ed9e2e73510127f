// Dorrimel's two dialogs as designed, for the Qt and the Win32 window tests
// alike (no toolkit here): each dialog's font and client size in dialog
// units, and its controls in template order (which is also the order Tab
// visits all but the labels) with their ids (-1 for none), kinds, captions
// (null where the settings fill them in), places in dialog units and the
// object names the Qt dialogs give them.
#pragma once

#include <span>

namespace dialogs {

enum class Kind { DefaultButton, Button, CheckBox, DropDownList, Label, Edit, ListBox };

struct Control {
    int id;
    Kind kind;
    const char* caption;
    int x, y, width, height;
    const char* qtName;
};

struct Design {
    const char* face;
    int points;
    int width, height;
    std::span<const Control> controls;
};

using K = Kind;

// Template 101.
inline constexpr Control kOptionsControls[] = {
    {1, K::DefaultButton, "OK", 125, 60, 50, 14, "buttonOk"},
    {2, K::Button, "Cancel", 125, 79, 50, 14, "buttonCancel"},
    {1000, K::CheckBox, "Log into file", 7, 84, 62, 9, "check1000"},
    {1001, K::DropDownList, nullptr, 7, 65, 105, 45, "list1001"},
    {-1, K::Label, "Notification type:", 7, 55, 90, 8, "labelNotificationType"},
    {1002, K::Edit, nullptr, 63, 7, 49, 12, "edit1002"},
    {-1, K::Label, "Timer interval:", 7, 7, 55, 10, "labelTimerInterval"},
    {1004, K::Edit, nullptr, 63, 22, 49, 12, "edit1004"},
    {-1, K::Label, "Waiting ack:", 7, 22, 55, 10, "labelWaitingAck"},
    {1005, K::Edit, nullptr, 63, 37, 49, 12, "edit1005"},
    {-1, K::Label, "Removing after:", 7, 37, 55, 10, "labelRemovingAfter"},
    {1003, K::Button, "Show Log", 125, 7, 50, 15, "button1003"},
    {-1, K::Label, "s", 114, 8, 9, 10, "labelTimerUnit"},
    {-1, K::Label, "s", 114, 22, 9, 10, "labelWaitingUnit"},
    {-1, K::Label, "s", 114, 37, 9, 10, "labelRemovingUnit"},
};
inline constexpr Design kOptions{"MS Sans Serif", 8, 182, 100, kOptionsControls};

// Template 102, as it is created: both counters at "0".
inline constexpr Control kLogControls[] = {
    {-1, K::Label, "Msg processed:", 5, 0, 60, 8, "labelProcessed"},
    {1004, K::Label, "0", 65, 0, 25, 10, "label1004"},
    {-1, K::Label, "Msg waiting: ", 95, 0, 50, 8, "labelWaiting"},
    {1005, K::Label, "0", 145, 0, 25, 10, "label1005"},
    {1001, K::ListBox, nullptr, 0, 10, 215, 115, "list1001"},
};
inline constexpr Design kLog{"Courier New", 9, 215, 125, kLogControls};

}  // namespace dialogs
