#include "proxy/ui/win32/MainWindow.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "proxy/core/BusyScope.h"
#include "proxy/ui/win32/ResourceIds.h"
#include "proxy/ui/win32/Win32MessageBoxes.h"

namespace {

constexpr const char* kWindowClass = "SkelvaneMainWindow";
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
constexpr UINT kTimerIntervalMs = 100;
// The classic dialog font at 8 points, at the 96 dots per inch that the
// twips-to-pixels layout assumes.
constexpr const char* kFontFace = "MS Sans Serif";
constexpr const char* kFontFaceNew = "Microsoft Sans Serif";  // its TrueType successor
constexpr const char* kFallbackFace = "DejaVu Sans Condensed";
constexpr int kFontPoints = 8;
constexpr int kDesignDpi = 96;
// A drop-down list's window also holds its dropped list: room for this many
// pixels below the selection field (about eight entries).
constexpr int kDroppedListPixels = 120;

struct WindowKind {
    const char* className;
    DWORD style;
    DWORD exStyle;
};

WindowKind windowKind(ControlKind kind) {
    constexpr DWORD edit = WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    switch (kind) {
        case ControlKind::Label:
            return {"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::TextBox:
            return {"EDIT", edit, WS_EX_CLIENTEDGE};
        case ControlKind::ReadOnlyBox:  // out of the Tab order
            return {"EDIT", (edit & ~WS_TABSTOP) | ES_READONLY, WS_EX_CLIENTEDGE};
        case ControlKind::LogBox:
            return {"EDIT",
                    WS_TABSTOP | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
                    WS_EX_CLIENTEDGE};
        case ControlKind::Button:
            return {"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
        case ControlKind::Frame:
            return {"BUTTON", BS_GROUPBOX, 0};
        case ControlKind::Line:
            return {"STATIC", SS_BLACKRECT, 0};
        case ControlKind::Chooser:
            return {"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    }
    return {"STATIC", 0, 0};
}

// The window's outer size for the design's client area: its least size.
SIZE designFrameSize() {
    RECT frame{0, 0, twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips)};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// What the caption and the borders add to a client area's size.
SIZE frameMargins() {
    const SIZE least = designFrameSize();
    return {least.cx - twipsToPixels(kClientWidthTwips),
            least.cy - twipsToPixels(kClientHeightTwips)};
}

// The control's rectangle in client pixels in a client area `wider` and
// `taller` than designed (the two inside Frame1 move with it).
RECT pixelRect(const ControlDesign& design, int wider, int taller) {
    PixelRect r = placeControl(design, wider, taller);
    if (design.inFrame) {
        for (const ControlDesign& other : controlTable()) {
            if (other.kind == ControlKind::Frame) {
                const PixelRect frame = placeControl(other, wider, taller);
                r.left += frame.left;
                r.top += frame.top;
            }
        }
    }
    const int dropped = design.kind == ControlKind::Chooser ? kDroppedListPixels : 0;
    return {r.left, r.top, r.left + r.width, r.top + r.height + dropped};
}

std::string windowText(HWND window) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    const int n = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return text;
}

void registerWindowClass(HINSTANCE instance, WNDPROC proc) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    // The program's own icon, where the program carries it; else the system's.
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SKELVANE));
    if (wc.hIcon == nullptr) {
        wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    }
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kWindowClass;
    if (RegisterClassExA(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::runtime_error("RegisterClassEx failed");
    }
}

HFONT createFont(const char* face, int weight) {
    return CreateFontA(-MulDiv(kFontPoints, kDesignDpi, 72), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face);
}

// The face that the system really draws a font with.
std::string resolvedFace(HFONT font) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(screen, LF_FACESIZE, face);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return face;
}

// The design font; where the system lacks it (Wine without its own fonts
// draws everything in a wide sans serif), a condensed face keeps captions
// such as "ICQ login server:" and "Datagramms" inside their labels.
UniqueFont makeFont(int weight) {
    UniqueFont font(createFont(kFontFace, weight));
    const std::string face = resolvedFace(font.get());
    if (lstrcmpiA(face.c_str(), kFontFace) == 0 || lstrcmpiA(face.c_str(), kFontFaceNew) == 0) {
        return font;
    }
    UniqueFont narrow(createFont(kFallbackFace, weight));
    if (lstrcmpiA(resolvedFace(narrow.get()).c_str(), kFallbackFace) == 0) {
        return narrow;
    }
    return font;
}

}  // namespace

