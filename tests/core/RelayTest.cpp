// The relay driven by socket readiness alone: frames leave in the report
// that read them, a peer that stops reading holds back only its own
// direction, a connect that never completes waits for no one, and a
// connection that is gone is watched no more.
#include "tests/support/LoopbackSession.h"

namespace {

class RelayTest : public LoopbackSessionTest {
  protected:
    // Runs the loop until `done` holds; unlike pumpUntil, at most `rounds`.
    bool runRounds(const std::function<bool()>& done, int rounds) {
        for (int i = 0; i < rounds && !done(); ++i) {
            loop.runOnce(form, kWaitMs);
        }
        return done();
    }
};

// Frame `i` of a long stream: a full-sized frame that names its place.
ByteVec bulkFrame(std::uint32_t i) {
    ByteVec data(60000, static_cast<std::uint8_t>(i));
    appendBe16(data, i >> 16);
    appendBe16(data, i & 0xFFFF);
    return flap(2, 0, data);
}

TEST_F(RelayTest, FramesLeaveInTheReportThatReadThemWithTheClockStandingStill) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    const std::int32_t before = clock.ticks;
    const ByteVec up = flap(2, 0x0101, snac(4, 6, tlv(1, "up")));
    client().send(up);
    // One report reads it from the client and sends it to the server.
    ASSERT_TRUE(runRounds([&] { return form.session().Packets[DIR_TO_SERVER] == 1; }, 2));
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(up, 0x4000)});
    const ByteVec down = flap(2, 0x0202, snac(4, 7, tlv(1, "down")));
    server().send(down);
    ASSERT_TRUE(runRounds([&] { return form.session().Packets[DIR_TO_CLIENT] == 1; }, 2));
    EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(down, 0x2000)});
    EXPECT_EQ(clock.ticks, before);
}

TEST_F(RelayTest, ClientThatStopsReadingHoldsBackOnlyItsOwnDirectionAndLosesNothing) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    // The server sends until the proxy stops reading from it: the system's
    // buffers toward the client are full and so is the proxy's queue.
    ByteVec pending;
    std::uint32_t made = 0;
    const auto paused = [&] { return (loop.watching(SLOT_SERVER_CHAT) & SOK_READABLE) == 0; };
    for (int round = 0; round < 20000 && !paused(); ++round) {
        if (pending.empty()) {
            pending = bulkFrame(made++);
        }
        pending.erase(pending.begin(),
                      pending.begin() + static_cast<long>(server().offer(pending)));
        loop.runOnce(form, 0);
    }
    ASSERT_TRUE(paused());
    EXPECT_GE(form.session().links[SLOT_CLIENT_CHAT].out.size(), OUT_QUEUE_BOUND);
    EXPECT_LE(form.session().links[SLOT_CLIENT_CHAT].out.size(),
              OUT_QUEUE_BOUND + FrameCollector::kSize);

    // The other direction goes on meanwhile.
    const ByteVec up = flap(2, 0x0303, snac(1, 2, {}));
    client().send(up);
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(up, 0x4000)});

    // Once the client reads, every frame arrives whole, in order, numbered.
    server().send(pending);
    std::vector<ByteVec> got;
    ASSERT_TRUE(pumpUntil([&] {
        client().poll();
        for (ByteVec& f : client().takeFrames()) {
            got.push_back(std::move(f));
        }
        return got.size() == made;
    })) << got.size()
        << " of " << made;
    for (std::uint32_t i = 0; i < made; ++i) {
        ASSERT_EQ(got[i], withSeq(bulkFrame(i), static_cast<std::uint16_t>(0x2000 + i))) << i;
    }
    EXPECT_TRUE(form.session().links[SLOT_CLIENT_CHAT].out.empty());
    EXPECT_EQ(form.session().chatMode, CHAT_RELAY);
    EXPECT_FALSE(logHas("Failed to transmit"));
}

TEST_F(RelayTest, LoginServerThatNeverAnswersIsGivenUpAfterFiveSecondsOnTheClock) {
    const FullListener silent;
    form.ctl.Text4 = std::to_string(silent.port());
    Peer client = *connectTo(loginListenerPort());
    ASSERT_TRUE(pumpUntil([&] { return form.session().loginMode == LOGIN_CONNECTING; }));
    EXPECT_EQ(loop.runOnce(form, 50), 0);  // nothing to do until it answers
    clock.advance(CONNECT_TIMEOUT_MS - 1);
    form.Timer1_Timer();
    EXPECT_EQ(form.session().loginMode, LOGIN_CONNECTING);
    EXPECT_FALSE(logHas("failed with"));

    clock.advance(1);
    form.Timer1_Timer();
    EXPECT_TRUE(logHas("Sok_connect server-login 127.0.0.1 failed with 4"));
    EXPECT_EQ(form.session().sockets[SLOT_SERVER_LOGIN], SOK_NO_SOCKET);
    EXPECT_TRUE(seesClose(client));
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_TRUE(connectTo(loginListenerPort()).has_value());
}

TEST_F(RelayTest, ConnectionsThatAreGoneAreWatchedNoMore) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    EXPECT_EQ(loop.watching(SLOT_CLIENT_CHAT), SOK_READABLE);
    EXPECT_EQ(loop.watching(SLOT_SERVER_CHAT), SOK_READABLE);
    client().close();
    ASSERT_TRUE(pumpUntil([&] { return form.session().chatMode == CHAT_ENDED; }));
    EXPECT_EQ(loop.watching(SLOT_CLIENT_CHAT), 0);
    EXPECT_EQ(loop.watching(SLOT_SERVER_CHAT), 0);
    // Nothing is left that could report itself ready over and over.
    EXPECT_EQ(loop.runOnce(form, 50), 0);
    form.Timer1_Timer();
    EXPECT_EQ(loop.watching(SLOT_LOGIN_LISTENER), SOK_READABLE);
}

}  // namespace
