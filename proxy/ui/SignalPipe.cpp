#include "proxy/ui/SignalPipe.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <utility>

namespace {

// The write end for the handler; set before the handlers are installed.
volatile std::sig_atomic_t gWriteFd = -1;

void onSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // Non-blocking: when the pipe is full, a close is pending already.
    [[maybe_unused]] const ssize_t n = ::write(gWriteFd, &byte, 1);
    errno = savedErrno;
}

void install(int signal, struct sigaction& old) {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(signal, &sa, &old);
}

}  // namespace

UniqueFd::~UniqueFd() {
    reset(-1);
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

SignalPipe::SignalPipe(std::function<void()> action) : action_(std::move(action)) {
    std::array<int, 2> fds{-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds.data()) != 0) {
        return;
    }
    readEnd_.reset(fds[0]);
    writeEnd_.reset(fds[1]);
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { onReadable(); });
    gWriteFd = writeEnd_.get();
    install(SIGINT, oldInt_);
    install(SIGTERM, oldTerm_);
}

SignalPipe::~SignalPipe() {
    if (ok()) {
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        gWriteFd = -1;
        notifier_.reset();  // before the descriptor it watches is closed
    }
}

void SignalPipe::onReadable() {
    std::array<char, 64> drain{};
    while (::read(readEnd_.get(), drain.data(), drain.size()) > 0) {
    }
    action_();
}
