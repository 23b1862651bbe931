#include "tools/lz/lzencoder.hpp"

#include "payload/lzcode.hpp"
#include "payload/tsmufflz.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Sample {
    std::string name;
    Bytes data;
};

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes RandomBytes(std::size_t n, unsigned seed, unsigned alphabet = 256) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng() % alphabet);
    return b;
}

Bytes Periodic(std::size_t n, std::size_t period) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i % period) * 151 + 7);
    return b;
}

// Text with long-range repeats: words drawn from a small vocabulary.
Bytes WordSoup(std::size_t n, unsigned seed) {
    static const char* words[] = {"install ", "folder ", "the ", "program ", "service ", "shortcut ", "\r\n", "registry "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[rng() % 8];
        b.insert(b.end(), w, w + std::char_traits<char>::length(w));
    }
    b.resize(n);
    return b;
}

// Pieces of at most 65,536 bytes of real files; FAILs when a file is missing.
std::vector<Sample> RealPieces() {
    std::vector<Sample> pieces;
    const std::string root = LZ_TEST_SOURCE_DIR;
    for (const std::string& path : {root + "/payload/tsmufflz.cpp", root + "/tools/lz/hashchain.hpp",
                                   root + "/payload/setuptrailer.hpp", std::string(LZ_TEST_BINARY)}) {
        const Bytes whole = ReadFile(path);
        EXPECT_FALSE(whole.empty()) << "cannot read " << path;
        for (std::size_t at = 0; at < whole.size(); at += lz::kMaxPieceBytes) {
            const std::size_t n = std::min(lz::kMaxPieceBytes, whole.size() - at);
            pieces.push_back({path + "@" + std::to_string(at), Bytes(whole.begin() + at, whole.begin() + at + n)});
        }
    }
    return pieces;
}

std::vector<Sample> Corpus() {
    std::vector<Sample> c = RealPieces();
    for (std::size_t n : {0, 1, 2, 3, 4, 5, 9}) c.push_back({"random" + std::to_string(n), RandomBytes(n, 7 + n)});
    c.push_back({"random65536", RandomBytes(65536, 1)});
    c.push_back({"zeros65536", Bytes(65536, 0)});
    c.push_back({"ones259x3", Bytes(777, 0xFF)});
    c.push_back({"small-alphabet", RandomBytes(50000, 3, 4)});
    c.push_back({"words65536", WordSoup(65536, 5)});
    for (std::size_t period : {2, 3, 7, 8, 9, 259, 260, 1000, 40000})
        c.push_back({"period" + std::to_string(period), Periodic(65536, period)});
    return c;
}

// Encodes, checks the padding, decodes; answers the bit count.
std::uint32_t RoundTrip(const Sample& s, int level, lz::LzEncoder& encoder) {
    Bytes stream{0x55};  // must be replaced, not appended to
    const std::uint32_t bits = encoder.Encode(s.data.data(), s.data.size(), level, stream);
    EXPECT_EQ(static_cast<std::int64_t>(stream.size()), payload::ChunkPayloadBytes(bits)) << s.name << " level " << level;
    EXPECT_EQ(stream.size() % 8, 0u);
    // Everything after the last bit is zero.
    for (std::size_t bit = bits; bit < stream.size() * 8; ++bit)
        if ((stream[bit / 8] >> (7 - bit % 8)) & 1) {
            ADD_FAILURE() << s.name << " level " << level << ": padding bit " << bit << " set";
            break;
        }
    Bytes out(payload::kTransferBufferSize);
    std::uint32_t n = bits;
    payload::tsmufflz{}.DecodeChunk(stream.data(), out.data(), n);
    out.resize(n);
    EXPECT_TRUE(out == s.data) << s.name << " level " << level << ": decoded " << n << " of " << s.data.size() << " bytes";
    return bits;
}

TEST(LzEncode, EveryLevelRoundTripsTheCorpus) {
    lz::LzEncoder encoder;
    for (const Sample& s : Corpus())
        for (int level = lz::kMinLevel; level <= lz::kMaxLevel; ++level) RoundTrip(s, level, encoder);
}

TEST(LzEncode, OptimalLevelIsNeverLargerThanAnyOther) {
    lz::LzEncoder encoder;
    for (const Sample& s : Corpus()) {
        const std::uint32_t best = RoundTrip(s, 9, encoder);
        for (int level = lz::kMinLevel; level < lz::kMaxLevel; ++level)
            EXPECT_LE(best, RoundTrip(s, level, encoder)) << s.name << " level " << level;
    }
}

