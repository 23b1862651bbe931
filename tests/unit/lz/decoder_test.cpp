#include "payload/lzcode.hpp"
#include "payload/tsmufflz.hpp"

#include "tests/unit/lz/bitstream.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <type_traits>

using payload::tsmufflz;
using lztest::BitStream;
namespace code = payload::lzcode;

namespace {

constexpr std::uint8_t kUntouched = 0xEE;

// Decodes into a full-size buffer whose unused bytes hold kUntouched, with
// the machine's DecodeChunk; the decoder's other word size must leave the
// same bytes (so every test below checks both).
std::vector<std::uint8_t> Decode(const std::uint8_t* in, std::uint32_t bits, std::vector<std::uint8_t>* whole = nullptr) {
    std::vector<std::uint8_t> out(payload::kTransferBufferSize, kUntouched);
    std::uint32_t n = bits;
    tsmufflz{}.DecodeChunk(in, out.data(), n);
    EXPECT_LE(n, tsmufflz::kMaxChunkBytes);
    EXPECT_EQ(out[tsmufflz::kMaxChunkBytes], kUntouched) << "wrote past the chunk cap";
    using Other = std::conditional_t<std::is_same_v<payload::lzdetail::MachineWord, std::uint64_t>, std::uint32_t,
                                     std::uint64_t>;
    std::vector<std::uint8_t> other(payload::kTransferBufferSize, kUntouched);
    std::uint32_t m = bits;
    payload::lzdetail::DecodeChunkWith<Other>(in, other.data(), m);
    EXPECT_EQ(m, n) << "the two word sizes decode different lengths";
    EXPECT_TRUE(m == n && std::equal(out.begin(), out.begin() + n, other.begin()))
        << "the two word sizes decode different bytes";
    EXPECT_EQ(other[tsmufflz::kMaxChunkBytes], kUntouched) << "the other word size wrote past the chunk cap";
    if (whole) *whole = out;
    out.resize(n);
    return out;
}
std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& in, std::uint32_t bits) { return Decode(in.data(), bits); }
std::vector<std::uint8_t> Decode(const BitStream& s) { return Decode(s.bytes(), s.bits()); }

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list) { return {list.begin(), list.end()}; }
std::vector<std::uint8_t> Repeat(std::uint8_t b, std::size_t n) { return std::vector<std::uint8_t>(n, b); }

// Reference of distance 1 with the given length (3..259).
void RunOfOne(BitStream& s, std::uint32_t length) {
    for (int k = code::kLengthSymbols - 1; k >= 0; --k) {
        if (code::kLengthBase[k] <= length) {
            s.Reference(k, length - code::kLengthBase[k], 0, 0);
            return;
        }
    }
}

TEST(LzCodeTables, LengthAndDistanceRangesAreContiguous) {
    EXPECT_EQ(code::kLengthBase[0], code::kMinLength);
    for (int k = 0; k + 1 < code::kLengthSymbols - 1; ++k)
        EXPECT_EQ(code::kLengthBase[k] + (1u << code::kLengthExtra[k]), code::kLengthBase[k + 1]) << "k=" << k;
    EXPECT_EQ(code::kLengthBase[28] + (1u << code::kLengthExtra[28]) - 1, code::kMaxLength);
    EXPECT_EQ(code::kLengthBase[29], code::kMaxLength);
    EXPECT_EQ(code::kLengthExtra[29], 0);

    EXPECT_EQ(code::kDistanceBase[0], 1u);
    for (int d = 0; d + 1 < code::kDistanceSymbols; ++d)
        EXPECT_EQ(code::kDistanceBase[d] + (1u << code::kDistanceExtra[d]), code::kDistanceBase[d + 1]) << "d=" << d;
    EXPECT_EQ(code::kDistanceBase[31] + (1u << code::kDistanceExtra[31]) - 1, code::kMaxDistance);
}

