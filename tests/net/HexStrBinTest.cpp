// Text to bytes and back, including ranges that leave the buffer.
#include "proxy/net/HexStrBin.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace {

using Bytes4 = std::array<std::uint8_t, 4>;

TEST(BinToStrTest, StopsAtZeroOnlyWhenAsked) {
    const Bytes4 bytes = {0x31, 0x32, 0x00, 0x33};
    EXPECT_EQ(BinToStr(bytes, 0, 4, true), "12");
    EXPECT_EQ(BinToStr(bytes, 0, 4, false), std::string("12\0"
                                                        "3",
                                                        4));
    EXPECT_EQ(BinToStr(bytes, 3, 1, true), "3");
    EXPECT_EQ(BinToStr(bytes, 2, 2, true), "");
}

TEST(BinToStrTest, NothingForEmptyOrNegativeRanges) {
    const Bytes4 bytes = {0x31, 0x32, 0x33, 0x34};
    EXPECT_EQ(BinToStr(bytes, 0, 0, false), "");
    EXPECT_EQ(BinToStr(bytes, 0, -1, false), "");
    EXPECT_EQ(BinToStr(bytes, -1, 2, false), "");
    EXPECT_EQ(BinToStr({}, 0, 5, false), "");
}

TEST(BinToStrTest, BytesOutsideTheBufferEndTheText) {
    const Bytes4 bytes = {0x31, 0x32, 0x33, 0x34};
    EXPECT_EQ(BinToStr(bytes, 2, 10, false), "34");
    EXPECT_EQ(BinToStr(bytes, 4, 1, false), "");
    EXPECT_EQ(BinToStr(bytes, 1000, 1, false), "");
    EXPECT_EQ(BinToStr(bytes, 1, INT32_MAX, false), "234");
}

TEST(StrToBinTest, CountLimitsAndTextLengthLimit) {
    Bytes4 buffer{};
    EXPECT_EQ(StrToBin(buffer, 0, -1, "abc", 0), 3);
    EXPECT_EQ(buffer, (Bytes4{'a', 'b', 'c', 0}));

    buffer = {};
    EXPECT_EQ(StrToBin(buffer, 1, 10, "xy", 0), 2);
    EXPECT_EQ(buffer, (Bytes4{0, 'x', 'y', 0}));

    buffer = {};
    EXPECT_EQ(StrToBin(buffer, 0, 2, "abcd", 1), 2);
    EXPECT_EQ(buffer, (Bytes4{'b', 'c', 0, 0}));

    buffer = {};
    EXPECT_EQ(StrToBin(buffer, 0, -1, "abcd", 2), 2);
    EXPECT_EQ(buffer, (Bytes4{'c', 'd', 0, 0}));
}

TEST(StrToBinTest, WritesNothingWhenNothingIsLeftToWrite) {
    Bytes4 buffer = {9, 9, 9, 9};
    const Bytes4 untouched = buffer;
    EXPECT_EQ(StrToBin(buffer, 0, -1, "abc", 3), 0);  // offset at the text's end
    EXPECT_EQ(StrToBin(buffer, 0, 2, "abc", 7), 0);   // offset beyond it
    EXPECT_EQ(StrToBin(buffer, 0, 0, "abc", 0), 0);
    EXPECT_EQ(StrToBin(buffer, 0, -5, "abc", 0), 0);
    EXPECT_EQ(StrToBin(buffer, 0, -1, "", 0), 0);
    EXPECT_EQ(StrToBin(buffer, -1, 2, "abc", 0), 0);
    EXPECT_EQ(StrToBin(buffer, 0, 2, "abc", -1), 0);
    EXPECT_EQ(buffer, untouched);
}

TEST(StrToBinTest, StopsAtTheBufferEnd) {
    // Write into the first four bytes only; the guard byte after them must stay.
    std::array<std::uint8_t, 5> storage = {0, 0, 0, 0, 0xEE};
    const std::span<std::uint8_t> buffer(storage.data(), 4);
    EXPECT_EQ(StrToBin(buffer, 2, -1, "wxyz", 0), 2);
    EXPECT_EQ(storage, (std::array<std::uint8_t, 5>{0, 0, 'w', 'x', 0xEE}));
    EXPECT_EQ(StrToBin(buffer, 4, -1, "q", 0), 0);
    EXPECT_EQ(StrToBin(buffer, INT32_MAX, -1, "q", 0), 0);
    EXPECT_EQ(storage[4], 0xEE);
}

TEST(HexStrBinTest, EveryByteValueSurvivesBothWays) {
    std::string text;
    for (int b = 0; b < 256; ++b) {
        text += static_cast<char>(b);
    }
    std::array<std::uint8_t, 256> buffer{};
    ASSERT_EQ(StrToBin(buffer, 0, -1, text, 0), 256);
    for (int b = 0; b < 256; ++b) {
        ASSERT_EQ(buffer[b], b);
    }
    EXPECT_EQ(BinToStr(buffer, 0, 256, false), text);
}

}  // namespace
