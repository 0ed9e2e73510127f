#include "plugin/win32/Win32LogView.h"

#include <utility>

#include "plugin/win32/resource.h"

Win32LogView::Win32LogView(const std::string& caption, std::function<void()> closeButton)
    : caption_(caption),
      closeButton_(std::move(closeButton)),
      dialog_(IDD_LOG, &Win32LogView::dialogProc, this) {}

INT_PTR CALLBACK Win32LogView::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = static_cast<Win32LogView*>(dialogOwner(dialog, message, lParam));
    if (view == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_INITDIALOG:
            SetWindowTextA(dialog, view->caption_.c_str());
            view->list_ = GetDlgItem(dialog, IDC_LOG_LIST);
            return TRUE;
        case WM_CLOSE:
            view->closed(dialog);
            return TRUE;
        case WM_COMMAND:
            // Escape, when the host's loop passes the dialog its keys.
            if (LOWORD(wParam) == IDCANCEL) {
                view->closed(dialog);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

// The close button only hides the window; its lines stay. The callback
// comes last, since it may drop this view.
void Win32LogView::closed(HWND dialog) {
    ShowWindow(dialog, SW_HIDE);
    const std::function<void()> closeButton = closeButton_;
    if (closeButton) {
        closeButton();
    }
}

LRESULT Win32LogView::list(UINT message, WPARAM wParam, LPARAM lParam) const {
    return list_ != nullptr ? SendMessageA(list_, message, wParam, lParam) : LB_ERR;
}

int Win32LogView::appendLine(const std::string& text) {
    const LRESULT index = list(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return index == LB_ERR || index == LB_ERRSPACE ? -1 : static_cast<int>(index);
}

bool Win32LogView::lineText(int index, std::string& text) const {
    const LRESULT length = list(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (index < 0 || length == LB_ERR) {
        return false;
    }
    std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied =
        list(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    if (copied == LB_ERR) {
        return false;
    }
    buffer.resize(static_cast<std::size_t>(copied));
    text = std::move(buffer);
    return true;
}

// Delete and insert at the same index, then put the selection and the
// scroll position back where they were.
void Win32LogView::replaceLine(int index, const std::string& text) {
    if (index < 0 || index >= list(LB_GETCOUNT)) {
        return;
    }
    const LRESULT selected = list(LB_GETCURSEL);
    const LRESULT top = list(LB_GETTOPINDEX);
    list(LB_DELETESTRING, static_cast<WPARAM>(index));
    list(LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str()));
    list(LB_SETCURSEL, static_cast<WPARAM>(selected));
    if (top != LB_ERR) {
        list(LB_SETTOPINDEX, static_cast<WPARAM>(top));
    }
}

void Win32LogView::selectLine(int index) {
    list(LB_SETCURSEL, static_cast<WPARAM>(index));
}

void Win32LogView::setCounters(std::uint32_t processed, std::uint32_t waiting) {
    SetDlgItemTextA(dialog_.get(), IDC_PROCESSED, std::to_string(processed).c_str());
    SetDlgItemTextA(dialog_.get(), IDC_WAITING, std::to_string(waiting).c_str());
}

void Win32LogView::show(bool visible) {
    ShowWindow(dialog_.get(), visible ? SW_SHOW : SW_HIDE);
    if (visible) {
        SetForegroundWindow(dialog_.get());
    }
}
