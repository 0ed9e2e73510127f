// The relay pump over real loopback sockets: the test plays the ICQ client
// and the login and chat servers, and drives the proxy tick by tick.
#include <fstream>
#include <numeric>

#include "tests/support/LoopbackSession.h"

namespace {

struct LoginRun {
    std::vector<ByteVec> serverGot;
    std::vector<ByteVec> clientGot;
    std::optional<Peer> client;
};

class PumpTest : public LoopbackSessionTest {
  protected:
    // A client signs on: it sends `request` in one piece, the login server
    // answers with `reply` in two pieces a tick apart and closes.
    LoginRun signOnWith(const std::vector<ByteVec>& request, const std::vector<ByteVec>& reply) {
        LoginRun run;
        auto [client, server] = connectLogin();
        run.client.emplace(std::move(client));
        ByteVec up;
        for (const ByteVec& f : request) {
            up = concat({up, f});
        }
        run.client->send(up);
        run.serverGot = pumpFrames(server, request.size());

        ByteVec down;
        for (const ByteVec& f : reply) {
            down = concat({down, f});
        }
        const std::size_t cut = down.size() - reply.back().size() / 2;
        server.send(ByteVec(down.begin(), down.begin() + static_cast<long>(cut)));
        run.clientGot = pumpFrames(*run.client, reply.size() - 1);
        server.send(ByteVec(down.begin() + static_cast<long>(cut), down.end()));
        server.close();
        for (ByteVec& f : pumpFrames(*run.client, 1)) {
            run.clientGot.push_back(std::move(f));
        }
        EXPECT_TRUE(pumpUntil([&] { return form.session().loginMode != LOGIN_RELAY; }));
        return run;
    }

    // A sign-on whose login server sends the redirect but keeps its
    // connection open, so that the login side stays busy; returns the
    // client's and the server's login ends.
    std::pair<Peer, Peer> redirectWithLoginOpen() {
        auto ends = connectLogin();
        ends.second.send(redirectReply(chatServerAddress()));
        EXPECT_EQ(pumpFrames(ends.first, 1).size(), 1U);
        EXPECT_EQ(form.session().chatMode, CHAT_AWAIT_CLIENT);
        return ends;
    }
    // Once the login server leaves, the session ends; the login listener,
    // open all along, still takes clients, and no "in work" box came up.
    void expectListeningOnceLoginEnds(Peer& server) {
        EXPECT_EQ(form.session().loginMode, LOGIN_RELAY);
        server.close();
        EXPECT_TRUE(pumpUntil([&] { return form.session().loginMode == LOGIN_AWAIT_CLIENT; }));
        EXPECT_EQ(form.running(), 0);
        EXPECT_EQ(logCount("Await client-login connect at "), 1);
        EXPECT_TRUE(connectTo(loginListenerPort()).has_value());
        EXPECT_TRUE(boxes.shown.empty());
    }

    ByteVec redirectReply(const std::string& redirect) {
        return flap(
            2, 0x7001,
            snac(0x17, 0x03,
                 concat({tlv(1, "123456789"), tlv(5, redirect), tlv(6, ByteVec(64, 0xA5))})));
    }

