#include "plugin/Dispatch.h"

#include <algorithm>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/FrameWriter.h"
#include "plugin/LogFile.h"
#include "plugin/LogWindow.h"
#include "plugin/Options.h"
#include "plugin/OscarWire.h"
#include "plugin/PluginState.h"
#include "plugin/RecordReader.h"
#include "plugin/Settings.h"
#include "plugin/TextNumbers.h"
#include "plugin/Tracker.h"

namespace {

constexpr std::size_t kEventDataAt = PLUG_EVENT_HEAD_SIZE;
constexpr std::size_t kUinTextLimit = 19;
constexpr std::size_t kMessageHeadBytes = 11;  // cookie, channel, UIN length

constexpr bool kFullIsWider = sizeof(HostCallbackFunction) > 4;
constexpr std::string_view kNoCallbackLine =
    "EVENT_INIT holds no full 64-bit callback address: no notice will be sent";

HostCallbackFunction callbackFrom(std::uint64_t address) {
    return reinterpret_cast<HostCallbackFunction>(static_cast<std::uintptr_t>(address));
}

// A string field whose text is not used: the count and all its bytes must
// fit.
bool skipString(RecordReader& in) {
    std::uint32_t count = 0;
    return in.le32(count) && in.skip(count);
}

// The init payload's fields in order, as far as they fit.
struct InitFields {
    bool hasCallback = false;
    std::uint32_t callback = 0;
    std::uint32_t hostApiVersion = 0;  // 0 when it does not fit
    bool hasUin = false;               // and the fields before it
    std::uint32_t ownUin = 0;
    bool hasFull = false;
    std::uint64_t fullCallback = 0;
};

InitFields readInitFields(RecordReader& in) {
    InitFields f;
    f.hasCallback = in.le32(f.callback);
    if (!f.hasCallback || !in.le32(f.hostApiVersion)) {
        return f;
    }
    f.hasUin = skipString(in) && skipString(in) && in.le32(f.ownUin);
    f.hasFull = f.hasUin && in.le64(f.fullCallback);
    return f;
}

// The address that names a session: the full one where this build calls
// it, the 32-bit field otherwise.
std::uint64_t sessionAddress(std::uint32_t low, bool hasFull, std::uint64_t full) {
    return kFullIsWider && hasFull ? full : low;
}

// The 32-bit callback field is the whole address only on a 32-bit build; a
// 64-bit build calls only the full address after ownUin, and keeps no
// callback when the record does not hold it. A record without a callback
// field leaves the session's callback as it was. False when the record
// holds a callback field but no address this build can call.
bool takeInitFields(Session& session, const InitFields& f) {
    session.ownUin = f.hasUin ? f.ownUin : 0;
    if (!f.hasCallback) {
        return true;
    }
    session.address = sessionAddress(f.callback, f.hasFull, f.fullCallback);
    if (!kFullIsWider) {
        session.hostCallback = callbackFrom(f.callback);
        return true;
    }
    session.hostCallback = f.hasFull ? callbackFrom(f.fullCallback) : nullptr;
    return f.hasUin && (session.hostCallback != nullptr || f.callback == 0);
}

// A line for the log window and the log file, after the window is made.
void reportLine(const std::string& text) {
    appendLogLine(text);
    logToFile(text);
}

const std::uint8_t* pluginInfoAnswer() {
    ReplyBuffer& buffer = replyBuffer();
    const std::string_view title = PLUGIN_TITLE;
    FrameWriter out(buffer);
    out.le32(static_cast<std::uint32_t>(13 + title.size()));
    out.u8(PLUGIN_INFO);
    out.le32(static_cast<std::uint32_t>(title.size()));
    out.text(title);
    out.le32(PLUGIN_API_VERSION);
    out.le32(INFO_SEVERAL_SESSIONS);
    return buffer.data();
}

void showListFailure() {
    if (PluginPlatform* platform = pluginPlatform()) {
        platform->messageBox("Failed to allocate message list", PLUGIN_TITLE, BoxIcon::Error);
    }
}

// Another session of a host that serves several, beside those served; a
// repeated init of one served releases only that session's list first.
const std::uint8_t* joinSession(const InitFields& fields) {
    PluginState& s = pluginState();
    const std::shared_ptr<Session> known =
        findSession(sessionAddress(fields.callback, fields.hasFull, fields.fullCallback));
    if (known) {
        known->list.entries.reset();
        s.current = known;
    }
    Session& session = known ? *known : addSession();
    const bool callable = takeInitFields(session, fields);
    s.sessionUnknown = false;
    if (!setUpMessageList()) {
        showListFailure();
    }
    messageList().processed = 0;
    logToFile(sessionPrefix() + "Starting");
    if (!callable) {
        reportLine(sessionPrefix() + std::string(kNoCallbackLine));
    }
    updateCounters();
    return pluginInfoAnswer();
}

// EVENT_INIT. A host that serves several sessions adds one to those served;
// otherwise a repeated init without a finish first releases what the earlier
// one set up.
const std::uint8_t* initEvent(RecordReader& in) {
    PluginState& s = pluginState();
    const InitFields fields = readInitFields(in);
    if (s.inited && fields.hostApiVersion >= HOST_API_SEVERAL_SESSIONS) {
        return joinSession(fields);
    }
    if (s.inited) {
        releasePlugin();
    }
    const bool callable = takeInitFields(currentSession(), fields);
    s.inited = true;
    s.sessionUnknown = false;
    std::vector<std::string> notes;
    loadSettings(&notes);
    if (!setUpMessageList()) {
        showListFailure();
    }
    startTrackerTimer();
    messageList().processed = 0;
    createLogWindow();
    logToFile("Starting");
    for (const std::string& note : notes) {
        reportLine(note);
    }
    if (!callable) {
        reportLine(std::string(kNoCallbackLine));
    }
    return pluginInfoAnswer();
}

// EVENT_FINISH ends the current session: while others remain, only its own
// state goes.
void finishEvent() {
    PluginState& s = pluginState();
    if (s.sessionUnknown) {
        return;
    }
    logToFile(sessionPrefix() + "Stopping");
    if (s.inited && s.sessions.size() > 1) {
        dropCurrentSession();
        updateCounters();
        return;
    }
    releasePlugin();
}

// EVENT_SESSION: the events that follow belong to the session it names, or
// to none while it names one not served.
void sessionEvent(RecordReader& in) {
    PluginState& s = pluginState();
    std::uint32_t low = 0;
    if (!s.inited || !in.le32(low)) {
        return;
    }
    std::uint64_t full = 0;
    const bool hasFull = kFullIsWider && in.le64(full);
    if (std::shared_ptr<Session> named = findSession(sessionAddress(low, hasFull, full))) {
        s.current = std::move(named);
        s.sessionUnknown = false;
        return;
    }
    s.sessionUnknown = true;
    reportLine("EVENT_SESSION names no session served here: its events are ignored");
}

// Cookie, channel (not looked at) and the UIN string, clipped to the frame.
struct MessageHead {
    Cookie cookie{};
    std::int32_t uin = 0;
};

bool readMessageHead(RecordReader& in, MessageHead& head) {
    if (in.remaining() < kMessageHeadBytes) {
        return false;
    }
    std::span<const std::uint8_t> cookie;
    std::uint8_t uinLength = 0;
    in.bytes(head.cookie.size(), cookie);
    in.skip(2);
    in.u8(uinLength);
    std::copy(cookie.begin(), cookie.end(), head.cookie.begin());
    std::size_t kept = uinLength < in.remaining() ? uinLength : in.remaining();
    kept = kept < kUinTextLimit ? kept : kUinTextLimit;
    std::span<const std::uint8_t> text;
    in.bytes(kept, text);
    head.uin =
        parseDecimalInt(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    return true;
}

// A FLAP frame passing either way: an outgoing message (4/6) is tracked, an
// acknowledgement (4/0B from the recipient, 4/0C from the server) matched.
void packetEvent(RecordReader& in, std::uint8_t code, std::uint32_t length) {
    std::uint8_t start = 0;
    std::uint8_t channel = 0;
    std::uint16_t sequence = 0;
    std::uint16_t dataLength = 0;
    if (!in.u8(start) || !in.u8(channel) || !in.be16(sequence) || !in.be16(dataLength) ||
        start != wire::FLAP_MARKER || channel != wire::FLAP_CHANNEL_SNAC) {
        return;
    }
    // Nothing past the frame's own end counts (8: kind, code, FLAP header).
    const std::uint32_t frameEnd = 8 + std::uint32_t{dataLength};
    if (frameEnd < length) {
        length = frameEnd;
        in.clipEnd(PLUG_HEAD_SIZE + std::size_t{length});
    }
    std::uint16_t family = 0;
    std::uint16_t subtype = 0;
    std::uint16_t flags = 0;
    std::uint32_t requestId = 0;
    if (!in.be16(family) || !in.be16(subtype) || !in.be16(flags) || !in.be32(requestId) ||
        family != wire::SNAC_FAMILY_MESSAGES) {
        return;
    }
    const bool send = code == PACKET_TO_SERVER && subtype == wire::SNAC_MESSAGE_SEND;
    const bool ack = code == PACKET_TO_CLIENT && (subtype == wire::SNAC_MESSAGE_CLIENT_ACK ||
                                                  subtype == wire::SNAC_MESSAGE_SERVER_ACK);
    MessageHead head;
    if ((!send && !ack) || !readMessageHead(in, head)) {
        return;
    }
    if (send) {
        addMessage(head.uin, requestId, head.cookie, static_cast<std::int32_t>(length));
    } else {
        ackMessage(
            head.uin, requestId, head.cookie,
            subtype == wire::SNAC_MESSAGE_SERVER_ACK ? AckSource::Server : AckSource::Client);
    }
}

}  // namespace

const std::uint8_t* dispatchEvent(const std::uint8_t* record) {
    if (record == nullptr) {
        return nullptr;
    }
    RecordReader head(std::span(record, PLUG_HEAD_SIZE), 0);
    std::uint32_t length = 0;
    head.le32(length);
    if (length == 0) {
        return nullptr;
    }
    // L and its own four bytes, which a 32-bit size cannot always hold.
    const auto total = static_cast<std::size_t>(std::min<std::uint64_t>(
        std::uint64_t{length} + PLUG_HEAD_SIZE, std::numeric_limits<std::size_t>::max()));
    const std::span<const std::uint8_t> whole(record, total);
    if (whole[4] != PLUGIN_EVENT || length < 2) {
        return nullptr;
    }
    RecordReader in(whole, kEventDataAt);
    switch (const std::uint8_t code = whole[5]) {
        case EVENT_INIT:
            return initEvent(in);
        case EVENT_FINISH:
            finishEvent();
            return nullptr;
        case EVENT_PREFERENCES:
            preferencesEvent();
            return nullptr;
        case EVENT_SESSION:
            sessionEvent(in);
            return nullptr;
        case PACKET_TO_CLIENT:
        case PACKET_TO_SERVER:
            if (pluginState().inited && !pluginState().sessionUnknown) {
                packetEvent(in, code, length);
            }
            return nullptr;
        default:
            return nullptr;
    }
}
