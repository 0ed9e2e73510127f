// The frame collector fed a byte stream in slices of 0 to 1000 bytes, as
// receives hand it over. Input: repeated (16-bit slice length mod 1001,
// slice bytes). Promises checked: every unit handed out is a whole FLAP
// frame (6 + its length field) or, when the stream has lost its marker,
// everything buffered; the units and what is still held add up to exactly
// the bytes fed, in order; no whole unit is left waiting; nothing faults.
#include "tests/fuzz/FuzzForm.h"

namespace {

constexpr std::size_t kMaxSlice = 1000;

struct Target : FuzzForm {
    FrameCollector collector;
};

Target& target() {
    static Target t;
    return t;
}

void checkUnit(std::span<const std::uint8_t> unit, std::int32_t heldBefore) {
    fuzzCheck(!unit.empty(), "empty unit");
    if (unit[0] == 0x2A) {
        fuzzCheck(unit.size() >= 6, "frame shorter than its header");
        fuzzCheck(unit.size() == 6 + unit[4] * 256U + unit[5], "frame length differs from header");
    } else {
        fuzzCheck(unit.size() >= 6, "unframed unit of fewer than 6 bytes");
        fuzzCheck(static_cast<std::int32_t>(unit.size()) == heldBefore,
                  "unframed unit is not everything buffered");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Target& t = target();
    Form1& form = t.form;
    FrameCollector& c = t.collector;
    c.clear();
    form.ctl.txtLOG.clear();

    InputReader in(data, size);
    Bytes fed;
    Bytes handedOut;
    while (!in.empty()) {
        const Bytes slice = in.bytes(in.be16() % (kMaxSlice + 1));
        fed.insert(fed.end(), slice.begin(), slice.end());
        int whole = form.PacketCollect(c, slice.data(), static_cast<std::int32_t>(slice.size()));
        while (whole == 1) {
            fuzzCheck(c.frameLen > 0 && c.frameLen <= c.collected, "unit outside the buffer");
            const std::span<const std::uint8_t> unit(c.held().data(),
                                                     static_cast<std::size_t>(c.frameLen));
            checkUnit(unit, c.collected);
            handedOut.insert(handedOut.end(), unit.begin(), unit.end());
            form.PacketRemove(c);
            whole = form.PacketCollect(c, nullptr, 0);
        }
        fuzzCheck(whole == 0, "PacketCollect result outside 0 and 1");
    }
    fuzzCheck(c.collected >= 0 && c.start >= 0 && c.start + c.collected <= FrameCollector::kSize,
              "held bytes outside the buffer");
    handedOut.insert(handedOut.end(), c.held().begin(), c.held().end());
    fuzzCheck(handedOut == fed, "bytes lost, repeated or reordered");
    if (c.collected >= 6) {
        fuzzCheck(c.held()[0] == 0x2A && c.frameLen > c.collected, "a whole unit was left waiting");
    }
    fuzzCheck(!logsFault(form.ctl.txtLOG), form.ctl.txtLOG);
    return 0;
}
