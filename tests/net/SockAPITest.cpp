// The socket layer over real loopback sockets: slot handling and every
// result code that a test can reach.
#include "proxy/net/SockAPI.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "proxy/net/Address.h"
#include "tests/net/LoopbackPeer.h"
#include "tests/net/SocketSlots.h"

namespace {

constexpr std::int32_t kLongWaitMs = 5000;
constexpr std::int32_t kShortTimeoutMs = 300;

using SlotTest = SocketSlots;

TEST_F(SlotTest, UnusedSlotIsLeftAloneByEveryOperation) {
    SokHandle& slot = sock[kSpare];
    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(Sok_close(slot), 1);
    // A wait this long would show as a hanging test: the call must not wait.
    EXPECT_EQ(Sok_recv(slot, ev[kSpare], buffer.data(), 16, 30000), 0);
    EXPECT_EQ(Sok_alive(slot), SOK_FALSE);
    EXPECT_EQ(Sok_listen(slot), 1);
    std::string ip = "untouched";
    std::uint16_t port = 7;
    EXPECT_EQ(Sok_name(slot, ip, port), 1);
    EXPECT_EQ(ip, "untouched");
    EXPECT_EQ(port, 7);
    EXPECT_EQ(slot, SOK_NO_SOCKET);
}

TEST_F(SlotTest, StopClosesTheSocketAndReleasesTheEvent) {
    ASSERT_EQ(Sok_bind(sock[kSpare], "127.0.0.1", 0), 0);
    EXPECT_EQ(Sok_stop(sock[kSpare], ev[kSpare]), 0);
    EXPECT_EQ(sock[kSpare], SOK_NO_SOCKET);
    EXPECT_FALSE(ev[kSpare].created);
    EXPECT_EQ(Sok_start(sock[kSpare], ev[kSpare]), 0);
    EXPECT_TRUE(ev[kSpare].created);
}

TEST_F(SlotTest, BusySlotIsRefusedAndKept) {
    ASSERT_EQ(Sok_bind(sock[kSpare], "127.0.0.1", 0), 0);
    const SokHandle held = sock[kSpare];
    EXPECT_EQ(Sok_bind(sock[kSpare], "127.0.0.1", 0), 1);
    EXPECT_EQ(
        Sok_connect(sock[kSpare], ev[kSpare], "127.0.0.1", freePort(), kShortTimeoutMs, true, 0),
        1);
    EXPECT_EQ(sock[kSpare], held);
}

using BindTest = SocketSlots;

TEST_F(BindTest, PortZeroListenerReportsTheChosenPort) {
    ASSERT_EQ(Sok_bind(sock[kListener], "127.0.0.1", 0), 0);
    ASSERT_EQ(Sok_listen(sock[kListener]), 0);
    std::string ip;
    std::uint16_t port = 0;
    ASSERT_EQ(Sok_name(sock[kListener], ip, port), 0);
    EXPECT_EQ(ip, "127.0.0.1");
    EXPECT_NE(port, 0);
    EXPECT_TRUE(LoopbackPeer::connectTo(port).connected());
}

TEST_F(BindTest, PortInUseFailsFreesTheSlotAndCanBeRetried) {
    const std::uint16_t port = listenOn(kListener);
    ASSERT_NE(port, 0);
    EXPECT_EQ(Sok_bind(sock[kSpare], "127.0.0.1", port), 4);
    EXPECT_EQ(sock[kSpare], SOK_NO_SOCKET);

    ASSERT_EQ(Sok_close(sock[kListener]), 0);
    EXPECT_EQ(Sok_bind(sock[kSpare], "127.0.0.1", port), 0);
    EXPECT_EQ(Sok_listen(sock[kSpare]), 0);
}

TEST_F(BindTest, PortOfAnAcceptedConnectionTakesANewListener) {
    LoopbackPeer peer = acceptPeer();
    std::string ip;
    std::uint16_t port = 0;
    ASSERT_EQ(Sok_name(sock[kConn], ip, port), 0);
    // The next session's listener goes on the same port while this
    // connection is still open.
    EXPECT_EQ(Sok_bind(sock[kListener], "127.0.0.1", port), 0);
    EXPECT_EQ(Sok_listen(sock[kListener]), 0);
}

TEST_F(BindTest, EmptyHostBindsToTheMachinesOwnAddress) {
    const IpAddress own = getLocalIP();
    if (own == 0) {
        GTEST_SKIP() << "the machine's own host name does not resolve";
    }
    ASSERT_EQ(Sok_bind(sock[kListener], "", 0), 0);
    std::string ip;
    std::uint16_t port = 0;
    ASSERT_EQ(Sok_name(sock[kListener], ip, port), 0);
    EXPECT_EQ(ip, dotted(own));
    EXPECT_NE(ip, "0.0.0.0");
}

TEST_F(BindTest, UnresolvableHostIsRefusedWhileAllZerosBindsEveryInterface) {
    EXPECT_EQ(Sok_bind(sock[kListener], "no-such-host.invalid", 0), 4);
    EXPECT_EQ(sock[kListener], SOK_NO_SOCKET);

    ASSERT_EQ(Sok_bind(sock[kListener], "0.0.0.0", 0), 0);
    std::string ip;
    std::uint16_t port = 0;
    ASSERT_EQ(Sok_name(sock[kListener], ip, port), 0);
    EXPECT_EQ(ip, "0.0.0.0");
}

using AcceptTest = SocketSlots;

TEST_F(AcceptTest, NeedsAListenerAndAFreeConnectionSlot) {
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn], ev[kConn]), 1);
    ASSERT_NE(listenOn(kListener), 0);
    ASSERT_EQ(Sok_bind(sock[kConn], "127.0.0.1", 0), 0);
    const SokHandle busy = sock[kConn];
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn], ev[kConn]), 2);
    EXPECT_EQ(sock[kConn], busy);
    EXPECT_NE(sock[kListener], SOK_NO_SOCKET);
}

