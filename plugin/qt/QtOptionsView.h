// OptionsView over the Qt options window: shown, centred and filled when
// made; dropping it closes the window.
#pragma once

#include <string>

#include "plugin/PluginWindows.h"
#include "plugin/qt/OptionsDialog.h"
#include "plugin/qt/QtOwned.h"

class QtOptionsView : public OptionsView {
  public:
    QtOptionsView(const std::string& caption, const OptionsValues& values,
                  OptionsCallbacks callbacks);
    ~QtOptionsView() override;
    QtOptionsView(const QtOptionsView&) = delete;
    QtOptionsView& operator=(const QtOptionsView&) = delete;

    void refuse(OptionsField field, const std::string& text) override;

    // The window, or null once it is gone.
    OptionsDialog* window() const { return window_.get(); }

  private:
    QtOwned<OptionsDialog> window_;
};
