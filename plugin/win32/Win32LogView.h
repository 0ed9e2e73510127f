// The log window (dialog template 102) over its list box and two counters.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "plugin/PluginWindows.h"
#include "plugin/win32/DialogWindow.h"

class Win32LogView : public LogView {
  public:
    // Creates the window hidden; created() tells whether that worked.
    Win32LogView(const std::string& caption, std::function<void()> closeButton);

    bool created() const { return static_cast<bool>(dialog_); }

    int appendLine(const std::string& text) override;
    bool lineText(int index, std::string& text) const override;
    void replaceLine(int index, const std::string& text) override;
    void selectLine(int index) override;
    void setCounters(std::uint32_t processed, std::uint32_t waiting) override;
    void show(bool visible) override;

  private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void closed(HWND dialog);
    LRESULT list(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    std::string caption_;
    std::function<void()> closeButton_;
    HWND list_ = nullptr;
    DialogWindow dialog_;  // last: destroyed first
};
