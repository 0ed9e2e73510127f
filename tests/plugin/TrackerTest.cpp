// The outgoing-message tracker: matching acknowledgements, growing the list,
// the deadlines of the timer (the tick counter's wrap included), and what
// the log window and the counters show meanwhile.
#include "tests/plugin/PluginFixture.h"

namespace {

class TrackerTest : public PluginTest {
  protected:
    TrackerTest() { init(); }

    // The size of the record that sendMessage builds for a UIN text of n
    // characters: kind, code, FLAP and SNAC headers, body, trailing TLV.
    static int sizeFor(std::size_t n) { return static_cast<int>(2 + 6 + 10 + 11 + n + 8); }
    std::string sentLine(const std::string& uin) const {
        return "14.05.09 for" + std::string(10 - uin.size(), ' ') + uin + ", " +
               std::to_string(sizeFor(uin.size())) + " b.";
    }
};

TEST_F(TrackerTest, AckRemovesTheMessageAndReportsTheElapsedTime) {
    sendMessage("123456789", cookieOf(1));
    sendMessage("555", cookieOf(2));
    EXPECT_EQ(rec.selected, 1);
    clock.tick += 250;
    sendAck(0x0C, "123456789", cookieOf(1), 0xABCDEF01);
    clock.tick += 100;
    sendAck(0x0B, "555", cookieOf(2));

    EXPECT_EQ(messageList().count, 0);
    EXPECT_EQ(rec.lines, (std::vector<std::string>{sentLine("123456789") + " - srv ack in 250 ms",
                                                   sentLine("555") + " - ack in 350 ms"}));
    EXPECT_EQ(rec.selected, 1);  // replacing a line leaves the selection
    EXPECT_EQ(rec.processed, 2u);
    EXPECT_EQ(rec.waiting, 0u);
    const std::vector<std::string> file = logFileLines();
    ASSERT_EQ(file.size(), 5u);
    EXPECT_EQ(file[3], "Srv ack from  123456789 ABCDEF01-01010203A4B5C6FF 250 ms");
    EXPECT_EQ(file[4], "Ack msg from        555 00000022-02010203A4B5C6FF 350 ms");
}

TEST_F(TrackerTest, SecondAckOfTheSameMessageIsNotFound) {
    sendMessage("123456789", cookieOf(1));
    sendAck(0x0C, "123456789", cookieOf(1));
    sendAck(0x0B, "123456789", cookieOf(1));
    sendAck(0x0C, "77", cookieOf(9));

    EXPECT_EQ(logFileLines().at(3), "Ack msg from  123456789 00000022-01010203A4B5C6FF not found");
    EXPECT_EQ(logFileLines().at(4), "Srv ack from         77 00000022-09010203A4B5C6FF not found");
    EXPECT_EQ(rec.lines, (std::vector<std::string>{
                             sentLine("123456789") + " - srv ack in 0 ms",
                             "14.05.09 from 123456789  received ack",
                             "14.05.09 from       77  received srv ack",
                         }));
    EXPECT_EQ(rec.selected, 2);
    EXPECT_EQ(rec.processed, 1u);
}

TEST_F(TrackerTest, MatchNeedsUinAndCookieAndTakesTheNewerDuplicate) {
    sendMessage("42", cookieOf(1));
    clock.tick += 10;
    sendMessage("42", cookieOf(1));
    sendAck(0x0C, "43", cookieOf(1));  // known cookie, other UIN
    ASSERT_EQ(messageList().count, 2);

    sendAck(0x0C, "42", cookieOf(1), 0x99);  // the request id takes no part
    ASSERT_EQ(messageList().count, 1);
    EXPECT_EQ(messageList().entries[0].sendTick, clock.tick - 10);
    EXPECT_EQ(rec.lines.at(1), sentLine("42") + " - srv ack in 0 ms");
}

TEST_F(TrackerTest, FullListDoublesWithoutLosingEntries) {
    for (std::uint8_t i = 0; i < 33; ++i) {
        sendMessage(std::to_string(1000 + i), cookieOf(i));
    }
    EXPECT_EQ(messageList().capacity, 64);
    ASSERT_EQ(messageList().count, 33);
    for (std::uint8_t i = 0; i < 33; ++i) {
        EXPECT_EQ(messageList().entries[i].recipientUin, 1000 + i);
        EXPECT_EQ(messageList().entries[i].cookie, cookieOf(i));
        EXPECT_EQ(messageList().entries[i].listLine, i);
    }
    // 40 processed, 37 acknowledged in a mixed order: 3 waiting.
    for (std::uint8_t i = 33; i < 40; ++i) {
        sendMessage(std::to_string(1000 + i), cookieOf(i));
    }
    for (std::uint8_t i = 0; i < 40; ++i) {
        if (i % 13 != 5) {
            sendAck(i % 2 ? 0x0B : 0x0C, std::to_string(1000 + i), cookieOf(i));
        }
    }
    EXPECT_EQ(rec.processed, 40u);
    EXPECT_EQ(rec.waiting, 3u);
    EXPECT_EQ(messageList().capacity, 64);
}

std::unique_ptr<TrackedMessage[]> noStorage(std::size_t) {
    return nullptr;
}

TEST_F(TrackerTest, ListWithoutStorage) {
    // A list that cannot grow does not track the message and logs nothing.
    for (std::uint8_t i = 0; i < 32; ++i) {
        sendMessage("42", cookieOf(i));
    }
    setListAllocator(noStorage);
    sendMessage("42", cookieOf(99));
    EXPECT_EQ(messageList().count, 32);
    EXPECT_EQ(messageList().processed, 32u);
    EXPECT_EQ(logFileLines().size(), 33u);

    // A failed set-up at init is reported and the plug-in runs on; the next
    // message starts the list again from 32 entries.
    init();
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].text, "Failed to allocate message list");
    EXPECT_EQ(rec.boxes[0].caption, "Dorrimel v0.4");
    EXPECT_EQ(rec.boxes[0].icon, BoxIcon::Error);
    EXPECT_EQ(messageList().capacity, 0);
    EXPECT_EQ(rec.timers.size(), 1u);
    sendMessage("42", cookieOf(1));
    EXPECT_EQ(messageList().count, 0);
    setListAllocator(nullptr);
    sendMessage("42", cookieOf(1));
    EXPECT_EQ(messageList().capacity, 32);
    EXPECT_EQ(messageList().count, 1);
}

