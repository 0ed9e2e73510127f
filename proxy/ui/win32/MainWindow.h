// The proxy's main window in plain Win32: one child window per control of
// the design table, the 100 ms timer, and the passing of clicks, typing,
// ticks and socket messages to the core's handlers. Before each handler but
// a socket message the edit boxes' texts go back into the core; after it,
// every core text that changed is shown (after a socket message, at the
// next tick).
//
// Handlers never nest. Modal loops (a message box, which the core's boxes
// post to the window so that none runs inside a handler; a window being
// moved) deliver ticks and socket messages to this window as the main loop
// does, so the relay goes on meanwhile. Should a message still arrive while
// a handler runs, a tick is dropped, a socket message is asked for again
// once the handler has returned, and a close waits for it.
//
// Windows hands out posted messages, socket messages among them, before
// input, painting and timers, so a peer that keeps its socket ready would
// hold all of those back for as long as it sends. Once they have waited a
// tick's interval, the socket messages wait instead: they are dropped until
// a timer, which comes after everything else, asks for them again.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "proxy/core/Form1.h"
#include "proxy/ui/common/ControlTable.h"
#include "proxy/ui/win32/SocketMessages.h"

// A GDI font, deleted with its owner.
struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// A window destroyed with its owner, detached from it first: a window that
// goes without a close runs no unload and ends no message loop.
struct WindowDestroyer {
    void operator()(HWND window) const {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

class MainWindow {
  public:
    // Creates the window with all its controls (hidden), runs `Form_Load`
    // and starts the timer; the first tick comes once a message loop runs.
    MainWindow(Form1& form, HINSTANCE instance);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void show(int showCommand);
    HWND handle() const { return window_.get(); }
    // The child window of a control of the design table, or null.
    HWND control(std::string_view name) const;

    // The timer id of Timer1 (WM_TIMER wParam).
    static constexpr UINT_PTR kTimerId = 1;
    // The timer that asks again for the socket reports held back.
    static constexpr UINT_PTR kSocketsResumeId = 2;

  private:
    // One child window; `shown` is the core text it shows now, `typed` the
    // last text of a port box that was not refused.
    struct Child {
        const ControlDesign* design;
        HWND window;
        std::string shown;
        std::string typed;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls(HINSTANCE instance);
    // Places every control for a client area of width x height pixels.
    void placeControls(int width, int height);
    void applyPlace();
    void keepPlace();
    HWND createControl(const ControlDesign& design, int id, HINSTANCE instance);
    void onCommand(int id, int notification);
    // Takes back what made a port box's text other than a port.
    void checkPortTyping(int id);
    // Hands the session chooser's new choice to the core; false for another control.
    bool chooseSession(int id);
    void onSocket(WPARAM wParam, LPARAM lParam);
    // Whether socket reports must wait now for the messages behind them.
    bool holdSockets();
    void resumeSockets();
    // Timer1 runs while the core needs ticks.
    void startTimer();
    void stopTimerIfIdle();
    LRESULT readOnlyBoxColours(HDC dc, HWND box);
    void close();

    // Runs one core handler, never inside another one.
    template <typename Handler>
    void run(Handler handler);
    // The edit boxes' current texts into the core.
    void readBack();
    // What a handler left to do: socket reports to ask for again, a close.
    void afterHandler();
    // The core's texts into the controls that show a different one.
    void refresh();
    void showLog(Child& log, const std::string& text);
    void showEnabled(const Child& child);
    void showChooser(const Child& chooser);

    Form1& form_;
    UniqueFont font_;
    UniqueFont boldFont_;
    UniqueWindow window_;  // after the fonts: goes before them
    SocketMessages sockets_;
    std::vector<Child> children_;
    std::string captionShown_;
    std::vector<std::string> entriesShown_;  // the core entries the chooser lists now
    HWND focus_ = nullptr;                   // the control that gets focus back on activation
    bool busy_ = false;
    bool closePending_ = false;
    bool timerRunning_ = false;
    bool socketMissed_ = false;   // a socket message came while a handler ran
    bool othersWaiting_ = false;  // input, painting or a timer waits behind socket messages
    DWORD othersWaitingSince_ = 0;
    bool socketsHeld_ = false;  // socket messages wait for the resume timer
    bool unloaded_ = false;
};