TEST(LzDecode, WorkedExamples) {
    EXPECT_EQ(Decode(Bytes({0x91, 0x00, 0x00}), 20), Repeat(0x61, 4));
    EXPECT_EQ(Decode(Bytes({0xFF, 0x80}), 9), Bytes({0xFF}));
    EXPECT_EQ(Decode(Bytes({0x38, 0x00}), 12), Repeat(0x08, 4));
}

TEST(LzDecode, BitsPastTheLastByteReadAsZeroNotFromTheBuffer) {
    // Short stream (tail path): garbage after the 2 meaningful bytes.
    EXPECT_EQ(Decode(Bytes({0x38, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 12), Repeat(0x08, 4));

    // Long stream (fast path until the end): 11 literals, then the first 4
    // bits of a length-3 reference; 12 meaningful bytes, then garbage.
    BitStream s;
    for (int i = 0; i < 10; ++i) s.Literal(static_cast<std::uint8_t>('a' + i));
    s.Literal(0x08).Put("0000");
    ASSERT_EQ(s.bits(), 92u);
    std::vector<std::uint8_t> in = s.bytes();
    ASSERT_EQ(in.size(), 12u);
    in.insert(in.end(), 8, 0xFF);
    std::vector<std::uint8_t> want = Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 8, 8, 8, 8});
    EXPECT_EQ(Decode(in, s.bits()), want);
}

TEST(LzDecode, UnusedBitsOfTheLastByteArePartOfTheWindow) {
    // 0x38 0x0F, 12 bits: after the literal the window is 0000111 10000...,
    // length symbol 7 with distance symbol 16 (257): too far, skipped.
    EXPECT_EQ(Decode(Bytes({0x38, 0x0F}), 12), Bytes({0x08}));
}

TEST(LzDecode, ZeroBitsReadsNothing) {
    std::vector<std::uint8_t> whole;
    EXPECT_TRUE(Decode(nullptr, 0, &whole).empty());
    EXPECT_EQ(whole[0], kUntouched);
}

TEST(LzDecode, LiteralOnlyStreamsUseEightAndNineBitCodes) {
    BitStream s;
    std::vector<std::uint8_t> want;
    for (int b = 0; b < 256; ++b) {
        s.Literal(static_cast<std::uint8_t>(b));
        want.push_back(static_cast<std::uint8_t>(b));
    }
    EXPECT_EQ(s.bits(), 144u * 8 + 112u * 9);
    EXPECT_EQ(Decode(s), want);

    BitStream low, high;
    low.Put("0011 0000").Put("1011 1111");      // 0 and 143
    high.Put("1 1001 0000").Put("1 1111 1111");  // 144 and 255
    EXPECT_EQ(Decode(low), Bytes({0, 143}));
    EXPECT_EQ(Decode(high), Bytes({144, 255}));
}

TEST(LzDecode, LengthSymbolZeroIsAReferenceNotAnEndMarker) {
    BitStream s;
    s.Literal('z').Put("0000000").Put("00000").Literal('y');
    EXPECT_EQ(Decode(s), Bytes({'z', 'z', 'z', 'z', 'y'}));
    // Seven zero bits alone: the distance bits lie past the end and read 0.
    BitStream cut;
    cut.Literal('z').Put("0000000");
    EXPECT_EQ(Decode(cut), Repeat('z', 4));
}

TEST(LzDecode, RunOf260FromOneLiteral) {
    BitStream viaSymbol29, viaSymbol28;
    viaSymbol29.Literal('X').Reference(29, 0, 0, 0);
    viaSymbol28.Literal('X').Reference(28, 31, 0, 0);
    EXPECT_EQ(Decode(viaSymbol29), Repeat('X', 260));
    EXPECT_EQ(Decode(viaSymbol28), Repeat('X', 260));
}

