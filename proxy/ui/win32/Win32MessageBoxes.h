// The core's message boxes as Win32 message boxes owned by the main window.
// MessageBoxA is modal: it returns when the user dismisses the box and runs
// its own message loop meanwhile, in which MainWindow drops timer ticks and
// holds back a close until the handler that raised the box has returned.
#pragma once

#include <windows.h>

#include "proxy/core/MessageBoxes.h"

class Win32MessageBoxes : public MessageBoxes {
  public:
    // Boxes sit over `owner`, which takes no input while one is up.
    void attach(HWND owner) { owner_ = owner; }

    void show(const std::string& text, const std::string& title, MessageIcon icon) override;

  private:
    HWND owner_ = nullptr;
};
