// The host's incoming half: whatever the plug-in hands over, through the
// callback entry or as the answer to an event, and the host's reply record.
#include <algorithm>

#include "proxy/core/Form1.h"
#include "proxy/core/RunFault.h"
#include "proxy/core/SeqStamp.h"
#include "proxy/net/HexStrBin.h"
#include "proxy/plugin_host/PluginApi.h"
#include "proxy/plugin_host/RecordBytes.h"

namespace {

constexpr std::int32_t kReplyDone = 0;
constexpr std::int32_t kReplyNotSent = 1;
constexpr std::int32_t kReplyUnknownCommand = 2;

// PLUGIN_INFO in the work buffer `p` (p[0] is the kind): the title and
// version go to labPlug when both lie inside the record's L bytes.
void showPluginInfo(Form1& form, std::span<const std::uint8_t> p, std::int32_t l) {
    const auto n = static_cast<std::int32_t>(readLe32(p, 1));
    if (n < 0 || std::int64_t{n} + 5 > l) {
        return;
    }
    const std::string title = BinToStr(p, 5, n, true);
    if (std::int64_t{n} + 9 > l) {
        return;
    }
    const auto version = static_cast<std::int32_t>(readLe32(p, static_cast<std::size_t>(n) + 5));
    form.ctl.labPlug = title + " (API: " + std::to_string(version) + ")";
}

// Sends the frame p[2] .. p[l-1] on the chat connection of one direction,
// stamped with that direction's next sequence number.
const std::uint8_t* injectFrame(Form1& form, std::span<std::uint8_t> p, std::int32_t l,
                                bool toServer) {
    const std::string peer = toServer ? "server-chat" : "client-chat";
    if (form.chatMode != CHAT_RELAY) {
        form.LogLine("Failed to transmit to " + peer + " " + std::to_string(l) + " bytes");
        return form.Response(kReplyNotSent);
    }
    const std::int32_t n = l - 2;
    std::int32_t& seq = toServer ? form.seqToServer : form.seqToClient;
    stampSequence(p.subspan(2), seq);
    const int slot = toServer ? SLOT_SERVER_CHAT : SLOT_CLIENT_CHAT;
    if (Sok_send(form.sockets[slot], p.data() + 2, n) == -1) {
        form.LogLine("Failed to transmit to " + peer + " " + std::to_string(n) + " bytes");
        return form.Response(kReplyNotSent);
    }
    const int to = toServer ? DIR_TO_SERVER : DIR_TO_CLIENT;
    form.Generated[toServer ? 1 : 0] += 1;
    form.Packets[to] += 1;
    form.Datagramms[to] += 1;
    form.Bytes[to] += n;
    return form.Response(kReplyDone);
}

const std::uint8_t* runCommand(Form1& form, std::span<std::uint8_t> p, std::int32_t l) {
    switch (p[1]) {
        case PACKET_TO_SERVER:
            return injectFrame(form, p, l, true);
        case PACKET_TO_CLIENT:
            return injectFrame(form, p, l, false);
        case CLOSE_CLIENT_CHAT:
            Sok_close(form.sockets[SLOT_CLIENT_CHAT]);
            return form.Response(kReplyDone);
        default:
            return form.Response(kReplyUnknownCommand);
    }
}

}  // namespace

const std::uint8_t* Form1::PlugCallback(const std::uint8_t* record, int origin) {
    const std::uint8_t* reply = nullptr;
    try {
        if (record == nullptr) {
            return nullptr;
        }
        // The plug-in's record is read once, into a zero-filled copy; every
        // later read and the sequence stamp work on the copy.
        const auto l = static_cast<std::int32_t>(readLe32(std::span(record, PLUG_HEAD_SIZE), 0));
        if (l < 1 || l >= static_cast<std::int32_t>(PLUG_MAX_RECORD_LENGTH)) {
            return nullptr;
        }
        callbackRecord_.fill(0);
        std::copy_n(record + PLUG_HEAD_SIZE, l, callbackRecord_.begin());
        const std::span<std::uint8_t> p(callbackRecord_);
        if (p[0] == PLUGIN_INFO && origin == EVENT_INIT) {
            showPluginInfo(*this, p, l);
        } else if (p[0] == PLUGIN_COMMAND) {
            reply = runCommand(*this, p, l);
        }
    } catch (...) {
        logFault("INTERNAL ERROR pcb ");
    }
    return reply;
}

const std::uint8_t* Form1::Response(std::int32_t code) {
    try {
        if (code < kReplyDone || code > kReplyUnknownCommand) {
            return nullptr;
        }
        replyRecord.fill(0);
        replyRecord[0] = 2;
        replyRecord[4] = code == kReplyDone ? HOST_ACK : HOST_ERROR;
        replyRecord[5] = code == kReplyUnknownCommand ? ERROR_UNKNOWN_COMMAND : ACK_OK;
        return replyRecord.data();
    } catch (...) {
        logFault("INTERNAL ERROR r ");
        return nullptr;
    }
}
