#include "plugin/Notify.h"

#include "plugin/FrameWriter.h"
#include "plugin/OscarWire.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"

namespace {

constexpr std::size_t kRecordHead = 6;  // L, kind, command code
// A placeholder: the host stamps its own sequence number for the client's
// direction over these two bytes when it sends the frame.
constexpr std::uint16_t kFlapSequence = 0x4000;

void flapAndSnac(FrameWriter& out, std::uint16_t family, std::uint16_t subtype, std::uint16_t flags,
                 std::uint32_t requestId) {
    out.u8(wire::FLAP_MARKER);
    out.u8(wire::FLAP_CHANNEL_SNAC);
    out.be16(kFlapSequence);
    out.be16(0);  // data length, filled in when the frame is complete
    out.be16(family);
    out.be16(subtype);
    out.be16(flags);
    out.be32(requestId);
}

// Types 1, 3 and 4: an incoming message on message channel 4 (SNAC 4/7)
// from the sender given by its UIN.
void channel4Message(FrameWriter& out, std::uint32_t senderUin, std::uint8_t messageType,
                     const std::string& text, std::uint16_t t) {
    const std::string senderText = std::to_string(static_cast<std::int32_t>(senderUin));
    flapAndSnac(out, wire::SNAC_FAMILY_MESSAGES, wire::SNAC_MESSAGE_INCOMING, 0, 0);
    out.zeros(8);  // message cookie
    out.be16(wire::MESSAGE_CHANNEL_TYPED);
    out.u8(static_cast<std::uint8_t>(senderText.size()));
    out.text(senderText);
    out.be16(0);  // warning level
    out.be16(0);  // TLV count
    out.be16(wire::TLV_TYPED_MESSAGE);
    out.be16(static_cast<std::uint16_t>(t + 10));
    out.le32(senderUin);
    out.u8(messageType);
    out.u8(0);  // message flags
    out.le16(t);
    out.text(text);
    out.u8(0);
    out.le16(0);  // trailer
}

// Type 2: an offline message from the recipient (SNAC 0x15/3), dated now in
// UTC.
void offlineMessage(FrameWriter& out, std::uint32_t senderUin, const std::string& text,
                    std::uint16_t t) {
    const PluginDateTime utc = pluginClock().utcDateTime();
    flapAndSnac(out, wire::SNAC_FAMILY_META, wire::SNAC_META_REPLY, 1, 3);
    out.be16(wire::TLV_META_DATA);
    out.be16(static_cast<std::uint16_t>(t + 24));
    out.le16(static_cast<std::uint16_t>(t + 22));  // chunk length
    out.le32(currentSession().ownUin);
    out.le16(0x0041);  // reply type: offline message
    out.le16(0);       // reply sequence
    out.le32(senderUin);
    out.le16(static_cast<std::uint16_t>(utc.year));
    out.u8(static_cast<std::uint8_t>(utc.month));
    out.u8(static_cast<std::uint8_t>(utc.day));
    out.u8(static_cast<std::uint8_t>(utc.hour));
    out.u8(static_cast<std::uint8_t>(utc.minute));
    out.u8(1);  // message type
    out.u8(0);  // message flags
    out.le16(t);
    out.text(text);
    out.u8(0);
}

// The frame of the given type into out; false when none is built (a type
// outside 1 to 4, or a text too long for the frame's length fields).
bool buildFrame(FrameWriter& out, std::int32_t type, std::int32_t recipientUin,
                const std::string& text) {
    const std::size_t t = text.size() + 1;  // with the terminating zero
    const auto uin = static_cast<std::uint32_t>(recipientUin);
    const auto t16 = static_cast<std::uint16_t>(t);
    switch (type) {
        case 1:
        case 4:
            if (t > 65280) {
                return false;
            }
            channel4Message(out, type == 1 ? uin : 2, 1, text, t16);
            return true;
        case 2:
            if (t + 38 >= 65536) {
                return false;
            }
            offlineMessage(out, uin, text, t16);
            return true;
        case 3:
            if (t + 40 >= 65536) {
                return false;
            }
            channel4Message(out, 1, 9, text, t16);
            return true;
        default:
            return false;
    }
}

}  // namespace

NoticeOutcome notifyUndelivered(std::int32_t recipientUin, const std::string& text) {
    const HostCallbackFunction callback = currentSession().hostCallback;
    if (callback == nullptr) {
        return NoticeOutcome::NotSent;
    }
    ReplyBuffer& buffer = replyBuffer();
    FrameWriter frame{std::span(buffer).subspan(kRecordHead)};
    if (!buildFrame(frame, pluginSettings().notifyType, recipientUin, text) || frame.overflow()) {
        return NoticeOutcome::NotSent;
    }
    const std::size_t frameSize = frame.size();
    frame.patchBe16(wire::FLAP_LENGTH_AT,
                    static_cast<std::uint16_t>(frameSize - wire::FLAP_HEADER_SIZE));
    FrameWriter head{std::span(buffer).first(kRecordHead)};
    head.le32(static_cast<std::uint32_t>(2 + frameSize));
    head.u8(PLUGIN_COMMAND);
    head.u8(PACKET_TO_CLIENT);
    // The host's reply: L = 2, then HOST_ACK or HOST_ERROR.
    const std::uint8_t* reply = callback(buffer.data());
    return reply != nullptr && reply[4] == HOST_ERROR ? NoticeOutcome::Refused
                                                      : NoticeOutcome::Sent;
}
