// A fixture for sessions over real loopback sockets: the Form1 of
// ScratchFormTest loaded with its endpoints on 127.0.0.1 (the login and the
// chat listener each on a free port) and the
// first tick run, so the login listener is open. The test's own listeners
// play the login and the chat server; helpers take a client through sign-on
// into the chat session.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Flap.h"
#include "tests/support/Loopback.h"
#include "tests/support/ScratchFormTest.h"

class LoopbackSessionTest : public ScratchFormTest {
  protected:
    LoopbackSessionTest() {
        form.Form_Load();
        form.ctl.Text1 = "127.0.0.1";
        form.ctl.Text2 = std::to_string(freePort());
        form.ctl.Text3 = "127.0.0.1";
        form.ctl.Text4 = std::to_string(loginServer.port);
        form.ctl.Text7 = "127.0.0.1";
        form.ctl.Text8 = std::to_string(chatPort);
        form.Timer1_Timer();  // the first tick opens the login listener
    }
    void TearDown() override { form.Form_Unload(); }

    // Runs the relay until `done` holds; false when it never did. A fixture
    // whose plug-in needs an event loop or real time passing replaces it.
    virtual bool runUntil(const std::function<bool()>& done) { return pumpUntil(done); }

    static Peer acceptFrom(TestListener& listener) {
        if (std::optional<Peer> p = listener.accept(kWaitMs)) {
            return std::move(*p);
        }
        throw std::runtime_error("nothing to accept");
    }
    // Runs the relay until `peer` has received `count` whole frames.
    std::vector<ByteVec> pumpFrames(Peer& peer, std::size_t count) {
        std::vector<ByteVec> got;
        runUntil([&] {
            for (ByteVec& f : peer.takeFrames()) {
                got.push_back(std::move(f));
            }
            return got.size() >= count;
        });
        return got;
    }
    // Runs the relay a few rounds and returns whatever `peer` got meanwhile.
    std::vector<ByteVec> pumpQuietly(Peer& peer, int rounds = 5) {
        for (int i = 0; i < rounds; ++i) {
            loop.runOnce(form, 10);
            peer.awaitAndPoll(10);
        }
        return peer.takeFrames();
    }
    static bool seesClose(Peer& peer) {
        while (!peer.closedByPeer && peer.awaitAndPoll(kWaitMs)) {
        }
        return peer.closedByPeer;
    }

    // A client connects to the login listener and the proxy reaches the
    // login server for its new session: the client's and the login server's ends.
    std::pair<Peer, Peer> connectLogin() {
        Peer client = *connectTo(loginListenerPort());
        EXPECT_TRUE(runUntil([&] {
            return form.running() > 0 &&
                   form.runningSession(form.running() - 1).loginMode == LOGIN_RELAY;
        }));
        return {std::move(client), acceptFrom(loginServer)};
    }
    std::string chatServerAddress() const { return "127.0.0.1:" + std::to_string(chatServer.port); }
    // The client signs on with UIN `uin`; the login server redirects it to
    // the test's chat server and closes.
    void signOn(const std::string& uin = "123456789") {
        auto [client, server] = connectLogin();
        client.send(flap(2, 0x0102, snac(0x17, 0x06, concat({tlv(1, uin), tlv(2, "pw")}))));
        ASSERT_EQ(pumpFrames(server, 1).size(), 1U);
        server.send(
            flap(2, 0x7001, snac(0x17, 0x03, concat({tlv(1, uin), tlv(5, chatServerAddress())}))));
        ASSERT_EQ(pumpFrames(client, 1).size(), 1U);
        server.close();
        ASSERT_TRUE(runUntil([&] { return form.session().loginMode != LOGIN_RELAY; }));
        ASSERT_EQ(form.session().chatMode, CHAT_AWAIT_CLIENT);
    }
    // The client follows the redirect: client-chat and server-chat are open.
    void openChat() {
        chatClient.emplace(*connectTo(chatPort));
        ASSERT_TRUE(runUntil([&] { return form.session().chatMode == CHAT_RELAY; }));
        chatServerEnd = chatServer.accept(kWaitMs);
        ASSERT_TRUE(chatServerEnd.has_value());
    }
    void signOnAndChat() {
        ASSERT_NO_FATAL_FAILURE(signOn());
        openChat();
    }
    // The chat ends of a session started after the first one.
    struct OtherChat {
        Peer client;
        Peer server;
        std::uint16_t listenerPort = 0;  // where its redirect sent the client
    };
    // Another client signs on with `uin` and follows its redirect, wherever it
    // points: the new session relays its chat.
    OtherChat chatAnother(const std::string& uin) {
        auto [client, login] = connectLogin();
        const std::size_t at = static_cast<std::size_t>(form.running()) - 1;
        client.send(flap(2, 0x0102, snac(0x17, 0x06, concat({tlv(1, uin), tlv(2, "pw")}))));
        pumpFrames(login, 1);
        login.send(
            flap(2, 0x7001, snac(0x17, 0x03, concat({tlv(1, uin), tlv(5, chatServerAddress())}))));
        const std::vector<ByteVec> got = pumpFrames(client, 1);
        const std::string reply = got.empty() ? "" : std::string(got[0].begin(), got[0].end());
        const std::size_t addressAt = reply.find("127.0.0.1:");
        if (addressAt == std::string::npos) {
            throw std::runtime_error("no rewritten redirect for UIN " + uin);
        }
        const auto port = static_cast<std::uint16_t>(std::stoi(reply.substr(addressAt + 10)));
        login.close();
        Peer chat = *connectTo(port);
        EXPECT_TRUE(runUntil(
            [&] { return form.runningSession(static_cast<int>(at)).chatMode == CHAT_RELAY; }));
        return {std::move(chat), acceptFrom(chatServer), port};
    }
    // `up` from the client and `down` from the server each arrive as the
    // first frame of their direction in the chat session.
    void expectFirstFramesRelayed(const ByteVec& up, const ByteVec& down) {
        client().send(up);
        EXPECT_EQ(pumpFrames(server(), 1), std::vector<ByteVec>{withSeq(up, 0x4000)});
        server().send(down);
        EXPECT_EQ(pumpFrames(client(), 1), std::vector<ByteVec>{withSeq(down, 0x2000)});
    }
    // The far ends of client-chat and server-chat once openChat has run.
    Peer& client() { return *chatClient; }
    Peer& server() { return *chatServerEnd; }

    TestListener loginServer;
    TestListener chatServer;
    std::uint16_t chatPort = freePort();
    std::optional<Peer> chatClient;
    std::optional<Peer> chatServerEnd;
};
