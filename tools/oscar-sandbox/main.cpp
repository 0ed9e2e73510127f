// oscar-sandbox: a small OSCAR login and chat service on loopback, for trying
// the proxy without the real service (see --help).
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "tools/oscar-sandbox/Sandbox.h"
#include "tools/oscar-sandbox/SandboxOptions.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int) {
    g_stop = 1;
}

// SIGINT and SIGTERM stay blocked except while the loop waits, so a stop is
// seen at the next wait and never in the middle of an action.
sigset_t blockStopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &stops, &previous);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    sigdelset(&previous, SIGINT);
    sigdelset(&previous, SIGTERM);
    return previous;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = parseSandboxOptions(argc, argv, error);
    if (!options) {
        if (!error.empty()) {
            std::fprintf(stderr, "oscar-sandbox: %s\n\n", error.c_str());
        }
        std::fputs(kSandboxUsage, error.empty() ? stdout : stderr);
        return error.empty() ? 0 : 2;
    }
    const sigset_t waitMask = blockStopSignals();
    Sandbox sandbox(*options, stdout);
    if (!sandbox.open(error)) {
        std::fprintf(stderr, "oscar-sandbox: %s\n", error.c_str());
        return 1;
    }
    sandbox.run(g_stop, waitMask);
    return 0;
}
