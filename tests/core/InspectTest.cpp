// UIN capture on the client's login request and the chat-server redirect
// rewritten in the server's login reply.
#include "tests/support/Flap.h"
#include "tests/support/Loopback.h"
#include "tests/support/ScratchFormTest.h"

namespace {

using Span = std::span<const std::uint8_t>;

const ByteVec kFlapVersion{0, 0, 0, 1};

// A login request whose first TLV holds `uinValue`: SNAC 17-06, or the
// classic login on channel 1.
ByteVec loginRequest(const ByteVec& uinValue, const ByteVec& rest = tlv(2, "secret")) {
    ByteVec body;
    appendBe16(body, 1);
    appendBe16(body, static_cast<std::uint32_t>(uinValue.size()));
    body.insert(body.end(), uinValue.begin(), uinValue.end());
    body.insert(body.end(), rest.begin(), rest.end());
    return flap(2, 0x0F00, snac(0x17, 0x06, body));
}
ByteVec classicLogin(const ByteVec& uinValue, const ByteVec& rest = tlv(2, "secret")) {
    return flap(1, 0x0F00, concat({kFlapVersion, tlv(1, uinValue), rest}));
}

struct LoginForm {
    ByteVec (*build)(const ByteVec&, const ByteVec&);
    const char* detected;
};
const LoginForm kLoginForms[] = {{loginRequest, "SNAC 17-06 (UIN) detected"},
                                 {classicLogin, "FLAP channel 1 login (UIN) detected"}};

using CaptureUinTest = ScratchFormTest;

TEST_F(CaptureUinTest, TakesTheUinAndInitialisesThePluginInEitherForm) {
    for (const LoginForm& login : kLoginForms) {
        form.ctl.txtLOG.clear();
        form.ctl.txtUIN.clear();
        form.captureUin(login.build(textBytes("123456789"), tlv(2, "secret")));
        EXPECT_EQ(form.session().ownUin, 123456789) << login.detected;
        EXPECT_EQ(form.ctl.txtUIN, "123456789");
        EXPECT_EQ(logCount(login.detected), 1);
        // No plug-in here: each sign-on says so instead.
        EXPECT_TRUE(logHas(std::string(login.detected) + "\r\n14:05:09 Plug-in " +
                           pluginPath(dir.string()) + " could not be loaded: "));
        EXPECT_FALSE(logHas("Plugin initialized"));
        EXPECT_EQ(form.ctl.labPlug, NO_PLUGIN_CAPTION);
    }
    // The classic login's UIN is its TLV 1 wherever it stands.
    form.captureUin(
        flap(1, 1, concat({kFlapVersion, tlv(3, "client"), tlv(1, "77"), tlv(1, "8")})));
    EXPECT_EQ(form.session().ownUin, 77);
}

TEST_F(CaptureUinTest, EmptyZeroCutOrTooLargeUinsReadAlikeInEitherForm) {
    for (const LoginForm& login : kLoginForms) {
        form.session().ownUin = 5;
        form.captureUin(login.build({}, {}));
        EXPECT_EQ(form.session().ownUin, 0) << login.detected;
        form.captureUin(login.build({'4', '2', 0, '7'}, {}));
        EXPECT_EQ(form.session().ownUin, 42) << login.detected;
        form.captureUin(login.build(textBytes("99999999999"), {}));
        EXPECT_EQ(form.session().ownUin, 2147483647) << login.detected;
    }
}

TEST_F(CaptureUinTest, HelloAndClassicLoginsWithoutAWholeTlvOneChangeNothing) {
    ByteVec runsPast = classicLogin(textBytes("4242"), {});
    runsPast[6 + 4 + 3] = 5;  // TLV 1 declares 5 bytes where 4 remain
    const ByteVec notLogins[] = {
        flap(1, 1, kFlapVersion),                                 // the hello of every sign-on
        flap(1, 1, concat({kFlapVersion, tlv(2, "pw")})),         // no TLV 1
        flap(1, 1, concat({kFlapVersion, ByteVec{0, 1, 0}})),     // a TLV header cut short
        runsPast,                                                 //
        flap(2, 1, concat({kFlapVersion, tlv(1, "77")})),         // not channel 1
        flap(1, 1, concat({ByteVec{0, 0, 0, 2}, tlv(1, "77")})),  // not the FLAP version
    };
    form.session().ownUin = 5;
    for (const ByteVec& frame : notLogins) {
        form.captureUin(frame);
    }
    EXPECT_EQ(form.session().ownUin, 5);
    EXPECT_EQ(form.ctl.txtUIN, "");
    EXPECT_FALSE(logHas("detected"));
    EXPECT_FALSE(logHas("Plugin initialized"));
}

TEST_F(CaptureUinTest, UinTlvRunningPastTheFrameIsCutAtTheFrameEnd) {
    ByteVec frame = loginRequest(textBytes("4242"), {});
    frame[18] = 0;
    frame[19] = 40;  // declares 40 bytes where 4 remain
    ByteVec buffer = concat({frame, textBytes("999")});
    form.captureUin(Span(buffer.data(), frame.size()));
    EXPECT_EQ(form.session().ownUin, 4242);
}

TEST_F(CaptureUinTest, OtherSnacsAreIgnoredAndARequestWithoutTlvGivesZero) {
    form.session().ownUin = 5;
    form.captureUin(flap(2, 1, snac(0x17, 0x02, tlv(1, "123"))));
    form.captureUin(ByteVec{0x2A, 2, 0, 1, 0, 4, 0, 0x17, 0, 6});  // 17-06 cut short
    EXPECT_EQ(form.session().ownUin, 0);
    EXPECT_EQ(logCount("SNAC 17-06"), 1);  // only the short request
}

// The redirect rewrite needs a client-login connection to send to.
class RedirectTest : public ScratchFormTest {
  protected:
    RedirectTest() {
        Sok_init();
        form.ctl.Text7 = "127.0.0.1";
        chatPort = freePort();
        form.ctl.Text8 = std::to_string(chatPort);
        auto [slot, peer] = loopbackPair();
        form.session().sockets[SLOT_CLIENT_LOGIN] = slot;
        client.emplace(std::move(peer));
    }