// The cheapest encoding by exhaustive search over every (length, distance)
// at every position, for pieces small enough to search fully.
std::uint32_t ExhaustiveMinimumBits(const Bytes& d) {
    namespace code = payload::lzcode;
    auto litBits = [](std::uint8_t b) { return code::LiteralCodeBits(b); };
    auto lengthBits = [](std::uint32_t len) {
        if (len == 259) return 8u;
        int k = 28;
        while (code::kLengthBase[k] > len) --k;
        return code::LengthCodeBits(k) + code::kLengthExtra[k];
    };
    auto distBits = [](std::uint32_t dist) {
        int s = 31;
        while (code::kDistanceBase[s] > dist) --s;
        return 5u + code::kDistanceExtra[s];
    };
    const std::size_t n = d.size();
    std::vector<std::uint32_t> best(n + 1, UINT32_MAX);
    best[0] = 0;
    for (std::size_t i = 0; i < n; ++i) {
        best[i + 1] = std::min(best[i + 1], best[i] + litBits(d[i]));
        for (std::size_t src = 0; src < i; ++src) {
            std::size_t len = 0;
            while (i + len < n && len < 259 && d[src + len] == d[i + len]) ++len;
            for (std::size_t l = 3; l <= len; ++l)
                best[i + l] = std::min<std::uint32_t>(best[i + l], best[i] + lengthBits(static_cast<std::uint32_t>(l)) +
                                                                        distBits(static_cast<std::uint32_t>(i - src)));
        }
    }
    return best[n];
}

TEST(LzEncode, OptimalLevelReachesTheExhaustiveMinimum) {
    lz::LzEncoder encoder;
    for (unsigned seed = 0; seed < 12; ++seed) {
        Sample s{"small" + std::to_string(seed), RandomBytes(200 + seed * 40, seed, 2 + seed % 5)};
        if (seed % 3 == 0) s.data.insert(s.data.end(), 300, 'r');  // long runs too
        EXPECT_EQ(RoundTrip(s, 9, encoder), ExhaustiveMinimumBits(s.data)) << s.name;
    }
}

TEST(LzEncode, FindsMatchesAtEveryLevel) {
    lz::LzEncoder encoder;
    const Sample zeros{"zeros", Bytes(65536, 0)};
    const Sample words{"words", WordSoup(65536, 9)};
    for (int level = lz::kMinLevel; level <= lz::kMaxLevel; ++level) {
        // 65,536 zero bytes need about 254 references of 259.
        EXPECT_LT(RoundTrip(zeros, level, encoder), 65536u * 8 / 100) << "level " << level;
        EXPECT_LT(RoundTrip(words, level, encoder), 65536u * 8 / 3) << "level " << level;
    }
    for (const Sample& s : RealPieces()) {
        if (s.name.find(".cpp") != std::string::npos || s.name.find(".hpp") != std::string::npos) {
            EXPECT_LT(RoundTrip(s, 6, encoder), s.data.size() * 8 * 7 / 10) << s.name;
        }
    }
}

TEST(LzEncode, ShrinkDecision) {
    lz::LzEncoder encoder;
    Bytes stream;
    const Bytes noise = RandomBytes(65536, 11);
    for (int level = lz::kMinLevel; level <= lz::kMaxLevel; ++level)
        EXPECT_FALSE(lz::LzShrinks(encoder.Encode(noise.data(), noise.size(), level, stream), noise.size()));
    const Bytes zeros(1000, 0);
    EXPECT_TRUE(lz::LzShrinks(encoder.Encode(zeros.data(), zeros.size(), 1, stream), zeros.size()));
    // Equal stored size is no gain: 64 bits against 8 plain bytes.
    EXPECT_FALSE(lz::LzShrinks(64, 8));
    EXPECT_TRUE(lz::LzShrinks(64, 9));
    EXPECT_EQ(payload::ChunkPayloadBytes(0), 0);
    EXPECT_EQ(payload::ChunkPayloadBytes(1), 8);
    EXPECT_EQ(payload::ChunkPayloadBytes(65), 16);
}

TEST(LzEncode, ReusedEncoderGivesTheSameStreamAsAFreshOne) {
    lz::LzEncoder reused;
    Bytes first, second, fresh;
    const Bytes a = WordSoup(65536, 1), b = WordSoup(30000, 2);
    for (int level = lz::kMinLevel; level <= lz::kMaxLevel; ++level) {
        reused.Encode(a.data(), a.size(), level, first);
        const std::uint32_t bits = reused.Encode(b.data(), b.size(), level, second);
        EXPECT_EQ(bits, lz::EncodeLzChunk(b.data(), b.size(), level, fresh)) << "level " << level;
        EXPECT_EQ(second, fresh) << "level " << level;
    }
}

TEST(LzEncode, RejectsOversizedPiecesAndUnknownLevels) {
    const Bytes big(lz::kMaxPieceBytes + 1, 1);
    Bytes stream;
    EXPECT_THROW(lz::EncodeLzChunk(big.data(), big.size(), 6, stream), std::invalid_argument);
    EXPECT_THROW(lz::EncodeLzChunk(big.data(), 10, 0, stream), std::invalid_argument);
    EXPECT_THROW(lz::EncodeLzChunk(big.data(), 10, 10, stream), std::invalid_argument);
    EXPECT_EQ(lz::EncodeLzChunk(big.data(), 0, 6, stream), 0u);
    EXPECT_TRUE(stream.empty());
}

}  // namespace
