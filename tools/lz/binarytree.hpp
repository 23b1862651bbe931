// Binary-tree match finder over one piece of at most 65,536 bytes, for the
// optimal parse.
//
// Positions with the same 3-byte hash form one binary search tree, ordered
// by the bytes that follow each position (compared up to the longest
// length, 259).  Each new position becomes the root: the walk from the old
// root down splits the tree into the positions that sort below and above
// the new one, and on the way it meets, for every length, the newest
// position that matches at least that long.  A walk therefore yields the
// nearest match of each length in one pass (nearest is cheapest: distance
// costs never fall with distance), where a hash chain has to step through
// every older candidate.
//
// While the walk goes down, every position left in the subtree shares at
// least min(lt, gt) leading bytes with the new position (lt, gt: the match
// lengths of the nearest positions passed on the lower and upper side), so
// comparisons start there instead of at byte 0.
//
// The walk is cut after `depth` nodes; the subtrees below are then dropped
// from the tree, which costs ratio only on very repetitive data.
#pragma once

#include "tools/lz/hashchain.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace lz {

class BinaryTree {
public:
    static constexpr int kHashBits = 16;
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    BinaryTree() : head_(std::size_t{1} << kHashBits), child_(2 * payload::lzcode::kMaxDistance) {}

    void Reset(const std::uint8_t* data, std::uint32_t size) {
        data_ = data;
        size_ = size;
        std::fill(head_.begin(), head_.end(), kNone);
    }

    // Inserts `pos` (which needs three bytes left) and, when `out` is not
    // null, writes the matches met on the way: lengths rising, each with the
    // smallest distance of that length among the nodes walked; at most
    // kMaxLength - kMinLength + 1.  Answers how many.
    std::uint32_t Advance(std::uint32_t pos, std::uint32_t depth, Match* out) {
        const std::uint8_t* const here = data_ + pos;
        const std::uint32_t limit = std::min(payload::lzcode::kMaxLength, size_ - pos);
        const std::uint32_t h = Hash(here);
        std::uint32_t cur = head_[h];
        head_[h] = pos;
        std::uint32_t* lower = &child_[2 * pos];      // where the next node below `here` goes
        std::uint32_t* upper = &child_[2 * pos + 1];  // where the next node above `here` goes
        std::uint32_t lowerlen = 0, upperlen = 0, bestlen = payload::lzcode::kMinLength - 1;
        std::uint32_t count = 0;
        for (;;) {
            if (cur == kNone || depth-- == 0) {
                *lower = kNone;
                *upper = kNone;
                return count;
            }
            const std::uint8_t* const there = data_ + cur;
            std::uint32_t len = std::min(lowerlen, upperlen);
            len += CommonLength(here + len, there + len, limit - len);
            if (len > bestlen) {
                bestlen = len;
                if (out) out[count++] = {len, pos - cur};
            }
            if (len >= limit) {
                // As long as comparisons go: `here` takes `cur`'s place and
                // its subtrees, and `cur` leaves this tree.
                *lower = child_[2 * cur];
                *upper = child_[2 * cur + 1];
                return count;
            }
            if (there[len] < here[len]) {
                *lower = cur;
                lower = &child_[2 * cur + 1];
                cur = *lower;
                lowerlen = len;
            } else {
                *upper = cur;
                upper = &child_[2 * cur];
                cur = *upper;
                upperlen = len;
            }
        }
    }

private:
    static std::uint32_t Hash(const std::uint8_t* at) { return Hash3(at, kHashBits); }

    const std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> child_;  // 2 per position: below, above
};

}  // namespace lz
