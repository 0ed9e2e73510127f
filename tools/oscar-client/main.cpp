// oscar-client: a scripted ICQ client for the demo and the acceptance tests
// (see --help).
#include <csignal>
#include <cstdio>
#include <string>

#include "tools/oscar-client/ClientOptions.h"
#include "tools/oscar-client/ClientSession.h"

int main(int argc, char** argv) {
    std::string error;
    auto options = parseClientOptions(argc, argv, error);
    if (!options) {
        if (!error.empty()) {
            std::fprintf(stderr, "oscar-client: %s\n\n", error.c_str());
        }
        std::fputs(kClientUsage, error.empty() ? stdout : stderr);
        return error.empty() ? 0 : 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    ClientSession session(*options, [](const std::string& line) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    if (!session.signOn()) {
        return 1;
    }
    session.sendMessages();
    return session.listen();
}
