// The example plug-ins in the host: the template introduces itself; the
// typing shield withholds the client's typing notifications and tells how
// many in its title at the next sign-on, for each session it serves.
#include "tests/plugin_host/HostFixture.h"
#include "tests/support/PluginRecords.h"

namespace {

TEST_F(HostTest, TemplateIntroducesItselfAtSignOn) {
    install(PLUGIN_TEMPLATE_PATH);
    form.PlugInit();
    EXPECT_EQ(form.ctl.labPlug, "Plug-in template (API: 8)");
}

TEST_F(HostTest, TypingShieldShowsItsCountAtTheNextSignOn) {
    install(TYPING_SHIELD_PATH);
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    EXPECT_EQ(form.ctl.labPlug, "Typing shield: 0 withheld (API: 8)");

    const ByteVec typing = flap(2, 0x0500, snac(4, 0x14, ByteVec(13, 0)));
    const ByteVec message = flap(2, 0x0501, snac(4, 6, tlv(1, "hi")));
    client().send(concat({typing, message, typing}));
    server().send(typing);
    EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(typing, 0x2000)});
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(message, 0x4000)});
    EXPECT_TRUE(pumpUntil([&] { return form.session().Skipped[1] == 2; }));

    form.PlugInit();  // as at the next sign-on
    EXPECT_EQ(form.ctl.labPlug, "Typing shield: 2 withheld (API: 8)");
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

// The shield's title in the answer to an init record.
std::string titleOf(const std::uint8_t* info) {
    if (info == nullptr || info[4] != PLUGIN_INFO) {
        return "no PLUGIN_INFO";
    }
    const Bytes head(info, info + 9);
    const std::uint32_t n = readLe(head, 5, 4);
    if (readLe(head, 0, 4) != 13 + n) {
        return "PLUGIN_INFO of L = " + std::to_string(readLe(head, 0, 4)) +
               " for n = " + std::to_string(n);
    }
    const Bytes whole(info, info + 17 + n);
    EXPECT_EQ(readLe(whole, 9 + n, 4), HOST_API_VERSION);
    EXPECT_EQ(readLe(whole, 13 + n, 4), INFO_SEVERAL_SESSIONS);
    return std::string(reinterpret_cast<const char*>(info) + 9, n);
}

// Driven as a host that serves several sessions drives it: each session's
// count in the title (a later session takes a freed place), beside the
// count since the program started.
TEST_F(HostTest, TypingShieldCountsForEachSession) {
    install(TYPING_SHIELD_PATH);
    std::string failure;
    const PluginFunction shield = pluginEntry(dir.string(), failure);
    ASSERT_NE(shield, nullptr) << failure;
    const auto init = [&](std::uint32_t uin, HostCallbackFunction callback) {
        return titleOf(shield(initRecord(uin, dir.string(), callback).data()));
    };
    const auto typing = [&] {
        const Bytes frame = eventRecord(PACKET_TO_SERVER, flap(2, snac(4, 0x14, 1, Bytes(13, 0))));
        return shield(frame.data()) != nullptr;
    };

    EXPECT_EQ(init(111, recordingHostCallback), "Typing shield: 0 withheld");
    EXPECT_EQ(init(222, otherHostCallback), "Typing shield: 0 withheld (111: 0, 222: 0)");
    EXPECT_TRUE(typing());
    shield(sessionRecord(recordingHostCallback).data());
    EXPECT_TRUE(typing());
    EXPECT_TRUE(typing());
    shield(sessionRecord(nullptr).data());  // a session it does not serve
    EXPECT_TRUE(typing());
    shield(sessionRecord(recordingHostCallback).data());
    shield(eventRecord(EVENT_FINISH).data());
    EXPECT_EQ(init(333, recordingHostCallback), "Typing shield: 4 withheld (333: 0, 222: 1)");
}

}  // namespace
