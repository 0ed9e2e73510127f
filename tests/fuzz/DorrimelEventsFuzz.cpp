// Dorrimel driven through pluginFun as the host drives it, with a clock the
// input sets and fakes in place of the windows, timer and message boxes.
// The input is a program of steps (one opcode byte, then its operands):
// init (by a host of version 7 or by one that serves several sessions, for
// one of two sessions), the session event, finish, preferences, raw frames
// either way, messages and their acknowledgements built from a few UINs and
// cookies, clock jumps that run the timer, the options window's buttons with
// any texts, and raw records of any kind and length. Every record is held in
// a buffer of exactly its size. (An init record always carries the real
// callback address and its fields in order, as the host builds it: a
// plug-in that is handed a false callback address can only crash.)
// Promises checked: an init is answered with a whole PLUGIN_INFO, every other
// event with nothing; everything the plug-in hands the host is a
// PACKET_TO_CLIENT command whose data is empty or one whole FLAP frame; the
// message list of every session stays within its room; nothing escapes.
#include "plugin/Options.h"
#include "plugin/PluginState.h"
#include "plugin/Tracker.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/FakePluginPlatform.h"
#include "tests/support/PluginRecords.h"

extern "C" const std::uint8_t* PLUG_CALL pluginFun(const std::uint8_t* eventRecord);

// The windowing layer's factory; the harness installs its own platform.
std::unique_ptr<PluginPlatform> makePluginPlatform() {
    return nullptr;
}

