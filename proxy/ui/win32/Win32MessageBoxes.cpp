#include "proxy/ui/win32/Win32MessageBoxes.h"

#include <memory>

struct Win32MessageBoxes::Posted {
    std::string text;
    std::string title;
    UINT style;
};

void Win32MessageBoxes::show(const std::string& text, const std::string& title, MessageIcon icon) {
    const UINT style = MB_OK | (icon == MessageIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION);
    auto box = std::make_unique<Posted>(Posted{text, title, style});
    if (owner_ != nullptr &&
        PostMessageA(owner_, WM_SKELVANE_BOX, 0, reinterpret_cast<LPARAM>(box.get()))) {
        (void)box.release();  // the message owns it now
        return;
    }
    MessageBoxA(owner_, text.c_str(), title.c_str(), style);
}

void Win32MessageBoxes::showPosted(HWND owner, LPARAM lParam) {
    const std::unique_ptr<Posted> box(reinterpret_cast<Posted*>(lParam));
    if (box) {
        MessageBoxA(owner, box->text.c_str(), box->title.c_str(), box->style);
    }
}
