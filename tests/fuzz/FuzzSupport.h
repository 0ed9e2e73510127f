// Shared pieces of the fuzz targets: a scratch working folder whose dump.log
// goes nowhere, a check that turns a broken promise into a crash libFuzzer
// reports, and a reader that takes an input apart into the pieces a target
// needs. FuzzForm.h adds a Form1 for the proxy's targets.
#pragma once

#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A broken promise: report it and crash, so that libFuzzer keeps the input.
inline void fuzzCheck(bool ok, std::string_view what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()),
                     what.data());
        std::abort();
    }
}

// Whether a log text holds a fault report. Built without coverage hooks and
// without memcmp, so that libFuzzer cannot learn the words from this search
// and smuggle them into a host name that the log then quotes.
__attribute__((no_sanitize("coverage"))) inline bool logsFault(const std::string& log) {
    static const char kWords[] = {'I', 'N', 'T', 'E', 'R', 'N', 'A',
                                  'L', ' ', 'E', 'R', 'R', 'O', 'R'};
    for (std::size_t at = 0; at + sizeof kWords <= log.size(); ++at) {
        std::size_t i = 0;
        while (i < sizeof kWords && log[at + i] == kWords[i]) {
            ++i;
        }
        if (i == sizeof kWords) {
            return true;
        }
    }
    return false;
}

// Makes a fresh scratch folder current for the rest of the run, in memory
// when the machine has /dev/shm. Its dump.log is a link to /dev/null, so
// that a long run does not fill the disk.
inline std::filesystem::path enterScratchFolder() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "skelvane-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    const std::filesystem::path dir(pattern);
    std::filesystem::current_path(dir);
    std::filesystem::create_symlink("/dev/null", dir / "dump.log");
    return dir;
}

// Reads an input front to back; past its end every read gives zeros or
// nothing.
class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data, size) {}

    bool empty() const { return at_ >= data_.size(); }
    std::uint8_t u8() { return empty() ? 0 : data_[at_++]; }
    std::uint16_t be16() {
        const std::uint16_t high = u8();
        return static_cast<std::uint16_t>(high << 8 | u8());
    }
    // The next n bytes, or as many as are left.
    Bytes bytes(std::size_t n) {
        const std::size_t take = std::min(n, data_.size() - std::min(at_, data_.size()));
        Bytes out(data_.begin() + static_cast<std::ptrdiff_t>(at_),
                  data_.begin() + static_cast<std::ptrdiff_t>(at_ + take));
        at_ += take;
        return out;
    }
    Bytes rest() { return bytes(data_.size()); }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
};

// A connected pair of stream sockets: `ours` goes into a socket slot, the
// target reads what was sent from `theirs`.
class StreamPair {
  public:
    StreamPair() {
        int fds[2] = {-1, -1};
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
            std::perror("socketpair");
            std::abort();
        }
        ours = fds[0];
        theirs_ = fds[1];
    }
    StreamPair(const StreamPair&) = delete;
    StreamPair& operator=(const StreamPair&) = delete;
    ~StreamPair() {
        if (ours >= 0) {
            ::close(ours);
        }
        ::close(theirs_);
    }

    // Everything sent so far.
    Bytes drain() {
        Bytes got;
        std::uint8_t buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(theirs_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return got;
            }
            got.insert(got.end(), buffer, buffer + n);
        }
    }

    int ours = -1;  // handed to a slot; -1 once the slot closed it

  private:
    int theirs_ = -1;
};
