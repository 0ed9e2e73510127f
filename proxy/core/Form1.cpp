// The main window's construction and version text.
#include "proxy/core/Form1.h"

#include <utility>

#include "generated/Version.h"

Form1::Form1(Clock& clock, MessageBoxes& boxes, std::string programDir)
    : programDir_(std::move(programDir)),
      dataFolder_{programDir_, DataFolderKind::Program},
      clock_(clock),
      boxes_(boxes) {
    sessions_.push_back(std::make_unique<Session>());
}

std::string Form1::versionText() const {
    return SKELVANE_VERSION;
}

Form1::ListenerCloser::~ListenerCloser() {
    if (listener_ != SOK_NO_SOCKET) {
        Sok_close(listener_);
    }
}