MainWindow::MainWindow(Form1& form, HINSTANCE instance)
    : form_(form), font_(makeFont(FW_NORMAL)), boldFont_(makeFont(FW_BOLD)) {
    registerWindowClass(instance, &MainWindow::windowProc);
    const SIZE frame = designFrameSize();
    CreateWindowExA(0, kWindowClass, "", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.cx,
                    frame.cy, nullptr, nullptr, instance, this);
    if (!window_) {
        throw std::runtime_error("CreateWindowEx failed");
    }
    createControls(instance);
    sockets_.attach(window_.get(), [this] { startTimer(); });
    form_.setSocketWatch(&sockets_);
    run([this] { form_.Form_Load(); });
    applyPlace();
    startTimer();
}

namespace {

// EnumDisplayMonitors' callback: adds the monitor's work area to the list in
// `data` (a named function: a lambda has no stdcall form on 32-bit Windows).
BOOL CALLBACK addWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) {
        const RECT& work = info.rcWork;
        reinterpret_cast<std::vector<PixelRect>*>(data)->push_back(
            {work.left, work.top, work.right - work.left, work.bottom - work.top});
    }
    return TRUE;
}

}  // namespace

// The size saved at the last close, and its position if a monitor shows it.
void MainWindow::applyPlace() {
    const WindowPlace& place = form_.ctl.windowPlace;
    if (!place.known) {
        return;
    }
    const PixelRect client = placedClient(place);
    const SIZE margins = frameMargins();
    const int width = client.width + margins.cx;
    const int height = client.height + margins.cy;
    std::vector<PixelRect> screens;
    EnumDisplayMonitors(nullptr, nullptr, addWorkArea, reinterpret_cast<LPARAM>(&screens));
    const UINT keepPosition = placeIsSeen(place, screens) ? 0 : SWP_NOMOVE;
    SetWindowPos(window_.get(), nullptr, place.left, place.top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | keepPosition);
}

// Where the window is now (as it was before it was maximized or
// minimized), to be saved.
void MainWindow::keepPlace() {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window_.get(), &placement)) {
        return;
    }
    const RECT& normal = placement.rcNormalPosition;
    const SIZE margins = frameMargins();
    form_.ctl.windowPlace = {normal.left, normal.top, normal.right - normal.left - margins.cx,
                             normal.bottom - normal.top - margins.cy, true};
}

MainWindow::~MainWindow() {
    form_.setSocketWatch(nullptr);
}

void MainWindow::show(int showCommand) {
    ShowWindow(window_.get(), showCommand);
    UpdateWindow(window_.get());
    focus_ = GetNextDlgTabItem(window_.get(), nullptr, FALSE);
    SetFocus(focus_);
}

HWND MainWindow::control(std::string_view name) const {
    for (const Child& child : children_) {
        if (name == child.design->name) {
            return child.window;
        }
    }
    return nullptr;
}

void MainWindow::createControls(HINSTANCE instance) {
    const auto table = controlTable();
    children_.reserve(table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ControlDesign& design = table[i];
        HWND child = createControl(design, controlId(i), instance);
        if (child == nullptr) {
            throw std::runtime_error(std::string("cannot create control ") + design.name);
        }
        const std::string text = design.field != nullptr ? form_.ctl.*design.field : "";
        children_.push_back({&design, child, text, text});
    }
}

