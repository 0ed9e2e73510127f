// The plug-in calling the host back through the address from EVENT_INIT,
// outside any event, as a plug-in does from its own timer.
#include "tests/plugin_host/HostFixture.h"

namespace {

class CallbackTest : public HostTest {
  protected:
    CallbackTest() { installProbe(); }
};

TEST_F(CallbackTest, InjectedFramesJoinTheRelayedNumbering) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    const ByteVec toClient = flap(2, 0x1111, snac(4, 7, tlv(1, "notice")));
    const ByteVec toServer = flap(2, 0x2222, snac(4, 6, {}));

    EXPECT_EQ(replyBytes(probeCall(command(PACKET_TO_CLIENT, toClient))), kAck);
    EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(toClient, 0x2000)});
    EXPECT_EQ(form.session().seqToClient, 0x2001);
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{1, 0}));
    EXPECT_EQ(form.session().Packets[DIR_TO_CLIENT], 1);
    EXPECT_EQ(form.session().Datagramms[DIR_TO_CLIENT], 1);
    EXPECT_EQ(form.session().Bytes[DIR_TO_CLIENT], std::ssize(toClient));

    // The first frame towards the server since the chat began takes 0x4000.
    EXPECT_EQ(replyBytes(probeCall(command(PACKET_TO_SERVER, toServer))), kAck);
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(toServer, 0x4000)});
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{1, 1}));
    EXPECT_EQ(form.session().Bytes[DIR_TO_SERVER], std::ssize(toServer));

    // Relayed frames go on from there.
    const ByteVec down = flap(2, 0x6000, snac(4, 0x0C, {}));
    server().send(down);
    EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(down, 0x2001)});
    EXPECT_EQ(form.session().Packets[DIR_TO_CLIENT], 2);
    EXPECT_EQ(form.session().Skipped, (std::array<Counter, 2>{0, 0}));

    // Across the wrap: 0x7FFF, then 0.
    form.session().seqToClient = 0x7FFF;
    EXPECT_EQ(replyBytes(probeCall(command(PACKET_TO_CLIENT, toClient))), kAck);
    server().send(down);
    EXPECT_EQ(pumpFrames(client(), 2),
              (std::vector<ByteVec>{withSeq(toClient, 0x7FFF), withSeq(down, 0)}));
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

TEST_F(CallbackTest, FramesThatAreNotOneWholeFlapFrameAreRefused) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    const ByteVec whole = flap(2, 0, {7, 7, 7});
    const std::vector<ByteVec> refused{
        {},                                       // a command without a frame
        {0x2A, 2},                                // shorter than a header
        ByteVec(whole.begin(), whole.end() - 1),  // data cut short
        concat({whole, ByteVec{0}}),              // one byte more than announced
        concat({whole, flap(2, 0, {})}),          // two frames in one
    };
    for (const ByteVec& frame : refused) {
        EXPECT_EQ(replyBytes(probeCall(command(PACKET_TO_CLIENT, frame))), kNotSent)
            << hexOf(frame);
        EXPECT_TRUE(logHas("Refused a frame of " + std::to_string(frame.size()) +
                           " bytes from the plug-in to client-chat: not one whole FLAP frame"));
    }
    EXPECT_EQ(replyBytes(probeCall(command(PACKET_TO_SERVER, {0x2A}))), kNotSent);
    EXPECT_EQ(form.session().seqToClient, 0x2000);
    EXPECT_EQ(form.session().seqToServer, 0x4000);
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 0}));
    EXPECT_EQ(form.session().Packets, (std::array<Counter, 4>{0, 0, 0, 0}));
    EXPECT_EQ(form.session().Bytes[DIR_TO_CLIENT], 0);
    // Nothing went out: the next frame the client gets is the next relayed one.
    const ByteVec down = flap(2, 0x6000, {7});
    server().send(down);
    EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(down, 0x2000)});
    EXPECT_TRUE(client().received.empty());
}