TEST(LzDecode, LargestTokenUsesExactly32Bits) {
    // 256 distinct bytes repeated to 57,600 bytes, then 0xC4 + 5 extra bits
    // + distance symbol 31 + 14 extra bits, then a literal that only decodes
    // right if the reference took exactly 32 bits.
    BitStream s;
    std::vector<std::uint8_t> want;
    for (int b = 0; b < 256; ++b) {
        s.Literal(static_cast<std::uint8_t>(b));
        want.push_back(static_cast<std::uint8_t>(b));
    }
    for (int i = 0; i < 224; ++i) s.Reference(28, 256 - 228, 15, 256 - 193);  // length 256, distance 256
    for (int i = 0; i < 224 * 256; ++i) want.push_back(want[want.size() - 256]);
    const std::uint32_t before = s.bits();
    s.Put("1100 0100").Put("10101").Put("11111").Put("10000000000001");
    ASSERT_EQ(s.bits() - before, 32u);
    const std::uint32_t length = 228 + 21, distance = 49153 + 8193;
    for (std::uint32_t i = 0; i < length; ++i) want.push_back(want[want.size() - distance]);
    s.Literal('Z');
    want.push_back('Z');
    EXPECT_EQ(Decode(s), want);
}

TEST(LzDecode, TooFarReferenceIsSkippedAndDecodingGoesOn) {
    BitStream s;
    s.Reference(0, 0, 0, 0)         // distance 1 with nothing written yet
        .Literal('a')
        .Reference(5, 0, 1, 0)      // distance 2 > 1 byte written
        .Literal('b')
        .Reference(0, 0, 1, 0)      // distance 2, now in reach: "ab" + "aba"
        .Reference(29, 0, 31, 16383);  // distance 65,536: skipped
    s.Literal('c');
    EXPECT_EQ(Decode(s), Bytes({'a', 'b', 'a', 'b', 'a', 'c'}));
}

TEST(LzDecode, LengthSymbols30And31EndTheStream) {
    for (const char* code : {"1100 0110", "1100 0111"}) {
        BitStream s;
        s.Literal('a').Put(code).Literal('b').Reference(0, 0, 0, 0);
        EXPECT_EQ(Decode(s), Bytes({'a'})) << code;
    }
}

TEST(LzDecode, LastTokenEndingAtOrPastTheCount) {
    BitStream exact;
    exact.Literal('q').Reference(2, 0, 0, 0);  // length 5
    EXPECT_EQ(Decode(exact), Repeat('q', 6));
    // Bit count cut inside the literal's 9-bit code: the last bit reads 0.
    BitStream nine;
    nine.Literal(0xFF);
    EXPECT_EQ(Decode(nine.bytes(), 8), Bytes({0xFE}));
}

TEST(LzDecode, OutputStopsAt65536ForReferencesAndLiterals) {
    BitStream exact;
    exact.Literal('a');
    for (int i = 0; i < 253; ++i) RunOfOne(exact, 259);
    RunOfOne(exact, 65535 - 253 * 259);
    EXPECT_EQ(Decode(exact), Repeat('a', 65536));

    BitStream moreRef = exact;
    moreRef.Reference(0, 0, 0, 0);
    EXPECT_EQ(Decode(moreRef), Repeat('a', 65536));

    BitStream moreLiteral = exact;
    moreLiteral.Literal('b').Literal('c');
    EXPECT_EQ(Decode(moreLiteral), Repeat('a', 65536));

    // A reference that crosses the cap is cut there.
    BitStream crossing;
    crossing.Literal('a');
    for (int i = 0; i < 253; ++i) RunOfOne(crossing, 259);
    RunOfOne(crossing, 65535 - 253 * 259 - 1);
    RunOfOne(crossing, 259);
    EXPECT_EQ(Decode(crossing), Repeat('a', 65536));
}

