// The settings file: what the writer produces, what the reader makes of it,
// and files that are missing, folders or junk.
#include "proxy/settings/DataFolder.h"
#include "proxy/settings/IniHold.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

using Entries = std::vector<std::pair<std::string, std::string>>;

class IniHoldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_.path();
        path_ = (dir_ / "skelvane.ini").string();
    }

    void WriteWithIniPut(const Entries& entries) const {
        File file(std::fopen(path_.c_str(), "wb"));
        ASSERT_TRUE(file);
        for (const auto& [key, value] : entries) {
            IniPut(file.get(), key, value);
        }
    }
    void WriteRaw(const std::string& bytes) const {
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    std::string ReadRaw() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    ScratchDir scratch_{"skelvane-ini"};
    fs::path dir_;
    std::string path_;
};

TEST_F(IniHoldTest, WriterProducesKeyEqualsValueLinesEndedByCrLf) {
    WriteWithIniPut({{"HostLoginIP", "localhost"},
                     {"HostLoginPort", "5190"},
                     {"Empty", ""},
                     {"Awkward", " a\"b\r\nc"},
                     {"Breaks", "x\ny\rz\n\r"}});
    // CR LF keeps its old form "r"; a lone LF or CR gets "n" or "c".
    EXPECT_EQ(ReadRaw(),
              "HostLoginIP = localhost\r\n"
              "HostLoginPort = 5190\r\n"
              "Empty = \r\n"
              "Awkward = \" a\"\"b\"r\"c\"\r\n"
              "Breaks = \"x\"n\"y\"c\"z\"n\"\"c\"\"\r\n");
}

TEST_F(IniHoldTest, AwkwardValuesSurviveWriteAndRead) {
    const Entries values = {
        {"Leading", "  lead"},
        {"Trailing", "trail  "},
        {"Both", " both "},
        {"OnlySpaces", "   "},
        {"Quote", "say \"hi\""},
        {"QuoteFirst", "\"start"},
        {"QuoteLast", "end\""},
        {"OnlyQuote", "\""},
        {"TwoQuotes", "\"\""},
        {"QuotedR", "\"r\""},
        {"CrLf", "one\r\ntwo\r\n"},
        {"EqualsInside", "a=b=c"},
        {"SpacedEquals", " = "},
        {"KeyLike", "Other = value"},
        {"Tabbed", "\tx\t"},
        {"HighBytes", "\xE4\xF6\xFC\xFF"},
        {"Lf", "a\nb"},
        {"Cr", "a\rb"},
        {"LfCr", "\n\r"},
        {"CrCrLfLf", "\r\r\n\n"},
        {"QuoteLf", "\"\n\""},
        {"LetterAfterQuote", "\"n\"c"},
    };
    WriteWithIniPut(values);
    IniLoad(path_);
    EXPECT_EQ(IniCount(), static_cast<int>(values.size()));
    for (const auto& [key, value] : values) {
        EXPECT_EQ(IniGet(key, "default"), value) << "key " << key;
    }
}

TEST_F(IniHoldTest, TableGrowsPastTwentyWithoutLosingEntries) {
    Entries entries;
    for (int i = 0; i < 50; ++i) {
        entries.emplace_back("Key" + std::to_string(i), "value " + std::to_string(i * 7));
    }
    WriteWithIniPut(entries);
    IniLoad(path_);
    ASSERT_EQ(IniCount(), 50);
    for (const auto& [key, value] : entries) {
        EXPECT_EQ(IniGet(key, "missing"), value) << "key " << key;
    }
}

TEST_F(IniHoldTest, ReaderRulesForHandWrittenLines) {
    WriteRaw(
        "ServerLoginPort=5191\r\n"
        "  HostChatPort   =   6000   \r\n"
        "Spaced = a = b\r\n"
        "Dup = first\r\n"
        "Dup = second\r\n"
        "hostloginip = lower\r\n"
        "no equals sign here\r\n"
        "HostLoginIP = \r\n"
        "HostChatIP =      \r\n"
        "OneQuote = \"\r\n"
        "Tab =\tx\t\r\n"
        "LfOnly = unix\n"
        "Last = no line end");
    IniLoad(path_);
    EXPECT_EQ(IniGet("ServerLoginPort", "5190"), "5191");
    EXPECT_EQ(IniGet("HostChatPort", "5191"), "6000");
    EXPECT_EQ(IniGet("Spaced", ""), "a = b");
    EXPECT_EQ(IniGet("Dup", ""), "first");
    // Keys compare exactly: the lower-case line does not answer for HostLoginIP,
    // and the empty HostLoginIP line counts as missing.
    EXPECT_EQ(IniGet("HostLoginIP", "localhost"), "localhost");
    EXPECT_EQ(IniGet("hostloginip", ""), "lower");
    EXPECT_EQ(IniGet("HostChatIP", "localhost"), "localhost");
    // One double quote is an empty value, not a missing one.
    EXPECT_EQ(IniGet("OneQuote", "default"), "");
    EXPECT_EQ(IniGet("Tab", ""), "\tx\t");
    EXPECT_EQ(IniGet("LfOnly", ""), "unix");
    EXPECT_EQ(IniGet("Last", ""), "no line end");
    EXPECT_EQ(IniCount(), 10);
}