HWND MainWindow::createControl(const ControlDesign& design, int id, HINSTANCE instance) {
    const WindowKind kind = windowKind(design.kind);
    const DWORD digitsOnly = isPortBox(design) ? ES_NUMBER : 0;
    const DWORD shown = shownNow(design, form_.ctl) ? WS_VISIBLE : 0;
    const RECT r = pixelRect(design, 0, 0);
    const std::string text = design.field != nullptr ? form_.ctl.*design.field : design.text;
    HWND child =
        CreateWindowExA(kind.exStyle, kind.className, text.c_str(),
                        WS_CHILD | shown | WS_CLIPSIBLINGS | kind.style | digitsOnly, r.left, r.top,
                        r.right - r.left, r.bottom - r.top, window_.get(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (child != nullptr) {
        HFONT font = design.bold ? boldFont_.get() : font_.get();
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (design.kind == ControlKind::LogBox) {
            SendMessageA(child, EM_SETLIMITTEXT, 0, 0);  // the log outgrows the typing limit
        }
        if (isPortBox(design)) {
            SendMessageA(child, EM_SETLIMITTEXT, kPortDigits, 0);
        }
    }
    return child;
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->window_.reset(window);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    try {
        return self->handleMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's dispatcher; the core's
        // handlers catch their own faults, so this is only memory running out.
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimerId) {
                othersWaiting_ = false;  // the queue had room for the tick: nothing is held back
                run([this] { form_.Timer1_Timer(); });
                stopTimerIfIdle();
            } else if (wParam == kSocketsResumeId) {
                resumeSockets();
            }
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_SKELVANE_SOCKET:
            onSocket(wParam, lParam);
            return 0;
        case WM_SKELVANE_BOX:
            Win32MessageBoxes::showPosted(window_.get(), lParam);
            return 0;
        case WM_CTLCOLORSTATIC:
            return readOnlyBoxColours(reinterpret_cast<HDC>(wParam),
                                      reinterpret_cast<HWND>(lParam));
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focused = GetFocus();
                if (focused != nullptr && IsChild(window_.get(), focused)) {
                    focus_ = focused;
                }
            }
            return 0;
        case WM_SETFOCUS:
            if (focus_ != nullptr) {
                SetFocus(focus_);
            }
            return 0;
        case WM_GETMINMAXINFO: {
            const SIZE least = designFrameSize();
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {least.cx, least.cy};
            return 0;
        }
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) {
                placeControls(LOWORD(lParam), HIWORD(lParam));
            }
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_DESTROY:
            KillTimer(window_.get(), kTimerId);
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
            children_.clear();
            (void)window_.release();  // already gone
            return 0;
        default:
            return DefWindowProcA(window_.get(), message, wParam, lParam);
    }
}

void MainWindow::onCommand(int id, int notification) {
    if (notification == CBN_SELCHANGE && chooseSession(id)) {
        return;
    }
    if (notification == EN_CHANGE) {
        checkPortTyping(id);
        return;
    }
    if (notification != BN_CLICKED) {
        return;
    }
    for (const Child& child : children_) {
        if (GetDlgCtrlID(child.window) != id) {
            continue;
        }
        const bool* enabled = enabledFlag(form_.ctl, child.design->name);
        const ClickHandler handler = clickHandler(child.design->name);
        if (handler != nullptr && (enabled == nullptr || *enabled)) {
            run([this, handler] { handler(form_); });
        }
        return;
    }
}

// The user's choice in the session chooser goes to the core; the entries
// and the choice that the core sets are shown without a word back.
bool MainWindow::chooseSession(int id) {
    for (const Child& child : children_) {
        if (GetDlgCtrlID(child.window) == id && child.design->kind == ControlKind::Chooser) {
            const auto entry = static_cast<int>(SendMessageA(child.window, CB_GETCURSEL, 0, 0));
            run([this, entry] { form_.cboSession_Click(entry); });
            return true;
        }
    }
    return false;
}

// Digits only (ES_NUMBER) and five at most (the limit) are the edit
// control's own; a paste or a number above 65535 that the user made is
// taken back. A text set by the program is never refused.
void MainWindow::checkPortTyping(int id) {
    for (Child& child : children_) {
        if (GetDlgCtrlID(child.window) != id || !isPortBox(*child.design)) {
            continue;
        }
        const std::string text = windowText(child.window);
        const bool typed = SendMessageA(child.window, EM_GETMODIFY, 0, 0) != 0;
        if (!typed || portTyping(text) != PortTyping::Refused) {
            child.typed = text;
            return;
        }
        SetWindowTextA(child.window, child.typed.c_str());
        const auto end = static_cast<WPARAM>(child.typed.size());
        SendMessageA(child.window, EM_SETSEL, end, static_cast<LPARAM>(end));
        SendMessageA(child.window, EM_SETMODIFY, TRUE, 0);
        return;
    }
}

