// Sends to peers that read slowly, not at all, or have gone: a send takes
// what the socket takes and never waits.
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <vector>

#include "proxy/net/SockAPI.h"
#include "tests/net/LoopbackPeer.h"
#include "tests/net/SocketSlots.h"

namespace {

constexpr std::size_t kMegabyte = 1024 * 1024;
// Small buffers on both ends make a peer that does not read fill the
// connection within the first few kilobytes.
constexpr int kSmallBuffer = 4096;

using SendTest = SocketSlots;

TEST_F(SendTest, EmptyUnitSucceedsAndUnusedSlotFails) {
    LoopbackPeer peer = acceptPeer();
    const std::uint8_t byte = 0x2A;
    EXPECT_EQ(Sok_send(sock[kConn], &byte, 0), 0);
    EXPECT_EQ(Sok_send(SOK_NO_SOCKET, &byte, 1), -1);
    EXPECT_FALSE(waitReadable(peer.fd(), 0));
}

TEST_F(SendTest, FullConnectionTakesNothingAtOnceAndLosesNothing) {
    LoopbackPeer peer = acceptPeer(kSmallBuffer);
    shrinkSendBuffer(sock[kConn], kSmallBuffer);
    const std::vector<std::uint8_t> stream = pattern(kMegabyte);
    std::size_t sent = 0;
    // The peer reads nothing: the socket fills and then takes nothing.
    while (sent < stream.size()) {
        const std::int32_t n = Sok_send(sock[kConn], stream.data() + sent,
                                        static_cast<std::int32_t>(stream.size() - sent));
        ASSERT_GE(n, 0);
        if (n == 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    ASSERT_LT(sent, stream.size());
    EXPECT_EQ(waitFor(kConn, SOK_WRITABLE, 0), 0);

    // Once the peer reads, the rest goes as the socket takes it.
    std::vector<std::uint8_t> received;
    std::array<std::uint8_t, 16384> chunk{};
    while (received.size() < stream.size()) {
        ASSERT_TRUE(waitReadable(peer.fd()));
        const long got = testnet::receiveSome(peer.fd(), chunk.data(), chunk.size());
        ASSERT_GT(got, 0);
        received.insert(received.end(), chunk.begin(), chunk.begin() + got);
        while (sent < stream.size() && waitFor(kConn, SOK_WRITABLE, 0) != 0) {
            const std::int32_t n = Sok_send(sock[kConn], stream.data() + sent,
                                            static_cast<std::int32_t>(stream.size() - sent));
            ASSERT_GE(n, 0);
            sent += static_cast<std::size_t>(n);
        }
    }
    EXPECT_TRUE(received == stream) << "bytes lost, doubled or out of order";
}

TEST_F(SendTest, PeerThatHasGoneFailsWithoutEndingTheProcess) {
    LoopbackPeer peer = acceptPeer();
    peer.reset();
    ASSERT_TRUE(waitPeerClosed(sock[kConn]));
#if !defined(_WIN32)
    // The default action of SIGPIPE ends the process: the send must not raise it.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
#endif
    const std::vector<std::uint8_t> unit = pattern(1000);
    std::int32_t result = 0;
    for (int attempt = 0; attempt < 100 && result != -1; ++attempt) {
        result = Sok_send(sock[kConn], unit.data(), 1000);
        waitReadable(sock[kConn], 100);  // lets the peer's reset arrive
    }
#if !defined(_WIN32)
    std::signal(SIGPIPE, previous);
#endif
    EXPECT_EQ(result, -1);
}

}  // namespace
