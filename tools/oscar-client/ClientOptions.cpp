#include "tools/oscar-client/ClientOptions.h"

#include <string_view>

#include "tools/oscar-wire/Socket.h"

const char* const kClientUsage =
    "usage: oscar-client --login HOST:PORT --uin N [--password P] [--classic]\n"
    "                    [--send UIN:TEXT]... [--ack] [--wait-ms N] [--until-messages N]\n"
    "                    [--step-timeout-ms N]\n"
    "\n"
    "A scripted ICQ client: signs on through the login server at HOST:PORT (for example\n"
    "Skelvane's login listener), follows the chat-server redirect, runs the chat start-up,\n"
    "sends the given messages and then listens, printing one line per frame received and\n"
    "the text of every incoming message (4/7) and offline message (15/3).\n"
    "\n"
    "  --classic             sign on the classic way: one channel-1 frame with the UIN and\n"
    "                        the roasted password, answered on channel 4 (default: the\n"
    "                        MD5 key exchange, 17-06/17-07/17-02/17-03)\n"
    "  --send UIN:TEXT       send TEXT to UIN on message channel 1; repeatable\n"
    "  --ack                 ask the server to acknowledge each message (TLV 3)\n"
    "  --wait-ms N           listen this long after sending (default 3000)\n"
    "  --until-messages N    stop listening once N messages have come in\n"
    "  --step-timeout-ms N   longest wait for each reply while signing on (default 10000)\n"
    "\n"
    "Exit status: 0 signed on and listened; 1 sign-on failed; 2 bad options;\n"
    "3 the chat connection was closed by the other side while listening.\n";

namespace {

bool takeNumber(std::string_view text, long high, int& out) {
    long value = 0;
    if (!oscar::parseNumber(text, 0, high, value)) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool takeSend(std::string_view text, ClientOptions& options) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    options.sends.push_back(
        {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))});
    return true;
}

bool takeOption(std::string_view name, const char* value, ClientOptions& o) {
    if (name == "--login") {
        return oscar::parseHostPort(value, o.loginHost, o.loginPort);
    } else if (name == "--uin") {
        o.uin = value;
        return !o.uin.empty() && o.uin.size() < 256;
    } else if (name == "--password") {
        o.password = value;
        return true;
    } else if (name == "--send") {
        return takeSend(value, o);
    } else if (name == "--wait-ms") {
        return takeNumber(value, 86400000, o.waitMs);
    } else if (name == "--until-messages") {
        return takeNumber(value, 1000000, o.untilMessages);
    } else if (name == "--step-timeout-ms") {
        return takeNumber(value, 600000, o.stepTimeoutMs);
    }
    return false;
}

}  // namespace

std::optional<ClientOptions> parseClientOptions(int argc, char** argv, std::string& error) {
    ClientOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            error.clear();
            return std::nullopt;
        }
        if (arg == "--ack" || arg == "--classic") {
            (arg == "--ack" ? options.ack : options.classic) = true;
            continue;
        }
        if (i + 1 >= argc || !takeOption(arg, argv[i + 1], options)) {
            error = "invalid or incomplete option " + std::string(arg);
            return std::nullopt;
        }
        ++i;
    }
    if (options.loginHost.empty() || options.uin.empty()) {
        error = "--login and --uin are required";
        return std::nullopt;
    }
    return options;
}
