// The host reading a record from its plug-in, through the callback entry
// (origin 0) or as the answer to EVENT_INIT (origin 1), so PLUGIN_INFO too.
// Input: one control byte (bit 0: answer to EVENT_INIT, bit 1: the chat
// relay is running), then the record. The record is held in a buffer that
// ends exactly where its L says (zero-padded when the input is shorter, as a
// plug-in's buffer would be), so that a read past it is caught. Both chat
// slots are socket pairs, so the test sees what was sent.
// Promises checked: nothing escapes or is logged as an internal error; a
// reply is the host's one 6-byte record; an injected frame is sent whole, in
// the right direction, with only its sequence field changed, and only when it
// is one whole FLAP frame (its length field gives its size).
#include <algorithm>

#include "tests/fuzz/FuzzForm.h"

namespace {

struct Target : FuzzForm {
    std::unique_ptr<StreamPair> clientChat = std::make_unique<StreamPair>();
    std::unique_ptr<StreamPair> serverChat = std::make_unique<StreamPair>();
};

Target& target() {
    static Target t;
    return t;
}

std::uint32_t le32(const Bytes& b) {
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// The record as the plug-in holds it: at least the L field, and all L bytes
// after it when L is one the host reads.
Bytes recordOf(Bytes input) {
    if (input.size() < PLUG_HEAD_SIZE) {
        input.resize(PLUG_HEAD_SIZE);
    }
    const std::uint32_t l = le32(input);
    if (l >= 1 && l < PLUG_MAX_RECORD_LENGTH) {
        input.resize(PLUG_HEAD_SIZE + l);
    }
    return input;
}

// Puts a pair's end into a slot, replacing a pair whose end a close took.
void plug(std::unique_ptr<StreamPair>& pair, SokHandle& slot) {
    if (pair->ours < 0) {
        pair = std::make_unique<StreamPair>();
    }
    slot = pair->ours;
}

// Takes a pair's end back out of its slot; false when the host closed it.
bool unplug(std::unique_ptr<StreamPair>& pair, SokHandle& slot) {
    const bool open = slot == pair->ours;
    if (!open) {
        fuzzCheck(slot == SOK_NO_SOCKET, "chat slot holds a strange socket");
        pair->ours = -1;
    }
    slot = SOK_NO_SOCKET;
    return open;
}

// Whether the bytes after the command code are one FLAP frame, whole.
bool wholeFrame(const Bytes& rec) {
    constexpr std::size_t kFrameAt = 6;
    return rec.size() >= kFrameAt + 6 &&
           rec.size() == kFrameAt + 6 + (rec[kFrameAt + 4] << 8 | rec[kFrameAt + 5]);
}

void checkInjected(const Bytes& rec, const Bytes& toClient, const Bytes& toServer, bool relaying) {
    const bool command = rec.size() >= 6 && le32(rec) >= 2 && le32(rec) < PLUG_MAX_RECORD_LENGTH &&
                         rec[4] == PLUGIN_COMMAND && wholeFrame(rec);
    const bool sendsUp = command && rec[5] == PACKET_TO_SERVER;
    const bool sendsDown = command && rec[5] == PACKET_TO_CLIENT;
    fuzzCheck(toServer.empty() || (sendsUp && relaying), "unasked bytes to server-chat");
    fuzzCheck(toClient.empty() || (sendsDown && relaying), "unasked bytes to client-chat");
    const Bytes& sent = sendsUp ? toServer : toClient;
    if ((sendsUp || sendsDown) && relaying) {
        const Bytes frame(rec.begin() + 6, rec.end());
        fuzzCheck(sent.size() == frame.size(), "injected frame not sent whole");
        for (std::size_t i = 0; i < frame.size(); ++i) {
            fuzzCheck(i == 2 || i == 3 || sent[i] == frame[i], "injected frame changed");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    Target& t = target();
    Form1& form = t.form;
    form.ctl.txtLOG.clear();
    const bool relaying = (data[0] & 2) != 0;
    form.session().chatMode = relaying ? CHAT_RELAY : CHAT_IDLE;
    const int origin = (data[0] & 1) != 0 ? EVENT_INIT : 0;
    const Bytes rec = recordOf(Bytes(data + 1, data + size));
    plug(t.clientChat, form.session().sockets[SLOT_CLIENT_CHAT]);
    plug(t.serverChat, form.session().sockets[SLOT_SERVER_CHAT]);

    const std::uint8_t* reply = nullptr;
    try {
        reply = form.PlugCallback(rec.data(), origin);
    } catch (...) {
        fuzzCheck(false, "PlugCallback let a fault escape");
    }
    if (reply != nullptr) {
        fuzzCheck(reply == form.replyRecord.data(), "reply is not the host's reply record");
        fuzzCheck(reply[0] == 2 && reply[1] == 0 && reply[2] == 0 && reply[3] == 0,
                  "reply L is not 2");
        fuzzCheck(reply[4] == HOST_ACK || reply[4] == HOST_ERROR, "reply of a strange kind");
    }
    const bool clientOpen = unplug(t.clientChat, form.session().sockets[SLOT_CLIENT_CHAT]);
    unplug(t.serverChat, form.session().sockets[SLOT_SERVER_CHAT]);
    const Bytes toClient = clientOpen ? t.clientChat->drain() : Bytes{};
    checkInjected(rec, toClient, t.serverChat->drain(), relaying);
    fuzzCheck(!logsFault(form.ctl.txtLOG), form.ctl.txtLOG);
    return 0;
}