    const ByteVec hello = flap(1, 0x0101, {0, 0, 0, 1});
    const ByteVec request =
        flap(2, 0x0102, snac(0x17, 0x06, concat({tlv(1, "123456789"), tlv(2, "pw")})));
};

std::int64_t totalSize(const std::vector<ByteVec>& frames) {
    return std::accumulate(frames.begin(), frames.end(), std::int64_t{0},
                           [](std::int64_t n, const ByteVec& f) { return n + std::ssize(f); });
}

TEST_F(PumpTest, FullSignOnAndChatSession) {
    const std::string chatAt = chatServerAddress();
    const ByteVec serverHello = flap(1, 0x7000, {0, 0, 0, 1});
    LoginRun login = signOnWith({hello, request}, {serverHello, redirectReply(chatAt)});

    // Login frames pass untouched; the reply points at the chat listener.
    EXPECT_EQ(login.serverGot, (std::vector<ByteVec>{hello, request}));
    EXPECT_EQ(login.clientGot,
              (std::vector<ByteVec>{serverHello,
                                    redirectReply("127.0.0.1:" + std::to_string(chatPort))}));
    EXPECT_EQ(form.session().ownUin, 123456789);
    EXPECT_EQ(form.ctl.txtUIN, "123456789");
    EXPECT_EQ(form.ctl.Text6, "127.0.0.1");
    EXPECT_EQ(form.ctl.Text5, std::to_string(chatServer.port));
    EXPECT_TRUE(logHas("Connected to server-login 127.0.0.1:" + std::to_string(loginServer.port)));
    EXPECT_TRUE(logHas("Server-login disconnected"));
    EXPECT_TRUE(logHas("Client-login disconnected"));
    EXPECT_TRUE(seesClose(*login.client));
    // The chat session is pending; the login listener stays open for the next client.
    EXPECT_EQ(form.session().loginMode, LOGIN_IDLE);
    EXPECT_EQ(form.session().chatMode, CHAT_AWAIT_CLIENT);
    EXPECT_NE(form.loginListener, SOK_NO_SOCKET);

    clock.advance(59999);  // just in time
    openChat();
    EXPECT_TRUE(logHas("Client-chat connected"));
    EXPECT_TRUE(logHas("Connected to server-chat " + chatAt));

    // Toward the server: numbered from 0x4000, then across the wrap.
    const std::vector<ByteVec> up{flap(2, 0x0500, snac(1, 2, {})), flap(2, 0x0501, {1}),
                                  flap(5, 0x0502, {}), flap(2, 0x0503, ByteVec(0xFFFF, 0x5A))};
    client().send(up[0]);
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(up[0], 0x4000)});
    form.session().seqToServer = 0x7FFF;
    client().send(concat({up[1], up[2]}));
    client().send(ByteVec(up[3].begin(), up[3].begin() + 3000));
    EXPECT_EQ(pumpFrames(server(), 2),
              (std::vector<ByteVec>{withSeq(up[1], 0x7FFF), withSeq(up[2], 0)}));
    client().send(ByteVec(up[3].begin() + 3000, up[3].end()));
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(up[3], 1)});

    // Toward the client: numbered from 0x2000.
    const std::vector<ByteVec> down{flap(2, 0x6000, snac(4, 7, tlv(1, "hi"))),
                                    flap(2, 0x6001, snac(1, 3, {}))};
    server().send(concat({down[0], down[1]}));
    EXPECT_EQ(pumpFrames(client(), 2),
              (std::vector<ByteVec>{withSeq(down[0], 0x2000), withSeq(down[1], 0x2001)}));

    EXPECT_EQ(form.session().Packets[DIR_FROM_CLIENT], 4);
    EXPECT_EQ(form.session().Packets[DIR_TO_SERVER], 4);
    EXPECT_EQ(form.session().Datagramms[DIR_TO_SERVER], 4);
    EXPECT_EQ(form.session().Bytes[DIR_FROM_CLIENT], totalSize(up));
    EXPECT_EQ(form.session().Bytes[DIR_TO_SERVER], totalSize(up));
    EXPECT_EQ(form.session().Packets[DIR_FROM_SERVER], 2);
    EXPECT_EQ(form.session().Packets[DIR_TO_CLIENT], 2);
    EXPECT_EQ(form.session().Bytes[DIR_TO_CLIENT], totalSize(down));
    EXPECT_EQ(form.session().Skipped, (std::array<Counter, 2>{0, 0}));
    EXPECT_EQ(form.session().seqToServer, 2);
    EXPECT_EQ(form.session().seqToClient, 0x2002);

    // The client leaves: the session ends, the next tick listens again.
    client().close();
    EXPECT_TRUE(pumpUntil([&] { return form.session().chatMode == CHAT_ENDED; }));
    EXPECT_TRUE(logHas("Client-chat disconnected"));
    EXPECT_TRUE(seesClose(server()));
    form.Timer1_Timer();
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
    EXPECT_EQ(logCount("Await client-login connect at "), 1);
    EXPECT_EQ(form.running(), 0);
    EXPECT_TRUE(connectTo(loginListenerPort()).has_value());
    // Counters keep the session's figures until the next chat connection.
    EXPECT_EQ(form.session().Packets[DIR_TO_SERVER], 4);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

TEST_F(PumpTest, ServerEndingTheChatSessionEndsItToo) {
    signOnWith({request}, {redirectReply(chatServerAddress())});
    openChat();
    const ByteVec last = flap(4, 0x0700, {9, 9});
    server().send(last);
    server().close();
    EXPECT_TRUE(pumpUntil([&] { return form.session().chatMode == CHAT_ENDED; }));
    EXPECT_TRUE(logHas("Server-chat disconnected"));
    EXPECT_TRUE(seesClose(client()));
    EXPECT_EQ(client().takeFrames(), std::vector<ByteVec>{withSeq(last, 0x2000)});
    EXPECT_EQ(form.session().sockets[SLOT_CLIENT_CHAT], SOK_NO_SOCKET);
    EXPECT_EQ(form.session().sockets[SLOT_SERVER_CHAT], SOK_NO_SOCKET);
}

