// The log file "msgack.log": its time stamp, its lines and the LogFile
// switch.
#include "tests/plugin/PluginFixture.h"

#include <fstream>

#include "plugin/LogFile.h"

namespace {

using LogTest = PluginTest;

TEST_F(LogTest, LinesCarryTheLocalDateAndTime) {
    init();
    clock.local = PluginDateTime{1999, 12, 31, 23, 59, 58, 7};
    sendMessage("123456789", cookieOf(0x2A), 0xDEADBEEF);
    EXPECT_EQ(
        readText("msgack.log"),
        "07.03.2024 14:05:09.042 Starting\n"
        "31.12.1999 23:59:58.007 Out msg  to   123456789 DEADBEEF-2A010203A4B5C6FF (46 b) added\n");
    EXPECT_EQ(rec.lines, std::vector<std::string>{"23.59.58 for 123456789, 46 b."});
}

TEST_F(LogTest, LogFileOffWritesNothingButTheWindowStillShowsAll) {
    writeSettings("LogFile = 0");
    init();
    sendMessage("42", cookieOf(1));
    sendAck(0x0B, "42", cookieOf(1));
    finish();
    EXPECT_FALSE(std::filesystem::exists("msgack.log"));
    EXPECT_EQ(rec.lines, std::vector<std::string>{"14.05.09 for        42, 39 b. - ack in 0 ms"});
}

TEST_F(LogTest, LinesAreAppendedToWhatIsThere) {
    { std::ofstream("msgack.log") << "earlier\n"; }
    init();
    finish();
    EXPECT_EQ(logFileLines(),
              (std::vector<std::string>{"<short> earlier", "Starting", "Stopping"}));
}

TEST_F(LogTest, UnopenableFileLosesTheLineSilently) {
    std::filesystem::create_directory("msgack.log");
    pluginSettings().logFile = 1;
    EXPECT_EQ(logToFile("Starting"), 1);
    pluginSettings().logFile = 0;
    EXPECT_EQ(logToFile("Starting"), 0);
}

}  // namespace
