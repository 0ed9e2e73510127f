// The log box, the dump file and the counter table.
#include <cstdio>
#include <memory>
#include <utility>

#include "proxy/core/Form1.h"
#include "proxy/core/RunFault.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::size_t kLogLimit = 60000;  // trim once the box passes this
constexpr std::size_t kLogKeep = 50000;   // and keep this many characters

// A message as one line of the log: control characters (below 0x20, and
// 0x7F), with which a peer's text could end the line and forge lines of its
// own, are shown as \xHH.
std::string oneLine(const std::string& message) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(message.size());
    for (const char c : message) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            line += "\\x";
            line += kHex[b >> 4];
            line += kHex[b & 0x0F];
        } else {
            line += c;
        }
    }
    return line;
}

std::string twoDigits(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

template <std::size_t N>
std::string column(const std::array<Counter, N>& values, std::initializer_list<int> rows) {
    std::string text;
    bool first = true;
    for (const int row : rows) {
        if (!first) {
            text += "\r\n";
        }
        first = false;
        if (row >= 0) {
            text += std::to_string(values.at(static_cast<std::size_t>(row)));
        }
    }
    return text;
}

}  // namespace

std::string Form1::timeText() {
    const LocalTime t = clock_.localTime();
    return twoDigits(t.hour) + ":" + twoDigits(t.minute) + ":" + twoDigits(t.second);
}

std::string Form1::dateText() {
    const LocalTime t = clock_.localTime();
    return std::to_string(t.year) + "-" + twoDigits(t.month) + "-" + twoDigits(t.day);
}

void Form1::LogLine(const std::string& message) {
    // The dump file and the box are written independently: a dump file that
    // cannot be written never keeps the message from the box.
    std::string line;
    try {
        line = sessionPrefix() + oneLine(message);
        DumpLine(line);
    } catch (...) {
    }
    try {
        ctl.txtLOG += "\r\n" + timeText() + " " + line;
        if (ctl.txtLOG.size() > kLogLimit) {
            ctl.txtLOG.erase(0, ctl.txtLOG.size() - kLogKeep);
        }
    } catch (...) {
    }
}

// While more than one session runs (one whose chat ended no longer
// counts), a session's lines start with its UIN
// (0 until its sign-on names it); with one, lines are as they always were.
std::string Form1::sessionPrefix() const {
    if (acting_ == nullptr || acting_ == &waiting() || live() < 2) {
        return {};
    }
    return "[" + std::to_string(acting_->ownUin) + "] ";
}

void Form1::setLineSink(LineSink sink) {
    lineSink_ = std::move(sink);
}

void Form1::plainLine(const std::string& text) {
    LogLine(text);
    if (lineSink_) {
        try {
            lineSink_(oneLine(text));
        } catch (...) {
        }
    }
}

void Form1::problem(int what, const std::string& text) {
    plainLine(text);
    ctl.problem = oneLine(text);
    problemOf_ = what;
}

void Form1::solved(int what) {
    if (problemOf_ == what) {
        ctl.problem.clear();
        problemOf_ = -1;
    }
}

void Form1::DumpLine(const std::string& message) {
    const std::string line =
        timeText() + "|" + std::to_string(clock_.tickCount()) + " " + message + "\r\n";
    File dump(std::fopen("dump.log", "ab"));
    if (!dump) {
        throw FileAccessError("cannot open dump.log");
    }
    if (std::fwrite(line.data(), 1, line.size(), dump.get()) != line.size()) {
        throw FileAccessError("cannot write dump.log");
    }
}

void Form1::ResetCounters() {
    session().resetCounters();
}

void Form1::ShowCounters() {
    const Session& s = shown();
    // Rows: From Server, To Client, From Client, To Server; -1 leaves a row empty.
    ctl.Label13 = column(s.Bytes, {DIR_FROM_SERVER, DIR_TO_CLIENT, DIR_FROM_CLIENT, DIR_TO_SERVER});
    ctl.Label15 =
        column(s.Datagramms, {DIR_FROM_SERVER, DIR_TO_CLIENT, DIR_FROM_CLIENT, DIR_TO_SERVER});
    ctl.Label16 =
        column(s.Packets, {DIR_FROM_SERVER, DIR_TO_CLIENT, DIR_FROM_CLIENT, DIR_TO_SERVER});
    ctl.Label18 = column(s.Skipped, {SKIPPED_FROM_SERVER, -1, SKIPPED_FROM_CLIENT});
    ctl.Label11 = column(s.Generated, {-1, GENERATED_TO_CLIENT, -1, GENERATED_TO_SERVER});
}

void Form1::logFault(std::string_view prefix) noexcept {
    try {
        LogLine(faultLine(prefix));
    } catch (...) {
    }
}