TEST_F(PumpTest, SignOnWithoutRedirectListensAgainAtOnce) {
    const ByteVec refusal = flap(2, 0x7001, snac(0x17, 0x03, tlv(8, ByteVec{0, 5})));
    LoginRun login = signOnWith({request}, {hello, refusal});
    EXPECT_EQ(login.clientGot, (std::vector<ByteVec>{hello, refusal}));
    EXPECT_TRUE(seesClose(*login.client));
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(logCount("Await client-login connect at "), 1);
    EXPECT_TRUE(boxes.shown.empty());

    // The client's retry is served.
    std::optional<Peer> retry = connectTo(loginListenerPort());
    ASSERT_TRUE(retry.has_value());
    EXPECT_TRUE(pumpUntil([&] { return form.session().loginMode == LOGIN_RELAY; }));
}

TEST_F(PumpTest, RefusedLoginServerClosesTheClientAndListensAgain) {
    form.ctl.Text4 = std::to_string(freePort());  // nothing listens: a full 5 s wait
    Peer client = *connectTo(loginListenerPort());
    EXPECT_TRUE(pumpUntil([&] { return logHas("failed with"); }));
    EXPECT_TRUE(logHas("Sok_connect server-login 127.0.0.1 failed with 4"));
    EXPECT_TRUE(seesClose(client));
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(form.session().sockets[SLOT_CLIENT_LOGIN], SOK_NO_SOCKET);
    EXPECT_TRUE(connectTo(loginListenerPort()).has_value());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PumpTest, LoginServerPortOutOfRangeIsTreatedAsAFailedConnect) {
    form.ctl.Text4 = "70000";
    Peer client = *connectTo(loginListenerPort());
    EXPECT_TRUE(pumpUntil([&] { return logHas("Invalid port 70000"); }, 5));
    EXPECT_TRUE(seesClose(client));
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(logCount("Await client-login connect at "), 1);
}

TEST_F(PumpTest, FailedChatServerConnectEndsTheChatSession) {
    auto [login, loginServerEnd] = redirectWithLoginOpen();
    form.session().chatServerPort = "99999";  // no connect can be made to this
    Peer client = *connectTo(chatPort);
    EXPECT_TRUE(pumpUntil([&] { return form.session().chatMode == CHAT_ENDED; }));
    EXPECT_TRUE(logHas("Invalid port 99999"));
    EXPECT_TRUE(seesClose(client));
    EXPECT_EQ(form.session().sockets[SLOT_CLIENT_CHAT], SOK_NO_SOCKET);
    form.Timer1_Timer();
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
    expectListeningOnceLoginEnds(loginServerEnd);
}

TEST_F(PumpTest, ChatListenerNobodyComesToClosesAfterSixtySeconds) {
    clock.ticks = 0x7FFFFFFF - 1000;  // the tick count wraps meanwhile
    auto [login, loginServerEnd] = redirectWithLoginOpen();
    clock.advance(59999);
    form.Timer1_Timer();
    EXPECT_EQ(form.session().chatMode, CHAT_AWAIT_CLIENT);
    EXPECT_FALSE(logHas("No client-chat connect"));

    clock.advance(1);
    form.Timer1_Timer();
    EXPECT_EQ(logCount("No client-chat connect within 60 s, chat listener closed"), 1);
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
    EXPECT_EQ(form.session().sockets[SLOT_CHAT_LISTENER], SOK_NO_SOCKET);
    EXPECT_FALSE(connectTo(chatPort).has_value());
    expectListeningOnceLoginEnds(loginServerEnd);
}

TEST_F(PumpTest, HostLoginWhileRelayingOnlyWarns) {
    Peer client = *connectTo(loginListenerPort());
    ASSERT_TRUE(pumpUntil([&] { return form.session().loginMode == LOGIN_RELAY; }));
    form.Command1_Click();
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Proxy is in work already!");
    EXPECT_EQ(form.session().loginMode, LOGIN_RELAY);
}

}  // namespace

