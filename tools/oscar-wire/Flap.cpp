#include "tools/oscar-wire/Flap.h"

#include <algorithm>
#include <cstdio>

namespace oscar {

std::optional<Bytes> encodeFlap(std::uint8_t channel, std::uint16_t seq, ByteView data) {
    if (data.size() > kFlapMaxData) {
        return std::nullopt;
    }
    ByteWriter w;
    w.u8(kFlapMarker).u8(channel).u16be(seq).u16be(static_cast<std::uint16_t>(data.size()));
    w.bytes(data);
    return w.take();
}

std::optional<Snac> parseSnac(ByteView data) {
    ByteReader r(data);
    auto family = r.u16be();
    auto subtype = r.u16be();
    auto flags = r.u16be();
    auto requestId = r.u32be();
    if (!requestId) {
        return std::nullopt;
    }
    return Snac{*family, *subtype, *flags, *requestId, r.rest()};
}

Bytes encodeSnac(std::uint16_t family, std::uint16_t subtype, std::uint32_t requestId,
                 ByteView body, std::uint16_t flags) {
    ByteWriter w;
    w.u16be(family).u16be(subtype).u16be(flags).u32be(requestId).bytes(body);
    return w.take();
}

std::size_t FlapAssembler::total() const {
    if (have_ < kFlapHeader) {
        return kFlapHeader;
    }
    return kFlapHeader + (static_cast<std::size_t>(buf_[4]) << 8 | buf_[5]);
}

std::size_t FlapAssembler::feed(ByteView input) {
    std::size_t used = 0;
    while (!broken_ && !hasFrame() && used < input.size()) {
        const std::size_t want = std::min(total() - have_, input.size() - used);
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(used), want,
                    buf_.begin() + static_cast<std::ptrdiff_t>(have_));
        have_ += want;
        used += want;
        if (have_ >= 1 && buf_[0] != kFlapMarker) {
            broken_ = true;
        }
    }
    return used;
}

FlapFrame FlapAssembler::frame() const {
    if (!hasFrame()) {
        return {};
    }
    const auto seq = static_cast<std::uint16_t>(buf_[2] << 8 | buf_[3]);
    return {buf_[1], seq, ByteView(buf_).subspan(kFlapHeader, have_ - kFlapHeader)};
}

std::string snacName(const FlapFrame& frame) {
    auto snac = frame.channel == kChannelSnac ? parseSnac(frame.data) : std::nullopt;
    if (!snac) {
        return "";
    }
    char name[32];
    std::snprintf(name, sizeof name, "SNAC %02X-%02X", snac->family, snac->subtype);
    return name;
}

}  // namespace oscar
