// The proxy's two message boxes go through this, so that the core needs no
// window toolkit and tests can see what would have been shown. A window
// adapter must show the box without blocking the caller: it can come from
// inside a timer tick.
#pragma once

#include <string>

enum class MessageIcon { Warning, Information };

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual void show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
};
