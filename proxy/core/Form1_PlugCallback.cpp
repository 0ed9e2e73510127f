// The host's incoming half: whatever the plug-in hands over, through the
// callback entry or as the answer to an event, and the host's reply record.
#include <algorithm>
#include <optional>
#include <utility>

#include "proxy/core/Form1.h"
#include "proxy/core/RunFault.h"
#include "proxy/net/HexStrBin.h"
#include "proxy/plugin_host/PluginApi.h"
#include "proxy/plugin_host/RecordBytes.h"

namespace {

constexpr std::int32_t kReplyDone = 0;
constexpr std::int32_t kReplyNotSent = 1;
constexpr std::int32_t kReplyUnknownCommand = 2;

// PLUGIN_INFO in the work buffer `p` (p[0] is the kind): labPlug's caption
// when the title and the version both lie inside the record's L bytes.
std::optional<std::string> pluginInfoCaption(std::span<const std::uint8_t> p, std::int32_t l) {
    const auto n = static_cast<std::int32_t>(readLe32(p, 1));
    if (n < 0 || std::int64_t{n} + 5 > l) {
        return std::nullopt;
    }
    const std::string title = BinToStr(p, 5, n, true);
    if (std::int64_t{n} + 9 > l) {
        return std::nullopt;
    }
    const auto version = static_cast<std::int32_t>(readLe32(p, static_cast<std::size_t>(n) + 5));
    return title + " (API: " + std::to_string(version) + ")";
}

// A FLAP header and exactly the data its length field announces: anything
// else would use a sequence number and desynchronise the peer's framing.
bool wholeFlapFrame(std::span<const std::uint8_t> frame) {
    if (frame.size() < static_cast<std::size_t>(FLAP_HEADER_SIZE)) {
        return false;
    }
    const std::size_t length = std::size_t{frame[FLAP_LENGTH_AT]} << 8 | frame[FLAP_LENGTH_AT + 1];
    return frame.size() == static_cast<std::size_t>(FLAP_HEADER_SIZE) + length;
}

// Whether PLUGIN_INFO in `p` says the plug-in serves several sessions: the
// field after the version, when it lies inside L.
bool infoSaysSeveral(std::span<const std::uint8_t> p, std::int32_t l) {
    const auto n = static_cast<std::int32_t>(readLe32(p, 1));
    if (n < 0 || std::int64_t{n} + 13 > l) {
        return false;
    }
    return readLe32(p, static_cast<std::size_t>(n) + 9) == INFO_SEVERAL_SESSIONS;
}

}  // namespace

const std::uint8_t* Form1::PlugSessionCallback(int index, const std::uint8_t* record) {
    Session* s = sessionAt(index);
    if (s == &waiting()) {
        s = nullptr;  // it has not started: no session runs under the index
    }
    const Commanding commanding(*this, s);
    // Its lines name the session.
    std::optional<Acting> acting;
    if (s != nullptr) {
        acting.emplace(*this, *s);
    }
    return PlugCallback(record, 0);
}

const std::uint8_t* Form1::PlugCallback(const std::uint8_t* record, int origin) {
    // Injected frames leave before the callback returns.
    const Handler handler(*this, Handler::plugin);
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
            if (std::optional<std::string> caption = pluginInfoCaption(p, l)) {
                ctl.labPlug = std::move(*caption);
            }
            pluginSeveral_ = infoSaysSeveral(p, l);
        } else if (p[0] == PLUGIN_COMMAND) {
            reply = runCommand(p, l);
        }
    } catch (...) {
        logFault(FAULT_IN_PLUG_CALLBACK);
    }
    return reply;
}

const std::uint8_t* Form1::runCommand(std::span<std::uint8_t> p, std::int32_t l) {
    switch (p[1]) {
        case PACKET_TO_SERVER:
            return injectFrame(DIR_TO_SERVER, p, l);
        case PACKET_TO_CLIENT:
            return injectFrame(DIR_TO_CLIENT, p, l);
        case CLOSE_CLIENT_CHAT:
            if (Session* s = commanded()) {
                Sok_close(s->sockets[SLOT_CLIENT_CHAT]);
            }
            return Response(kReplyDone);
        default:
            return Response(kReplyUnknownCommand);
    }
}

// The frame p[2] .. p[l-1] goes out the way relayed frames do, when it is one
// whole FLAP frame; the plug-in learns whether it was sent. A send command's code lies inside L, so
// l >= 2.
const std::uint8_t* Form1::injectFrame(int to, std::span<std::uint8_t> p, std::int32_t l) {
    Session* const target = commanded();
    if (target == nullptr || target->chatMode != CHAT_RELAY) {
        LogLine("Failed to transmit to " + std::string(chatPeer(to)) + " " + std::to_string(l) +
                " bytes");
        return Response(kReplyNotSent);
    }
    const std::span<std::uint8_t> frame = p.subspan(2, static_cast<std::size_t>(l) - 2);
    if (!wholeFlapFrame(frame)) {
        LogLine("Refused a frame of " + std::to_string(frame.size()) +
                " bytes from the plug-in to " + chatPeer(to) + ": not one whole FLAP frame");
        return Response(kReplyNotSent);
    }
    Session& s = *target;
    if (!sendChatFrame(s, to, frame)) {
        return Response(kReplyNotSent);
    }
    s.Generated[to == DIR_TO_SERVER ? GENERATED_TO_SERVER : GENERATED_TO_CLIENT] += 1;
    return Response(kReplyDone);
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
        logFault(FAULT_IN_RESPONSE);
        return nullptr;
    }
}