// Sessions at once: a second client signs on while the first chats, each
// relays only its own frames, and the end of one leaves the other running.
// The session chooser appears with the second session and shows the one
// chosen; when that one ends, the choice falls back to the first.
TEST_F(PumpTest, SessionsRunSideBySideAndEndAlone) {
    ASSERT_NO_FATAL_FAILURE(signOnAndChat());
    EXPECT_FALSE(form.ctl.cboSessionVisible);
    auto [client2, server2] = connectLogin();
    EXPECT_EQ(form.running(), 2);
    EXPECT_EQ(logCount("Await client-login connect at "), 1);
    EXPECT_TRUE(form.ctl.cboSessionVisible);
    EXPECT_EQ(form.ctl.cboSession, (std::vector<std::string>{"123456789", "(signing on)"}));
    const ByteVec login = flap(2, 0x0102, snac(0x17, 0x06, concat({tlv(1, "222"), tlv(2, "pw")})));
    client2.send(login);
    EXPECT_EQ(pumpFrames(server2, 1), std::vector<ByteVec>{login});
    EXPECT_TRUE(server().takeFrames().empty());
    expectFirstFramesRelayed(flap(2, 0x0500, snac(1, 2, {})), flap(2, 0x6000, snac(1, 3, {})));
    EXPECT_TRUE(client2.takeFrames().empty());
    const std::string chatPortText = std::to_string(chatServer.port);
    const auto sessionBoxes = [&] {
        const Controls& c = form.ctl;
        return std::vector<std::string>{c.txtUIN, c.Text6, c.Text5, c.Label13};
    };
    form.Timer1_Timer();
    const std::vector<std::string> first{"123456789", "127.0.0.1", chatPortText,
                                         "16\r\n16\r\n16\r\n16"};
    EXPECT_EQ(form.ctl.cboSession, (std::vector<std::string>{"123456789", "222"}));
    EXPECT_EQ(sessionBoxes(), first) << "the second sign-on does not take the boxes";
    form.cboSession_Click(1);
    EXPECT_EQ(form.ctl.cboSessionChosen, 1);
    EXPECT_EQ(sessionBoxes(), (std::vector<std::string>{"222", "", "5190", "0\r\n0\r\n0\r\n0"}));
    EXPECT_NE(
        form.ctl.Label3.find(std::to_string(form.runningSession(1).sockets[SLOT_CLIENT_LOGIN])),
        std::string::npos);

    // The second's login server leaves: only the second session ends.
    server2.close();
    EXPECT_TRUE(pumpUntil([&] { return form.running() == 1; }));
    form.Timer1_Timer();
    EXPECT_FALSE(form.ctl.cboSessionVisible);
    EXPECT_EQ(form.ctl.cboSessionChosen, 0);
    EXPECT_EQ(sessionBoxes(), first);
    EXPECT_TRUE(seesClose(client2));
    // Lines of a session name it while another runs.
    EXPECT_TRUE(logHas("[222] Server-login disconnected"));
    EXPECT_TRUE(logHas("[0] Client-login connected, connecting to server..."));
    EXPECT_FALSE(logHas("[123456789] "));
    EXPECT_EQ(form.session().chatMode, CHAT_RELAY);
    const ByteVec up = flap(2, 0x0501, {7});
    client().send(up);
    EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(up, 0x4001)});
    EXPECT_TRUE(boxes.shown.empty());
}

// One sign-on past MaxSessions is accepted and closed at once; the running
// session goes on, and a client that comes once it ended is served.
TEST_F(PumpTest, SignOnPastMaxSessionsIsRefused) {
    form.Form_Unload();
    std::string ini = readFile(dir / "skelvane.ini");
    ini.replace(ini.find("MaxSessions = 8"), 15, "MaxSessions = 1");
    std::ofstream(dir / "skelvane.ini", std::ios::binary) << ini;
    form.Form_Load();
    form.Timer1_Timer();
    EXPECT_EQ(form.maxSessions(), 1);
    auto [client, server] = connectLogin();
    Peer refused = *connectTo(loginListenerPort());
    EXPECT_TRUE(pumpUntil([&] {
        return logHas(
            "Sign-on refused: 1 session is running already (MaxSessions in skelvane.ini)");
    }));
    EXPECT_TRUE(seesClose(refused));
    EXPECT_EQ(form.session().loginMode, LOGIN_RELAY);
    server.close();
    EXPECT_TRUE(pumpUntil([&] { return form.running() == 0; }));
    EXPECT_TRUE(seesClose(client));
    connectLogin();
    EXPECT_EQ(form.running(), 1);
}

// While the first redirect holds HostChatPort, the next session listens where
// the system chooses and its redirect names that port; each client reaches its
// own chat server connection and no frame crosses over.
TEST_F(PumpTest, LaterRedirectGetsAChatListenerOfItsOwn) {
    ASSERT_NO_FATAL_FAILURE(signOn("111"));
    auto [chat2, server2Chat, own] = chatAnother("222");
    EXPECT_NE(own, chatPort);
    EXPECT_TRUE(logHas("Await client-chat connect at 127.0.0.1:" + std::to_string(chatPort)));
    EXPECT_TRUE(logHas("Await client-chat connect at 127.0.0.1:" + std::to_string(own)));
    openChat();
    const ByteVec up2 = flap(2, 0x0900, snac(1, 2, {2}));
    chat2.send(up2);
    EXPECT_EQ(pumpFrames(server2Chat, 1), std::vector<ByteVec>{withSeq(up2, 0x4000)});
    expectFirstFramesRelayed(flap(2, 0x0500, snac(1, 2, {1})), flap(2, 0x6000, snac(1, 3, {})));
    EXPECT_TRUE(chat2.takeFrames().empty());
    EXPECT_TRUE(server2Chat.takeFrames().empty());
}
