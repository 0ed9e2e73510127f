// The proxy's message boxes in every test, fuzz target and benchmark: each
// box is recorded instead of shown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "proxy/core/MessageBoxes.h"

class RecordingBoxes : public MessageBoxes {
  public:
    struct Shown {
        std::string text;
        std::string title;
        MessageIcon icon;
    };
    std::vector<Shown> shown;
    std::function<void()> onShow;  // runs while the box "is up"

    void show(const std::string& text, const std::string& title, MessageIcon icon) override {
        shown.push_back({text, title, icon});
        if (onShow) {
            onShow();
        }
    }
};