TEST_F(AcceptTest, PollsUntilAClientArrivesThenServesOnlyIt) {
    const std::uint16_t port = listenOn(kListener);
    ASSERT_NE(port, 0);
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn], ev[kConn]), 5);
    EXPECT_EQ(sock[kConn], SOK_NO_SOCKET);
    ASSERT_NE(sock[kListener], SOK_NO_SOCKET);

    LoopbackPeer client = LoopbackPeer::connectTo(port);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(waitReadable(sock[kListener]));
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn], ev[kConn]), 0);
    EXPECT_NE(sock[kConn], SOK_NO_SOCKET);
    EXPECT_EQ(sock[kListener], SOK_NO_SOCKET);
    EXPECT_EQ(ev[kConn].armed, SOK_FD_READ_CLOSE);
    EXPECT_EQ(Sok_alive(sock[kConn]), SOK_TRUE);
    EXPECT_FALSE(LoopbackPeer::connectTo(port).connected());
}

TEST_F(AcceptTest, WithoutEventObjectClosesBothSockets) {
    const std::uint16_t port = listenOn(kListener);
    LoopbackPeer client = LoopbackPeer::connectTo(port);
    ASSERT_TRUE(waitReadable(sock[kListener]));
    SokEvent none{};
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn], none), 6);
    EXPECT_EQ(sock[kConn], SOK_NO_SOCKET);
    EXPECT_EQ(sock[kListener], SOK_NO_SOCKET);
}

using ConnectTest = SocketSlots;

TEST_F(ConnectTest, ConnectsArmsAndCarriesData) {
    const std::uint16_t port = listenOn(kListener);
    ASSERT_EQ(Sok_connect(sock[kSpare], ev[kSpare], "127.0.0.1", port, kLongWaitMs, true, 0), 0);
    EXPECT_EQ(ev[kSpare].armed, SOK_FD_READ_CLOSE);
    EXPECT_EQ(Sok_alive(sock[kSpare]), SOK_TRUE);
    ASSERT_TRUE(waitReadable(sock[kListener]));
    ASSERT_EQ(Sok_accept(sock[kListener], sock[kConn], ev[kConn]), 0);

    const std::vector<std::uint8_t> hello = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(Sok_send(sock[kSpare], hello.data(), 5), 5);
    std::array<std::uint8_t, 1001> buffer{};
    ASSERT_EQ(Sok_recv(sock[kConn], ev[kConn], buffer.data(), 1000, kLongWaitMs), 5);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 5), hello);
}