TEST_F(TrackerTest, OverdueMessageIsNotifiedAtTheFirstTickPastWaitTimeout) {
    sendMessage("123456789", cookieOf(1));
    tickAfter(5000);  // equality is not yet due
    EXPECT_TRUE(hostCalls.empty());
    tickAfter(1);
    ASSERT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(messageList().entries[0].notified, 1u);
    tickAfter(1000);
    EXPECT_EQ(hostCalls.size(), 1u);  // once only
    // The file names the notice's recipient, message and form; the window's
    // line stays.
    EXPECT_EQ(logFileLines().back(),
              "Notice   to   123456789 00000000-01010203A4B5C6FF sent 14:05:09 as Message from "
              "recipient");
    EXPECT_EQ(logFileLines().size(), 3u);
    EXPECT_EQ(rec.lines, std::vector<std::string>{sentLine("123456789")});
}

TEST_F(TrackerTest, NotifiedMessageIsRemovedAfterRemoveTimeout) {
    sendMessage("123456789", cookieOf(1));
    tickAfter(6000);
    tickAfter(4000);  // 10000 after sending: not yet
    EXPECT_EQ(messageList().count, 1);
    tickAfter(1);
    EXPECT_EQ(messageList().count, 0);
    EXPECT_EQ(logFileLines().back(), "Removed  to   123456789 00000000-01010203A4B5C6FF");
    EXPECT_EQ(rec.lines, std::vector<std::string>{sentLine("123456789") + " - removed"});
    EXPECT_EQ(rec.waiting, 0u);
    EXPECT_EQ(rec.processed, 1u);
}

