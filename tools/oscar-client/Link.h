// One connection of the scripted client: sends numbered frames and reads
// whole frames with a deadline, reporting each frame received as a line.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tools/oscar-wire/Flap.h"
#include "tools/oscar-wire/Socket.h"

using Clock = std::chrono::steady_clock;
using Say = std::function<void(const std::string&)>;

struct ReceivedFrame {
    std::uint8_t channel = 0;
    std::uint16_t seq = 0;
    oscar::Bytes data;

    std::optional<oscar::Snac> snac() const {
        return channel == oscar::kChannelSnac ? oscar::parseSnac(data) : std::nullopt;
    }
    bool is(std::uint16_t family, std::uint16_t subtype) const {
        auto s = snac();
        return s && s->family == family && s->subtype == subtype;
    }
};

class Link {
  public:
    Link(std::string name, oscar::Fd fd, Say say, std::uint16_t firstSeq);

    bool send(std::uint8_t channel, oscar::ByteView data);
    bool sendSnac(std::uint16_t family, std::uint16_t subtype, std::uint32_t requestId,
                  oscar::ByteView body);
    // The next whole frame, or nothing when the deadline passes or the
    // connection ends (closed() then tells which).
    std::optional<ReceivedFrame> next(Clock::time_point deadline);
    bool closed() const { return closed_; }
    const std::string& name() const { return name_; }

  private:
    bool fill(Clock::time_point deadline);
    void lost(const std::string& why);

    std::string name_;
    oscar::Fd fd_;
    Say say_;
    std::uint16_t seq_;
    std::unique_ptr<oscar::FlapAssembler> in_ = std::make_unique<oscar::FlapAssembler>();
    std::array<std::uint8_t, 4096> chunk_{};
    std::size_t chunkPos_ = 0;
    std::size_t chunkLen_ = 0;
    bool closed_ = false;
};
