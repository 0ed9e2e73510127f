// The socket layer over real loopback sockets: slot handling, every result
// code that a test can reach, and that no call waits on a peer.
#include "proxy/net/SockAPI.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "proxy/net/Address.h"
#include "tests/net/LoopbackPeer.h"
#include "tests/net/SocketSlots.h"

namespace {

using SlotTest = SocketSlots;

TEST_F(SlotTest, UnusedSlotIsLeftAloneByEveryOperation) {
    SokHandle& slot = sock[kSpare];
    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(Sok_close(slot), 1);
    EXPECT_EQ(Sok_recv(slot, buffer.data(), 16), 0);
    EXPECT_EQ(Sok_send(slot, buffer.data(), 16), -1);
    EXPECT_EQ(Sok_listen(slot), 1);
    EXPECT_EQ(Sok_connected(slot), 4);
    std::string ip = "untouched";
    std::uint16_t port = 7;
    EXPECT_EQ(Sok_name(slot, ip, port), 1);
    EXPECT_EQ(ip, "untouched");
    EXPECT_EQ(port, 7);
    EXPECT_EQ(slot, SOK_NO_SOCKET);
}

TEST_F(SlotTest, BusySlotIsRefusedAndKeptUntilStopped) {
    ASSERT_EQ(Sok_bind(sock[kSpare], "127.0.0.1", 0), 0);
    const SokHandle held = sock[kSpare];
    EXPECT_EQ(Sok_bind(sock[kSpare], "127.0.0.1", 0), 1);
    EXPECT_EQ(Sok_connect(sock[kSpare], "127.0.0.1", freePort()), 1);
    EXPECT_EQ(sock[kSpare], held);
    EXPECT_EQ(Sok_stop(sock[kSpare]), 0);
    EXPECT_EQ(sock[kSpare], SOK_NO_SOCKET);
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
    // The system's reason is kept, in words, for the caller to tell.
    EXPECT_TRUE(Sok_lastError().addressInUse);
    EXPECT_FALSE(Sok_lastError().unresolved);
#if !defined(_WIN32)
    EXPECT_EQ(Sok_lastError().text, "address already in use");
#endif
    EXPECT_NE(Sok_lastError().text.rfind("error ", 0), 0U);  // words, not only the code

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

#if !defined(_WIN32)
// In a namespace of its own the machine's name can be one that does not
// resolve; a child process binds there and reports by its exit code.
TEST_F(BindTest, EmptyHostIsRefusedWhenTheOwnNameDoesNotResolve) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        constexpr char kName[] = "no-such-name-of-this-machine.invalid";
        if (unshare(CLONE_NEWUSER | CLONE_NEWUTS) != 0 ||
            sethostname(kName, sizeof kName - 1) != 0) {
            _exit(2);
        }
        SokHandle slot = SOK_NO_SOCKET;
        const int n = Sok_bind(slot, "", 0);
        _exit(n == 4 && slot == SOK_NO_SOCKET && Sok_lastError().unresolved ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "no user namespace to rename the machine in";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "an empty host bound although the own name does not resolve";
}
#endif

TEST_F(BindTest, UnresolvableHostIsRefusedWhileAllZerosBindsEveryInterface) {
    EXPECT_EQ(Sok_bind(sock[kListener], "no-such-host.invalid", 0), 4);
    EXPECT_EQ(sock[kListener], SOK_NO_SOCKET);
    EXPECT_TRUE(Sok_lastError().unresolved);

    ASSERT_EQ(Sok_bind(sock[kListener], "0.0.0.0", 0), 0);
    std::string ip;
    std::uint16_t port = 0;
    ASSERT_EQ(Sok_name(sock[kListener], ip, port), 0);
    EXPECT_EQ(ip, "0.0.0.0");
}

using AcceptTest = SocketSlots;

TEST_F(AcceptTest, NeedsAListenerAndAFreeConnectionSlot) {
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn]), 1);
    ASSERT_NE(listenOn(kListener), 0);
    ASSERT_EQ(Sok_bind(sock[kConn], "127.0.0.1", 0), 0);
    const SokHandle busy = sock[kConn];
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn]), 2);
    EXPECT_EQ(sock[kConn], busy);
    EXPECT_NE(sock[kListener], SOK_NO_SOCKET);
}

