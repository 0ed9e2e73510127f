// The notification injected for an overdue message, in each of its four
// forms, read back field by field from the record the host is handed.
#include "plugin/Notify.h"
#include "tests/plugin/PluginFixture.h"

namespace {

const std::string kNotice =
    "[[Dorrimel: The message sent on 14:05:09 was not delivered to 123456789]]";
const std::uint32_t kT = static_cast<std::uint32_t>(kNotice.size() + 1);

// Walks a record field by field, failing the test on any read past its end.
class Reader {
  public:
    explicit Reader(const Bytes& bytes) : bytes_(bytes) {}
    std::uint32_t u8() { return take(1, readLe(bytes_, at_, 1)); }
    std::uint32_t be16() { return take(2, readBe(bytes_, at_, 2)); }
    std::uint32_t be32() { return take(4, readBe(bytes_, at_, 4)); }
    std::uint32_t le16() { return take(2, readLe(bytes_, at_, 2)); }
    std::uint32_t le32() { return take(4, readLe(bytes_, at_, 4)); }
    std::string text(std::size_t n) {
        const std::string value(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                                bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
        at_ += n;
        return value;
    }
    bool atEnd() const { return at_ == bytes_.size(); }

  private:
    std::uint32_t take(std::size_t width, std::uint32_t value) {
        at_ += width;
        return value;
    }
    const Bytes& bytes_;
    std::size_t at_ = 0;
};

class NotifyTest : public PluginTest {
  protected:
    // The record handed to the host for one overdue message with this type.
    Bytes notification(int notifyType) {
        writeSettings("NotifyType=" + std::to_string(notifyType));
        init(4242);
        sendMessage("123456789", cookieOf(1));
        tickAfter(6000);
        EXPECT_EQ(hostCalls.size(), 1u);
        return hostCalls.empty() ? Bytes{} : hostCalls[0];
    }

    // Record head, FLAP and SNAC headers; true when all are as expected.
    static void expectHeads(Reader& in, const Bytes& record, std::uint32_t family,
                            std::uint32_t subtype, std::uint32_t flags, std::uint32_t requestId) {
        EXPECT_EQ(in.le32(), record.size() - 4);
        EXPECT_EQ(in.u8(), PLUGIN_COMMAND);
        EXPECT_EQ(in.u8(), PACKET_TO_CLIENT);
        EXPECT_EQ(in.u8(), 0x2Au);
        EXPECT_EQ(in.u8(), 2u);
        EXPECT_EQ(in.be16(), 0x4000u);
        EXPECT_EQ(in.be16(), record.size() - 12);  // FLAP data length
        EXPECT_EQ(in.be16(), family);
        EXPECT_EQ(in.be16(), subtype);
        EXPECT_EQ(in.be16(), flags);
        EXPECT_EQ(in.be32(), requestId);
    }

    // Types 1, 3, 4: an incoming message on channel 4 from senderText.
    static void expectChannel4(const Bytes& record, const std::string& senderText,
                               std::uint32_t sender, std::uint32_t messageType) {
        ASSERT_EQ(record.size(), 6 + 16 + 11 + senderText.size() + 8 + 8 + kT + 2);
        Reader in(record);
        expectHeads(in, record, 4, 7, 0, 0);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(in.u8(), 0u) << "cookie byte " << i;
        }
        EXPECT_EQ(in.be16(), 4u);  // message channel
        EXPECT_EQ(in.u8(), senderText.size());
        EXPECT_EQ(in.text(senderText.size()), senderText);
        EXPECT_EQ(in.be16(), 0u);  // warning level
        EXPECT_EQ(in.be16(), 0u);  // TLV count
        EXPECT_EQ(in.be16(), 5u);
        EXPECT_EQ(in.be16(), kT + 10);
        EXPECT_EQ(in.le32(), sender);
        EXPECT_EQ(in.u8(), messageType);
        EXPECT_EQ(in.u8(), 0u);
        EXPECT_EQ(in.le16(), kT);
        EXPECT_EQ(in.text(kT), kNotice + '\0');
        EXPECT_EQ(in.le16(), 0u);  // trailer
        EXPECT_TRUE(in.atEnd());
    }
};

TEST_F(NotifyTest, Type1IsAMessageFromTheRecipient) {
    expectChannel4(notification(1), "123456789", 123456789, 1);
}

TEST_F(NotifyTest, Type3IsAMessageFromUin1WithMessageType9) {
    expectChannel4(notification(3), "1", 1, 9);
}

TEST_F(NotifyTest, Type4IsAMessageFromUin2) {
    expectChannel4(notification(4), "2", 2, 1);
}

TEST_F(NotifyTest, Type2IsAnOfflineMessageDatedNowInUtc) {
    const Bytes record = notification(2);
    ASSERT_EQ(record.size(), 6 + 16 + 4 + 24 + kT);
    Reader in(record);
    expectHeads(in, record, 0x15, 3, 1, 3);
    EXPECT_EQ(in.be16(), 1u);  // TLV type
    EXPECT_EQ(in.be16(), kT + 24);
    EXPECT_EQ(in.le16(), kT + 22);  // chunk length
    EXPECT_EQ(in.le32(), 4242u);    // own UIN
    EXPECT_EQ(in.le16(), 0x41u);
    EXPECT_EQ(in.le16(), 0u);
    EXPECT_EQ(in.le32(), 123456789u);
    EXPECT_EQ(in.le16(), 2024u);
    EXPECT_EQ(in.u8(), 3u);   // month
    EXPECT_EQ(in.u8(), 7u);   // day
    EXPECT_EQ(in.u8(), 13u);  // hour, UTC while the notice names local 14:05:09
    EXPECT_EQ(in.u8(), 5u);   // minute
    EXPECT_EQ(in.u8(), 1u);
    EXPECT_EQ(in.u8(), 0u);
    EXPECT_EQ(in.le16(), kT);
    EXPECT_EQ(in.text(kT), kNotice + '\0');
    EXPECT_TRUE(in.atEnd());
}

TEST_F(NotifyTest, TypeOutsideOneToFourSendsNothingAndARefusalIsLogged) {
    expectChannel4(notification(5), "123456789", 123456789, 1);  // from the file: the default
    hostCalls.clear();
    pluginSettings().notifyType = 5;
    EXPECT_EQ(notifyUndelivered(42, "text"), NoticeOutcome::NotSent);
    EXPECT_TRUE(hostCalls.empty());

    pluginSettings().notifyType = 3;
    hostRefuses = true;
    sendMessage("77", cookieOf(2));
    tickAfter(6000);
    hostRefuses = false;
    EXPECT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(logFileLines().back(),
              "Notice   to          77 00000000-02010203A4B5C6FF sent 14:05:09 as Message from "
              "Mirabilis, refused by the host");
}

TEST_F(NotifyTest, NothingIsSentWhileNoCallbackIsKnown) {
    send(withLength(initRecord(1), 2));  // an init without payload
    ASSERT_EQ(currentSession().hostCallback, nullptr);
    sendMessage("42", cookieOf(1));
    tickAfter(6000);
    EXPECT_TRUE(hostCalls.empty());
    EXPECT_EQ(messageList().entries[0].notified, 1u);  // counted as notified all the same
    tickAfter(6000);
    EXPECT_EQ(messageList().count, 0);
}

}  // namespace
