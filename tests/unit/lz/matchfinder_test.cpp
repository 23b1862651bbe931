#include "tools/lz/binarytree.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace code = payload::lzcode;

// For every length 3..limit, the smallest distance of a match at least that
// long, by comparing with every earlier position (0: none).
std::vector<std::uint32_t> NearestByLength(const Bytes& d, std::uint32_t pos) {
    const std::uint32_t limit = std::min<std::uint32_t>(code::kMaxLength, static_cast<std::uint32_t>(d.size()) - pos);
    std::vector<std::uint32_t> nearest(limit + 1, 0);
    for (std::uint32_t src = pos; src-- > 0;) {
        std::uint32_t len = 0;
        while (len < limit && d[src + len] == d[pos + len]) ++len;
        for (std::uint32_t l = code::kMinLength; l <= len; ++l)
            if (nearest[l] == 0) nearest[l] = pos - src;
    }
    return nearest;
}

// With a walk deep enough to reach every node, the tree yields exactly the
// nearest match of every length, at every position: on random data over
// small alphabets (many equal prefixes, ties broken below and above), runs,
// and matches cut by the 259-byte limit and by the piece's end.
TEST(LzBinaryTree, YieldsTheNearestMatchOfEveryLength) {
    std::mt19937 rng(77);
    std::vector<Bytes> inputs;
    for (unsigned alphabet : {2u, 3u, 4u, 16u}) {
        Bytes b(1500);
        for (auto& x : b) x = static_cast<std::uint8_t>(rng() % alphabet);
        inputs.push_back(b);
    }
    Bytes runs(700, 'a');
    for (std::size_t i = 300; i < runs.size(); i += 97) runs[i] = 'b';
    inputs.push_back(runs);

    lz::BinaryTree tree;
    std::vector<lz::Match> found(code::kMaxLength - code::kMinLength + 1);
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        const Bytes& d = inputs[k];
        tree.Reset(d.data(), static_cast<std::uint32_t>(d.size()));
        for (std::uint32_t pos = 0; pos + code::kMinLength <= d.size(); ++pos) {
            const std::uint32_t n = tree.Advance(pos, 100000, found.data());
            const std::vector<std::uint32_t> want = NearestByLength(d, pos);
            // Expand the rising matches into a distance per length.
            std::vector<std::uint32_t> got(want.size(), 0);
            std::uint32_t len = code::kMinLength;
            for (std::uint32_t m = 0; m < n; ++m) {
                ASSERT_LT(found[m].length, got.size()) << "input " << k << " pos " << pos;
                ASSERT_TRUE(m == 0 || found[m].length > found[m - 1].length);
                for (; len <= found[m].length; ++len) got[len] = found[m].distance;
            }
            ASSERT_EQ(got, want) << "input " << k << " pos " << pos;
        }
    }
}

// A shallow walk finds fewer matches but never a wrong one.
TEST(LzBinaryTree, ShallowWalksYieldOnlyTrueMatches) {
    std::mt19937 rng(5);
    Bytes d(20000);
    for (auto& x : d) x = static_cast<std::uint8_t>(rng() % 3);
    lz::BinaryTree tree;
    tree.Reset(d.data(), static_cast<std::uint32_t>(d.size()));
    std::vector<lz::Match> found(code::kMaxLength - code::kMinLength + 1);
    std::size_t total = 0;
    for (std::uint32_t pos = 0; pos + code::kMinLength <= d.size(); ++pos) {
        const std::uint32_t n = tree.Advance(pos, 4, pos % 3 ? found.data() : nullptr);
        if (pos % 3 == 0) {
            EXPECT_EQ(n, 0u);
            continue;
        }
        for (std::uint32_t m = 0; m < n; ++m) {
            const lz::Match x = found[m];
            ASSERT_TRUE(x.distance >= 1 && x.distance <= pos);
            ASSERT_TRUE(std::equal(d.begin() + pos, d.begin() + pos + x.length, d.begin() + (pos - x.distance)))
                << "pos " << pos << " length " << x.length << " distance " << x.distance;
            ASSERT_TRUE(pos + x.length == d.size() || x.length == code::kMaxLength ||
                        d[pos + x.length] != d[pos - x.distance + x.length])
                << "length not the whole common prefix at pos " << pos;
        }
        total += n;
    }
    EXPECT_GT(total, d.size());
}

}  // namespace
