// The main window as designed, for the Qt and the Win32 window tests alike
// (no toolkit here): each control's kind, its rectangle in twips (15 to a
// pixel) within the client area or, for the two inside Frame1, within the
// frame, and its caption right after the load (null where the core fills it
// in); the client area's size (the window's size at first and its least);
// the order in which Tab visits the controls.
#pragma once

#include <string_view>

namespace design {

enum class Kind { Label, Box, ReadOnlyBox, Log, Button, Frame, Line };

struct Control {
    const char* name;
    Kind kind;
    int left, top, width, height;
    const char* caption;
    bool inFrame1 = false;
};

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kClientWidthPixels = 538;
inline constexpr int kClientHeightPixels = 521;

using K = Kind;
inline constexpr Control kMainWindow[] = {
    {"Label22", K::Label, 1680, 120, 1095, 255, "Hostname:"},
    {"Label23", K::Label, 3120, 120, 1095, 255, "Port:"},
    {"Label4", K::Label, 120, 405, 1335, 255, "Host login:"},
    {"Text1", K::Box, 1560, 360, 1335, 375, nullptr},
    {"Text2", K::Box, 3000, 360, 1335, 375, nullptr},
    {"Label5", K::Label, 120, 885, 1335, 255, "ICQ login server:"},
    {"Text3", K::Box, 1560, 840, 1335, 375, nullptr},
    {"Text4", K::Box, 3000, 840, 1335, 375, nullptr},
    {"Label6", K::Label, 120, 1365, 1335, 255, "Host chat:"},
    {"Text7", K::Box, 1560, 1320, 1335, 375, nullptr},
    {"Text8", K::Box, 3000, 1320, 1335, 375, nullptr},
    {"Label2", K::Label, 120, 1965, 1335, 255, "ICQ chat server:"},
    {"Text6", K::ReadOnlyBox, 1560, 1920, 1335, 375, ""},
    {"Text5", K::ReadOnlyBox, 3000, 1920, 1335, 375, "5190"},
    {"Command1", K::Button, 4440, 360, 1215, 375, "Host login"},
    {"Command3", K::Button, 4440, 840, 1215, 375, "Disconnect"},
    {"Command4", K::Button, 4440, 1320, 1215, 375, "About"},
    {"Label20", K::Label, 5760, 120, 2055, 255, "Sockets IP/port status"},
    {"Label1", K::Label, 5760, 360, 2055, 1215, "Label1"},
    {"Label3", K::Label, 8760, 600, 1935, 1455, nullptr},
    {"Label21", K::Label, 4560, 1965, 975, 255, "User UIN:"},
    {"txtUIN", K::ReadOnlyBox, 5760, 1920, 1335, 375, ""},
    {"Line1", K::Line, 120, 1800, 7800, 15, nullptr},
    {"Label8", K::Label, 120, 2460, 1215, 255, "Direction"},
    {"Label7", K::Label, 1560, 2460, 1215, 255, "Bytes"},
    {"Label9", K::Label, 2880, 2460, 975, 255, "Datagramms"},
    {"Label10", K::Label, 3960, 2460, 975, 255, "Packets"},
    {"Label12", K::Label, 5040, 2460, 975, 255, "Skipped"},
    {"Label17", K::Label, 6120, 2460, 975, 255, "Generated"},
    {"Label14", K::Label, 120, 2760, 1215, 855,
     "From Server\r\nTo Client\r\nFrom Client\r\nTo Server"},
    {"Label13", K::Label, 1560, 2760, 1215, 855, nullptr},
    {"Label15", K::Label, 2880, 2760, 975, 855, nullptr},
    {"Label16", K::Label, 3960, 2760, 975, 855, nullptr},
    {"Label18", K::Label, 5040, 2760, 975, 855, nullptr},
    {"Label11", K::Label, 6120, 2760, 975, 855, nullptr},
    {"txtLOG", K::Log, 120, 3720, 7815, 2415, nullptr},
    {"Frame1", K::Frame, 120, 6240, 7815, 1455, "Plugin"},
    {"labPlug", K::Label, 120, 360, 7575, 255, "", true},
    {"Command2", K::Button, 120, 720, 1335, 495, "Preferences", true},
};

// Row by row; the read-only boxes take no part.
inline constexpr const char* kTabOrder[] = {
    "Text1", "Text2", "Command1", "Text3",  "Text4",    "Command3",
    "Text7", "Text8", "Command4", "txtLOG", "Command2",
};

// A control's rectangle in twips within the client area.
struct TwipsRect {
    int left, top, width, height;
};
inline constexpr TwipsRect inClientArea(const Control& c) {
    TwipsRect r{c.left, c.top, c.width, c.height};
    for (const Control& frame : kMainWindow) {
        if (c.inFrame1 && std::string_view(frame.name) == "Frame1") {
            r.left += frame.left;
            r.top += frame.top;
        }
    }
    return r;
}

}  // namespace design
