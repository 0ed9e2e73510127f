// Frame parsing of the sandbox service and the scripted client: streams in
// any pieces, and blocks from outside that end too early anywhere.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/oscar-client/Incoming.h"
#include "tools/oscar-wire/Flap.h"
#include "tools/oscar-wire/Icbm.h"
#include "tools/oscar-wire/Md5.h"
#include "tools/oscar-wire/MetaReply.h"
#include "tools/oscar-wire/Tlv.h"

using namespace oscar;

namespace {

Bytes frameOf(std::uint8_t channel, std::uint16_t seq, const Bytes& data) {
    return *encodeFlap(channel, seq, data);
}

// Feeds the stream in pieces of `piece` bytes and collects the frames' data.
std::vector<Bytes> reassemble(const Bytes& stream, std::size_t piece, bool& broken) {
    FlapAssembler in;
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        ByteView rest = ByteView(stream).subspan(at, std::min(piece, stream.size() - at));
        while (!rest.empty() && !in.broken()) {
            rest = rest.subspan(in.feed(rest));
            if (in.hasFrame()) {
                frames.emplace_back(in.frame().data.begin(), in.frame().data.end());
                in.next();
            }
        }
    }
    broken = in.broken();
    return frames;
}

// The notice Dorrimel injects in its forms 1, 3 and 4 (a 4/7 on channel 4).
Bytes channel4Notice(const std::string& from, std::uint32_t uin, std::uint8_t type,
                     const std::string& text) {
    ByteWriter block;
    block.u32le(uin).u8(type).u8(0).u16le(static_cast<std::uint16_t>(text.size() + 1));
    block.text(text).u8(0).u16le(0);
    ByteWriter body;
    body.bytes(Cookie{}).u16be(4).shortString(from).u16be(0).u16be(0).tlv(5, block.data());
    return encodeSnac(4, 7, 0, body.data());
}

}  // namespace

TEST(FlapAssembler, CutsFramesOutOfAnyPiecesAndRefusesOtherData) {
    Bytes stream = frameOf(1, 7, {0, 0, 0, 1});
    const Bytes big(kFlapMaxData, 0x5A);
    for (const Bytes& data : {Bytes{}, Bytes{1, 2, 3}, big}) {
        const Bytes f = frameOf(2, 0x7FFF, data);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    for (std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{7}, stream.size()}) {
        bool broken = true;
        const auto frames = reassemble(stream, piece, broken);
        EXPECT_FALSE(broken);
        ASSERT_EQ(frames.size(), 4u) << "pieces of " << piece;
        EXPECT_EQ(frames[0], (Bytes{0, 0, 0, 1}));
        EXPECT_TRUE(frames[1].empty());
        EXPECT_EQ(frames[3], big);
    }
    EXPECT_FALSE(encodeFlap(2, 0, Bytes(kFlapMaxData + 1)).has_value());

    bool broken = false;
    Bytes junk = frameOf(2, 1, {9});
    junk.insert(junk.end(), {'G', 'E', 'T', ' ', '/', ' '});
    EXPECT_EQ(reassemble(junk, 3, broken).size(), 1u);
    EXPECT_TRUE(broken);
}

TEST(WireBlocks, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    Cookie cookie{1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes message = buildOutgoingMessage(cookie, "22222", "hello", true);
    auto head = parseIcbmHead(message);
    ASSERT_TRUE(head.has_value());
    EXPECT_EQ(head->uin, "22222");
    auto tlvs = parseTlvs(head->rest);
    ASSERT_TRUE(tlvs.has_value());
    EXPECT_TRUE(findTlv(*tlvs, 3).has_value());
    EXPECT_EQ(channel1Text(*findTlv(*tlvs, 2)), "hello");

    // Each cut falls inside the head, a TLV header or a TLV value.
    auto parsesWithAck = [](ByteView body) {
        auto h = parseIcbmHead(body);
        auto t = h ? parseTlvs(h->rest) : std::nullopt;
        auto data = t ? findTlv(*t, 2) : std::nullopt;
        return data && channel1Text(*data) && findTlv(*t, 3);
    };
    EXPECT_TRUE(parsesWithAck(message));
    for (std::size_t cut = 0; cut < message.size(); ++cut) {
        EXPECT_FALSE(parsesWithAck(ByteView(message).first(cut))) << "cut at " << cut;
    }
    EXPECT_FALSE(parseSnac(Bytes(9)).has_value());
    EXPECT_FALSE(parseTlvs(Bytes{0, 5, 0, 4, 'a', 'b', 'c'}).has_value());
    EXPECT_FALSE(parseIncomingIcbm(Bytes(11 + 5)).has_value());  // UIN length 0, no warning level
}

TEST(IncomingText, ShowsNoticesOfEveryFormWithTheirSenders) {
    const std::string text =
        "[[Dorrimel: The message sent on 10:11:12 was not delivered to 33333]]";
    Incoming fromRecipient = describeIncoming(2, channel4Notice("33333", 33333, 1, text));
    ASSERT_EQ(fromRecipient.lines.size(), 1u);
    EXPECT_EQ(fromRecipient.messages, 1);
    EXPECT_EQ(fromRecipient.lines[0],
              "message from 33333 on channel 4 (type 1, sender 33333): " + text);
    Incoming fromOperator = describeIncoming(2, channel4Notice("1", 1, 9, text));
    EXPECT_EQ(fromOperator.lines[0], "message from 1 on channel 4 (type 9, sender 1): " + text);

    // The offline form: TLV 1 with a little-endian chunk of type 0x41.
    ByteWriter chunk;
    chunk.u32le(11111).u16le(kMetaOfflineMessage).u16le(0).u32le(33333).u16le(2024);
    chunk.u8(2).u8(29).u8(23).u8(59).u8(1).u8(0);
    chunk.u16le(static_cast<std::uint16_t>(text.size() + 1)).text(text).u8(0);
    ByteWriter value;
    value.u16le(static_cast<std::uint16_t>(chunk.data().size())).bytes(chunk.data());
    ByteWriter body;
    body.tlv(1, value.data());
    Incoming offline = describeIncoming(2, encodeSnac(0x15, 3, 3, body.data(), 1));
    ASSERT_EQ(offline.lines.size(), 1u);
    EXPECT_EQ(offline.lines[0],
              "offline message from 33333 dated 2024-02-29 23:59 UTC (type 1): " + text);

    // Cut anywhere before its trailer, a notice is never shown with a text.
    const Bytes whole = channel4Notice("2", 2, 1, text);
    for (std::size_t cut = 0; cut + 2 < whole.size(); ++cut) {
        for (const std::string& line : describeIncoming(2, ByteView(whole).first(cut)).lines) {
            EXPECT_EQ(line.find("[["), std::string::npos) << "cut at " << cut << ": " << line;
        }
    }
    EXPECT_EQ(printable(std::string("a\x01\xff\\", 4)), "a\\x01\\xFF\\x5C");
}

TEST(Md5, MatchesTheReferenceVectors) {
    auto hex = [](const std::string& s) {
        const auto d = md5(Bytes(s.begin(), s.end()));
        std::string out;
        for (auto b : d) {
            out += "0123456789abcdef"[b >> 4];
            out += "0123456789abcdef"[b & 15];
        }
        return out;
    };
    EXPECT_EQ(hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(
        hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        "57edf4a22be3c955ac49da2e2107b67a");
}