TEST_F(IniHoldTest, StrayQuotesNeverReachPastTheValue) {
    WriteRaw(
        "TrailingQuote = \"ab\"\"\r\n"
        "QuoteBeforeEnd = \"a\"b\"\r\n"
        "Empty = \"\"\r\n"
        "Unclosed = \"abc\r\n");
    IniLoad(path_);
    EXPECT_EQ(IniGet("TrailingQuote", "-"), "ab\r\n");
    EXPECT_EQ(IniGet("QuoteBeforeEnd", "-"), "a\r\n");
    EXPECT_EQ(IniGet("Empty", "-"), "");
    EXPECT_EQ(IniGet("Unclosed", "-"), "\"abc");
}

TEST_F(IniHoldTest, NothingToReadLeavesAnEmptyTable) {
    WriteWithIniPut({{"HostLoginPort", "7000"}});
    IniLoad(path_);
    ASSERT_EQ(IniGet("HostLoginPort", "5190"), "7000");

    IniLoad((dir_ / "missing.ini").string());
    EXPECT_EQ(IniCount(), 0);
    EXPECT_EQ(IniGet("HostLoginPort", "5190"), "5190");

    IniLoad(path_);
    IniLoad(dir_.string());
    EXPECT_EQ(IniCount(), 0);
    EXPECT_EQ(IniGet("HostLoginPort", "5190"), "5190");
}

TEST_F(IniHoldTest, SecondLoadReplacesTheFirst) {
    Entries many;
    for (int i = 0; i < 30; ++i) {
        many.emplace_back("Old" + std::to_string(i), "x");
    }
    WriteWithIniPut(many);
    IniLoad(path_);
    WriteWithIniPut({{"New", "y"}});
    IniLoad(path_);
    EXPECT_EQ(IniCount(), 1);
    EXPECT_EQ(IniGet("New", ""), "y");
    EXPECT_EQ(IniGet("Old0", "gone"), "gone");
}

TEST_F(IniHoldTest, BinaryJunkLoadsWhatParsesWithoutCrashing) {
    std::mt19937 random(20240611);
    // Bytes weighted towards the characters the reader reacts to.
    const std::string meaningful = "=\"\r\n r";
    for (int round = 0; round < 50; ++round) {
        std::string junk(1 + random() % 4000, '\0');
        for (char& c : junk) {
            c = random() % 3 == 0 ? meaningful[random() % meaningful.size()]
                                  : static_cast<char>(random() % 256);
        }
        WriteRaw(junk);
        IniLoad(path_);
        EXPECT_GE(IniCount(), 0);
        IniGet("HostLoginIP", "localhost");
    }
    constexpr char kZeros[] = "\0\0=\0\r\nKey = \xFF\0value\r\n";
    WriteRaw(std::string(kZeros, sizeof kZeros - 1));
    IniLoad(path_);
    EXPECT_EQ(IniGet(std::string("\0\0", 2), ""), std::string("\0", 1));
    EXPECT_EQ(IniGet("Key", ""), std::string("\xFF\0value", 7));
}

TEST(IniPutTest, NoFileIsIgnored) {
    IniPut(nullptr, "Key", "value");
}

// A program's folder that can be written keeps the files, and the probe
// leaves nothing behind; the user's folder follows the environment.
TEST_F(IniHoldTest, DataFolderIsThePortableOneWhenItCanBeWritten) {
    const DataFolder chosen = chooseDataFolder(dir_.string(), (dir_ / "user").string());
    EXPECT_EQ(chosen.kind, DataFolderKind::Program);
    EXPECT_EQ(chosen.path, dir_.string());
    EXPECT_TRUE(fs::is_empty(dir_)) << "nothing is left in the program's folder";
    EXPECT_FALSE(folderWritable((dir_ / "missing").string()));
#ifdef _WIN32
    _putenv_s("APPDATA", "C:\\Users\\u\\AppData\\Roaming");
    EXPECT_EQ(userDataDir(), "C:\\Users\\u\\AppData\\Roaming\\Skelvane");
#else
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
    EXPECT_EQ(userDataDir(), "/x/config/skelvane");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(userDataDir(), "/home/u/.config/skelvane");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
#endif
}

}  // namespace
