// The proxy core as the program holds it, for the frame-path benchmarks:
// one Form1 in a scratch program folder, Dorrimel installed there as
// plugin.so and initialised with EVENT_INIT, and a chat session whose two
// chat slots hold loopback sockets, with the benchmark playing the client
// and the server at their far ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "proxy/core/Form1.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Loopback.h"
#include "tests/support/RecordingBoxes.h"
#include "tests/support/ScratchDir.h"

class BenchHost {
  public:
    explicit BenchHost(const std::string& pluginPath);
    BenchHost(const BenchHost&) = delete;
    BenchHost& operator=(const BenchHost&) = delete;
    ~BenchHost();

    Form1& form() { return *form_; }
    // The far ends of client-chat (slot 4) and server-chat (slot 5).
    Peer& client() { return *client_; }
    Peer& server() { return *server_; }

  private:
    void openChatSession();

    ScratchWorkDir dir_{"skelvane-bench"};
    FakeClock clock_;  // a tick's 10 ms sleep returns at once: a tick measures work only
    RecordingBoxes boxes_;
    std::unique_ptr<Form1> form_;
    std::optional<Peer> client_;
    std::optional<Peer> server_;
};

// The one host of the run, made at first use: the plug-in is bound once per
// process and keeps global state, so every benchmark shares it.
BenchHost& benchHost();
// Ends the chat session, finishes the plug-in and removes the scratch folder;
// called before the application object goes.
void endBenchHost();

// What one receive delivered, relayed in the order the pump runs it: the
// bytes into the collector, and for each whole frame the counters, the
// plug-in's event, the sequence stamp, the send when `send` is set (to
// server-chat for frames from the client, else to client-chat) and the
// collector's removal. The receive itself is left out. Returns the number
// of frames sent, or that would have been sent.
int relayInProcess(Form1& form, FrameCollector& side, std::span<const std::uint8_t> received,
                   bool fromClient, bool send);
