#include "bench/Frames.h"

namespace {

constexpr std::size_t kTypicalSize = 100;
constexpr std::size_t kFlapAndSnac = 6 + 10;
constexpr std::size_t kTlvHead = 4;
const char* const kRecipient = "987654321";

ByteVec cookie(std::uint32_t tag) {
    return ByteVec{0xC0,
                   0x0C,
                   0x1E,
                   0x00,
                   static_cast<std::uint8_t>(tag >> 24),
                   static_cast<std::uint8_t>(tag >> 16),
                   static_cast<std::uint8_t>(tag >> 8),
                   static_cast<std::uint8_t>(tag)};
}

// Cookie, message channel 1 and the recipient's UIN text.
ByteVec messageHead(std::uint32_t tag) {
    ByteVec head = cookie(tag);
    appendBe16(head, 1);
    head.push_back(static_cast<std::uint8_t>(std::string(kRecipient).size()));
    const ByteVec uin = textBytes(kRecipient);
    head.insert(head.end(), uin.begin(), uin.end());
    return head;
}

}  // namespace

ByteVec typicalFrame(std::size_t bytes) {
    const ByteVec request(bytes - kFlapAndSnac - kTlvHead, 0x5A);
    return flap(2, 0x1234, snac(0x15, 0x02, tlv(1, request)));
}

ByteVec messageFrame(std::uint32_t tag) {
    const ByteVec head = messageHead(tag);
    const ByteVec ackRequest = tlv(3, ByteVec{});
    // The text fragment (capabilities, then the text) fills the frame to 100 bytes.
    const std::size_t fragmentSize =
        kTypicalSize - kFlapAndSnac - head.size() - kTlvHead - ackRequest.size();
    ByteVec fragment{0x05, 0x01, 0x00, 0x01, 0x01, 0x01, 0x01};
    appendBe16(fragment, static_cast<std::uint32_t>(fragmentSize - fragment.size() - 2));
    fragment.insert(fragment.end(), 4, 0x00);  // charset and subset
    fragment.resize(fragmentSize, 'a');
    return flap(2, 0x1234, snac(4, 6, concat({head, tlv(2, fragment), ackRequest})));
}

ByteVec serverAckFrame(std::uint32_t tag) {
    return flap(2, 0x5678, snac(4, 0x0C, messageHead(tag)));
}

ByteVec typicalFrames(int count, std::size_t bytes) {
    ByteVec frames;
    const ByteVec frame = typicalFrame(bytes);
    for (int i = 0; i < count; ++i) {
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    return frames;
}
