// The frame collector: byte streams cut into whole FLAP frames however the
// bytes arrive.
#include <algorithm>

#include "tests/support/Flap.h"
#include "tests/support/ScratchFormTest.h"

namespace {

class FramingTest : public ScratchFormTest {
  protected:
    FrameCollector collector;

    // Feeds one receive and takes every whole unit out, as the pump does.
    void feed(const std::uint8_t* data, std::size_t n, std::vector<ByteVec>& units) {
        int whole = form.PacketCollect(collector, data, static_cast<std::int32_t>(n));
        while (whole == 1) {
            const std::span<const std::uint8_t> unit = collector.front();
            units.emplace_back(unit.begin(), unit.end());
            form.PacketRemove(collector);
            whole = form.PacketCollect(collector, nullptr, 0);
        }
    }
    std::vector<ByteVec> feedInChunks(const ByteVec& stream, std::size_t chunk) {
        std::vector<ByteVec> units;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            feed(stream.data() + at, std::min(chunk, stream.size() - at), units);
        }
        return units;
    }
};

// A recorded sign-on: hello, login request, an empty-data frame, a keep-alive.
std::vector<ByteVec> recordedFrames() {
    return {flap(1, 0x1234, {0, 0, 0, 1}), flap(2, 0x1235, snac(0x17, 0x06, tlv(1, "123456789"))),
            flap(5, 0x1236, {}), flap(2, 0x1237, snac(0x04, 0x06, tlv(2, std::string(300, 'x'))))};
}

TEST_F(FramingTest, RecordedStreamGivesTheSameFramesHoweverItIsSplit) {
    const std::vector<ByteVec> frames = recordedFrames();
    ByteVec stream;
    for (const ByteVec& f : frames) {
        stream.insert(stream.end(), f.begin(), f.end());
    }
    EXPECT_EQ(feedInChunks(stream, 1), frames);
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        std::vector<ByteVec> units;
        feed(stream.data(), split, units);
        feed(stream.data() + split, stream.size() - split, units);
        ASSERT_EQ(units, frames) << "split at " << split;
        EXPECT_EQ(collector.collected, 0);
        EXPECT_EQ(collector.frameLen, -1);
    }
}

TEST_F(FramingTest, TwoAndAHalfFramesInOneReceive) {
    const ByteVec a = flap(2, 1, snac(1, 2, tlv(1, "aa")));
    const ByteVec b = flap(2, 2, snac(1, 3, tlv(1, "bbbb")));
    const ByteVec c = flap(2, 3, snac(1, 4, tlv(1, "cccccc")));
    ByteVec first = concat({a, b});
    first.insert(first.end(), c.begin(), c.begin() + 8);

    std::vector<ByteVec> units;
    feed(first.data(), first.size(), units);
    ASSERT_EQ(units, (std::vector<ByteVec>{a, b}));
    // The half frame waits at the front with its length already known.
    EXPECT_EQ(collector.collected, 8);
    EXPECT_EQ(collector.frameLen, static_cast<std::int32_t>(c.size()));

    feed(c.data() + 8, c.size() - 8, units);
    EXPECT_EQ(units, (std::vector<ByteVec>{a, b, c}));
}

TEST_F(FramingTest, DataNotStartingWithTheMarkerPassesAsOneUnitOnceSixBytesAreThere) {
    const ByteVec junk{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T'};
    std::vector<ByteVec> units;
    feed(junk.data(), 5, units);
    EXPECT_TRUE(units.empty());
    EXPECT_EQ(collector.frameLen, -1);
    feed(junk.data() + 5, 3, units);
    ASSERT_EQ(units.size(), 1U);
    EXPECT_EQ(units[0], junk);
    EXPECT_EQ(collector.collected, 0);
}

TEST_F(FramingTest, LongFramesAreCollectedFromThousandByteReceives) {
    for (const std::size_t dataLen :
         {std::size_t{0x8000}, std::size_t{0x8001}, std::size_t{0xFFFF}}) {
        ByteVec data(dataLen);
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<std::uint8_t>(i * 7);
        }
        const ByteVec big = flap(2, 9, data);
        const ByteVec next = flap(2, 10, {1, 2, 3});
        const std::vector<ByteVec> units = feedInChunks(concat({big, next}), 1000);
        ASSERT_EQ(units.size(), 2U) << dataLen;
        EXPECT_EQ(units[0], big);
        EXPECT_EQ(units[1], next);
    }
}

TEST_F(FramingTest, MoreThanTheCollectorHoldsIsAFaultAndChangesNothing) {
    const ByteVec part = flap(2, 1, ByteVec(100));
    std::vector<ByteVec> units;
    feed(part.data(), 50, units);
    const ByteVec huge(FrameCollector::kSize);
    EXPECT_EQ(form.PacketCollect(collector, huge.data(), static_cast<std::int32_t>(huge.size())),
              0);
    EXPECT_TRUE(logHas("INTERNAL ERROR pc 9 Subscript out of range"));
    EXPECT_EQ(collector.collected, 50);
    feed(part.data() + 50, part.size() - 50, units);
    EXPECT_EQ(units, std::vector<ByteVec>{part});
}

}  // namespace
