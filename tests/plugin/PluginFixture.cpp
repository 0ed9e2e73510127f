#include "tests/plugin/PluginFixture.h"

#include <fstream>
#include <sstream>

// The logic asks for a platform only when none was installed; every test
// installs its fake, so this one is never used.
std::unique_ptr<PluginPlatform> makePluginPlatform() {
    return nullptr;
}

PluginTest::PluginTest() {
    resetPluginState();
    setPluginClock(&clock);
    setPluginPlatform(std::make_unique<FakePluginPlatform>(rec));
    hostCalls.clear();
    otherHostCalls.clear();
}

PluginTest::~PluginTest() {
    resetPluginState();
    setPluginClock(nullptr);
    setListAllocator(nullptr);
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

std::vector<std::string> PluginTest::logFileLines() {
    std::vector<std::string> lines;
    std::istringstream in(readText("msgack.log"));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.size() >= 24 ? line.substr(24) : "<short> " + line);
    }
    return lines;
}
