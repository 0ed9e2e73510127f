// The log box, the dump file and the counter table.
#include <fstream>

#include "tests/support/ScratchFormTest.h"

namespace {

using LogTest = ScratchFormTest;

TEST_F(LogTest, LineFormatsInTheBoxAndTheDumpFile) {
    form.ctl.txtLOG = "caption";
    form.LogLine("Started");
    clock.time = {7, 0, 3};
    clock.ticks = -12;  // the tick count is printed as a signed 32-bit number
    form.LogLine("");
    EXPECT_EQ(form.ctl.txtLOG, "caption\r\n14:05:09 Started\r\n07:00:03 ");
    EXPECT_EQ(readFile(dir / "dump.log"), "14:05:09|77 Started\r\n07:00:03|-12 \r\n");
}

TEST_F(LogTest, ControlCharactersAreShownSoThatAPeerCannotForgeLines) {
    form.ctl.txtLOG = "caption";
    form.LogLine("Found and removed redirect to evil\r\n14:05:09 Forged\x7F\t\x1F\xE4 \\:5190");
    const std::string shown =
        "Found and removed redirect to evil\\x0D\\x0A14:05:09 Forged\\x7F\\x09\\x1F\xE4 \\:5190";
    EXPECT_EQ(form.ctl.txtLOG, "caption\r\n14:05:09 " + shown);
    EXPECT_EQ(readFile(dir / "dump.log"), "14:05:09|77 " + shown + "\r\n");
}

TEST_F(LogTest, DumpFileIsAppendedNeverTruncated) {
    {
        std::ofstream old(dir / "dump.log", std::ios::binary);
        old << "earlier run\r\n";
    }
    form.LogLine("x");
    EXPECT_EQ(readFile(dir / "dump.log"), "earlier run\r\n14:05:09|77 x\r\n");
}

TEST_F(LogTest, BoxIsTrimmedToItsLastFiftyThousandCharactersPastSixtyThousand) {
    const std::string line = "\r\n14:05:09 m";  // 12 characters per message "m"
    form.ctl.txtLOG = std::string(60000 - line.size(), 'a');
    form.LogLine("m");
    EXPECT_EQ(form.ctl.txtLOG.size(), 60000U);  // not past the limit yet

    form.LogLine("m");
    EXPECT_EQ(form.ctl.txtLOG.size(), 50000U);
    EXPECT_EQ(form.ctl.txtLOG.substr(50000 - 2 * line.size()), line + line);
}

TEST_F(LogTest, UnwritableDumpFileStillFillsTheBox) {
    std::filesystem::create_directory(dir / "dump.log");  // cannot be opened as a file
    form.LogLine("still shown");
    EXPECT_TRUE(logHas("14:05:09 still shown"));
}

TEST_F(LogTest, CountersShowOneRowPerDirectionWithBlankRowsForSkippedAndGenerated) {
    form.session().Bytes = {100, 200, 300, 400};
    form.session().Datagramms = {1, 2, 3, 4};
    form.session().Packets = {5, 6, 7, 8};
    form.session().Skipped = {9, 10};
    form.session().Generated = {11, 12};
    form.session().Bytes[DIR_TO_SERVER] = 5'000'000'000;  // past 32 bits
    form.ShowCounters();
    // Rows: From Server, To Client, From Client, To Server.
    EXPECT_EQ(form.ctl.Label13, "100\r\n300\r\n200\r\n5000000000");
    EXPECT_EQ(form.ctl.Label15, "1\r\n3\r\n2\r\n4");
    EXPECT_EQ(form.ctl.Label16, "5\r\n7\r\n6\r\n8");
    EXPECT_EQ(form.ctl.Label18, "9\r\n\r\n10");
    EXPECT_EQ(form.ctl.Label11, "\r\n11\r\n\r\n12");

    form.ResetCounters();
    form.ShowCounters();
    EXPECT_EQ(form.ctl.Label13, "0\r\n0\r\n0\r\n0");
    EXPECT_EQ(form.ctl.Label11, "\r\n0\r\n\r\n0");
    EXPECT_EQ(form.session().seqToServer, 0x4000);
    EXPECT_EQ(form.session().seqToClient, 0x2000);
}

}  // namespace
