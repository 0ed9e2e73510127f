// A message that nobody acknowledges, from sign-on to the end of the chat
// session: the notification reaches the client as the next client-side
// frame, the entry is dropped later, and msgack.log and the log window tell
// the same story.
#include <QWidget>
#include <string>

#include "tests/dorrimel_e2e/DorrimelSession.h"

namespace {

constexpr const char* kRecipient = "987654321";
const Cookie kCookie{0xC0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};

// "hh.mm.ss" at the start of a log window line, as "hh:mm:ss".
std::string sentAt(const std::string& line) {
    std::string time = line.substr(0, 8);
    time[2] = ':';
    time[5] = ':';
    return time;
}

}  // namespace

TEST_F(DorrimelSessionTest, UnacknowledgedMessageIsNotifiedAsTheNextClientFrame) {
    ASSERT_NO_FATAL_FAILURE(signOn(kOwnUin));
    EXPECT_EQ(form.ctl.labPlug, "Dorrimel v0.4 (API: 4)");
    EXPECT_EQ(form.ctl.txtUIN, kOwnUin);
    EXPECT_EQ(msgack(), (Lines{"Starting"}));
    const QWidget* logWindow = dorrimelWindow("LogDialog");
    ASSERT_NE(logWindow, nullptr);
    EXPECT_FALSE(logWindow->isVisible());
    EXPECT_EQ(logWindow->windowTitle().toStdString(), "Dorrimel v0.4 - Log");
    EXPECT_EQ(processedCounter(), "0");
    EXPECT_EQ(waitingCounter(), "0");

    ASSERT_NO_FATAL_FAILURE(openChat());
    const ByteVec first = flap(2, 0x5001, snac(1, 0x0F, ByteVec{}));
    server().send(first);
    ASSERT_TRUE(runUntil([&] { return clientFrames.size() == 1; }));
    EXPECT_EQ(clientFrames[0], withSeq(first, 0x2000));

    // Nothing else travels towards the client until the notification.
    const Counter packets = form.session().Packets[DIR_TO_CLIENT];
    const Counter datagrams = form.session().Datagramms[DIR_TO_CLIENT];
    const Counter bytes = form.session().Bytes[DIR_TO_CLIENT];
    const ByteVec message = outgoingMessage(kCookie, kRecipient, 0x00A1B2C3);
    client().send(message);
    ASSERT_TRUE(runUntil([&] { return clientFrames.size() == 2; }));
    ASSERT_EQ(serverFrames.size(), 1U);
    EXPECT_EQ(serverFrames[0], withSeq(message, 0x4000));

    const ByteVec& notice = clientFrames[1];
    EXPECT_EQ(seqOf(notice), 0x2001);
    EXPECT_EQ(form.session().Generated[0], 1);
    EXPECT_EQ(form.session().Generated[1], 0);
    EXPECT_EQ(form.session().Packets[DIR_TO_CLIENT], packets + 1);
    EXPECT_EQ(form.session().Datagramms[DIR_TO_CLIENT], datagrams + 1);
    EXPECT_EQ(form.session().Bytes[DIR_TO_CLIENT], bytes + static_cast<Counter>(notice.size()));
    EXPECT_EQ(form.session().Skipped[0] + form.session().Skipped[1], 0);

    // The notice names the time that the log window shows for the message.
    const Lines lines = logWindowLines();
    ASSERT_EQ(lines.size(), 1U);
    const std::string text = "[[Dorrimel: The message sent on " + sentAt(lines[0]) +
                             " was not delivered to " + kRecipient + "]]";
    EXPECT_EQ(notice, withSeq(recipientNotice(kRecipient, text), 0x2001));

    // A relayed frame after the notification takes the number after it.
    const ByteVec later = flap(2, 0x5002, snac(1, 0x0F, ByteVec{}));
    server().send(later);
    ASSERT_TRUE(runUntil([&] { return clientFrames.size() == 3; }));
    EXPECT_EQ(clientFrames[2], withSeq(later, 0x2002));

    // RemoveTimeout after sending the entry goes, and nothing more is sent.
    ASSERT_TRUE(runUntil([&] { return msgack().size() == 4; }));
    const std::string size = std::to_string(message.size() + 2);
    EXPECT_EQ(msgack(), (Lines{"Starting",
                               "Out msg  to   987654321 00A1B2C3-" + hexOf(kCookie, true) + " (" +
                                   size + " b) added",
                               "Notice   to   987654321 00000000-" + hexOf(kCookie, true) +
                                   " sent " + sentAt(lines[0]) + " as Message from recipient",
                               "Removed  to   987654321 00000000-" + hexOf(kCookie, true)}));
    EXPECT_EQ(logWindowLines(),
              (Lines{lines[0].substr(0, 8) + " for 987654321, " + size + " b. - removed"}));
    EXPECT_EQ(processedCounter(), "1");
    EXPECT_EQ(waitingCounter(), "0");
    EXPECT_EQ(clientFrames.size(), 3U);
    EXPECT_EQ(form.session().Generated[0], 1);

    ASSERT_NO_FATAL_FAILURE(endChatFromServer());
    EXPECT_EQ(msgack().back(), "Stopping");
    EXPECT_EQ(msgack().size(), 5U);
    flushDeferredDeletes();
    EXPECT_EQ(dorrimelWindowCount(), 0);
}
