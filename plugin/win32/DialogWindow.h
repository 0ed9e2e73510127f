// A modeless dialog made from one of the library's own templates, owned by a
// view object and destroyed with it.
#pragma once

#include <windows.h>

class DialogWindow {
  public:
    DialogWindow() = default;
    // Creates the dialog of templateId with no owner window. proc receives
    // owner as the WM_INITDIALOG parameter and finds it again with
    // dialogOwner(). Null (see get()) when the dialog could not be made.
    DialogWindow(int templateId, DLGPROC proc, void* owner);
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;
    // Unhooks the owner (no message reaches it any more) and destroys the
    // window. Safe from inside the dialog's own message handling.
    ~DialogWindow();

    HWND get() const { return window_; }
    explicit operator bool() const { return window_ != nullptr; }

  private:
    HWND window_ = nullptr;
};

// The owner handed to the dialog, or null before WM_INITDIALOG and after the
// DialogWindow is gone. Call at the top of the dialog procedure.
void* dialogOwner(HWND dialog, UINT message, LPARAM lParam);
