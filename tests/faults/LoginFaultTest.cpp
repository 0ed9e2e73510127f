// Login connections that end badly, and the sign-on after them.
#include <sys/ioctl.h>

#include "tests/support/LoopbackSession.h"

namespace {

class LoginFaultTest : public LoopbackSessionTest {
  protected:
    // Bytes waiting unread on one of the proxy's slots.
    int unread(int slot) {
        awaitReadable(form.session().sockets[slot], kWaitMs);
        int n = 0;
        ioctl(form.session().sockets[slot], FIONREAD, &n);
        return n;
    }
};

// The client sends more than one receive takes and closes; the proxy's next
// send to it draws a reset, so the liveness test finds it dead while bytes
// are still unread. Both login slots must be freed, or the login listener
// (reopened at once) could never accept the next client.
TEST_F(LoginFaultTest, ClientFoundDeadByTheLivenessTestFreesItsSlot) {
    auto [client, server] = connectLogin();

    // 1500 bytes: one receive takes 1000 of them, so the close is not acted
    // on yet; the server's frame then goes to the closed client.
    client.send(flap(2, 1, ByteVec(1494, 0x11)));
    client.close();
    server.send(flap(2, 2, {1, 2, 3}));
    ASSERT_EQ(unread(SLOT_CLIENT_LOGIN), 1500);
    ASSERT_EQ(unread(SLOT_SERVER_LOGIN), 9);
    ASSERT_TRUE(pumpUntil([&] { return form.session().loginMode != LOGIN_RELAY; }));
    EXPECT_TRUE(logHas("Client-login disconnected"));
    EXPECT_EQ(form.session().sockets[SLOT_CLIENT_LOGIN], SOK_NO_SOCKET);
    EXPECT_EQ(form.session().sockets[SLOT_SERVER_LOGIN], SOK_NO_SOCKET);
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);

    // The next client is served.
    Peer next = *connectTo(loginListenerPort());
    EXPECT_TRUE(pumpUntil([&] { return form.session().loginMode == LOGIN_RELAY; }));
    EXPECT_TRUE(loginServer.accept(kWaitMs).has_value());
    EXPECT_FALSE(logHas("INTERNAL ERROR"));
}

// Both peers leave in the middle of a frame header. The bytes they left in
// the collectors belong to connections that are gone: the next sign-on's
// frames must not be read as their continuation.
TEST_F(LoginFaultTest, HalfFramesOfPeersThatLeftDoNotReachTheNextSession) {
    {
        auto [client, server] = connectLogin();
        client.send({0x2A, 0x02, 0x7F});
        server.send({0x2A, 0x01, 0x00, 0x01});
        client.close();
        server.close();
        ASSERT_TRUE(pumpUntil([&] { return form.session().loginMode == LOGIN_AWAIT_CLIENT; }));
    }
    auto [client, server] = connectLogin();
    const ByteVec hello = flap(1, 0x5A00, {0, 0, 0, 1});
    const ByteVec request = flap(2, 0x0A10, snac(0x17, 0x06, tlv(1, "123456789")));
    server.send(hello);
    client.send(request);
    EXPECT_EQ(pumpFrames(client, 1), std::vector<ByteVec>{hello});
    EXPECT_EQ(pumpFrames(server, 1), std::vector<ByteVec>{request});
    EXPECT_EQ(form.session().ownUin, 123456789);
}

}  // namespace
