#include "tests/plugin/PluginFixture.h"

#include <fstream>
#include <sstream>

std::vector<Bytes> hostCalls;

// The logic asks for a platform only when none was installed; every test
// installs its fake, so this one is never used.
std::unique_ptr<PluginPlatform> makePluginPlatform() {
    return nullptr;
}

namespace {

class FakeLogView : public LogView {
  public:
    explicit FakeLogView(Recorder& rec) : rec_(rec) { ++rec_.logWindows; }
    ~FakeLogView() override { --rec_.logWindows; }

    int appendLine(const std::string& text) override {
        if (rec_.refuseLines) {
            return -1;
        }
        rec_.lines.push_back(text);
        return static_cast<int>(rec_.lines.size()) - 1;
    }
    bool lineText(int index, std::string& text) const override {
        if (index < 0 || index >= static_cast<int>(rec_.lines.size())) {
            return false;
        }
        text = rec_.lines[static_cast<std::size_t>(index)];
        return true;
    }
    void replaceLine(int index, const std::string& text) override {
        rec_.lines.at(static_cast<std::size_t>(index)) = text;
    }
    void selectLine(int index) override { rec_.selected = index; }
    void setCounters(std::uint32_t processed, std::uint32_t waiting) override {
        rec_.processed = processed;
        rec_.waiting = waiting;
    }
    void show(bool visible) override { rec_.logVisible = visible; }

  private:
    Recorder& rec_;
};

class FakeOptionsView : public OptionsView {
  public:
    explicit FakeOptionsView(Recorder& rec) : rec_(rec) { ++rec_.optionsWindows; }
    ~FakeOptionsView() override { --rec_.optionsWindows; }

  private:
    Recorder& rec_;
};

class FakePlatform : public PluginPlatform {
  public:
    explicit FakePlatform(Recorder& rec) : rec_(rec) {}

    std::unique_ptr<LogView> createLogWindow(const std::string& caption,
                                             std::function<void()> closeButton) override {
        if (rec_.failLogWindow) {
            return nullptr;
        }
        rec_.logCaption = caption;
        rec_.logCloseButton = std::move(closeButton);
        rec_.logVisible = false;
        rec_.lines.clear();
        rec_.processed = rec_.waiting = 0;
        return std::make_unique<FakeLogView>(rec_);
    }
    std::unique_ptr<OptionsView> openOptions(const std::string& caption,
                                             const OptionsValues& values,
                                             OptionsCallbacks callbacks) override {
        rec_.optionsCaption = caption;
        rec_.optionsValues = values;
        rec_.options = std::move(callbacks);
        return std::make_unique<FakeOptionsView>(rec_);
    }
    TimerId startTimer(std::int32_t periodMs, std::function<void()> tick) override {
        const TimerId id = rec_.nextTimer++;
        rec_.timers[id] = periodMs;
        rec_.ticks[id] = std::move(tick);
        return id;
    }
    void killTimer(TimerId id) override {
        rec_.timers.erase(id);
        rec_.ticks.erase(id);
    }
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override {
        rec_.boxes.push_back({text, caption, icon});
    }

