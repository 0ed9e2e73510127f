// The core's message boxes as Win32 message boxes owned by the main window.
// MessageBoxA is modal and runs its own message loop until the user
// dismisses it, so a box is never shown from inside a core handler: show()
// posts it to the window, which shows it once the handler has returned.
// Meanwhile the relay, the timer and a close go on as usual.
#pragma once

#include <windows.h>

#include "proxy/core/MessageBoxes.h"

// The posted box; lParam owns a Win32MessageBoxes::Posted.
inline constexpr UINT WM_SKELVANE_BOX = WM_APP + 2;

class Win32MessageBoxes : public MessageBoxes {
  public:
    // Boxes sit over `owner`, which takes no input while one is up.
    void attach(HWND owner) { owner_ = owner; }

    void show(const std::string& text, const std::string& title, MessageIcon icon) override;
    // Shows the box that a WM_SKELVANE_BOX message carries, and frees it.
    static void showPosted(HWND owner, LPARAM lParam);

  private:
    struct Posted;
    HWND owner_ = nullptr;
};
