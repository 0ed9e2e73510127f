#include "tools/oscar-sandbox/SandboxOptions.h"

#include <string_view>

#include "tools/oscar-wire/Socket.h"

const char* const kSandboxUsage =
    "usage: oscar-sandbox [--login-port N] [--chat-port N] [--no-ack-for UIN]... [--control]\n"
    "\n"
    "A small OSCAR (ICQ) service on 127.0.0.1 for trying Skelvane: a login server that\n"
    "accepts any UIN and password and redirects to its chat server (MD5 sign-on: 17-03;\n"
    "classic channel-1 sign-on: a channel-4 reply), and a chat server that delivers\n"
    "instant messages (4/6 -> 4/7) between the clients signed on to it.\n"
    "\n"
    "  --login-port N    login server port (default 0: a free port, printed at start)\n"
    "  --chat-port N     chat server port (default 0: a free port, printed at start)\n"
    "  --no-ack-for UIN  never acknowledge (4/0C) messages to this UIN; repeatable\n"
    "  --control         read commands from standard input: \"drop\" closes every\n"
    "                    client connection, \"quit\" stops the sandbox\n"
    "\n"
    "A message that asks for an acknowledgement (TLV 3) gets the server ack 4/0C when its\n"
    "recipient is signed on and not named by --no-ack-for. A message to a UIN that is not\n"
    "signed on is answered with the error 4/01 (code 4, recipient not logged in) and never\n"
    "acknowledged. One line per action goes to standard output. SIGINT or SIGTERM stops it.\n";

namespace {

bool takePort(std::string_view text, std::uint16_t& port) {
    long value = 0;
    if (!oscar::parseNumber(text, 0, 65535, value)) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

std::optional<SandboxOptions> parseSandboxOptions(int argc, char** argv, std::string& error) {
    SandboxOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            error.clear();
            return std::nullopt;
        } else if (arg == "--control") {
            options.control = true;
        } else if (arg == "--login-port" && hasValue) {
            if (!takePort(argv[++i], options.loginPort)) {
                error = "invalid --login-port " + std::string(argv[i]);
                return std::nullopt;
            }
        } else if (arg == "--chat-port" && hasValue) {
            if (!takePort(argv[++i], options.chatPort)) {
                error = "invalid --chat-port " + std::string(argv[i]);
                return std::nullopt;
            }
        } else if (arg == "--no-ack-for" && hasValue) {
            options.noAckFor.insert(argv[++i]);
        } else {
            error = "unknown or incomplete option " + std::string(arg);
            return std::nullopt;
        }
    }
    return options;
}
