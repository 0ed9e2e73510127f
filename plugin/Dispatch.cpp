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

HostCallbackFunction callbackFrom(std::uint64_t address) {
    return reinterpret_cast<HostCallbackFunction>(static_cast<std::uintptr_t>(address));
}

// A string field whose text is not used: the count and all its bytes must
// fit.
bool skipString(RecordReader& in) {
    std::uint32_t count = 0;
    return in.le32(count) && in.skip(count);
}

// The init payload's fields in order, stopping at the first that does not
// fit. The 32-bit callback field is the whole address only on a 32-bit
// build; a 64-bit build calls only the full address after ownUin, and keeps
// no callback when the record does not hold it. False when the record holds
// a callback field but no address this build can call.
bool readInitPayload(RecordReader& in) {
    PluginState& s = pluginState();
    s.ownUin = 0;
    std::uint32_t callback = 0;
    if (!in.le32(callback)) {
        return true;
    }
    constexpr bool fullIsWider = sizeof(HostCallbackFunction) > 4;
    s.hostCallback = fullIsWider ? nullptr : callbackFrom(callback);
    std::uint32_t hostApiVersion = 0;
    std::uint32_t ownUin = 0;
    if (!in.le32(hostApiVersion) || !skipString(in) || !skipString(in) || !in.le32(ownUin)) {
        return !fullIsWider;
    }
    s.ownUin = ownUin;
    std::uint64_t fullCallback = 0;
    if (fullIsWider && in.le64(fullCallback)) {
        s.hostCallback = callbackFrom(fullCallback);
    }
    return s.hostCallback != nullptr || callback == 0;
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
    out.le32(static_cast<std::uint32_t>(9 + title.size()));
    out.u8(PLUGIN_INFO);
    out.le32(static_cast<std::uint32_t>(title.size()));
    out.text(title);
    out.le32(PLUGIN_API_VERSION);
    return buffer.data();
}

// EVENT_INIT. A repeated init without a finish first releases what the
// earlier one set up.
const std::uint8_t* initEvent(RecordReader& in) {
    PluginState& s = pluginState();
    if (s.inited) {
        releasePlugin();
    }
    const bool callable = readInitPayload(in);
    s.inited = true;
    std::vector<std::string> notes;
    loadSettings(&notes);
    if (!setUpMessageList()) {
        if (PluginPlatform* platform = pluginPlatform()) {
            platform->messageBox("Failed to allocate message list", PLUGIN_TITLE, BoxIcon::Error);
        }
    }
    startTrackerTimer();
    messageList().processed = 0;
    createLogWindow();
    logToFile("Starting");
    for (const std::string& note : notes) {
        reportLine(note);
    }
    if (!callable) {
        reportLine("EVENT_INIT holds no full 64-bit callback address: no notice will be sent");
    }
    return pluginInfoAnswer();
}

void finishEvent() {
    logToFile("Stopping");
    releasePlugin();
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
        case PACKET_TO_CLIENT:
        case PACKET_TO_SERVER:
            if (pluginState().inited) {
                packetEvent(in, code, length);
            }
            return nullptr;
        default:
            return nullptr;
    }
}
