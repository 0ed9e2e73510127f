// Traffic counters of a session long enough to pass the largest signed 32-bit
// value. Sending 2 GB is not needed: the test sets the window's counters just
// below the limit once the chat relay runs, then relays on over real sockets
// with the probe plug-in withholding every frame and injecting its own in
// its place, so that all sixteen counters (Bytes, Datagramms, Packets,
// Skipped, Generated) cross it.
#include <limits>

#include "tests/plugin_host/HostFixture.h"

namespace {

constexpr Counter kNearLimit = std::numeric_limits<std::int32_t>::max() - 1;

class CounterLimitTest : public HostTest {
  protected:
    CounterLimitTest() { installProbe(); }

    void setAllNearTheLimit() {
        for (auto* row :
             {&form.session().Bytes, &form.session().Datagramms, &form.session().Packets}) {
            row->fill(kNearLimit);
        }
        form.session().Skipped.fill(kNearLimit);
        form.session().Generated.fill(kNearLimit);
    }
};

TEST_F(CounterLimitTest, CountersPassTheSigned32BitLimitWhileTheRelayGoesOn) {
    // Every frame is withheld and replaced by one of the plug-in's own.
    const ByteVec ownUp = flap(2, 0, snac(4, 6, tlv(1, "replacement up")));
    const ByteVec ownDown = flap(2, 0, snac(4, 7, tlv(2, "replacement toward the client")));
    script({answer(PACKET_TO_SERVER, command(PACKET_TO_SERVER, ownUp)),
            answer(PACKET_TO_CLIENT, command(PACKET_TO_CLIENT, ownDown))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    setAllNearTheLimit();

    const ByteVec up = flap(2, 0x0101, snac(4, 6, tlv(1, "from the client")));
    const ByteVec down = flap(2, 0x0202, snac(4, 7, tlv(2, "from the server")));
    client().send(concat({up, up, up}));
    server().send(concat({down, down, down}));
    const std::vector<ByteVec> atServer = pumpFrames(server(), 3);
    const std::vector<ByteVec> atClient = pumpFrames(client(), 3);
    EXPECT_EQ(atServer, (std::vector<ByteVec>{withSeq(ownUp, 0x4000), withSeq(ownUp, 0x4001),
                                              withSeq(ownUp, 0x4002)}));
    EXPECT_EQ(atClient, (std::vector<ByteVec>{withSeq(ownDown, 0x2000), withSeq(ownDown, 0x2001),
                                              withSeq(ownDown, 0x2002)}));

    const Counter past = kNearLimit + 3;
    EXPECT_EQ(form.session().Packets, (std::array<Counter, 4>{past, past, past, past}));
    EXPECT_EQ(form.session().Bytes[DIR_FROM_CLIENT], kNearLimit + 3 * std::ssize(up));
    EXPECT_EQ(form.session().Bytes[DIR_FROM_SERVER], kNearLimit + 3 * std::ssize(down));
    EXPECT_EQ(form.session().Bytes[DIR_TO_SERVER], kNearLimit + 3 * std::ssize(ownUp));
    EXPECT_EQ(form.session().Bytes[DIR_TO_CLIENT], kNearLimit + 3 * std::ssize(ownDown));
    EXPECT_GT(form.session().Datagramms[DIR_FROM_CLIENT], kNearLimit);
    EXPECT_GT(form.session().Datagramms[DIR_FROM_SERVER], kNearLimit);
    EXPECT_EQ(form.session().Datagramms[DIR_TO_CLIENT], past);
    EXPECT_EQ(form.session().Datagramms[DIR_TO_SERVER], past);
    EXPECT_EQ(form.session().Skipped, (std::array<Counter, 2>{past, past}));
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{past, past}));

    // The window shows the whole numbers, past the limit.
    form.Timer1_Timer();
    const std::string over = std::to_string(past);
    EXPECT_EQ(form.ctl.Label16, over + "\r\n" + over + "\r\n" + over + "\r\n" + over);
    EXPECT_EQ(form.ctl.Label18, over + "\r\n\r\n" + over);
    EXPECT_EQ(form.ctl.Label11, "\r\n" + over + "\r\n\r\n" + over);
    EXPECT_NE(form.ctl.Label13.find(std::to_string(form.session().Bytes[DIR_TO_CLIENT])),
              std::string::npos);
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
    EXPECT_EQ(form.session().chatMode, CHAT_RELAY);
}

}  // namespace