    // The one frame the client got, or an empty vector.
    ByteVec clientGot() {
        client->awaitAndPoll(kWaitMs);
        std::vector<ByteVec> frames = client->takeFrames();
        return frames.size() == 1 ? frames[0] : ByteVec{};
    }

    std::uint16_t chatPort = 0;
    std::optional<Peer> client;
};

ByteVec reply17_03(const std::string& redirect) {
    return flap(2, 0x5555,
                snac(0x17, 0x03,
                     concat({tlv(1, "123456789"), tlv(5, redirect), tlv(6, ByteVec(256, 0xC0)),
                             tlv(0x8E, ByteVec{0})})));
}
// The classic sign-on's reply: TLVs right after the FLAP header, channel 4.
ByteVec classicReply(const std::string& redirect) {
    return flap(4, 0x5556,
                concat({tlv(1, "123456789"), tlv(5, redirect), tlv(6, ByteVec(256, 0xC0))}));
}

// A free four-digit port, 5191 when it is free, so that the listener's
// address has the length of the example's.
std::uint16_t fourDigitPort() {
    for (std::uint16_t port = 5191; port < 10000; ++port) {
        Fd fd(testnet::openSocket());
        if (testnet::bindLoopback(fd.get(), port)) {
            return port;
        }
    }
    throw std::runtime_error("no free four-digit port");
}

TEST_F(RedirectTest, ExampleReplyIsRewrittenOneByteShorterInEitherForm) {
    const std::string port = std::to_string(fourDigitPort());
    form.ctl.Text8 = port;
    struct ReplyForm {
        ByteVec (*build)(const std::string&);
        const char* detected;
    };
    for (const ReplyForm& reply :
         {ReplyForm{reply17_03, "SNAC 17-03 (URL) detected"},
          ReplyForm{classicReply, "FLAP channel 4 reply (URL) detected"}}) {
        form.ctl.txtLOG.clear();
        form.session().chatMode = CHAT_IDLE;
        const ByteVec received = reply.build("192.0.2.10:5190");
        ASSERT_TRUE(form.rewriteRedirect(received)) << reply.detected;

        const ByteVec expected = reply.build("127.0.0.1:" + port);
        ASSERT_EQ(expected.size() + 1, received.size());
        EXPECT_EQ(clientGot(), expected);
        EXPECT_EQ(form.ctl.Text6, "192.0.2.10");
        EXPECT_EQ(form.ctl.Text5, "5190");
        EXPECT_EQ(form.session().chatMode, CHAT_AWAIT_CLIENT);
        EXPECT_TRUE(logHas(std::string(reply.detected) +
                           "\r\n14:05:09 Found and removed redirect to 192.0.2.10:5190"
                           "\r\n14:05:09 Await client-chat connect at 127.0.0.1:" +
                           port));
        // The chat listener is open on the port of Text8.
        EXPECT_TRUE(connectTo(static_cast<std::uint16_t>(std::stoi(port))).has_value());
        Sok_close(form.session().sockets[SLOT_CHAT_LISTENER]);
    }
}

TEST_F(RedirectTest, UrlTwoFormWalksFromByteEleven) {
    // 00 8E 00 01, one more byte, then the TLVs.
    ByteVec data{0x00, 0x8E, 0x00, 0x01, 0x07};
    const ByteVec tlvs = concat({tlv(3, "x"), tlv(5, "10.1.1.1:4000"), tlv(6, "cookie")});
    const ByteVec received = flap(2, 7, concat({data, tlvs}));
    ASSERT_TRUE(form.rewriteRedirect(received));
    const std::string value = "127.0.0.1:" + std::to_string(chatPort);
    EXPECT_EQ(clientGot(),
              flap(2, 7, concat({data, tlv(3, "x"), tlv(5, value), tlv(6, "cookie")})));
    EXPECT_TRUE(logHas("SNAC 8E-01 (URL2) detected"));
    EXPECT_EQ(form.ctl.Text6, "10.1.1.1");
    EXPECT_EQ(form.ctl.Text5, "4000");
}

TEST_F(RedirectTest, ReplyWithoutTlvFiveIsLeftAlone) {
    const ByteVec received = flap(2, 1, snac(0x17, 0x03, concat({tlv(1, "1"), tlv(8, "\x01")})));
    EXPECT_FALSE(form.rewriteRedirect(received));
    EXPECT_TRUE(logHas("SNAC 17-03 (URL) detected"));
    EXPECT_FALSE(form.rewriteRedirect(flap(2, 1, snac(0x17, 0x07, tlv(5, "a:1")))));

    // Channel 4 without a whole TLV 5 in a chain of whole TLVs: the error
    // reply, a sign-off, a cut chain; and TLV 5 right after the header of a
    // frame on another channel.
    ByteVec cutChain = classicReply("10.0.0.1:5190");
    cutChain[6 + 2] = 0x10;  // TLV 1 runs over TLV 5 and past the frame
    ByteVec cutRedirect = flap(4, 1, concat({tlv(1, "1"), tlv(5, "10.0.0.1:5190")}));
    cutRedirect[6 + 5 + 3] = 14;  // TLV 5 declares 14 bytes where 13 remain
    for (const ByteVec& frame :
         {flap(4, 1, concat({tlv(1, "1"), tlv(4, "http://example/err"), tlv(8, ByteVec{0, 5})})),
          flap(4, 1, {}), cutChain, cutRedirect, flap(2, 1, tlv(5, "10.0.0.1:5190"))}) {
        EXPECT_FALSE(form.rewriteRedirect(frame));
    }
    EXPECT_FALSE(logHas("FLAP channel 4"));
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
    EXPECT_EQ(form.session().sockets[SLOT_CHAT_LISTENER], SOK_NO_SOCKET);
}

TEST_F(RedirectTest, RedirectHostAndPortForms) {
    struct Case {
        std::string text, host, port;
    };
    for (const Case& c :
         {Case{"chat.example", "chat.example", "5190"}, Case{"chat.example:", "chat.example", "0"},
          Case{":6000", ":6000", "5190"}, Case{"h:7000x", "h", "7000"}}) {
        ASSERT_TRUE(form.rewriteRedirect(reply17_03(c.text))) << c.text;
        EXPECT_EQ(form.ctl.Text6, c.host);
        EXPECT_EQ(form.ctl.Text5, c.port);
        Sok_close(form.session().sockets[SLOT_CHAT_LISTENER]);
        clientGot();
    }
}

TEST_F(RedirectTest, RedirectTlvRunningPastTheFrameIsCut) {
    ByteVec frame = flap(2, 1, snac(0x17, 0x03, tlv(5, "10.0.0.1:51")));
    frame[16 + 3] = 40;  // TLV 5 declares 40 bytes where 11 remain
    const ByteVec buffer = concat({frame, textBytes("90")});
    ASSERT_TRUE(form.rewriteRedirect(Span(buffer.data(), frame.size())));
    EXPECT_EQ(form.ctl.Text5, "51");
    EXPECT_EQ(clientGot(),
              flap(2, 1, snac(0x17, 0x03, tlv(5, "127.0.0.1:" + std::to_string(chatPort)))));
}

TEST_F(RedirectTest, BindFailurePassesTheReplyUnchanged) {
    ASSERT_TRUE(form.rewriteRedirect(reply17_03("10.0.0.1:5190")));
    clientGot();
    // A second redirect while the chat listener is still open.
    form.session().chatMode = CHAT_IDLE;
    EXPECT_FALSE(form.rewriteRedirect(reply17_03("10.0.0.2:6000")));
    EXPECT_TRUE(logHas("Sok_bind failed with 1\r\n14:05:09 Could not listen on 127.0.0.1:" +
                       std::to_string(chatPort) + ": a socket is still open in its place"));
    EXPECT_EQ(form.ctl.Text6, "10.0.0.2");
    EXPECT_EQ(form.ctl.Text5, "6000");
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);

