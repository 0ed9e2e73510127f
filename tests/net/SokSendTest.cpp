// Whole-unit sends to peers that read slowly or not at all. The peer runs on
// its own thread here only because it stands in for the far client.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <thread>
#include <vector>

#include "proxy/net/SockAPI.h"
#include "tests/net/LoopbackPeer.h"
#include "tests/net/SocketSlots.h"

namespace {

constexpr std::size_t kMegabyte = 1024 * 1024;
// Small buffers on both ends make a peer that does not read block the
// sender within the first few kilobytes.
constexpr int kSmallBuffer = 4096;

using SendTest = SocketSlots;

std::int32_t sendUnit(SokHandle sock, const std::vector<std::uint8_t>& stream, std::size_t offset,
                      std::size_t unit) {
    return Sok_send(sock, stream.data() + offset, static_cast<std::int32_t>(unit));
}

TEST_F(SendTest, EmptyUnitSucceedsAndUnusedSlotFails) {
    LoopbackPeer peer = acceptPeer();
    const std::uint8_t byte = 0x2A;
    EXPECT_EQ(Sok_send(sock[kConn], &byte, 0), 0);
    EXPECT_EQ(Sok_send(SOK_NO_SOCKET, &byte, 1), -1);
    EXPECT_FALSE(waitReadable(peer.fd(), 0));
}

TEST_F(SendTest, PeerThatPausesReceivesEveryByteInOrder) {
    LoopbackPeer peer = acceptPeer(kSmallBuffer);
    shrinkSendBuffer(sock[kConn], kSmallBuffer);
    const std::vector<std::uint8_t> stream = pattern(kMegabyte);
    std::vector<std::uint8_t> received;
    bool senderWasStuck = false;
    const int sender = sock[kConn];
    std::thread reader([&peer, &received, &senderWasStuck, sender, size = stream.size()] {
        // Reads nothing until the sender is stuck on a full connection.
        senderWasStuck = waitUntilFull(sender);
        received = peer.readUpTo(size);
    });
    constexpr std::size_t unit = 64 * 1024;
    for (std::size_t offset = 0; offset < stream.size(); offset += unit) {
        EXPECT_EQ(sendUnit(sock[kConn], stream, offset, unit), static_cast<std::int32_t>(unit))
            << "unit at " << offset;
    }
    reader.join();
    EXPECT_TRUE(senderWasStuck);
    EXPECT_EQ(received.size(), stream.size());
    EXPECT_TRUE(received == stream) << "bytes lost, doubled or out of order";
}

TEST_F(SendTest, PeerThatNeverReadsGetsACleanEndNotACutUnit) {
    LoopbackPeer peer = acceptPeer(kSmallBuffer);
    shrinkSendBuffer(sock[kConn], kSmallBuffer);
    const std::vector<std::uint8_t> stream = pattern(kMegabyte);
    // Units larger than everything the buffers can hold: the first one
    // cannot complete while the peer does not read.
    constexpr std::size_t unit = 256 * 1024;
    std::size_t offered = 0;
    std::int32_t result = 0;
    while (offered < stream.size() && result != -1) {
        result = sendUnit(sock[kConn], stream, offered, unit);
        offered += unit;
    }
    ASSERT_EQ(result, -1);

    // Nothing may follow the cut unit: the connection is shut down.
    EXPECT_EQ(Sok_alive(sock[kConn]), SOK_FALSE);
    EXPECT_EQ(sendUnit(sock[kConn], stream, offered, 16), -1);
    const std::vector<std::uint8_t> received = peer.readUpTo(stream.size());
    EXPECT_TRUE(peer.atEnd());
    ASSERT_LT(received.size(), offered);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), stream.begin()))
        << "the peer got bytes out of order";
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