  private:
    Recorder& rec_;
};

void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Bytes be(std::uint32_t value, std::size_t width) {
    Bytes out;
    for (std::size_t i = width; i-- > 0;) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}

Bytes stringField(const std::string& text) {
    Bytes out = le32(static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

}  // namespace

std::unique_ptr<PluginPlatform> makeFakePlatform(Recorder& recorder) {
    return std::make_unique<FakePlatform>(recorder);
}

const std::uint8_t* PLUG_CALL recordingHostCallback(const std::uint8_t* record) {
    static const std::uint8_t ack[6] = {2, 0, 0, 0, HOST_ACK, ACK_OK};
    const std::uint32_t length =
        record[0] | record[1] << 8 | record[2] << 16 | static_cast<std::uint32_t>(record[3]) << 24;
    hostCalls.emplace_back(record, record + 4 + length);
    return ack;
}

Bytes le32(std::uint32_t value) {
    Bytes out = be(value, 4);
    return Bytes(out.rbegin(), out.rend());
}

Bytes eventRecord(std::uint8_t code, const Bytes& data) {
    Bytes out = le32(static_cast<std::uint32_t>(2 + data.size()));
    out.push_back(PLUGIN_EVENT);
    out.push_back(code);
    append(out, data);
    return out;
}

Bytes initRecord(std::uint32_t ownUin, const std::string& programDir) {
    const auto address = reinterpret_cast<std::uintptr_t>(&recordingHostCallback);
    Bytes data = le32(static_cast<std::uint32_t>(address));
    append(data, le32(HOST_API_VERSION));
    append(data, stringField(programDir));
    append(data, stringField(programDir));
    append(data, le32(ownUin));
    if (sizeof(address) > 4) {
        append(data, le32(static_cast<std::uint32_t>(address)));
        append(data, le32(static_cast<std::uint32_t>(std::uint64_t{address} >> 32)));
    }
    return eventRecord(EVENT_INIT, data);
}

Bytes withLength(Bytes record, std::uint32_t length) {
    const Bytes l = le32(length);
    std::copy(l.begin(), l.end(), record.begin());
    return record;
}

Bytes flap(std::uint8_t channel, const Bytes& data, int declaredLength) {
    Bytes out{0x2A, channel, 0x12, 0x34};
    append(out, be(declaredLength < 0 ? static_cast<std::uint32_t>(data.size())
                                      : static_cast<std::uint32_t>(declaredLength),
                   2));
    append(out, data);
    return out;
}

Bytes snac(std::uint16_t family, std::uint16_t subtype, std::uint32_t requestId,
           const Bytes& body) {
    Bytes out = be(family, 2);
    append(out, be(subtype, 2));
    append(out, be(0, 2));
    append(out, be(requestId, 4));
    append(out, body);
    return out;
}

Bytes messageBody(const Cookie& cookie, const std::string& uinText) {
    Bytes out(cookie.begin(), cookie.end());
    append(out, be(1, 2));  // message channel
    out.push_back(static_cast<std::uint8_t>(uinText.size()));
    out.insert(out.end(), uinText.begin(), uinText.end());
    append(out, {0x00, 0x02, 0x00, 0x04, 'h', 'e', 'y', '!'});  // a TLV after the UIN
    return out;
}

std::uint32_t readLe(const Bytes& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= static_cast<std::uint32_t>(bytes.at(at + i)) << (8 * i);
    }
    return value;
}

std::uint32_t readBe(const Bytes& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = value << 8 | bytes.at(at + i);
    }
    return value;
}

PluginTest::PluginTest() : previousDir_(std::filesystem::current_path()) {
    std::filesystem::current_path(scratch_.path());
    resetPluginState();
    setPluginClock(&clock);
    setPluginPlatform(makeFakePlatform(rec));
    hostCalls.clear();
}

PluginTest::~PluginTest() {
    resetPluginState();
    setPluginClock(nullptr);
    setListAllocator(nullptr);
    std::filesystem::current_path(previousDir_);
}

void PluginTest::sendMessage(const std::string& uinText, const Cookie& cookie,
                             std::uint32_t requestId) {
    send(eventRecord(PACKET_TO_SERVER,
                     flap(2, snac(4, 6, requestId, messageBody(cookie, uinText)))));
}

void PluginTest::sendAck(std::uint16_t subtype, const std::string& uinText, const Cookie& cookie,
                         std::uint32_t requestId) {
    send(eventRecord(PACKET_TO_CLIENT,
                     flap(2, snac(4, subtype, requestId, messageBody(cookie, uinText)))));
}

void PluginTest::tickAfter(std::uint32_t ms) {
    clock.tick += ms;
    ASSERT_EQ(rec.ticks.size(), 1u);
    rec.ticks.begin()->second();
}

void PluginTest::writeSettings(const std::string& text) {
    std::ofstream(SETTINGS_FILE_NAME, std::ios::binary) << text;
}

std::string PluginTest::readText(const std::string& name) {
    // Text mode, as the plug-in writes: Windows line ends read as "\n".
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> PluginTest::logFileLines() {
    std::vector<std::string> lines;
    std::istringstream in(readText("msgack.log"));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.size() >= 24 ? line.substr(24) : "<short> " + line);
    }
    return lines;
}
