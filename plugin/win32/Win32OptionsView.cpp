#include "plugin/win32/Win32OptionsView.h"

#include <utility>

#include "plugin/win32/resource.h"

namespace {

// The dialog reads at most this many characters of an edit field.
constexpr int kEditTextLimit = 99;

std::string editText(HWND dialog, int id) {
    char text[kEditTextLimit + 1] = {};
    const UINT length = GetDlgItemTextA(dialog, id, text, sizeof text);
    return std::string(text, length);
}

}  // namespace

Win32OptionsView::Win32OptionsView(const std::string& caption, const OptionsValues& values,
                                   OptionsCallbacks callbacks)
    : caption_(caption),
      values_(values),
      callbacks_(std::move(callbacks)),
      dialog_(IDD_OPTIONS, &Win32OptionsView::dialogProc, this) {}

INT_PTR CALLBACK Win32OptionsView::dialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    auto* view = static_cast<Win32OptionsView*>(dialogOwner(dialog, message, lParam));
    if (view == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_INITDIALOG:
            view->fill(dialog);
            return TRUE;
        case WM_CLOSE:
            return view->command(dialog, IDCANCEL);
        case WM_COMMAND:
            return HIWORD(wParam) == BN_CLICKED && view->command(dialog, LOWORD(wParam));
        default:
            return FALSE;
    }
}

void Win32OptionsView::fill(HWND dialog) const {
    SetWindowTextA(dialog, caption_.c_str());
    SetDlgItemTextA(dialog, IDC_TIMER_INTERVAL, values_.timerInterval.c_str());
    SetDlgItemTextA(dialog, IDC_WAIT_TIMEOUT, values_.waitTimeout.c_str());
    SetDlgItemTextA(dialog, IDC_REMOVE_TIMEOUT, values_.removeTimeout.c_str());
    for (const char* name : NOTIFY_TYPE_NAMES) {
        SendDlgItemMessageA(dialog, IDC_NOTIFY_TYPE, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(name));
    }
    const int count = static_cast<int>(NOTIFY_TYPE_NAMES.size());
    const bool listed = values_.notifyIndex >= 0 && values_.notifyIndex < count;
    SendDlgItemMessageA(dialog, IDC_NOTIFY_TYPE, CB_SETCURSEL,
                        static_cast<WPARAM>(listed ? values_.notifyIndex : -1), 0);
    CheckDlgButton(dialog, IDC_LOG_FILE, values_.logFile ? BST_CHECKED : BST_UNCHECKED);
}

OptionsResult Win32OptionsView::result(HWND dialog) {
    OptionsResult result;
    result.timerInterval = editText(dialog, IDC_TIMER_INTERVAL);
    result.waitTimeout = editText(dialog, IDC_WAIT_TIMEOUT);
    result.removeTimeout = editText(dialog, IDC_REMOVE_TIMEOUT);
    const LRESULT selected = SendDlgItemMessageA(dialog, IDC_NOTIFY_TYPE, CB_GETCURSEL, 0, 0);
    result.notifyIndex = selected == CB_ERR ? -1 : static_cast<int>(selected);
    result.logFile = IsDlgButtonChecked(dialog, IDC_LOG_FILE) == BST_CHECKED;
    return result;
}

void Win32OptionsView::refuse(OptionsField field, const std::string& text) {
    const HWND dialog = dialog_.get();
    if (dialog == nullptr) {
        return;
    }
    SetWindowTextA(dialog, text.c_str());
    const int id = field == OptionsField::TimerInterval   ? IDC_TIMER_INTERVAL
                   : field == OptionsField::WaitTimeout   ? IDC_WAIT_TIMEOUT
                   : field == OptionsField::RemoveTimeout ? IDC_REMOVE_TIMEOUT
                                                          : IDC_NOTIFY_TYPE;
    const HWND control = GetDlgItem(dialog, id);
    // The dialog's own way to move the focus; it selects an edit's text.
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    if (id != IDC_NOTIFY_TYPE) {
        SendMessageA(control, EM_SETSEL, 0, -1);
    }
}

// Each command calls back last, through a copy of the callback: the owner
// may drop this view (and destroy the window) from inside it.
bool Win32OptionsView::command(HWND dialog, int id) {
    switch (id) {
        case IDOK: {
            const auto accepted = callbacks_.accepted;
            if (accepted) {
                accepted(result(dialog));
            }
            return true;
        }
        case IDCANCEL: {
            const auto cancelled = callbacks_.cancelled;
            if (cancelled) {
                cancelled();
            }
            return true;
        }
        case IDC_SHOW_LOG: {
            const auto showLog = callbacks_.showLog;
            if (showLog) {
                showLog();
            }
            return true;
        }
        default:
            return false;
    }
}
