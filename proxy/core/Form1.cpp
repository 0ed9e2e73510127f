// The main window's construction and version text.
#include "proxy/core/Form1.h"

#include <utility>

#include "generated/Version.h"

Form1::Form1(Clock& clock, MessageBoxes& boxes, std::string programDir)
    : programDir_(std::move(programDir)),
      dataFolder_{programDir_, DataFolderKind::Program},
      clock_(clock),
      boxes_(boxes) {}

std::string Form1::versionText() const {
    return SKELVANE_VERSION;
}

Form1::SlotCloser::~SlotCloser() {
    for (SokHandle& slot : slots_) {
        if (slot != SOK_NO_SOCKET) {
            Sok_close(slot);
        }
    }
}
