// The plug-in acting on an event: by answering it (which withholds a
// frame), by the command its answer carries, by calling back from inside
// pluginFun, and by introducing itself in its answer to EVENT_INIT.
#include "tests/plugin_host/HostFixture.h"

namespace {

class AnswerTest : public HostTest {
  protected:
    AnswerTest() { installProbe(); }

    const ByteVec up = flap(2, 0x0500, snac(4, 6, tlv(1, "hi")));
    const ByteVec down = flap(2, 0x6000, snac(4, 0x0B, {}));
    const ByteVec other = flap(2, 0x0777, snac(4, 6, tlv(1, "replaced")));
};

TEST_F(AnswerTest, AnyAnswerWithholdsTheFrame) {
    script({answer(PACKET_TO_SERVER, record(4, {})), answer(PACKET_TO_CLIENT, record(4, {}))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    client().send(concat({up, up}));
    server().send(down);
    EXPECT_TRUE(pumpUntil(
        [&] { return form.session().Skipped[0] == 1 && form.session().Skipped[1] == 2; }));
    EXPECT_TRUE(pumpQuietly(server()).empty());
    EXPECT_TRUE(pumpQuietly(client()).empty());
    EXPECT_EQ(form.session().Packets, (std::array<Counter, 4>{1, 2, 0, 0}));
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 0}));
    EXPECT_EQ(form.session().seqToServer, 0x4000);
    EXPECT_EQ(form.session().seqToClient, 0x2000);
}

TEST_F(AnswerTest, CommandAnswerReplacesTheFrame) {
    script({answer(PACKET_TO_SERVER, command(PACKET_TO_SERVER, other))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    client().send(up);
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(other, 0x4000)});
    EXPECT_EQ(form.session().Skipped, (std::array<Counter, 2>{0, 1}));
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 1}));
    EXPECT_EQ(form.session().Packets[DIR_TO_SERVER], 1);
    EXPECT_EQ(form.session().Bytes[DIR_TO_SERVER], std::ssize(other));

    script({});
    client().send(up);
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(up, 0x4001)});
    EXPECT_TRUE(client().takeFrames().empty());
}

// With a plug-in of several sessions, the command acts on the session whose
// frame it answers.
TEST_F(AnswerTest, CommandAnswerActsOnTheSessionOfTheEvent) {
    script({answer(EVENT_INIT, kServesSeveral),
            answer(PACKET_TO_SERVER, command(PACKET_TO_CLIENT, other))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    OtherChat b = chatAnother("222");
    b.client.send(up);
    EXPECT_EQ(pumpFrames(b.client, 1), std::vector<ByteVec>{withSeq(other, 0x2000)});
    EXPECT_TRUE(pumpQuietly(client()).empty());
    EXPECT_TRUE(b.server.takeFrames().empty());
    EXPECT_EQ(form.runningSession(1).Skipped, (std::array<Counter, 2>{0, 1}));
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 0}));
}

TEST_F(AnswerTest, CommandForTheOtherDirectionInjectsThereAndWithholds) {
    script({answer(PACKET_TO_SERVER, command(PACKET_TO_CLIENT, other))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    client().send(up);
    EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(other, 0x2000)});
    EXPECT_TRUE(pumpQuietly(server()).empty());
    EXPECT_EQ(form.session().Skipped, (std::array<Counter, 2>{0, 1}));
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{1, 0}));
    EXPECT_EQ(form.session().seqToServer, 0x4000);
}

TEST_F(AnswerTest, CallsFromInsideTheEventComeBeforeTheFrame) {
    const ByteVec notice = flap(2, 0x0999, snac(4, 7, tlv(1, "ack")));
    script({call(PACKET_TO_SERVER, command(PACKET_TO_CLIENT, notice)),
            call(PACKET_TO_SERVER, command(PACKET_TO_SERVER, other))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    client().send(up);
    EXPECT_EQ(pumpFrames(server(), 2),
              (std::vector<ByteVec>{withSeq(other, 0x4000), withSeq(up, 0x4001)}));
    EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(notice, 0x2000)});
    EXPECT_EQ(form.session().Skipped, (std::array<Counter, 2>{0, 0}));
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{1, 1}));
    EXPECT_EQ(form.session().Packets[DIR_TO_SERVER], 2);
    const std::vector<ProbeCall> seen = calls();
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_EQ(seen[0].reply, kAck);
    EXPECT_EQ(seen[1].reply, kAck);
}

