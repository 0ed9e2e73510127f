#include "plugin/win32/DialogWindow.h"

#include "plugin/win32/DllModule.h"

DialogWindow::DialogWindow(int templateId, DLGPROC proc, void* owner)
    : window_(CreateDialogParamA(dllModule(), MAKEINTRESOURCEA(templateId), nullptr, proc,
                                 reinterpret_cast<LPARAM>(owner))) {}

DialogWindow::~DialogWindow() {
    if (window_ == nullptr || dllProcessEnding()) {
        return;
    }
    SetWindowLongPtrA(window_, DWLP_USER, 0);
    DestroyWindow(window_);
}

void* dialogOwner(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    }
    return reinterpret_cast<void*>(GetWindowLongPtrA(dialog, DWLP_USER));
}
