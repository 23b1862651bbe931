// Optimal parsing: the cheapest token sequence for a piece.
//
// The code is fixed, so every token's cost in bits is exact and known in
// advance; the cheapest encoding is then a shortest path over positions
// 0..size, where a literal is an edge i -> i + 1 and a reference of length L
// an edge i -> i + L.  Positions are settled in order (every edge goes
// forward) in one pass, relaxing each position's literal and, for every
// match the binary tree yields, all lengths it covers, each with the nearest
// distance that reaches that length (distance costs never fall with
// distance).
//
// Inside a match of `skip` bytes or more, positions are still inserted into
// the tree but neither searched nor relaxed beyond their literal: a path
// through such a run gains nothing from starting a reference inside it that
// the long match does not already give, and the lengths it covers would cost
// up to 257 relaxations per byte.
#include "tools/lz/parsers.hpp"

#include <limits>

namespace lz {

void OptimalParse(BinaryTree& tree, const std::uint8_t* data, std::uint32_t size, const OptimalParams& params,
                  OptimalWork& work, TokenWriter& out) {
    constexpr std::uint32_t kUnreached = std::numeric_limits<std::uint32_t>::max();
    tree.Reset(data, size);
    work.cost.assign(size + 1, kUnreached);
    work.length.resize(size + 1);
    work.distance.resize(size + 1);
    work.matches.resize(code::kMaxLength - code::kMinLength + 1);
    std::uint32_t* const cost = work.cost.data();
    cost[0] = 0;

    std::uint32_t searchfrom = 0;  // positions below lie inside a long match
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::uint32_t here = cost[i];
        const std::uint32_t lit = here + LiteralBits(data[i]);
        if (lit < cost[i + 1]) {
            cost[i + 1] = lit;
            work.length[i + 1] = 1;
        }
        if (i + code::kMinLength > size) continue;
        if (i < searchfrom) {
            tree.Advance(i, params.depth, nullptr);
            continue;
        }

        const std::uint32_t found = tree.Advance(i, params.depth, work.matches.data());
        std::uint32_t len = code::kMinLength;
        for (std::uint32_t m = 0; m < found; ++m) {
            const Match match = work.matches[m];
            const std::uint32_t dist_bits = here + DistanceBits(match.distance);
            for (; len <= match.length; ++len) {
                const std::uint32_t c = dist_bits + kLengthBits[len];
                if (c < cost[i + len]) {
                    cost[i + len] = c;
                    work.length[i + len] = static_cast<std::uint16_t>(len);
                    work.distance[i + len] = match.distance;
                }
            }
        }
        if (found != 0 && work.matches[found - 1].length >= params.skip) searchfrom = i + work.matches[found - 1].length;
    }

    work.path.clear();
    for (std::uint32_t pos = size; pos > 0; pos -= work.length[pos]) work.path.push_back(pos);
    std::uint32_t at = 0;
    for (auto it = work.path.rbegin(); it != work.path.rend(); ++it) {
        const std::uint32_t end = *it;
        const std::uint32_t len = work.length[end];
        if (len == 1)
            out.Literal(data[at]);
        else
            out.Reference(len, work.distance[end]);
        at = end;
    }
}

}  // namespace lz
