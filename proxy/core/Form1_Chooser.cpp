// The session chooser: which running session the UIN, chat-server, socket
// status and counter boxes show. With one session it stays hidden and the
// boxes are written as they always were; the chooser only takes over while
// two or more run, and when the chosen one ends.
#include "proxy/core/Form1.h"

namespace {

std::string entryText(const Session& s) {
    return s.ownUin != 0 ? std::to_string(s.ownUin) : SIGNING_ON_ENTRY;
}

}  // namespace

void Form1::cboSession_Click(int entry) {
    const Handler handler(*this);
    if (entry < 0 || entry >= running()) {
        return;
    }
    chosen_ = sessions_[static_cast<std::size_t>(entry)].get();
    ctl.cboSessionChosen = entry;
    showChosen();
    showSocketStatus(*chosen_);
    ShowCounters();
}

// The first session to run is taken without a word: until a second one
// comes, the boxes keep what the sign-on writes into them, as they did
// before there was a chooser.
void Form1::showChooser() {
    chooserStale_ = false;
    const int n = running();
    ctl.cboSessionChosen = 0;
    if (chosen_ == nullptr && n > 0) {
        chosen_ = sessions_.front().get();
    }
    ctl.cboSession.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const Session& s = *sessions_[static_cast<std::size_t>(i)];
        ctl.cboSession[static_cast<std::size_t>(i)] = entryText(s);
        if (&s == chosen_) {
            ctl.cboSessionChosen = i;
        }
    }
    ctl.cboSessionVisible = n >= 2;
    if (n >= 2 || (choiceMoved_ && n > 0)) {
        showChosen();
    }
    choiceMoved_ = false;
}

void Form1::showChosen() {
    const Session& s = shown();
    ctl.txtUIN = s.ownUin != 0 ? std::to_string(s.ownUin) : "";
    ctl.Text6 = s.chatServerHost;
    ctl.Text5 = s.chatServerPort;
}
