// Name resolution through the system resolver.
#include "proxy/net/Address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>

#include "tests/net/LoopbackPeer.h"

namespace {

TEST(AddressTest, DottedTextNeedsNoLookUp) {
    EXPECT_EQ(getIP("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(dotted(getIP("10.1.2.3")), "10.1.2.3");
}

TEST(AddressTest, LocalhostIsTheLoopbackAddress) {
    EXPECT_EQ(dotted(getIP("localhost")).rfind("127.", 0), 0U);
}

TEST(AddressTest, WhatDoesNotResolveIsZero) {
    EXPECT_EQ(getIP(""), 0U);
    EXPECT_EQ(getIP("no-such-host.invalid"), 0U);
}

TEST(AddressTest, OwnAddressIsTheOwnNameResolved) {
    const IpAddress own = getLocalIP();
    if (own == 0) {
        GTEST_SKIP() << "the machine's own host name does not resolve";
    }
    std::array<char, 256> name{};
    ASSERT_EQ(gethostname(name.data(), name.size() - 1), 0);
    EXPECT_EQ(own, getIP(name.data()));
}

}  // namespace