TEST_F(CallbackTest, SendsOutsideTheRelayFailWithoutTouchingTheCounters) {
    ASSERT_NO_FATAL_FAILURE(signOn());  // the chat connection is not there yet
    const ByteVec frame = flap(2, 0, ByteVec(10, 1));
    const ByteVec toClient = command(PACKET_TO_CLIENT, frame);
    EXPECT_EQ(replyBytes(probeCall(toClient)), kNotSent);
    EXPECT_TRUE(
        logHas("Failed to transmit to client-chat " + std::to_string(frame.size() + 2) + " bytes"));
    EXPECT_EQ(replyBytes(probeCall(command(PACKET_TO_SERVER, frame))), kNotSent);
    EXPECT_TRUE(logHas("Failed to transmit to server-chat 18 bytes"));
    EXPECT_EQ(form.session().seqToClient, 0x2000);
    EXPECT_EQ(form.session().seqToServer, 0x4000);
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 0}));
    EXPECT_EQ(form.session().Packets, (std::array<Counter, 4>{0, 0, 0, 0}));
    // Closing the client's chat needs no relay.
    EXPECT_EQ(replyBytes(probeCall(command(CLOSE_CLIENT_CHAT))), kAck);
}

TEST_F(CallbackTest, RepliesShareOneRecord) {
    ASSERT_NO_FATAL_FAILURE(signOn());
    const std::uint8_t* first = probeCall(command(99));
    EXPECT_EQ(replyBytes(first), kUnknownCommand);
    const std::uint8_t* second = probeCall(command(PACKET_TO_CLIENT, flap(2, 0, {})));
    EXPECT_EQ(second, first);
    EXPECT_EQ(replyBytes(first), kNotSent);
    EXPECT_EQ(probeCall(command(CLOSE_CLIENT_CHAT)), first);
    EXPECT_EQ(replyBytes(first), kAck);
    EXPECT_EQ(first, form.replyRecord.data());
    // The plug-in saw the same replies.
    const std::vector<ProbeCall> seen = calls();
    ASSERT_EQ(seen.size(), 3U);
    EXPECT_EQ(seen[0].reply, kUnknownCommand);
    EXPECT_EQ(seen[0].replyAddress, reinterpret_cast<std::uintptr_t>(first));
    EXPECT_EQ(seen[2].replyAddress, seen[0].replyAddress);
}

TEST_F(CallbackTest, RecordsWithoutAReplyHaveNoEffect) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    form.ctl.labPlug = "unchanged";
    const std::string logBefore = form.ctl.txtLOG;
    const ByteVec frame = flap(2, 0, {1, 2, 3});
    const std::vector<ByteVec> noReply{
        withL(0, command(PACKET_TO_CLIENT, frame)),
        withL(PLUG_MAX_RECORD_LENGTH, command(PACKET_TO_CLIENT, frame)),
        withL(0x80000007, command(PACKET_TO_CLIENT, frame)),
        withL(0xFFFFFFFF, command(PACKET_TO_CLIENT, frame)),
        record(4, concat({ByteVec{PACKET_TO_CLIENT}, frame})),
        record(9, concat({ByteVec{PACKET_TO_CLIENT}, frame})),
        record(HOST_ACK, {ACK_OK}),
        pluginInfo(5, textBytes("Probe"), 3),  // only an answer to EVENT_INIT counts
    };
    for (const ByteVec& rec : noReply) {
        EXPECT_EQ(probeCall(rec), nullptr) << hexOf(rec);
    }
    EXPECT_EQ(probeCallRaw(nullptr), nullptr);
    EXPECT_EQ(hostCallback(nullptr), nullptr);

    // Unknown commands, also a command without a code, get an error reply.
    EXPECT_EQ(replyBytes(probeCall(command(99, frame))), kUnknownCommand);
    EXPECT_EQ(replyBytes(probeCall(record(PLUGIN_COMMAND, {}))), kUnknownCommand);

    EXPECT_EQ(form.ctl.txtLOG, logBefore);
    EXPECT_EQ(form.ctl.labPlug, "unchanged");
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 0}));
    EXPECT_EQ(form.session().seqToClient, 0x2000);
    EXPECT_TRUE(pumpQuietly(client()).empty());
    EXPECT_TRUE(client().received.empty());
    EXPECT_EQ(form.session().chatMode, CHAT_RELAY);
}

