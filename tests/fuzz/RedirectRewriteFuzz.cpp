// The redirect inspection run on any unit the login server's stream can
// yield, held in a buffer of exactly its size. The chat listener binds port 0
// of 127.0.0.1 and is closed again after every input; client-login is one
// end of a socket pair, so the test sees what was sent.
// Promises checked: nothing escapes and nothing is logged as an internal
// error; a unit that is not rewritten sends nothing and leaves no listener
// open; a rewritten one is sent whole, keeps the received header and SNAC
// (a reply without one came on channel 4), carries a FLAP length that
// matches its size and names the chat listener.
#include <algorithm>

#include "tests/fuzz/FuzzForm.h"
#include "tests/support/Loopback.h"

namespace {

// The chat listener's port: a free one, taken anew by each rewrite (the
// listener is closed after each input).
const std::uint16_t kChatPort = freePort();
const std::string kListenerAddress = "127.0.0.1:" + std::to_string(kChatPort);

struct Target : FuzzForm {
    Target() {
        form.ctl.Text7 = "127.0.0.1";
        form.ctl.Text8 = std::to_string(kChatPort);
    }
    StreamPair clientLogin;
};

Target& target() {
    static Target t;
    return t;
}

void checkRewritten(const Bytes& in, const Bytes& out) {
    fuzzCheck(out.size() >= 10, "rewritten reply shorter than a SNAC header");
    fuzzCheck(std::equal(out.begin(), out.begin() + 4, in.begin()), "FLAP header changed");
    const bool snacReply = in.size() > 9 && in[6] == 0 && in[8] == 0 &&
                           ((in[7] == 0x8E && in[9] == 0x01) || (in[7] == 0x17 && in[9] == 0x03));
    if (snacReply) {
        fuzzCheck(std::equal(out.begin() + 6, out.begin() + 10, in.begin() + 6), "SNAC changed");
    } else {
        fuzzCheck(in[1] == 4, "rewrote a reply that is neither a SNAC nor on channel 4");
    }
    fuzzCheck(out.size() == 6 + out[4] * 256U + out[5], "FLAP length differs from the size");
    fuzzCheck(std::search(out.begin(), out.end(), kListenerAddress.begin(),
                          kListenerAddress.end()) != out.end(),
              "rewritten reply does not name the chat listener");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > FrameCollector::kSize) {
        return -1;  // no unit is larger than a collector
    }
    Target& t = target();
    Form1& form = t.form;
    form.ctl.txtLOG.clear();
    form.session().chatMode = CHAT_IDLE;
    form.session().sockets[SLOT_CLIENT_LOGIN] = t.clientLogin.ours;
    const Bytes unit(data, data + size);
    bool rewritten = false;
    try {
        rewritten = form.rewriteRedirect(unit);
    } catch (...) {
        fuzzCheck(false, "rewriteRedirect let a fault escape");
    }
    fuzzCheck(form.session().sockets[SLOT_CLIENT_LOGIN] == t.clientLogin.ours,
              "client-login slot changed");
    form.session().sockets[SLOT_CLIENT_LOGIN] = SOK_NO_SOCKET;
    const Bytes sent = t.clientLogin.drain();
    if (rewritten) {
        checkRewritten(unit, sent);
        fuzzCheck(form.session().chatMode == CHAT_AWAIT_CLIENT,
                  "rewritten without awaiting client-chat");
        fuzzCheck(form.session().sockets[SLOT_CHAT_LISTENER] != SOK_NO_SOCKET, "no chat listener");
        Sok_close(form.session().sockets[SLOT_CHAT_LISTENER]);
    } else {
        fuzzCheck(sent.empty(), "sent something without rewriting");
        fuzzCheck(form.session().chatMode == CHAT_IDLE, "chat mode changed without rewriting");
        fuzzCheck(form.session().sockets[SLOT_CHAT_LISTENER] == SOK_NO_SOCKET,
                  "chat listener left open");
    }
    fuzzCheck(!logsFault(form.ctl.txtLOG), form.ctl.txtLOG);
    return 0;
}
