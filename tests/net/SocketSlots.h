// Test fixture holding a small socket table, as the main window does: every
// slot is started before a test and stopped after it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "proxy/net/SockAPI.h"
#include "tests/net/LoopbackPeer.h"

class SocketSlots : public ::testing::Test {
  protected:
    static constexpr int kListener = 0;
    static constexpr int kConn = 1;
    static constexpr int kSpare = 2;

    static void SetUpTestSuite() { ASSERT_EQ(Sok_init(), 0); }
    static void TearDownTestSuite() { Sok_cleanup(); }

    void SetUp() override {
        for (std::size_t i = 0; i < sock.size(); ++i) {
            ASSERT_EQ(Sok_start(sock[i]), 0);
        }
    }
    void TearDown() override {
        for (std::size_t i = 0; i < sock.size(); ++i) {
            EXPECT_EQ(Sok_stop(sock[i]), 0);
        }
    }

    // Opens a listener on 127.0.0.1 with a port the system chooses; returns
    // that port, or 0 when something failed.
    std::uint16_t listenOn(int slot) {
        std::string ip;
        std::uint16_t port = 0;
        const bool ok = Sok_bind(sock[slot], "127.0.0.1", 0) == 0 && Sok_listen(sock[slot]) == 0 &&
                        Sok_name(sock[slot], ip, port) == 0;
        EXPECT_TRUE(ok);
        return ok ? port : 0;
    }

    // A peer connected to a fresh listener in kListener and accepted into
    // kConn.
    LoopbackPeer acceptPeer(int receiveBuffer = 0) {
        const std::uint16_t port = listenOn(kListener);
        LoopbackPeer peer = LoopbackPeer::connectTo(port, receiveBuffer);
        EXPECT_TRUE(peer.connected());
        EXPECT_TRUE(waitReadable(sock[kListener]));
        EXPECT_EQ(Sok_accept(sock[kListener], sock[kConn]), 0);
        return peer;
    }

    // Waits until `slot`'s socket is ready as `wanted`, at most `ms`: what it is.
    int waitFor(int slot, int wanted, int ms = 5000) {
        std::array<SokWaitItem, 1> item{SokWaitItem{sock[slot], wanted, 0}};
        return Sok_wait(item, ms) > 0 ? item[0].ready : 0;
    }

    std::array<SokHandle, 3> sock{};
};