TEST_F(AnswerTest, CloseCommandAnswerEndsTheSession) {
    script({answer(PACKET_TO_SERVER, command(CLOSE_CLIENT_CHAT))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    client().send(up);
    EXPECT_TRUE(pumpUntil([&] { return form.session().chatMode == CHAT_ENDED; }));
    EXPECT_TRUE(logHas("Client-chat disconnected"));
    EXPECT_TRUE(seesClose(client()));
    EXPECT_TRUE(seesClose(server()));
    EXPECT_TRUE(server().takeFrames().empty());
    EXPECT_EQ(form.session().Skipped[1], 1);
    EXPECT_EQ(eventCodes(), (std::vector<int>{EVENT_INIT, EVENT_CHAT_CONNECTED, PACKET_TO_SERVER,
                                              EVENT_CHAT_DISCONNECTED, EVENT_FINISH}));
}

TEST_F(AnswerTest, LargestFlapFrameIsCarriedWhole) {
    // The largest frame a FLAP header can announce, 6 + 0xFFFF bytes; L
    // counts the kind and the code as well.
    const ByteVec frame = flap(2, 0, ByteVec(FLAP_MAX_DATA, 0x42));
    script({answer(PACKET_TO_SERVER, command(81, frame))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    client().send(up);
    EXPECT_TRUE(pumpUntil([&] {
        server().poll();
        return server().received.size() >= frame.size();
    }));
    EXPECT_EQ(server().received, withSeq(frame, 0x4000));
    EXPECT_EQ(form.session().Bytes[DIR_TO_SERVER], std::ssize(frame));
}

// Answers that the host cannot act on still withhold the frame, and nothing else.
class MalformedAnswerTest : public AnswerTest, public ::testing::WithParamInterface<ByteVec> {};

TEST_P(MalformedAnswerTest, OnlyWithholds) {
    form.ctl.labPlug = "unchanged";
    script({answer(EVENT_INIT, GetParam()), answer(PACKET_TO_SERVER, GetParam()),
            answer(PACKET_TO_CLIENT, GetParam())});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    client().send(up);
    server().send(down);
    EXPECT_TRUE(pumpUntil(
        [&] { return form.session().Skipped[0] == 1 && form.session().Skipped[1] == 1; }));
    EXPECT_TRUE(pumpQuietly(server()).empty());
    EXPECT_TRUE(pumpQuietly(client()).empty());
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 0}));
    EXPECT_EQ(form.session().seqToServer, 0x4000);
    EXPECT_EQ(form.session().seqToClient, 0x2000);
    EXPECT_EQ(form.session().chatMode, CHAT_RELAY);
    EXPECT_EQ(form.ctl.labPlug, "unchanged");
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
    EXPECT_FALSE(logHas("Failed to transmit"));
}

INSTANTIATE_TEST_SUITE_P(
    Records, MalformedAnswerTest,
    ::testing::Values(withL(0, command(PACKET_TO_CLIENT, flap(2, 0, {1}))),
                      withL(PLUG_MAX_RECORD_LENGTH, command(PACKET_TO_CLIENT, flap(2, 0, {1}))),
                      withL(0xFFFFFFF0, command(PACKET_TO_SERVER, flap(2, 0, {1}))),
                      record(9, concat({ByteVec{PACKET_TO_CLIENT}, flap(2, 0, {1})})),
                      record(HOST_ERROR, {ERROR_TRANSMIT}), record(PLUGIN_EVENT, {EVENT_FINISH})));

// PLUGIN_INFO in the answer to EVENT_INIT sets labPlug when it is whole.
struct InfoCase {
    ByteVec answer;
    std::string label;
};

void PrintTo(const InfoCase& c, std::ostream* os) {
    *os << hexOf(c.answer) << " -> \"" << c.label << '"';
}

class PluginInfoTest : public HostTest, public ::testing::WithParamInterface<InfoCase> {};

TEST_P(PluginInfoTest, AnswerToInitSetsTheLabel) {
    installProbe();
    form.ctl.labPlug = "unchanged";
    script({answer(EVENT_INIT, GetParam().answer)});
    form.session().ownUin = 1;
    form.PlugInit();
    EXPECT_EQ(form.ctl.labPlug, GetParam().label);
    EXPECT_TRUE(logHas("Plugin initialized"));
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PluginInfoTest,
    ::testing::Values(InfoCase{pluginInfo(8, textBytes("Probe v1"), 3), "Probe v1 (API: 3)"},
                      InfoCase{pluginInfo(0, {}, -2), " (API: -2)"},
                      // A zero byte ends the title.
                      InfoCase{pluginInfo(6, ByteVec{'P', 'r', 'o', 0, 'b', 'e'}, 4),
                               "Pro (API: 4)"},
                      // The version does not fit in L.
                      InfoCase{withL(16, pluginInfo(8, textBytes("Probe v1"), 3)), "unchanged"},
                      // The title runs past L.
                      InfoCase{withL(12, pluginInfo(8, textBytes("Probe v1"), 3)), "unchanged"},
                      InfoCase{pluginInfo(0x7FFFFFFF, textBytes("Probe v1"), 3), "unchanged"},
                      InfoCase{pluginInfo(-1, textBytes("Probe v1"), 3), "unchanged"},
                      InfoCase{record(PLUGIN_INFO, {}), "unchanged"},
                      InfoCase{withL(0, pluginInfo(8, textBytes("Probe v1"), 3)), "unchanged"}));

TEST_F(HostTest, PluginInfoAnsweringOtherEventsChangesNothing) {
    installProbe();
    form.ctl.labPlug = "unchanged";
    const ByteVec info = pluginInfo(5, textBytes("Probe"), 3);
    script({answer(EVENT_PREFERENCES, info), answer(EVENT_FINISH, info)});
    form.Command2_Click();
    EXPECT_EQ(form.PlugEvent(EVENT_FINISH, nullptr, 0), 1);
    EXPECT_EQ(form.ctl.labPlug, "unchanged");
}

}  // namespace
