// FLAP frames (0x2A, channel, sequence, data length, data; big-endian), the
// SNAC header inside channel-2 frames, and a stream reassembler that cuts
// bytes from a socket into whole frames in a fixed buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "tools/oscar-wire/ByteReader.h"
#include "tools/oscar-wire/ByteWriter.h"

namespace oscar {

inline constexpr std::uint8_t kFlapMarker = 0x2A;
inline constexpr std::size_t kFlapHeader = 6;
inline constexpr std::size_t kFlapMaxData = 0xFFFF;
inline constexpr std::size_t kSnacHeader = 10;

inline constexpr std::uint8_t kChannelSignOn = 1;
inline constexpr std::uint8_t kChannelSnac = 2;
inline constexpr std::uint8_t kChannelError = 3;
inline constexpr std::uint8_t kChannelSignOff = 4;
inline constexpr std::uint8_t kChannelKeepAlive = 5;

// The sign-on hello: FLAP version 1.
inline constexpr std::array<std::uint8_t, 4> kHello{0, 0, 0, 1};

struct FlapFrame {
    std::uint8_t channel = 0;
    std::uint16_t seq = 0;
    ByteView data;
};

struct Snac {
    std::uint16_t family = 0;
    std::uint16_t subtype = 0;
    std::uint16_t flags = 0;
    std::uint32_t requestId = 0;
    ByteView body;
};

// A whole frame, or nothing when the data does not fit in one.
std::optional<Bytes> encodeFlap(std::uint8_t channel, std::uint16_t seq, ByteView data);
// SNAC header and body; nothing when fewer than 10 bytes.
std::optional<Snac> parseSnac(ByteView data);
Bytes encodeSnac(std::uint16_t family, std::uint16_t subtype, std::uint32_t requestId,
                 ByteView body, std::uint16_t flags = 0);

// Reassembles one frame at a time. feed() takes bytes up to the end of the
// current frame and returns how many it took; once hasFrame() is true the
// caller handles frame() and calls next() before feeding more. A stream
// that does not start with the marker is broken for good.
class FlapAssembler {
  public:
    std::size_t feed(ByteView input);
    bool hasFrame() const { return have_ >= kFlapHeader && have_ == total(); }
    bool broken() const { return broken_; }
    FlapFrame frame() const;
    void next() { have_ = 0; }
    // Bytes of a frame begun but not finished.
    std::size_t pending() const { return have_; }

  private:
    std::size_t total() const;

    std::array<std::uint8_t, kFlapHeader + kFlapMaxData> buf_{};
    std::size_t have_ = 0;
    bool broken_ = false;
};

// "SNAC 04-06" style name of a frame's SNAC, or an empty string.
std::string snacName(const FlapFrame& frame);

}  // namespace oscar
