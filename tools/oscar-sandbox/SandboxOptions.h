// Command line of oscar-sandbox.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

struct SandboxOptions {
    std::uint16_t loginPort = 0;  // 0: a free port, printed at start
    std::uint16_t chatPort = 0;
    std::set<std::string> noAckFor;  // recipients whose messages are never acknowledged
    bool control = false;            // read commands from standard input
};

// The options, or nothing with `error` set (also for --help, error empty).
std::optional<SandboxOptions> parseSandboxOptions(int argc, char** argv, std::string& error);
extern const char* const kSandboxUsage;