// No text goes back and none is shown: the socket's traffic changes only
// what the next tick shows.
void MainWindow::onSocket(WPARAM wParam, LPARAM lParam) {
    int slot = 0;
    int ready = 0;
    if (!sockets_.decode(wParam, lParam, slot, ready) || unloaded_) {
        return;
    }
    if (busy_) {
        socketMissed_ = true;
        return;
    }
    if (holdSockets()) {
        return;
    }
    {
        BusyScope scope(busy_);
        form_.socketReady(slot, ready);
    }
    afterHandler();
}

// Input, painting and timers that have waited a tick's interval behind
// socket messages go first: until the resume timer, which Windows hands out
// only once nothing else waits, no socket report is handled.
bool MainWindow::holdSockets() {
    if (socketsHeld_) {
        return true;
    }
    if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_TIMER)) == 0) {
        othersWaiting_ = false;
        return false;
    }
    const DWORD now = GetTickCount();
    if (!othersWaiting_) {
        othersWaiting_ = true;
        othersWaitingSince_ = now;
    }
    if (now - othersWaitingSince_ < kTimerIntervalMs) {
        return false;
    }
    othersWaiting_ = false;
    socketsHeld_ = SetTimer(window_.get(), kSocketsResumeId, USER_TIMER_MINIMUM, nullptr) != 0;
    return socketsHeld_;
}

void MainWindow::startTimer() {
    if (!timerRunning_ && !unloaded_) {
        timerRunning_ = SetTimer(window_.get(), kTimerId, kTimerIntervalMs, nullptr) != 0;
    }
}

// While the core needs no tick the timer stands, so an idle program does
// not wake; the core asks for it again when it does.
void MainWindow::stopTimerIfIdle() {
    if (timerRunning_ && !form_.tickNeeded()) {
        KillTimer(window_.get(), kTimerId);
        timerRunning_ = false;
    }
}

// The reports dropped meanwhile are asked for again, for every watched slot.
void MainWindow::resumeSockets() {
    KillTimer(window_.get(), kSocketsResumeId);
    if (std::exchange(socketsHeld_, false)) {
        sockets_.kickAll();
    }
}