TEST_F(TrackerTest, NeverNotifiedAndRemovedInOneTick) {
    pluginSettings().removeTimeout = 1000;
    sendMessage("42", cookieOf(1));
    tickAfter(20000);
    EXPECT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(messageList().count, 1);
    tickAfter(0);
    EXPECT_EQ(messageList().count, 0);
}

TEST_F(TrackerTest, AckBeforeOrAfterTheNotification) {
    sendMessage("42", cookieOf(1));
    sendMessage("43", cookieOf(2));
    tickAfter(4000);
    sendAck(0x0B, "42", cookieOf(1));
    tickAfter(3000);
    ASSERT_EQ(hostCalls.size(), 1u);  // only the one still waiting
    sendAck(0x0B, "43", cookieOf(2));
    EXPECT_EQ(messageList().count, 0);
    EXPECT_EQ(rec.lines, (std::vector<std::string>{sentLine("42") + " - ack in 4000 ms",
                                                   sentLine("43") + " - ack in 7000 ms"}));
    tickAfter(10000);
    EXPECT_EQ(hostCalls.size(), 1u);
}

TEST_F(TrackerTest, ExpiredEntriesGoInOneTickWhateverMovesIntoTheirSlots) {
    sendMessage("1", cookieOf(1));
    sendMessage("2", cookieOf(2));
    sendMessage("3", cookieOf(3));
    tickAfter(6000);
    sendMessage("4", cookieOf(4));
    tickAfter(4001);
    ASSERT_EQ(messageList().count, 1);
    EXPECT_EQ(messageList().entries[0].recipientUin, 4);
    EXPECT_EQ(rec.lines.at(0), sentLine("1") + " - removed");
    EXPECT_EQ(rec.lines.at(1), sentLine("2") + " - removed");
    EXPECT_EQ(rec.lines.at(2), sentLine("3") + " - removed");
    EXPECT_EQ(rec.lines.at(3), sentLine("4"));
}

TEST_F(TrackerTest, DeadlinesHoldAcrossTheTickCounterWrap) {
    clock.tick = 0xFFFFF000;
    sendMessage("42", cookieOf(1));
    tickAfter(0x100);
    EXPECT_TRUE(hostCalls.empty());
    tickAfter(5000 - 0x100);  // 0x388 now, exactly WaitTimeout
    EXPECT_TRUE(hostCalls.empty());
    tickAfter(1);
    EXPECT_EQ(hostCalls.size(), 1u);
    sendAck(0x0C, "42", cookieOf(1));
    EXPECT_EQ(logFileLines().back(), "Srv ack from         42 00000022-01010203A4B5C6FF 5001 ms");
}

TEST_F(TrackerTest, NegativeTimeoutsCountAsZero) {
    pluginSettings().waitTimeout = -1;
    sendMessage("42", cookieOf(1));
    tickAfter(0);
    EXPECT_TRUE(hostCalls.empty());
    tickAfter(1);
    EXPECT_EQ(hostCalls.size(), 1u);
}

TEST_F(TrackerTest, RefusedOrMissingLogWindowLeavesTheTrackerWorking) {
    rec.refuseLines = true;
    sendMessage("42", cookieOf(1));
    EXPECT_EQ(messageList().entries[0].listLine, -1);
    EXPECT_EQ(rec.selected, -1);
    sendAck(0x0C, "42", cookieOf(1));
    sendAck(0x0C, "42", cookieOf(1));
    EXPECT_TRUE(rec.lines.empty());
    EXPECT_EQ(rec.waiting, 0u);
    EXPECT_EQ(rec.processed, 1u);

    rec.failLogWindow = true;
    init();
    EXPECT_EQ(rec.logWindows, 0);
    sendMessage("42", cookieOf(2));
    tickAfter(6000);
    tickAfter(6000);
    EXPECT_EQ(messageList().count, 0);
    EXPECT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(logFileLines().back(), "Removed  to          42 00000000-02010203A4B5C6FF");
}

}  // namespace
