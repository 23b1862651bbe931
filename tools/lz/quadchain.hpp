// Match finder for the lazy levels over one piece of at most 65,536 bytes:
// hash chains keyed on four bytes, plus a table of the newest position of
// each three-byte hash.
//
// Keying the chains on four bytes keeps candidates that cannot reach length
// 4 out of the walk, so a walk of the same number of steps reaches further
// back among useful candidates.  A three-byte match is worth writing only
// when it is near, so for those the newest candidate alone is enough.
//
// The tables hold positions plus a base that grows by each piece's size, so
// entries left by earlier pieces fall below the base and read as empty:
// a small piece does not pay for clearing the tables.
#pragma once

#include "tools/lz/hashchain.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lz {

class QuadChain {
public:
    static constexpr int kHashBits = 16;   // chains of four-byte hashes
    static constexpr int kHash3Bits = 14;  // newest position per three-byte hash

    // Candidates for one position, as Insert finds them before linking it;
    // base-relative, so a value below the base is no candidate.
    struct Heads {
        std::uint32_t near3 = 0;  // newest earlier position of the same three-byte hash
        std::uint32_t first = 0;  // newest earlier position of the same four-byte hash
    };

    QuadChain()
        : head_(std::size_t{1} << kHashBits), head3_(std::size_t{1} << kHash3Bits),
          prev_(payload::lzcode::kMaxDistance) {}

    void Reset(const std::uint8_t* data, std::uint32_t size) {
        data_ = data;
        size_ = size;
        base_ = next_;
        if (base_ > kMaxBase) {
            std::fill(head_.begin(), head_.end(), 0);
            std::fill(head3_.begin(), head3_.end(), 0);
            base_ = 1;
        }
        next_ = base_ + size;
    }

    // Links `pos` (which needs three bytes left) into its tables; answers
    // the candidates it had before.
    Heads Insert(std::uint32_t pos) {
        Heads h;
        const std::uint8_t* at = data_ + pos;
        std::uint32_t v3;
        if (pos + 4 <= size_) {
            const std::uint32_t v = Load32(at);
            const std::uint32_t h4 = MultiplicativeHash(v, kHashBits);
            h.first = head_[h4];
            prev_[pos] = h.first;
            head_[h4] = base_ + pos;
            v3 = v & 0xFFFFFFu;
        } else {
            v3 = std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16);
        }
        const std::uint32_t h3 = MultiplicativeHash(v3, kHash3Bits);
        h.near3 = head3_[h3];
        head3_[h3] = base_ + pos;
        return h;
    }

    // Longest match at `pos` longer than `atleast` among the newest
    // three-byte candidate and at most `steps` four-byte ones; stops early
    // at `nice`.  Of equally long matches the nearest wins.
    Match Longest(std::uint32_t pos, Heads heads, std::uint32_t steps, std::uint32_t nice,
                  std::uint32_t atleast) const {
        Match best;
        const std::uint32_t limit = std::min(payload::lzcode::kMaxLength, size_ - pos);
        if (limit < payload::lzcode::kMinLength) return best;
        nice = std::min(nice, limit);
        std::uint32_t bestlen = std::max(atleast, payload::lzcode::kMinLength - 1);
        const std::uint8_t* const here = data_ + pos;
        if (bestlen >= nice) return best;  // nothing longer can be found
        if (heads.near3 >= base_) {
            const std::uint8_t* there = data_ + (heads.near3 - base_);
            if (there[bestlen] == here[bestlen]) {
                const std::uint32_t len = CommonLength(here, there, limit);
                if (len > bestlen) {
                    bestlen = len;
                    best = {len, pos + base_ - heads.near3};
                    if (len >= nice) return best;
                }
            }
        }
        // From here on bestlen < nice <= limit, so here[bestlen] is inside the piece.
        for (std::uint32_t at = heads.first; at >= base_ && steps > 0; at = prev_[at - base_], --steps) {
            const std::uint32_t cand = at - base_;
            const std::uint8_t* there = data_ + cand;
            if (there[bestlen] != here[bestlen]) continue;
            const std::uint32_t len = CommonLength(here, there, limit);
            if (len > bestlen) {
                bestlen = len;
                best = {len, pos - cand};
                if (len >= nice) break;
            }
        }
        return best;
    }

private:
    // Four bytes as a little-endian number, so that hashes (and with them
    // the candidates found) are the same on every machine.
    static std::uint32_t Load32(const std::uint8_t* at) {
        return std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16) |
               (std::uint32_t{at[3]} << 24);
    }

    // The base restarts at 1 before base + position could overflow.
    static constexpr std::uint32_t kMaxBase = 0xFFFFFFFFu - payload::lzcode::kMaxDistance;

    const std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t base_ = 1;  // table value of position 0 of this piece
    std::uint32_t next_ = 1;  // base of the next piece
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> head3_;
    std::vector<std::uint32_t> prev_;
};

}  // namespace lz
