// The proxy's main window in plain Win32: one child window per control of
// the design table, the 100 ms timer, and the passing of clicks, typing and
// ticks to the core's handlers. Before each handler the edit boxes' texts go
// back into the core; after it, every core text that changed is shown.
//
// Handlers never nest. A message box shown from a handler runs its own
// modal loop, which still delivers WM_TIMER (and a WM_CLOSE sent from
// outside) to this window: such a tick is dropped, and such a close waits
// until the handler has returned. The relay therefore pauses while a box is
// up, and the box's owner window takes no clicks meanwhile.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "proxy/core/Form1.h"
#include "proxy/ui/ControlTable.h"

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
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void show(int showCommand);
    HWND handle() const { return window_.get(); }
    // The child window of a control of the design table, or null.
    HWND control(std::string_view name) const;

    // The timer id of Timer1 (WM_TIMER wParam).
    static constexpr UINT_PTR kTimerId = 1;

  private:
    // One child window; `shown` is the core text it shows now.
    struct Child {
        const ControlDesign* design;
        HWND window;
        std::string shown;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls(HINSTANCE instance);
    HWND createControl(const ControlDesign& design, int id, HINSTANCE instance);
    void onCommand(int id, int notification);
    LRESULT readOnlyBoxColours(HDC dc, HWND box);
    void close();

    // Runs one core handler, never inside another one.
    template <typename Handler>
    void run(Handler handler);
    // The edit boxes' current texts into the core.
    void readBack();
    // The core's texts into the controls that show a different one.
    void refresh();
    void showLog(Child& log, const std::string& text);

    Form1& form_;
    UniqueFont font_;
    UniqueFont boldFont_;
    UniqueWindow window_;  // after the fonts: goes before them
    std::vector<Child> children_;
    std::string captionShown_;
    HWND focus_ = nullptr;  // the control that gets focus back on activation
    bool busy_ = false;
    bool closePending_ = false;
    bool unloaded_ = false;
};
