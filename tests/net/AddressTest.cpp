// Name resolution through the system resolver.
#include "proxy/net/Address.h"

#include <gtest/gtest.h>

#include <array>

#include "proxy/net/SockAPI.h"
#include "tests/net/LoopbackPeer.h"
#include "tests/support/TestSockets.h"

namespace {

// The resolver needs the socket library started, as the program does first.
class AddressTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(Sok_init(), 0); }
    static void TearDownTestSuite() { Sok_cleanup(); }
};

TEST_F(AddressTest, DottedTextNeedsNoLookUp) {
    EXPECT_EQ(getIP("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(dotted(getIP("10.1.2.3")), "10.1.2.3");
}

TEST_F(AddressTest, LocalhostIsTheLoopbackAddress) {
    EXPECT_EQ(dotted(getIP("localhost")).rfind("127.", 0), 0U);
}

TEST_F(AddressTest, WhatDoesNotResolveIsZero) {
    EXPECT_EQ(getIP(""), 0U);
    EXPECT_EQ(getIP("no-such-host.invalid"), 0U);
}

TEST_F(AddressTest, OwnAddressIsTheOwnNameResolved) {
    const IpAddress own = getLocalIP();
    if (own == 0) {
        GTEST_SKIP() << "the machine's own host name does not resolve";
    }
    std::array<char, 256> name{};
    ASSERT_EQ(gethostname(name.data(), static_cast<int>(name.size() - 1)), 0);
    EXPECT_EQ(own, getIP(name.data()));
}

}  // namespace
