#include "proxy/ui/common/ControlTable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

using K = ControlKind;
using C = Controls;

constexpr int kFirstControlId = 100;

struct ButtonHandler {
    const char* name;
    ClickHandler handler;
};
constexpr ButtonHandler kButtons[] = {
    {"Command1", [](Form1& form) { form.Command1_Click(); }},
    {"Command3", [](Form1& form) { form.Command3_Click(); }},
    {"Command4", [](Form1& form) { form.Command4_Click(); }},
    {"Command2", [](Form1& form) { form.Command2_Click(); }},
};

// Sized by its rows: a row taken out shrinks the table, never pads it.
const auto kTable = std::to_array<ControlDesign>({
    // Focus order, row by row: the session chooser (above "Host login",
    // clear of every designed control, and shown only while several
    // sessions run), each endpoint row's host, port and button, then the log
    // and "Preferences". The read-only boxes take no focus.
    {"cboSession", K::Chooser, 4440, 15, 1215, 330, "", nullptr},
    {"Text1", K::TextBox, 1560, 360, 1335, 375, "127.0.0.1", &C::Text1},
    {"Text2", K::TextBox, 3000, 360, 1335, 375, "5190", &C::Text2},
    {"Command1", K::Button, 4440, 360, 1215, 375, "Host login", nullptr},
    {"Text3", K::TextBox, 1560, 840, 1335, 375, "", &C::Text3},
    {"Text4", K::TextBox, 3000, 840, 1335, 375, "5190", &C::Text4},
    {"Command3", K::Button, 4440, 840, 1215, 375, "Disconnect", nullptr},
    {"Text7", K::TextBox, 1560, 1320, 1335, 375, "127.0.0.1", &C::Text7},
    {"Text8", K::TextBox, 3000, 1320, 1335, 375, "5191", &C::Text8},
    {"Command4", K::Button, 4440, 1320, 1215, 375, "About", nullptr},
    {"Text6", K::ReadOnlyBox, 1560, 1920, 1335, 375, "", &C::Text6},
    {"Text5", K::ReadOnlyBox, 3000, 1920, 1335, 375, "5190", &C::Text5},
    {"txtUIN", K::ReadOnlyBox, 5760, 1920, 1335, 375, "", &C::txtUIN, false, true},
    {"txtLOG", K::LogBox, 120, 3720, 7815, 2415, "", &C::txtLOG},
    {"Command2", K::Button, 120, 720, 1335, 495, "Preferences", nullptr, true},
    // Endpoint headings and row labels.
    {"Label22", K::Label, 1680, 120, 1095, 255, "Hostname:", nullptr},
    {"Label23", K::Label, 3120, 120, 1095, 255, "Port:", nullptr},
    {"Label4", K::Label, 120, 405, 1335, 255, "Host login:", nullptr},
    {"Label5", K::Label, 120, 885, 1335, 255, "ICQ login server:", nullptr},
    {"Label6", K::Label, 120, 1365, 1335, 255, "Host chat:", nullptr},
    {"Label2", K::Label, 120, 1965, 1335, 255, "ICQ chat server:", nullptr},
    // Socket status; Label3 lies right of the client area and is never seen.
    {"Label20", K::Label, 5760, 120, 2055, 255, "Sockets IP/port status", nullptr},
    {"Label1", K::Label, 5760, 360, 2055, 1215, "Label1", &C::Label1},
    {"Label3", K::Label, 8760, 600, 1935, 1455, "", &C::Label3},
    {"Label21", K::Label, 4560, 1965, 975, 255, "User UIN:", nullptr},
    {"Line1", K::Line, 120, 1800, 7800, 0, "", nullptr},
    // Counter table.
    {"Label8", K::Label, 120, 2460, 1215, 255, "Direction", nullptr},
    {"Label7", K::Label, 1560, 2460, 1215, 255, "Bytes", nullptr},
    {"Label9", K::Label, 2880, 2460, 975, 255, "Datagramms", nullptr},
    {"Label10", K::Label, 3960, 2460, 975, 255, "Packets", nullptr},
    {"Label12", K::Label, 5040, 2460, 975, 255, "Skipped", nullptr},
    {"Label17", K::Label, 6120, 2460, 975, 255, "Generated", nullptr},
    {"Label14", K::Label, 120, 2760, 1215, 855, "", &C::Label14},
    {"Label13", K::Label, 1560, 2760, 1215, 855, "", &C::Label13},
    {"Label15", K::Label, 2880, 2760, 975, 855, "", &C::Label15},
    {"Label16", K::Label, 3960, 2760, 975, 855, "", &C::Label16},
    {"Label18", K::Label, 5040, 2760, 975, 855, "", &C::Label18},
    {"Label11", K::Label, 6120, 2760, 975, 855, "", &C::Label11},
    // Plug-in panel: labPlug and Command2 sit inside it.
    {"labPlug", K::Label, 120, 360, 7575, 255, "", &C::labPlug, true},
    // Last, so that it lies below the two controls drawn inside it.
    {"Frame1", K::Frame, 120, 6240, 7815, 1455, "Plugin", nullptr},
});