TEST_F(CallbackTest, ClosingClientChatEndsTheSession) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    EXPECT_EQ(replyBytes(probeCall(command(CLOSE_CLIENT_CHAT))), kAck);
    EXPECT_EQ(form.session().sockets[SLOT_CLIENT_CHAT], SOK_NO_SOCKET);
    EXPECT_EQ(loop.watching(SLOT_CLIENT_CHAT), 0);  // a closed socket is never polled
    EXPECT_TRUE(seesClose(client()));

    // Until the pump notices, a frame for the client fails but uses a number.
    const ByteVec frame = flap(2, 0, {4, 4});
    EXPECT_EQ(replyBytes(probeCall(command(PACKET_TO_CLIENT, frame))), kNotSent);
    EXPECT_TRUE(logHas("Failed to transmit to client-chat 8 bytes"));
    EXPECT_EQ(form.session().seqToClient, 0x2001);
    EXPECT_EQ(form.session().Generated[0], 0);

    // A callback never calls the plug-in back: the next tick ends the session.
    EXPECT_FALSE(logHas("Client-chat disconnected"));
    form.Timer1_Timer();
    EXPECT_EQ(form.session().chatMode, CHAT_ENDED);
    EXPECT_TRUE(logHas("Client-chat disconnected"));
    EXPECT_TRUE(seesClose(server()));
    const std::vector<int> codes = eventCodes();
    EXPECT_EQ(std::vector<int>(codes.end() - 2, codes.end()),
              (std::vector<int>{EVENT_CHAT_DISCONNECTED, EVENT_FINISH}));
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

// With a plug-in of several sessions, each session's callback reaches that
// session; once the session has ended, its callback sends and closes nothing.
TEST_F(CallbackTest, EachSessionsCallbackReachesItsOwnSession) {
    script({answer(EVENT_INIT, kServesSeveral)});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    OtherChat b = chatAnother("222");
    const std::vector<ByteVec> inits = events(EVENT_INIT);
    ASSERT_EQ(inits.size(), 2U);
    const HostCallbackFunction toA = callbackIn(inits[0]);
    const HostCallbackFunction toB = callbackIn(inits[1]);
    const ByteVec notice = flap(2, 0x1111, snac(4, 7, tlv(1, "notice")));
    EXPECT_EQ(replyBytes(toB(command(PACKET_TO_CLIENT, notice).data())), kAck);
    EXPECT_EQ(pumpFrames(b.client, 1), std::vector<ByteVec>{withSeq(notice, 0x2000)});
    EXPECT_EQ(replyBytes(toA(command(PACKET_TO_SERVER, notice).data())), kAck);
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(notice, 0x4000)});
    EXPECT_TRUE(pumpQuietly(client()).empty());
    EXPECT_TRUE(b.server.takeFrames().empty());
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 1}));
    EXPECT_EQ(form.runningSession(1).Generated, (std::array<Counter, 2>{1, 0}));

    b.client.close();
    EXPECT_TRUE(pumpUntil([&] { return form.runningSession(1).chatMode == CHAT_ENDED; }));
    form.Timer1_Timer();
    ASSERT_EQ(form.running(), 1);
    EXPECT_EQ(replyBytes(toB(command(PACKET_TO_CLIENT, notice).data())), kNotSent);
    EXPECT_EQ(replyBytes(toB(command(CLOSE_CLIENT_CHAT).data())), kAck);
    EXPECT_EQ(form.session().chatMode, CHAT_RELAY);
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 1}));
    EXPECT_TRUE(pumpQuietly(client()).empty());
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

}  // namespace
