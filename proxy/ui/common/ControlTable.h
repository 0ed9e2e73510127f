// The main window's controls as designed: kind, design position in twips,
// design text, the core text each one shows and the core handler each
// button runs. Both window adapters (Qt and Win32) build their controls
// from this table and nothing else.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "proxy/core/Form1.h"

enum class ControlKind {
    Label,        // left-aligned text, may hold several CR LF lines
    TextBox,      // single-line box the user types into
    ReadOnlyBox,  // single-line box the user cannot change
    LogBox,       // multi-line read-only box with a vertical scroll bar
    Button,       // push button
    Frame,        // group box with a caption
    Line,         // 1-pixel horizontal line
    Chooser,      // drop-down list the user picks an entry of
};

struct ControlDesign {
    const char* name;
    ControlKind kind;
    // Left, top, width, height in twips; a line has height 0.
    int left;
    int top;
    int width;
    int height;
    const char* text;              // design text (bound controls start with the core's)
    std::string Controls::*field;  // the core text it shows, or null
    bool inFrame = false;          // position is relative to Frame1
    bool bold = false;
};

// The client area in twips.
inline constexpr int kClientWidthTwips = 8070;
inline constexpr int kClientHeightTwips = 7815;

// At 96 dots per inch, 15 twips make one pixel.
int twipsToPixels(int twips);

// A rectangle in pixels.
struct PixelRect {
    int left;
    int top;
    int width;
    int height;
};

// Where a control lies, in pixels relative to the window it lies in (Frame1
// for the two inside it), in a client area `wider` and `taller` pixels
// larger than designed. The log takes what the window grows by; the
// separator, Frame1 and the plug-in's title take the width, and Frame1
// moves down below the log. A line is one pixel high.
PixelRect placeControl(const ControlDesign& design, int wider, int taller);

// Whether a window at `place` keeps enough of its caption on one of the
// `screens` (their work areas) to be seen and dragged; a saved place that
// does not is left for the system's own.
bool placeIsSeen(const WindowPlace& place, std::span<const PixelRect> screens);
// The client size that a saved place asks for, never under the design's.
PixelRect placedClient(const WindowPlace& place);

// Whether the control is never shown: it lies beyond the client area as
// designed (Label3, the raw socket handles, which only debugging wanted).
bool neverShown(const ControlDesign& design);

// Every control of the main window. The focusable ones come first, in the
// keyboard focus order (Win32's dialog manager tabs in creation order);
// Frame1 comes last, so it lies below the two controls drawn inside it.
std::span<const ControlDesign> controlTable();

// Whether the control takes keyboard focus (by Tab, and in Qt by a click):
// boxes the user types into, the log, the buttons and the session chooser.
// The read-only boxes are selected with the mouse only.
bool takesFocus(ControlKind kind);

// The core's word on whether the named button can act now; null for a
// button that always can.
const bool* enabledFlag(const Controls& ctl, std::string_view buttonName);

// Whether the control is shown now: a control that is never shown is not, the
// session chooser only while the core says so, every other one always.
bool shownNow(const ControlDesign& design, const Controls& ctl);

// Whether the control is a box the user types a port number into.
bool isPortBox(const ControlDesign& design);

// What typing has made of a port box's text: digits only, at most 65535.
// An empty box or 0 may still become a port; anything else is refused as
// typed, and the box keeps its text from before.
enum class PortTyping { Refused, Incomplete, Port };
PortTyping portTyping(std::string_view text);
// The most digits a port has.
inline constexpr int kPortDigits = 5;

// Runs the core handler of the named button; null for other names.
using ClickHandler = void (*)(Form1& form);
ClickHandler clickHandler(std::string_view buttonName);

// The control's dialog id: its place in the table from 100 on, well clear of
// IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape.
int controlId(std::size_t index);