    // A chat listener name that does not resolve is not widened either.
    Sok_close(form.session().sockets[SLOT_CHAT_LISTENER]);
    form.ctl.Text7 = "no-such-host.invalid";
    EXPECT_FALSE(form.rewriteRedirect(reply17_03("10.0.0.3:6000")));
    EXPECT_TRUE(
        logHas("Host name no-such-host.invalid could not be resolved\r\n"
               "14:05:09 Could not find the address of no-such-host.invalid: "));
    EXPECT_FALSE(logHas("Sok_bind failed with 4"));  // nothing was bound
    EXPECT_EQ(form.session().sockets[SLOT_CHAT_LISTENER], SOK_NO_SOCKET);
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
}

TEST_F(RedirectTest, OutOfRangePortsAreRefused) {
    EXPECT_FALSE(form.rewriteRedirect(reply17_03("10.0.0.1:70000")));
    EXPECT_TRUE(logHas("Invalid port 70000"));
    EXPECT_EQ(form.ctl.Text6, "10.0.0.1");
    EXPECT_EQ(form.ctl.Text5, "70000");

    form.ctl.Text8 = "65536";
    EXPECT_FALSE(form.rewriteRedirect(reply17_03("10.0.0.1:5190")));
    EXPECT_TRUE(logHas("Invalid port 65536"));
    EXPECT_EQ(form.session().sockets[SLOT_CHAT_LISTENER], SOK_NO_SOCKET);
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
}

TEST_F(RedirectTest, ReplyTooLargeToRewriteIsPassedUnchanged) {
    // A reply of almost 64 KiB whose new redirect would push it past the
    // largest FLAP frame.
    const std::string redirect = "192.168.100.200:51900";
    const ByteVec padding = tlv(6, ByteVec(0xFFFF - 10 - 4 - redirect.size() - 4, 0x11));
    const ByteVec received = flap(2, 1, snac(0x17, 0x03, concat({tlv(5, redirect), padding})));
    ASSERT_EQ(received.size(), 6U + 0xFFFF);
    form.ctl.Text7 = std::string(100, 'a');
    EXPECT_FALSE(form.rewriteRedirect(received));
    EXPECT_TRUE(logHas("too large"));
    EXPECT_EQ(form.session().sockets[SLOT_CHAT_LISTENER], SOK_NO_SOCKET);
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);

    form.ctl.Text7 = "127.0.0.1";  // shorter than the old redirect: fits again
    ASSERT_TRUE(form.rewriteRedirect(received));
    EXPECT_EQ(clientGot().size(),
              received.size() - redirect.size() + 10 + std::to_string(chatPort).size());
}

}  // namespace
