#include "proxy/ui/win32/Win32MessageBoxes.h"

void Win32MessageBoxes::show(const std::string& text, const std::string& title, MessageIcon icon) {
    const UINT iconStyle = icon == MessageIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION;
    MessageBoxA(owner_, text.c_str(), title.c_str(), MB_OK | iconStyle);
}
