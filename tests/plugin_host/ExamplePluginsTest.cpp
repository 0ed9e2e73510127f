// The example plug-ins in the host: the template introduces itself; the
// typing shield withholds the client's typing notifications and tells how
// many in its title at the next sign-on.
#include "tests/plugin_host/HostFixture.h"

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

}  // namespace
