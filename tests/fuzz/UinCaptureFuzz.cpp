// The UIN capture run on any unit the client's login stream can yield. The
// input is the unit, held in a buffer of exactly its size so that a read past
// its end is caught. Promises checked: nothing escapes (an escaping fault
// would end the tick and leave later frames waiting), nothing is logged as
// an internal error, and a unit that is neither a SNAC 17-06 nor a classic
// login (channel 1, the FLAP version, more) leaves the UIN alone.
#include "tests/fuzz/FuzzForm.h"

namespace {

FuzzForm& target() {
    static FuzzForm t;
    return t;
}

constexpr std::int32_t kUntouched = -12345;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > FrameCollector::kSize) {
        return -1;  // no unit is larger than a collector
    }
    Form1& form = target().form;
    form.ctl.txtLOG.clear();
    form.session().ownUin = kUntouched;
    const Bytes unit(data, data + size);
    try {
        form.captureUin(unit);
    } catch (...) {
        fuzzCheck(false, "captureUin let a fault escape");
    }
    const bool isSnacLogin =
        size > 9 && unit[6] == 0 && unit[7] == 0x17 && unit[8] == 0 && unit[9] == 0x06;
    const bool isClassicLogin = size > 10 && unit[0] == 0x2A && unit[1] == 1 && unit[6] == 0 &&
                                unit[7] == 0 && unit[8] == 0 && unit[9] == 1;
    if (!isSnacLogin && !isClassicLogin) {
        fuzzCheck(form.session().ownUin == kUntouched, "UIN taken from a unit that is no login");
    } else if (isSnacLogin || form.session().ownUin != kUntouched) {
        fuzzCheck(form.ctl.txtUIN == std::to_string(form.session().ownUin),
                  "txtUIN differs from the UIN");
    }
    fuzzCheck(!logsFault(form.ctl.txtLOG), form.ctl.txtLOG);
    return 0;
}
