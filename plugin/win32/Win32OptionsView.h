// The options window (dialog template 101). It reports OK, Cancel (also the
// close button and Escape) and "Show Log" through the callbacks and never
// closes or saves by itself: whoever owns it drops it.
//
// The mouse works with any message loop. Tab, Enter and Escape reach a
// modeless dialog only when the host's loop hands the dialog's messages to
// IsDialogMessage; the plug-in cannot do that for it.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/PluginWindows.h"
#include "plugin/win32/DialogWindow.h"

class Win32OptionsView : public OptionsView {
  public:
    // Creates the window, filled with values and shown at once; created()
    // tells whether that worked.
    Win32OptionsView(const std::string& caption, const OptionsValues& values,
                     OptionsCallbacks callbacks);

    bool created() const { return static_cast<bool>(dialog_); }

    // The text in the caption, field focused, an edit's text selected.
    void refuse(OptionsField field, const std::string& text) override;

  private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void fill(HWND dialog) const;
    static OptionsResult result(HWND dialog);
    bool command(HWND dialog, int id);

    std::string caption_;
    OptionsValues values_;
    OptionsCallbacks callbacks_;
    DialogWindow dialog_;  // last: destroyed first
};
