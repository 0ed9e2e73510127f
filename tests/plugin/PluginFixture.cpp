#include "tests/plugin/PluginFixture.h"

#include <fstream>
#include <sstream>

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

}  // namespace

std::unique_ptr<PluginPlatform> makeFakePlatform(Recorder& recorder) {
    return std::make_unique<FakePlatform>(recorder);
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
