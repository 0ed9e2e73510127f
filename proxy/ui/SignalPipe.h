// SIGINT and SIGTERM brought onto the UI thread: the signal handler only
// writes one byte into a socket pair, and a notifier on the other end calls
// the given action from the event loop.
#pragma once

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

// Owns one file descriptor and closes it.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    // Closes the held descriptor and takes `fd`.
    void reset(int fd);

  private:
    int fd_ = -1;
};

class SignalPipe {
  public:
    // Installs the handlers; they are restored when the object goes away.
    // Only one instance may exist at a time.
    explicit SignalPipe(std::function<void()> action);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // False when the socket pair could not be made (signals then keep their
    // default action).
    bool ok() const { return notifier_ != nullptr; }

  private:
    void onReadable();

    std::function<void()> action_;
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};
