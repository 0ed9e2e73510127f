// Binding the plug-in and delivering events to it: the records it gets, in
// which order, and a plain relay when there is no usable plug-in.
#include <fstream>

#include "tests/plugin_host/HostFixture.h"

namespace {

// What stands in the program folder as "plugin.so".
enum class Stand { Nothing, LibraryWithoutEntry, NotALibrary };

class NoPluginTest : public HostTest, public ::testing::WithParamInterface<Stand> {
  protected:
    NoPluginTest() {
        if (GetParam() == Stand::LibraryWithoutEntry) {
            install(NOENTRY_PLUGIN_PATH);
        } else if (GetParam() == Stand::NotALibrary) {
            std::ofstream(dir / PLUGIN_FILE_NAME) << "not a shared library";
        }
    }

    // The loader's reason, as the log line gives it.
    std::string reason() const {
        switch (GetParam()) {
            case Stand::Nothing:
                return kWindows ? "" : "cannot open shared object file: No such file or directory";
            case Stand::LibraryWithoutEntry:
                return kWindows ? "" : "undefined symbol: pluginFun";
            case Stand::NotALibrary:
                return kWindows ? "" : "file too short";
        }
        return "";
    }
#if defined(_WIN32)
    static constexpr bool kWindows = true;
#else
    static constexpr bool kWindows = false;
#endif
};

TEST_P(NoPluginTest, ProxyIsAPlainRelayAndSaysWhy) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    const std::string failed = "Plug-in " + pluginPath(dir.string()) + " could not be loaded: ";
    EXPECT_TRUE(logHas("SNAC 17-06 (UIN) detected\r\n14:05:09 " + failed + reason()));
    EXPECT_EQ(logCount(failed), 1);  // once, not for every event
    EXPECT_FALSE(logHas("Plugin initialized"));
    EXPECT_FALSE(logHas(failed + "\r\n"));  // there is always a reason
    EXPECT_EQ(form.ctl.labPlug, NO_PLUGIN_CAPTION);
    EXPECT_EQ(form.ctl.txtUIN, "123456789");

    const ByteVec up = flap(2, 0x0500, snac(4, 6, tlv(1, "hi")));
    const ByteVec down = flap(2, 0x6000, snac(4, 7, {}));
    expectFirstFramesRelayed(up, down);
    EXPECT_EQ(form.session().Skipped, (std::array<Counter, 2>{0, 0}));
    EXPECT_EQ(form.session().Generated, (std::array<Counter, 2>{0, 0}));

    // "Preferences" only logs.
    const std::string before = form.ctl.txtLOG;
    form.Command2_Click();
    EXPECT_EQ(form.ctl.txtLOG, before + "\r\n14:05:09 Plugin preferences");