TEST_F(ConnectTest, RefusedServerRunsToTheDeadlineAndFreesTheSlot) {
    EXPECT_EQ(
        Sok_connect(sock[kSpare], ev[kSpare], "127.0.0.1", freePort(), kShortTimeoutMs, true, 0),
        4);
    EXPECT_EQ(sock[kSpare], SOK_NO_SOCKET);
}

TEST_F(ConnectTest, UnresolvableNameFailsAndFreesTheSlot) {
    EXPECT_EQ(Sok_connect(sock[kSpare], ev[kSpare], "no-such-host.invalid", freePort(),
                          kShortTimeoutMs, true, 0),
              4);
    EXPECT_EQ(sock[kSpare], SOK_NO_SOCKET);
}

TEST_F(ConnectTest, ArmingWithoutEventObjectFailsAndFreesTheSlot) {
    const std::uint16_t port = listenOn(kListener);
    SokEvent none{};
    EXPECT_EQ(Sok_connect(sock[kSpare], none, "127.0.0.1", port, kLongWaitMs, true, 0), 5);
    EXPECT_EQ(sock[kSpare], SOK_NO_SOCKET);
}

TEST_F(ConnectTest, UnarmedConnectionReportsNoEvents) {
    const std::uint16_t port = listenOn(kListener);
    ASSERT_EQ(Sok_connect(sock[kSpare], ev[kSpare], "127.0.0.1", port, kLongWaitMs, false, 0), 0);
    ASSERT_TRUE(waitReadable(sock[kListener]));
    ASSERT_EQ(Sok_accept(sock[kListener], sock[kConn], ev[kConn]), 0);
    const std::vector<std::uint8_t> bytes = {1, 2, 3};
    ASSERT_EQ(Sok_send(sock[kConn], bytes.data(), 3), 3);
    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(Sok_recv(sock[kSpare], ev[kSpare], buffer.data(), 16, 10), -2);
}

using RecvTest = SocketSlots;

TEST_F(RecvTest, ReportsAnEmptyWaitAndAMissingEventObject) {
    LoopbackPeer peer = acceptPeer();
    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(Sok_recv(sock[kConn], ev[kConn], buffer.data(), 16, 10), -2);
    SokEvent none{};
    EXPECT_EQ(Sok_recv(sock[kConn], none, buffer.data(), 16, 10), -1);
    EXPECT_NE(sock[kConn], SOK_NO_SOCKET);
}

TEST_F(RecvTest, DataFollowedByCloseIsReadWholeBeforeTheSlotCloses) {
    LoopbackPeer peer = acceptPeer();
    const std::vector<std::uint8_t> sent = pattern(6000);
    ASSERT_TRUE(peer.sendAll(sent));
    peer.reset();
    ASSERT_TRUE(waitPeerClosed(sock[kConn]));

    const SokHandle handle = sock[kConn];
    std::vector<std::uint8_t> received;
    std::array<std::uint8_t, 1001> buffer{};
    for (int call = 0; call < 100 && sock[kConn] != SOK_NO_SOCKET; ++call) {
        const std::int32_t n = Sok_recv(sock[kConn], ev[kConn], buffer.data(), 1000, kLongWaitMs);
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 1000);
        received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        if (sock[kConn] != SOK_NO_SOCKET) {
            EXPECT_LT(received.size(), sent.size()) << "everything read but the slot stays open";
        }
    }
    EXPECT_EQ(sock[kConn], SOK_NO_SOCKET);
    EXPECT_EQ(received, sent);
    EXPECT_EQ(Sok_alive(sock[kConn]), SOK_FALSE);
    EXPECT_EQ(Sok_alive(handle), SOK_FALSE);
}

TEST_F(RecvTest, CloseWithNothingPendingClosesTheSlot) {
    LoopbackPeer peer = acceptPeer();
    peer.reset();
    const SokHandle handle = sock[kConn];
    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(Sok_recv(sock[kConn], ev[kConn], buffer.data(), 16, kLongWaitMs), 0);
    EXPECT_EQ(sock[kConn], SOK_NO_SOCKET);
    EXPECT_EQ(Sok_alive(handle), SOK_FALSE);
}

}  // namespace
