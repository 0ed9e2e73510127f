// The Form1 of a proxy fuzz target: one for the whole run, in a scratch
// folder made current (enterScratchFolder), on the fake clock and boxes.
#pragma once

#include "proxy/core/Form1.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingBoxes.h"

struct FuzzForm {
    std::filesystem::path dir = enterScratchFolder();
    FakeClock clock;
    RecordingBoxes boxes;
    Form1 form{clock, boxes, dir.string()};
};
