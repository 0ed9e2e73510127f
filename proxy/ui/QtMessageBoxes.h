// The core's message boxes as Qt message boxes that never block: each box is
// shown modeless and deletes itself when dismissed, so a box raised inside a
// timer tick lets the tick, and the relay, go on.
#pragma once

#include <QPointer>
#include <QWidget>

#include "proxy/core/MessageBoxes.h"

class QtMessageBoxes : public MessageBoxes {
  public:
    // Boxes belong to `parent`: they sit over it and close with it.
    void attach(QWidget* parent) { parent_ = parent; }

    void show(const std::string& text, const std::string& title, MessageIcon icon) override;

  private:
    QPointer<QWidget> parent_;
};