TEST_F(AcceptTest, ReportsNothingPendingUntilAClientArrivesThenServesOnlyIt) {
    const std::uint16_t port = listenOn(kListener);
    ASSERT_NE(port, 0);
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn]), 5);
    EXPECT_EQ(sock[kConn], SOK_NO_SOCKET);
    EXPECT_EQ(waitFor(kListener, SOK_READABLE, 0), 0);

    LoopbackPeer client = LoopbackPeer::connectTo(port);
    ASSERT_TRUE(client.connected());
    ASSERT_EQ(waitFor(kListener, SOK_READABLE), SOK_READABLE);
    EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn]), 0);
    EXPECT_NE(sock[kConn], SOK_NO_SOCKET);
    EXPECT_EQ(sock[kListener], SOK_NO_SOCKET);
    EXPECT_TRUE(testnet::noDelay(sock[kConn]));
    EXPECT_FALSE(LoopbackPeer::connectTo(port).connected());
}

using ConnectTest = SocketSlots;

TEST_F(ConnectTest, CompletesInTheBackgroundAndCarriesData) {
    const std::uint16_t port = listenOn(kListener);
    ASSERT_EQ(Sok_connect(sock[kSpare], "127.0.0.1", port), 0);
    EXPECT_TRUE(testnet::noDelay(sock[kSpare]));
    ASSERT_EQ(waitFor(kSpare, SOK_WRITABLE), SOK_WRITABLE);
    ASSERT_EQ(Sok_connected(sock[kSpare]), 0);
    ASSERT_EQ(waitFor(kListener, SOK_READABLE), SOK_READABLE);
    ASSERT_EQ(Sok_accept(sock[kListener], sock[kConn]), 0);

    const std::vector<std::uint8_t> hello = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(Sok_send(sock[kSpare], hello.data(), 5), 5);
    ASSERT_EQ(waitFor(kConn, SOK_READABLE), SOK_READABLE);
    std::array<std::uint8_t, 16> buffer{};
    ASSERT_EQ(Sok_recv(sock[kConn], buffer.data(), 16), 5);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 5), hello);
}

TEST_F(ConnectTest, RefusalAndUnresolvableNameFailAndFreeTheSlot) {
    const int started = Sok_connect(sock[kSpare], "127.0.0.1", freePort());
    if (started == 0) {  // the refusal comes back a moment later
        ASSERT_NE(waitFor(kSpare, SOK_WRITABLE), 0);
        EXPECT_EQ(Sok_connected(sock[kSpare]), 4);
    } else {
        EXPECT_EQ(started, 4);
    }
    EXPECT_EQ(sock[kSpare], SOK_NO_SOCKET);
#if !defined(_WIN32)
    EXPECT_EQ(Sok_lastError().text, "connection refused");
#endif
    EXPECT_EQ(Sok_connect(sock[kSpare], "no-such-host.invalid", freePort()), 4);
    EXPECT_EQ(sock[kSpare], SOK_NO_SOCKET);
}

TEST_F(ConnectTest, ServerThatNeverAnswersLeavesTheConnectPending) {
    const FullListener silent;
    ASSERT_EQ(Sok_connect(sock[kSpare], "127.0.0.1", silent.port()), 0);
    EXPECT_EQ(waitFor(kSpare, SOK_WRITABLE, 200), 0);
    EXPECT_EQ(Sok_connected(sock[kSpare]), SOK_CONNECTING);
    EXPECT_NE(sock[kSpare], SOK_NO_SOCKET);
}

using RecvTest = SocketSlots;

TEST_F(RecvTest, ReadsWhatArrivedWithoutWaitingThenTheClose) {
    LoopbackPeer peer = acceptPeer();
    std::array<std::uint8_t, 1000> buffer{};
    // A wait would show as a slow test: nothing there is 0 at once.
    EXPECT_EQ(Sok_recv(sock[kConn], buffer.data(), 1000), 0);

    const std::vector<std::uint8_t> sent = pattern(6000);
    ASSERT_TRUE(peer.sendAll(sent));
    peer.reset();
    std::vector<std::uint8_t> received;
    std::int32_t n = 0;
    while (waitFor(kConn, SOK_READABLE) != 0 &&
           (n = Sok_recv(sock[kConn], buffer.data(), 1000)) > 0) {
        received.insert(received.end(), buffer.begin(), buffer.begin() + n);
    }
    EXPECT_EQ(n, -3);
    EXPECT_EQ(received, sent);
    EXPECT_NE(sock[kConn], SOK_NO_SOCKET);  // the caller closes
}

TEST_F(RecvTest, ResetConnectionEndsTheStream) {
    LoopbackPeer peer = acceptPeer();
    testnet::resetOnClose(peer.fd());
    peer.reset();
    ASSERT_NE(waitFor(kConn, SOK_READABLE), 0);
    std::array<std::uint8_t, 16> buffer{};
    // -4 where the system tells a reset apart (Wine reads it as a close).
    EXPECT_LT(Sok_recv(sock[kConn], buffer.data(), 16), 0);
}

}  // namespace