TEST(LzDecode, PeriodicCopiesUpToTheCapKeepThePattern) {
    // Filled runs (distance 1), moves stepping by the distance (< 8), 8-byte
    // moves, and the switch to byte copies next to the cap all keep the
    // period.
    for (std::uint32_t distance : {1u, 2u, 3u, 7u, 8u, 9u, 10u, 15u, 16u, 17u, 31u, 32u, 33u, 100u, 4097u}) {
        BitStream s;
        for (std::uint32_t i = 0; i < distance; ++i) s.Literal(static_cast<std::uint8_t>(i * 37 + 1));
        int dsym = code::kDistanceSymbols - 1;
        while (code::kDistanceBase[dsym] > distance) --dsym;
        for (int i = 0; i < 260; ++i) s.Reference(29, 0, dsym, distance - code::kDistanceBase[dsym]);
        const std::vector<std::uint8_t> got = Decode(s);
        ASSERT_EQ(got.size(), tsmufflz::kMaxChunkBytes) << "distance " << distance;
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], static_cast<std::uint8_t>((i % distance) * 37 + 1)) << "distance " << distance << " at " << i;
    }
}

// Every short length at every short distance, each reference followed by
// literals and a second reference: the bytes a move writes past a
// reference's end must not survive into the output.
TEST(LzDecode, ShortReferencesAtShortDistances) {
    for (std::uint32_t distance = 1; distance <= 40; ++distance) {
        int dsym = code::kDistanceSymbols - 1;
        while (code::kDistanceBase[dsym] > distance) --dsym;
        for (std::uint32_t length = 3; length <= 48; ++length) {
            int k = code::kLengthSymbols - 2;
            while (code::kLengthBase[k] > length) --k;
            BitStream s;
            for (int i = 0; i < 48; ++i) s.Literal(static_cast<std::uint8_t>(i * 11 + 5));
            s.Reference(k, length - code::kLengthBase[k], dsym, distance - code::kDistanceBase[dsym]);
            s.Literal(0xF0).Literal(0x0F);
            s.Reference(k, length - code::kLengthBase[k], dsym, distance - code::kDistanceBase[dsym]);
            for (int i = 0; i < 40; ++i) s.Literal(static_cast<std::uint8_t>(200 - i));
            ASSERT_EQ(Decode(s), lztest::OracleDecode(s.bytes().data(), s.bits()))
                << "distance " << distance << " length " << length;
        }
    }
}

// Streams of random tokens (some too far, some past the cap, some cut in
// the middle) and of random bytes decode as the bit-at-a-time oracle says.
TEST(LzDecode, AgreesWithBitByBitDecoding) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 400; ++round) {
        BitStream s;
        const int tokens = static_cast<int>(rng() % (round % 10 == 0 ? 2000 : 120));
        for (int t = 0; t < tokens; ++t) {
            if (rng() % 3 == 0) {
                s.Literal(static_cast<std::uint8_t>(rng()));
            } else {
                const int k = static_cast<int>(rng() % code::kLengthSymbols);
                const int d = static_cast<int>(rng() % (rng() % 2 ? 8 : code::kDistanceSymbols));
                s.Reference(k, rng() & ((1u << code::kLengthExtra[k]) - 1), d, rng() & ((1u << code::kDistanceExtra[d]) - 1));
            }
        }
        std::vector<std::uint8_t> in = s.bytes();
        std::uint32_t bits = s.bits();
        if (round % 4 == 1 && bits > 0) bits -= static_cast<std::uint32_t>(rng() % std::min<std::uint32_t>(bits, 40));
        in.resize((bits + 7) / 8);
        ASSERT_EQ(Decode(in, bits), lztest::OracleDecode(in.data(), bits)) << "round " << round;
    }
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> in(rng() % 3000);
        for (auto& b : in) b = static_cast<std::uint8_t>(rng());
        const std::uint32_t bits = in.empty() ? 0 : static_cast<std::uint32_t>(in.size() * 8 - rng() % 8);
        ASSERT_EQ(Decode(in, bits), lztest::OracleDecode(in.data(), bits)) << "random round " << round;
    }
}

}  // namespace