// The log and the plug-in panel take what the client area has beyond the
// design size.
void MainWindow::placeControls(int width, int height) {
    const int wider = std::max(0, width - twipsToPixels(kClientWidthTwips));
    const int taller = std::max(0, height - twipsToPixels(kClientHeightTwips));
    for (const Child& child : children_) {
        const RECT r = pixelRect(*child.design, wider, taller);
        MoveWindow(child.window, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
    }
    InvalidateRect(window_.get(), nullptr, TRUE);
}

// Read-only boxes keep the white of a text box rather than the dialog grey.
LRESULT MainWindow::readOnlyBoxColours(HDC dc, HWND box) {
    for (const Child& child : children_) {
        const ControlKind kind = child.design->kind;
        if (child.window == box &&
            (kind == ControlKind::ReadOnlyBox || kind == ControlKind::LogBox)) {
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
    }
    return DefWindowProcA(window_.get(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(box));
}

template <typename Handler>
void MainWindow::run(Handler handler) {
    if (busy_ || unloaded_) {
        return;  // a tick that a handler's message box delivered through its own loop
    }
    {
        BusyScope scope(busy_);
        readBack();
        handler();
    }
    refresh();
    afterHandler();
}

void MainWindow::afterHandler() {
    if (std::exchange(socketMissed_, false)) {
        sockets_.kickAll();
    }
    if (closePending_) {
        close();
    }
}

// Saves through `Form_Unload` once, then the window goes and the loop ends.
void MainWindow::close() {
    if (busy_) {
        closePending_ = true;  // after the running handler
        return;
    }
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    KillTimer(window_.get(), kTimerId);
    timerRunning_ = false;
    KillTimer(window_.get(), kSocketsResumeId);
    {
        BusyScope scope(busy_);
        readBack();
        keepPlace();
        form_.Form_Unload();
    }
    DestroyWindow(window_.get());
}

// Only what the user can type goes back: the read-only boxes show the core.
void MainWindow::readBack() {
    for (Child& child : children_) {
        if (child.design->kind == ControlKind::TextBox) {
            child.shown = windowText(child.window);
            form_.ctl.*child.design->field = child.shown;
        }
    }
}

void MainWindow::refresh() {
    const Controls& ctl = form_.ctl;
    if (const std::string caption = windowCaption(ctl); caption != captionShown_) {
        SetWindowTextA(window_.get(), caption.c_str());
        captionShown_ = caption;
    }
    for (Child& child : children_) {
        showEnabled(child);
        if (child.design->kind == ControlKind::Chooser) {
            showChooser(child);
        }
        if (child.design->field == nullptr) {
            continue;
        }
        const std::string& text = ctl.*child.design->field;
        if (text == child.shown) {
            continue;
        }
        if (child.design->kind == ControlKind::LogBox) {
            showLog(child, text);
        } else {
            SetWindowTextA(child.window, text.c_str());
        }
        child.shown = text;
    }
}

// A button greyed out while it cannot act hands the focus on first, so that
// the keyboard keeps a control to work in.
void MainWindow::showEnabled(const Child& child) {
    const bool* enabled = enabledFlag(form_.ctl, child.design->name);
    if (enabled == nullptr || (IsWindowEnabled(child.window) != FALSE) == *enabled) {
        return;
    }
    if (!*enabled && GetFocus() == child.window) {
        SetFocus(GetNextDlgTabItem(window_.get(), child.window, FALSE));
    }
    EnableWindow(child.window, *enabled ? TRUE : FALSE);
}

void MainWindow::showChooser(const Child& chooser) {
    const Controls& ctl = form_.ctl;
    if (ctl.cboSession != entriesShown_) {
        SendMessageA(chooser.window, CB_RESETCONTENT, 0, 0);
        for (const std::string& entry : ctl.cboSession) {
            SendMessageA(chooser.window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        }
        entriesShown_ = ctl.cboSession;
    }
    if (SendMessageA(chooser.window, CB_GETCURSEL, 0, 0) != ctl.cboSessionChosen) {
        SendMessageA(chooser.window, CB_SETCURSEL, static_cast<WPARAM>(ctl.cboSessionChosen), 0);
    }
    if ((IsWindowVisible(chooser.window) != FALSE) == ctl.cboSessionVisible) {
        return;
    }
    // Hiding the focused chooser hands the focus to the window, which gives
    // it to `focus_`: never the hidden chooser itself.
    if (!ctl.cboSessionVisible && focus_ == chooser.window) {
        focus_ = GetNextDlgTabItem(window_.get(), chooser.window, FALSE);
    }
    ShowWindow(chooser.window, ctl.cboSessionVisible ? SW_SHOWNA : SW_HIDE);
}

// Appends when the core only added lines (the usual case), else replaces the
// whole text; either way the caret goes to the end and the last line shows.
void MainWindow::showLog(Child& log, const std::string& text) {
    const std::string& shown = log.shown;
    const bool appended = !shown.empty() && shown.back() != '\r' && text.size() > shown.size() &&
                          text.compare(0, shown.size(), shown) == 0;
    if (appended) {
        const WPARAM end = static_cast<WPARAM>(GetWindowTextLengthA(log.window));
        SendMessageA(log.window, EM_SETSEL, end, static_cast<LPARAM>(end));
        SendMessageA(log.window, EM_REPLACESEL, FALSE,
                     reinterpret_cast<LPARAM>(text.c_str() + shown.size()));
    } else {
        SetWindowTextA(log.window, text.c_str());
    }
    const WPARAM end = static_cast<WPARAM>(GetWindowTextLengthA(log.window));
    SendMessageA(log.window, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageA(log.window, EM_SCROLLCARET, 0, 0);
}