    client().close();
    EXPECT_TRUE(pumpUntil([&] { return form.session().chatMode == CHAT_ENDED; }));
    EXPECT_TRUE(seesClose(server()));
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

INSTANTIATE_TEST_SUITE_P(Stands, NoPluginTest,
                         ::testing::Values(Stand::Nothing, Stand::LibraryWithoutEntry,
                                           Stand::NotALibrary));

TEST_F(HostTest, PluginIsBoundOnceItTurnsUp) {
    install(NOENTRY_PLUGIN_PATH);
    EXPECT_EQ(form.PlugEvent(EVENT_PREFERENCES, nullptr, 0), 0);
    EXPECT_EQ(form.ctl.labPlug, NO_PLUGIN_CAPTION);
    std::filesystem::remove(dir / PLUGIN_FILE_NAME);
    installProbe();
    script({answer(EVENT_PREFERENCES, record(9, {}))});
    EXPECT_EQ(form.PlugEvent(EVENT_PREFERENCES, nullptr, 0), 1);
    EXPECT_EQ(form.ctl.labPlug, "");
    // Bound for good: the file may go, the plug-in stays. (Moved aside, as
    // Windows does not let a loaded library's file be deleted.)
    std::filesystem::rename(dir / PLUGIN_FILE_NAME, dir / "plugin.old");
    EXPECT_EQ(form.PlugEvent(EVENT_PREFERENCES, nullptr, 0), 1);
    EXPECT_EQ(events().size(), 2U);
}

TEST_F(HostTest, InitRecordCarriesCallbackFolderAndUin) {
    installProbe();
    form.session().ownUin = 4711;
    form.PlugInit();
    form.session().ownUin = 815;
    form.PlugInit();

    const std::vector<ByteVec> got = events();
    ASSERT_EQ(got.size(), 2U);
    const std::string folder = dir.string();
    const auto n = static_cast<std::uint32_t>(folder.size());
    const ByteVec& init = got[0];
    const auto full = reinterpret_cast<std::uintptr_t>(&hostCallback);
    const std::uint32_t tail = sizeof full > 4 ? 8 : 0;
    ASSERT_EQ(init.size(), 4 + 22 + 2 * n + tail);
    EXPECT_EQ(le32At(init, 0), 22 + 2 * n + tail);
    EXPECT_EQ(init[4], PLUGIN_EVENT);
    EXPECT_EQ(init[5], EVENT_INIT);
    EXPECT_EQ(le32At(init, INIT_OFFSET_CALLBACK), static_cast<std::uint32_t>(full));
    EXPECT_EQ(le32At(init, INIT_OFFSET_HOST_API_VERSION), 8U);
    EXPECT_EQ(le32At(init, INIT_OFFSET_PROGRAM_DIR), n);
    EXPECT_EQ(le32At(init, initOffsetProgramDir2(n)), n);
    const auto text = [&](std::size_t at) {
        return std::string(init.begin() + static_cast<long>(at),
                           init.begin() + static_cast<long>(at + n));
    };
    EXPECT_EQ(text(INIT_OFFSET_PROGRAM_DIR + 4), folder);
    EXPECT_EQ(text(initOffsetProgramDir2(n) + 4), folder);
    EXPECT_EQ(le32At(init, initOffsetOwnUin(n)), 4711U);
    if (tail > 0) {
        const std::uint64_t appended =
            le32At(init, initOffsetFullCallback(n)) |
            static_cast<std::uint64_t>(le32At(init, initOffsetFullCallback(n) + 4)) << 32;
        EXPECT_EQ(appended, full);
    }
    // Each initialisation carries the UIN of its own sign-on.
    EXPECT_EQ(le32At(got[1], initOffsetOwnUin(n)), 815U);
    EXPECT_EQ(form.ctl.txtUIN, "815");
    EXPECT_EQ(logCount("Plugin initialized"), 2);
    EXPECT_EQ(form.ctl.labPlug, "");  // the probe does not introduce itself
}

TEST_F(HostTest, PreferencesReachThePluginAsASixByteEvent) {
    installProbe();
    form.Command2_Click();
    EXPECT_TRUE(logHas("Plugin preferences"));
    EXPECT_EQ(events(), std::vector<ByteVec>{ByteVec({2, 0, 0, 0, 3, 3})});
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

TEST_F(HostTest, EventDataBeyondTheEventBufferIsRefused) {
    installProbe();
    const ByteVec data(PLUG_MAX_EVENT_DATA + 1, 0x2A);
    EXPECT_EQ(form.PlugEvent(PACKET_TO_SERVER, data.data(), PLUG_MAX_EVENT_DATA + 1), 0);
    EXPECT_TRUE(logHas("Plugin event 81 refused: 69996 bytes of data do not fit"));
    EXPECT_EQ(form.PlugEvent(PACKET_TO_SERVER, data.data(), -1), 0);
    EXPECT_TRUE(logHas("Plugin event 81 refused: -1 bytes of data do not fit"));
    EXPECT_TRUE(events().empty());

    // The largest event that fits arrives whole.
    EXPECT_EQ(form.PlugEvent(PACKET_TO_SERVER, data.data(), PLUG_MAX_EVENT_DATA), 0);
    const std::vector<ByteVec> got = events();
    ASSERT_EQ(got.size(), 1U);
    EXPECT_EQ(le32At(got[0], 0), PLUG_MAX_EVENT_DATA + 2);
    EXPECT_EQ(ByteVec(got[0].begin() + 6, got[0].end()), ByteVec(data.begin(), data.end() - 1));
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

TEST_F(HostTest, EventsFollowTheSessionInOrder) {
    installProbe();
    const ByteVec early = flap(2, 0, snac(4, 7, {}));
    const ByteVec late = flap(2, 0, snac(1, 0x0B, {}));
    // The relay starts only after CHAT_CONNECTED, so a frame sent from it is
    // refused. The chat's end is told while server-chat is still open: a
    // frame sent from the FINISH event still reaches it.
    script({call(EVENT_CHAT_CONNECTED, command(PACKET_TO_CLIENT, early)),
            call(EVENT_FINISH, command(PACKET_TO_SERVER, late))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());

    const ByteVec up = flap(2, 0x0500, snac(4, 6, tlv(1, "hi")));
    const ByteVec down = flap(2, 0x6000, snac(4, 7, {}));
    expectFirstFramesRelayed(up, down);
    client().close();
    EXPECT_TRUE(pumpUntil([&] { return form.session().chatMode == CHAT_ENDED; }));
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(late, 0x4001)});
    EXPECT_TRUE(seesClose(server()));

    EXPECT_EQ(eventCodes(),
              (std::vector<int>{EVENT_INIT, EVENT_CHAT_CONNECTED, PACKET_TO_SERVER,
                                PACKET_TO_CLIENT, EVENT_CHAT_DISCONNECTED, EVENT_FINISH}));
    const std::vector<ByteVec> got = events();
    EXPECT_EQ(got[1], ByteVec({2, 0, 0, 0, 3, 4}));
    // Traffic events carry the frame as received, the sender's numbering intact.
    EXPECT_EQ(got[2],
              concat({ByteVec{static_cast<std::uint8_t>(up.size() + 2), 0, 0, 0, 3, 81}, up}));
    EXPECT_EQ(got[3],
              concat({ByteVec{static_cast<std::uint8_t>(down.size() + 2), 0, 0, 0, 3, 80}, down}));
    EXPECT_EQ(got[4], ByteVec({2, 0, 0, 0, 3, 5}));
    EXPECT_EQ(got[5], ByteVec({2, 0, 0, 0, 3, 2}));
    ASSERT_EQ(calls().size(), 2U);
    EXPECT_EQ(calls()[0].reply, kNotSent);
    EXPECT_TRUE(
        logHas("Failed to transmit to client-chat " + std::to_string(early.size() + 2) + " bytes"));
    EXPECT_EQ(calls()[1].reply, kAck);
    EXPECT_EQ(form.session().Generated[1], 1);
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

// A plug-in that serves several sessions gets each one's EVENT_INIT with a
// callback of its own, and EVENT_SESSION before an event of another session
// than the one named last, never twice in a row and never before
// "Preferences", whose answer acts on the session named last.
TEST_F(HostTest, PluginOfSeveralSessionsIsToldWhoseEachEventIs) {
    installProbe();
    const ByteVec notice = flap(2, 0x0999, snac(4, 7, tlv(1, "prefs")));
    script({answer(EVENT_INIT, kServesSeveral),
            answer(EVENT_PREFERENCES, command(PACKET_TO_CLIENT, notice))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    OtherChat b = chatAnother("222");
    const ByteVec up = flap(2, 0x0500, snac(1, 2, {}));
    client().send(up);
    client().send(up);
    EXPECT_EQ(pumpFrames(server(), 2).size(), 2U);
    form.Command2_Click();
    EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(notice, 0x2000)});
    b.client.send(up);
    EXPECT_EQ(pumpFrames(b.server, 1), std::vector<ByteVec>{withSeq(up, 0x4000)});
    EXPECT_TRUE(b.client.takeFrames().empty());

    EXPECT_EQ(eventCodes(),
              (std::vector<int>{EVENT_INIT, EVENT_CHAT_CONNECTED, EVENT_INIT, EVENT_CHAT_CONNECTED,
                                EVENT_SESSION, PACKET_TO_SERVER, PACKET_TO_SERVER,
                                EVENT_PREFERENCES, EVENT_SESSION, PACKET_TO_SERVER}));
    const std::vector<ByteVec> inits = events(EVENT_INIT);
    const std::vector<ByteVec> named = events(EVENT_SESSION);
    ASSERT_EQ(inits.size(), 2U);
    ASSERT_EQ(named.size(), 2U);
    EXPECT_EQ(callbackIn(inits[0]), &hostCallback);  // the first keeps the one address
    EXPECT_NE(callbackIn(inits[1]), callbackIn(inits[0]));
    EXPECT_EQ(callbackIn(named[0]), callbackIn(inits[0]));
    EXPECT_EQ(callbackIn(named[1]), callbackIn(inits[1]));
    const std::uint32_t l = sizeof(HostCallbackFunction) > 4 ? 14 : 6;
    EXPECT_EQ(named[1].size(), PLUG_HEAD_SIZE + l);
    EXPECT_EQ(le32At(named[1], 0), l);
    EXPECT_EQ(le32At(named[1], SESSION_OFFSET_CALLBACK), le32At(inits[1], INIT_OFFSET_CALLBACK));
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

// A plug-in of one session (no sessions field) sees the first session only;
// the second is relayed without it. Once the first has ended, the next
// session to start is served, under the first one's callback address.
TEST_F(HostTest, PluginOfOneSessionSeesOneWhileTwoRun) {
    installProbe();
    script({answer(EVENT_INIT, pluginInfo(5, textBytes("Probe"), 7))});
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    OtherChat b = chatAnother("222");
    EXPECT_TRUE(logHas("[222] The plug-in serves another session; UIN 222 is relayed without it"));
    const ByteVec up = flap(2, 0x0500, snac(1, 2, {}));
    const ByteVec down = flap(2, 0x6000, snac(1, 3, {}));
    b.client.send(up);
    EXPECT_EQ(pumpFrames(b.server, 1), std::vector<ByteVec>{withSeq(up, 0x4000)});
    expectFirstFramesRelayed(up, down);
    client().close();
    EXPECT_TRUE(pumpUntil([&] { return form.session().chatMode == CHAT_ENDED; }));
    form.Timer1_Timer();
    ASSERT_EQ(form.running(), 1);
    EXPECT_EQ(eventCodes(),
              (std::vector<int>{EVENT_INIT, EVENT_CHAT_CONNECTED, PACKET_TO_SERVER,
                                PACKET_TO_CLIENT, EVENT_CHAT_DISCONNECTED, EVENT_FINISH}));

    auto [c, login] = connectLogin();
    c.send(flap(2, 0x0102, snac(0x17, 0x06, concat({tlv(1, "333"), tlv(2, "pw")}))));
    EXPECT_EQ(pumpFrames(login, 1).size(), 1U);
    const std::vector<ByteVec> inits = events(EVENT_INIT);
    ASSERT_EQ(inits.size(), 2U);
    EXPECT_EQ(le32At(inits[1], initOffsetOwnUin(le32At(inits[1], INIT_OFFSET_PROGRAM_DIR))), 333U);
    EXPECT_EQ(callbackIn(inits[1]), callbackIn(inits[0]));
}

}  // namespace
