// LogView over the Qt log window.
#pragma once

#include <functional>
#include <string>

#include "plugin/PluginWindows.h"
#include "plugin/qt/LogDialog.h"
#include "plugin/qt/QtOwned.h"

class QtLogView : public LogView {
  public:
    // Creates the window hidden, centred, captioned caption.
    QtLogView(const std::string& caption, std::function<void()> closeButton);

    int appendLine(const std::string& text) override;
    bool lineText(int index, std::string& text) const override;
    void replaceLine(int index, const std::string& text) override;
    void selectLine(int index) override;
    void setCounters(std::uint32_t processed, std::uint32_t waiting) override;
    void show(bool visible) override;

    // The window, or null once it is gone.
    LogDialog* window() const { return window_.get(); }

  private:
    QtOwned<LogDialog> window_;
};