// How a control follows a window that grows beyond its design size.
struct Stretch {
    const char* name;
    bool wide;      // takes the extra width
    bool tall;      // takes the extra height
    bool moveDown;  // moves down by the extra height
};
constexpr Stretch kStretches[] = {
    {"txtLOG", true, true, false},
    {"Line1", true, false, false},
    {"Frame1", true, false, true},
    {"labPlug", true, false, false},
};

}  // namespace

int twipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

PixelRect placeControl(const ControlDesign& design, int wider, int taller) {
    PixelRect r{twipsToPixels(design.left), twipsToPixels(design.top), twipsToPixels(design.width),
                design.kind == K::Line ? 1 : twipsToPixels(design.height)};
    for (const Stretch& s : kStretches) {
        if (std::string_view(design.name) == s.name) {
            r.width += s.wide ? wider : 0;
            r.height += s.tall ? taller : 0;
            r.top += s.moveDown ? taller : 0;
        }
    }
    return r;
}

bool placeIsSeen(const WindowPlace& place, std::span<const PixelRect> screens) {
    // The caption's strip: as wide as the window, a caption's height.
    constexpr int kCaptionHeight = 20;
    constexpr int kLeastSeen = 40;  // pixels of caption to take hold of
    const PixelRect least = placedClient(place);
    for (const PixelRect& screen : screens) {
        const int seenWidth = std::min(place.left + least.width, screen.left + screen.width) -
                              std::max(place.left, screen.left);
        const int seenHeight = std::min(place.top + kCaptionHeight, screen.top + screen.height) -
                               std::max(place.top, screen.top);
        if (seenWidth >= kLeastSeen && seenHeight >= kCaptionHeight / 2) {
            return true;
        }
    }
    return false;
}

PixelRect placedClient(const WindowPlace& place) {
    return {place.left, place.top, std::max(place.width, twipsToPixels(kClientWidthTwips)),
            std::max(place.height, twipsToPixels(kClientHeightTwips))};
}

bool neverShown(const ControlDesign& design) {
    return !design.inFrame && design.left >= kClientWidthTwips;
}

std::span<const ControlDesign> controlTable() {
    return kTable;
}

bool takesFocus(ControlKind kind) {
    return kind == K::TextBox || kind == K::LogBox || kind == K::Button || kind == K::Chooser;
}

bool shownNow(const ControlDesign& design, const Controls& ctl) {
    if (neverShown(design)) {
        return false;
    }
    return design.kind != K::Chooser || ctl.cboSessionVisible;
}

const bool* enabledFlag(const Controls& ctl, std::string_view buttonName) {
    if (buttonName == "Command1") {
        return &ctl.Command1Enabled;
    }
    if (buttonName == "Command3") {
        return &ctl.Command3Enabled;
    }
    return nullptr;
}

bool isPortBox(const ControlDesign& design) {
    return design.kind == K::TextBox &&
           (design.field == &C::Text2 || design.field == &C::Text4 || design.field == &C::Text8);
}

PortTyping portTyping(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(kPortDigits)) {
        return PortTyping::Refused;
    }
    std::int32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return PortTyping::Refused;
        }
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<std::uint16_t>::max()) {
        return PortTyping::Refused;
    }
    return value == 0 ? PortTyping::Incomplete : PortTyping::Port;
}

int controlId(std::size_t index) {
    return kFirstControlId + static_cast<int>(index);
}

ClickHandler clickHandler(std::string_view buttonName) {
    for (const ButtonHandler& button : kButtons) {
        if (buttonName == button.name) {
            return button.handler;
        }
    }
    return nullptr;
}
