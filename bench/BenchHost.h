// The proxy core as the program holds it, for the frame-path benchmarks:
// one Form1 in a scratch program folder with Dorrimel installed there as
// plugin.so, a poll loop as its socket watch, and a chat session opened the
// way a client opens one: sign-on through the login listener to a login
// server, redirect, then the chat listener and the connect to the chat
// server. The benchmark plays the client and both servers at the far ends
// of loopback sockets; every byte goes through Form1's own handlers. Other
// sessions, signed on the same way, may stay open beside the measured one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "proxy/core/Form1.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Loopback.h"
#include "tests/support/PollLoop.h"
#include "tests/support/RecordingBoxes.h"
#include "tests/support/ScratchDir.h"

// What the proxy spent on one relayed burst: the time inside its readiness
// handlers, the heap allocations made there, and the reports it took.
struct RelayCost {
    double seconds = 0;
    std::uint64_t allocations = 0;
    int reports = 0;
};

class BenchHost {
  public:
    explicit BenchHost(const std::string& pluginPath);
    BenchHost(const BenchHost&) = delete;
    BenchHost& operator=(const BenchHost&) = delete;
    ~BenchHost();

    Form1& form() { return *form_; }

    // `bytes` (whole frames) are sent by the client (or the server), and
    // the proxy is told its socket is readable; the handler runs, timed,
    // until everything has reached the other far end, which reads it all.
    // Normally one report; a burst the sockets cannot take at once needs
    // more, each counted. Throws when the bytes do not all arrive.
    RelayCost relay(bool fromClient, const ByteVec& bytes);

    // The client leaves and signs on again: Dorrimel is finished and
    // initialised afresh, as between two sessions of the program.
    void restartSession();

    // Makes `count` sessions run: the measured one and count - 1 others,
    // each with its own UIN and an open, silent chat session.
    void useSessions(int count);

  private:
    // The ends of one chat session: the client's and the chat server's.
    struct Chat {
        int index = 0;  // the session's index in the core
        std::optional<Peer> client;
        std::optional<Peer> server;
    };
    const Session& session(int index) const;
    // Signs a client with `uin` on and opens its chat session.
    Chat startChat(const std::string& uin);
    void endChat(Chat& chat);
    // Reports readiness until `done` holds; throws after a few seconds.
    void runUntil(const std::function<bool()>& done, const char* what);

    ScratchWorkDir dir_{"skelvane-bench"};
    FakeClock clock_;  // the tick is never needed: readiness alone moves the relay
    RecordingBoxes boxes_;
    PollLoop loop_;
    std::unique_ptr<Form1> form_;
    TestListener loginServer_;
    TestListener chatServer_;
    std::uint16_t chatPort_ = freePort();
    Chat measured_;
    std::vector<Chat> others_;
};

// The one host of the run, made at first use: the plug-in is bound once per
// process and keeps global state, so every benchmark shares it.
BenchHost& benchHost();
// Ends the chat session and the core and removes the scratch folder; called
// before the application object goes.
void endBenchHost();
