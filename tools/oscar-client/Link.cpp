#include "tools/oscar-client/Link.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace {

constexpr int kSendTimeoutMs = 5000;

int msUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000000));
}

}  // namespace

Link::Link(std::string name, oscar::Fd fd, Say say, std::uint16_t firstSeq)
    : name_(std::move(name)), fd_(std::move(fd)), say_(std::move(say)), seq_(firstSeq) {}

bool Link::send(std::uint8_t channel, oscar::ByteView data) {
    auto frame = oscar::encodeFlap(channel, seq_, data);
    if (closed_ || !frame) {
        return false;
    }
    seq_ = static_cast<std::uint16_t>((seq_ + 1) & 0x7FFF);
    oscar::ByteView rest(*frame);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    while (!rest.empty()) {
        const long n = oscar::sendSome(fd_, rest);
        if (n < 0) {
            lost("send failed");
            return false;
        }
        rest = rest.subspan(static_cast<std::size_t>(n));
        pollfd p{fd_.get(), POLLOUT, 0};
        if (!rest.empty() && ::poll(&p, 1, msUntil(deadline)) == 0) {
            lost("send timed out");
            return false;
        }
    }
    return true;
}

bool Link::sendSnac(std::uint16_t family, std::uint16_t subtype, std::uint32_t requestId,
                    oscar::ByteView body) {
    return send(oscar::kChannelSnac, oscar::encodeSnac(family, subtype, requestId, body));
}

std::optional<ReceivedFrame> Link::next(Clock::time_point deadline) {
    while (!closed_) {
        while (chunkPos_ < chunkLen_ && !in_->hasFrame()) {
            const oscar::ByteView rest(chunk_.data() + chunkPos_, chunkLen_ - chunkPos_);
            chunkPos_ += in_->feed(rest);
            if (in_->broken()) {
                lost("the stream is not FLAP frames");
                return std::nullopt;
            }
        }
        if (in_->hasFrame()) {
            const oscar::FlapFrame f = in_->frame();
            ReceivedFrame frame{f.channel, f.seq, oscar::Bytes(f.data.begin(), f.data.end())};
            in_->next();
            char line[96];
            std::snprintf(line, sizeof line, ": recv channel %u, seq 0x%04X, %zu bytes",
                          frame.channel, frame.seq, frame.data.size());
            const std::string snac = oscar::snacName(f);
            say_(name_ + line + (snac.empty() ? "" : ", " + snac));
            return frame;
        }
        if (!fill(deadline)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool Link::fill(Clock::time_point deadline) {
    pollfd p{fd_.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, msUntil(deadline));
    if (ready < 0 && errno == EINTR) {
        return true;
    }
    if (ready <= 0) {
        return false;
    }
    const ssize_t n = ::recv(fd_.get(), chunk_.data(), chunk_.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return true;
    }
    if (n <= 0) {
        lost(n == 0 ? "closed by the other side" : "receive failed");
        return false;
    }
    chunkPos_ = 0;
    chunkLen_ = static_cast<std::size_t>(n);
    return true;
}

void Link::lost(const std::string& why) {
    if (!closed_) {
        closed_ = true;
        fd_.reset();
        say_(name_ + ": connection " + why);
    }
}