namespace {

std::uint32_t le32At(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// What the plug-in may hand the host: a notification toward the client.
const std::uint8_t* PLUG_CALL checkingHostCallback(const std::uint8_t* record) {
    static const std::uint8_t ack[6] = {2, 0, 0, 0, HOST_ACK, ACK_OK};
    fuzzCheck(record != nullptr, "null record to the host");
    const std::uint32_t l = le32At(record);
    fuzzCheck(l >= 2 && l < PLUG_MAX_RECORD_LENGTH, "record length out of range");
    const Bytes whole(record, record + PLUG_HEAD_SIZE + l);  // every byte must be readable
    fuzzCheck(whole[4] == PLUGIN_COMMAND && whole[5] == PACKET_TO_CLIENT,
              "not a PACKET_TO_CLIENT command");
    const std::size_t frame = l - 2;
    if (frame > 0) {
        fuzzCheck(frame >= 6 && whole[6] == 0x2A, "injected data is no FLAP frame");
        fuzzCheck(frame == 6 + whole[10] * 256U + whole[11], "injected frame length is wrong");
    }
    return ack;
}

// A second session's callback, with the same promises.
const std::uint8_t* PLUG_CALL otherCheckingHostCallback(const std::uint8_t* record) {
    return checkingHostCallback(record);
}

HostCallbackFunction callbackOf(InputReader& in) {
    return in.u8() & 1 ? otherCheckingHostCallback : checkingHostCallback;
}

// A message (4/6) or an acknowledgement (4/0B, 4/0C) frame for one of a few
// recipients and cookies, so that acknowledgements find their messages.
Bytes messageFrame(InputReader& in, std::uint16_t subtype) {
    static const std::array<std::string, 4> uins{"123456789", "987654321", "42", "00012"};
    const std::string& uin = uins[in.u8() % uins.size()];
    const std::uint8_t cookie = in.u8() % 4;
    Bytes data{0, 4, static_cast<std::uint8_t>(subtype >> 8), static_cast<std::uint8_t>(subtype)};
    data.insert(data.end(), {0, 0});
    const Bytes request = in.bytes(4);
    data.insert(data.end(), request.begin(), request.end());
    data.resize(10);
    data.insert(data.end(), {cookie, 1, 2, 3, 4, 5, 6, 7, 0, 1});
    data.push_back(static_cast<std::uint8_t>(uin.size()));
    data.insert(data.end(), uin.begin(), uin.end());
    data.insert(data.end(), {0, 2, 0, 2, 'h', 'i'});
    Bytes frame{0x2A,
                2,
                0x12,
                0x34,
                static_cast<std::uint8_t>(data.size() >> 8),
                static_cast<std::uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    if (const std::uint8_t cut = in.u8(); cut & 1) {
        frame.resize(cut / 2 % (frame.size() + 1));  // a frame cut short
    }
    return frame;
}

std::string text(InputReader& in) {
    const Bytes b = in.bytes(in.u8() % 16);
    return std::string(b.begin(), b.end());
}

// The clock starts where its tick count wraps early in a run.
FakePluginClock startClock() {
    FakePluginClock clock;
    clock.tick = 0xFFFF0000;
    clock.local = {2024, 3, 7, 23, 59, 59, 999};
    clock.utc = {2024, 3, 7, 22, 59, 59, 999};
    return clock;
}

struct Run {
    std::filesystem::path dir = enterScratchFolder();
    FakePluginClock clock;
    Recorder fakes;
    Run() { std::filesystem::create_symlink("/dev/null", dir / "msgack.log"); }
};

Run& run() {
    static Run r;
    return r;
}

void deliver(const Bytes& record, bool init) {
    const std::uint8_t* answer = pluginFun(record.data());
    if (!init) {
        fuzzCheck(answer == nullptr, "an event other than init was answered");
        return;
    }
    fuzzCheck(answer != nullptr && answer[4] == PLUGIN_INFO, "init not answered with PLUGIN_INFO");
    fuzzCheck(le32At(answer) == 13 + le32At(answer + 5), "PLUGIN_INFO length is wrong");
}

void optionsStep(InputReader& in, Recorder& f) {
    const std::uint8_t what = in.u8() % 4;
    if (what == 3) {
        if (f.logWindows > 0 && f.logCloseButton) {
            f.logCloseButton();
        }
        return;
    }
    if (f.optionsWindows == 0) {
        return;
    }
    if (what == 0) {
        OptionsResult r{text(in), text(in), text(in), static_cast<int>(in.u8() % 6) - 1,
                        (in.u8() & 1) != 0};
        f.options.accepted(r);
    } else if (what == 1) {
        f.options.cancelled();
    } else {
        f.options.showLog();
    }
}

void rawRecord(InputReader& in) {
    const std::uint8_t kind = in.u8();
    std::uint8_t code = in.u8();
    if (kind == PLUGIN_EVENT && code == EVENT_INIT) {
        code = 0;  // a made-up init would carry a false callback address
    }
    Bytes data = in.bytes(in.be16());
    const std::uint32_t l = std::min<std::uint32_t>(in.be16(), 2 + data.size());
    Bytes rec = le32(l);
    rec.push_back(kind);
    rec.push_back(code);
    rec.insert(rec.end(), data.begin(), data.end());
    rec.resize(PLUG_HEAD_SIZE + l);  // exactly as long as L says
    fuzzCheck(pluginFun(rec.data()) == nullptr, "a record other than init was answered");
}

void step(InputReader& in, Run& r) {
    switch (in.u8() % 11) {
        case 0: {
            const std::uint32_t uin = in.be16() * 65536U + in.be16();
            const Bytes dir = in.bytes(in.u8() % 64);
            const HostCallbackFunction callback = callbackOf(in);
            const std::uint32_t version = in.u8() & 1 ? HOST_API_SEVERAL_SESSIONS : 7;
            deliver(initRecord(uin, std::string(dir.begin(), dir.end()), callback, version), true);
            break;
        }
        case 1:
            deliver(eventRecord(EVENT_FINISH, {}), false);
            break;
        case 2:
            deliver(eventRecord(EVENT_PREFERENCES, {}), false);
            break;
        case 3:
        case 4: {
            const std::uint8_t code = in.u8() & 1 ? PACKET_TO_SERVER : PACKET_TO_CLIENT;
            deliver(eventRecord(code, in.bytes(in.be16() % (PLUG_MAX_EVENT_DATA + 1))), false);
            break;
        }
        case 5:
            deliver(eventRecord(PACKET_TO_SERVER, messageFrame(in, 6)), false);
            break;
        case 6:
            deliver(eventRecord(PACKET_TO_CLIENT, messageFrame(in, in.u8() & 1 ? 0x0B : 0x0C)),
                    false);
            break;
        case 7: {
            r.clock.tick += in.be16() * 16U;
            const auto ticks = r.fakes.ticks;  // a tick may kill or start timers
            for (const auto& [id, tick] : ticks) {
                if (r.fakes.ticks.count(id) != 0) {
                    tick();
                }
            }
            break;
        }
        case 8:
            optionsStep(in, r.fakes);
            break;
        case 9:
            deliver(sessionRecord(callbackOf(in)), false);
            break;
        default:
            rawRecord(in);
            break;
    }
    fuzzCheck(r.fakes.shortestPeriod >= MIN_TIMER_PERIOD_MS,
              "timer faster than the shortest period");
    for (const std::shared_ptr<Session>& session : pluginState().sessions) {
        const MessageList& list = session->list;
        fuzzCheck(list.count >= 0 && list.count <= list.capacity, "message list out of its room");
        // Finishing frees the storage and keeps the counts; only an inited
        // plug-in reads the list.
        fuzzCheck(!pluginState().inited || list.capacity == 0 || list.entries != nullptr,
                  "message list without storage");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Run& r = run();
    std::error_code error;
    std::filesystem::remove("dorrimel.ini", error);
    resetPluginState();
    r.fakes = Recorder{};
    r.clock = startClock();
    setPluginClock(&r.clock);
    setPluginPlatform(std::make_unique<FakePluginPlatform>(r.fakes));
    InputReader in(data, size);
    try {
        while (!in.empty()) {
            step(in, r);
        }
    } catch (...) {
        fuzzCheck(false, "a fault escaped the plug-in");
    }
    resetPluginState();
    return 0;
}
