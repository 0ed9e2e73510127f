// Acknowledgements through the running proxy: the server's (4/0C) and the
// recipient's (4/0B) each remove their message and report the elapsed time;
// acknowledgements that match nothing are reported as not found. Every
// acknowledgement still reaches the client unchanged.
#include <regex>
#include <string>

#include "tests/dorrimel_e2e/DorrimelSession.h"

namespace {

const Cookie kCookieA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
const Cookie kCookieB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};

// The milliseconds in a line that ends "<prefix><n><suffix>"; -1 if it does not.
long msIn(const std::string& line, const std::string& pattern) {
    std::smatch m;
    return std::regex_match(line, m, std::regex(pattern)) ? std::stol(m[1]) : -1;
}

}  // namespace

TEST_F(DorrimelSessionTest, AcknowledgementsRemoveTheirMessagesAndStrayOnesAreReported) {
    // Time-outs far beyond the test, so that nothing is notified or dropped.
    writeSettings(50, 600000, 600000);
    ASSERT_NO_FATAL_FAILURE(signOn(kOwnUin));
    ASSERT_NO_FATAL_FAILURE(openChat());

    const ByteVec toA = outgoingMessage(kCookieA, "987654321", 0x11);
    const ByteVec toB = outgoingMessage(kCookieB, "55566677", 0x22);
    client().send(toA);
    client().send(toB);
    ASSERT_TRUE(runUntil([&] { return serverFrames.size() == 2; }));
    EXPECT_EQ(processedCounter(), "2");
    EXPECT_EQ(waitingCounter(), "2");

    const std::vector<ByteVec> acks = {
        serverAck(kCookieA, "987654321", 0x31),  // A, from the server
        clientAck(kCookieB, "55566677", 0x32),   // B, from the recipient
        clientAck(kCookieA, "987654321", 0x33),  // A again: already gone
        serverAck(kCookieB, "123456780", 0x34),  // B's cookie, another UIN
    };
    for (const ByteVec& ack : acks) {
        server().send(ack);
    }
    ASSERT_TRUE(runUntil([&] { return clientFrames.size() == acks.size(); }));
    for (std::size_t i = 0; i < acks.size(); ++i) {
        EXPECT_EQ(clientFrames[i], withSeq(acks[i], static_cast<std::uint16_t>(0x2000 + i)));
    }
    EXPECT_EQ(form.session().Generated[0], 0);
    EXPECT_EQ(form.session().Skipped[0] + form.session().Skipped[1], 0);

    const Lines file = msgack();
    ASSERT_EQ(file.size(), 7U);
    const std::string sizeA = std::to_string(toA.size() + 2);
    const std::string sizeB = std::to_string(toB.size() + 2);
    const std::string a = hexOf(kCookieA, true);
    const std::string b = hexOf(kCookieB, true);
    EXPECT_EQ(file[0], "Starting");
    EXPECT_EQ(file[1], "Out msg  to   987654321 00000011-" + a + " (" + sizeA + " b) added");
    EXPECT_EQ(file[2], "Out msg  to    55566677 00000022-" + b + " (" + sizeB + " b) added");
    const long srvAckMs = msIn(file[3], "Srv ack from  987654321 00000031-" + a + " (\\d+) ms");
    const long ackMs = msIn(file[4], "Ack msg from   55566677 00000032-" + b + " (\\d+) ms");
    EXPECT_GE(srvAckMs, 0) << file[3];
    EXPECT_GE(ackMs, 0) << file[4];
    EXPECT_EQ(file[5], "Ack msg from  987654321 00000033-" + a + " not found");
    EXPECT_EQ(file[6], "Srv ack from  123456780 00000034-" + b + " not found");

    // The log window: the same times on the messages' own lines, and one new
    // line for each acknowledgement that matched nothing.
    const Lines lines = logWindowLines();
    ASSERT_EQ(lines.size(), 4U);
    const std::string time = "\\d{2}\\.\\d{2}\\.\\d{2}";
    EXPECT_EQ(msIn(lines[0], time + " for 987654321, " + sizeA + " b\\. - srv ack in (\\d+) ms"),
              srvAckMs)
        << lines[0];
    EXPECT_EQ(msIn(lines[1], time + " for  55566677, " + sizeB + " b\\. - ack in (\\d+) ms"), ackMs)
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(time + " from 987654321  received ack")))
        << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(time + " from 123456780  received srv ack")))
        << lines[3];
    EXPECT_EQ(processedCounter(), "2");
    EXPECT_EQ(waitingCounter(), "0");

    ASSERT_NO_FATAL_FAILURE(endChatFromServer());
    EXPECT_EQ(msgack().back(), "Stopping");
    flushDeferredDeletes();
    EXPECT_EQ(dorrimelWindowCount(), 0);
}
