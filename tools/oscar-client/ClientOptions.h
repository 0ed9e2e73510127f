// Command line of oscar-client.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct OutgoingText {
    std::string to;
    std::string text;
};

struct ClientOptions {
    std::string loginHost;
    std::uint16_t loginPort = 0;
    std::string uin;
    std::string password = "secret";
    std::vector<OutgoingText> sends;
    bool ack = false;           // ask the server to acknowledge every message sent
    bool classic = false;       // sign on the classic way (channel 1, roasted password)
    int waitMs = 3000;          // how long to listen after signing on and sending
    int untilMessages = 0;      // stop listening after this many incoming messages (0: never)
    int stepTimeoutMs = 10000;  // how long any one reply of the sign-on may take
};

// The options, or nothing with `error` set (also for --help, error empty).
std::optional<ClientOptions> parseClientOptions(int argc, char** argv, std::string& error);
extern const char* const kClientUsage;
