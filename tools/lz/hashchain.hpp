// Hash-chain match finder over one piece of at most 65,536 bytes.
//
// Every position with three bytes left is linked, newest first, into the
// chain of its 3-byte hash; a search walks a chain from the newest
// candidate and stops after a given number of steps.  Since a piece is never
// longer than the largest distance, every earlier position is in reach.
#pragma once

#include "payload/lzcode.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lz {

struct Match {
    std::uint32_t length = 0;
    std::uint32_t distance = 0;
};

// Number of equal leading bytes of a and b, up to `limit`.
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
    std::uint32_t len = 0;
    while (len + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + len, 8);
        std::memcpy(&y, b + len, 8);
        if (const std::uint64_t diff = x ^ y; diff != 0) {
            if constexpr (std::endian::native == std::endian::little)
                return len + static_cast<std::uint32_t>(std::countr_zero(diff)) / 8;
            else
                return len + static_cast<std::uint32_t>(std::countl_zero(diff)) / 8;
        }
        len += 8;
    }
    while (len < limit && a[len] == b[len]) ++len;
    return len;
}

// The top `bits` bits of a multiplicative (Fibonacci) hash of `v`.
constexpr std::uint32_t MultiplicativeHash(std::uint32_t v, int bits) { return (v * 2654435761u) >> (32 - bits); }

// The hash of the three bytes at `at`, the key of the three-byte finders.
inline std::uint32_t Hash3(const std::uint8_t* at, int bits) {
    return MultiplicativeHash((std::uint32_t{at[0]} << 16) | (std::uint32_t{at[1]} << 8) | at[2], bits);
}

class HashChain {
public:
    static constexpr int kHashBits = 15;
    static constexpr std::int32_t kNone = -1;

    HashChain() : head_(std::size_t{1} << kHashBits), prev_(payload::lzcode::kMaxDistance) {}

    void Reset(const std::uint8_t* data, std::uint32_t size) {
        data_ = data;
        size_ = size;
        std::fill(head_.begin(), head_.end(), kNone);
    }

    // Links `pos` (which needs three bytes left) into its chain; answers the
    // newest earlier position with the same hash, or kNone.
    std::int32_t Insert(std::uint32_t pos) {
        const std::uint32_t h = Hash(data_ + pos);
        const std::int32_t older = head_[h];
        prev_[pos] = older;
        head_[h] = static_cast<std::int32_t>(pos);
        return older;
    }

    // Longest match at `pos` longer than `atleast`, starting from candidate
    // `first` and walking at most `steps` candidates; stops early at `nice`.
    // Of equally long matches the nearest wins.
    Match Longest(std::uint32_t pos, std::int32_t first, std::uint32_t steps, std::uint32_t nice,
                  std::uint32_t atleast) const {
        Match best;
        const std::uint32_t limit = std::min(payload::lzcode::kMaxLength, size_ - pos);
        if (limit < payload::lzcode::kMinLength) return best;
        nice = std::min(nice, limit);
        std::uint32_t bestlen = std::max(atleast, payload::lzcode::kMinLength - 1);
        const std::uint8_t* const here = data_ + pos;
        for (std::int32_t cand = first; cand != kNone && steps > 0; cand = prev_[cand], --steps) {
            const std::uint8_t* there = data_ + cand;
            if (bestlen < limit && there[bestlen] != here[bestlen]) continue;
            const std::uint32_t len = CommonLength(here, there, limit);
            if (len > bestlen) {
                bestlen = len;
                best = {len, pos - static_cast<std::uint32_t>(cand)};
                if (len >= nice) break;
            }
        }
        return best;
    }

    // Every match at `pos` that is longer than all nearer ones, nearest
    // first (so lengths rise and, for each length, the distance found is the
    // smallest within the walked candidates).  Writes at most
    // kMaxLength - kMinLength + 1 matches to `out`; answers how many.
    std::uint32_t All(std::uint32_t pos, std::int32_t first, std::uint32_t steps, Match* out) const {
        const std::uint32_t limit = std::min(payload::lzcode::kMaxLength, size_ - pos);
        if (limit < payload::lzcode::kMinLength) return 0;
        std::uint32_t count = 0;
        std::uint32_t bestlen = payload::lzcode::kMinLength - 1;
        const std::uint8_t* const here = data_ + pos;
        for (std::int32_t cand = first; cand != kNone && steps > 0; cand = prev_[cand], --steps) {
            const std::uint8_t* there = data_ + cand;
            if (there[bestlen] != here[bestlen]) continue;
            const std::uint32_t len = CommonLength(here, there, limit);
            if (len > bestlen) {
                bestlen = len;
                out[count++] = {len, pos - static_cast<std::uint32_t>(cand)};
                if (len == limit) break;
            }
        }
        return count;
    }

private:
    static std::uint32_t Hash(const std::uint8_t* at) { return Hash3(at, kHashBits); }

    const std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> prev_;
};

}  // namespace lz
