// The main window's construction and version text.
#include "proxy/core/Form1.h"

#include <utility>

Form1::Form1(Clock& clock, MessageBoxes& boxes, std::string programDir)
    : programDir_(std::move(programDir)), clock_(clock), boxes_(boxes) {}

std::string Form1::versionText() const {
    return std::to_string(VERSION_MAJOR) + "." + std::to_string(VERSION_MINOR) + "." +
           std::to_string(VERSION_REVISION);
}

Form1::SlotCloser::~SlotCloser() {
    for (SokHandle& slot : slots_) {
        if (slot != SOK_NO_SOCKET) {
            Sok_close(slot);
        }
    }
}
