// Greedy and lazy parsing over hash chains (the fast levels).
#include "tools/lz/parsers.hpp"

namespace lz {

bool ReferencePays(const std::uint8_t* at, std::uint32_t length, std::uint32_t distance) {
    // From length 4 on even the dearest reference (26 bits) beats the
    // cheapest literals (32 bits).
    if (length >= 4) return true;
    unsigned literals = 0;
    for (std::uint32_t i = 0; i < length; ++i) literals += LiteralBits(at[i]);
    return MatchBits(length, distance) < literals;
}

void GreedyParse(HashChain& chain, const std::uint8_t* data, std::uint32_t size, const ParseParams& params,
                 TokenWriter& out) {
    chain.Reset(data, size);
    std::uint32_t i = 0;
    while (i < size) {
        if (i + code::kMinLength <= size) {
            const std::int32_t first = chain.Insert(i);
            const Match m = chain.Longest(i, first, params.chain, params.nice, 0);
            if (m.length != 0 && ReferencePays(data + i, m.length, m.distance)) {
                out.Reference(m.length, m.distance);
                const std::uint32_t end = i + m.length;
                if (m.length <= params.insertlimit) {
                    for (++i; i < end && i + code::kMinLength <= size; ++i) chain.Insert(i);
                }
                i = end;
                continue;
            }
        }
        out.Literal(data[i]);
        ++i;
    }
}

namespace {

// Shared by both finders: each answers candidates from Insert and takes
// them back in Longest.
template <class Finder>
void Lazy(Finder& chain, const std::uint8_t* data, std::uint32_t size, const ParseParams& params, TokenWriter& out) {
    chain.Reset(data, size);
    Match prev;           // best match at i - 1
    bool pending = false; // byte i - 1 is neither written nor covered yet
    std::uint32_t i = 0;
    while (i < size) {
        Match cur;
        if (i + code::kMinLength <= size) {
            const auto first = chain.Insert(i);
            if (prev.length < params.maxlazy) {
                const std::uint32_t steps = prev.length >= params.good ? params.chain / 4 : params.chain;
                // Only a match longer than the deferred one changes the parse.
                cur = chain.Longest(i, first, steps, params.nice, prev.length);
                if (cur.length != 0 && !ReferencePays(data + i, cur.length, cur.distance)) cur = {};
            }
        }
        if (prev.length != 0 && cur.length <= prev.length) {
            // The match at i - 1 is at least as long as any starting here.
            out.Reference(prev.length, prev.distance);
            const std::uint32_t end = i - 1 + prev.length;
            for (++i; i < end; ++i) {
                if (i + code::kMinLength <= size) chain.Insert(i);
            }
            prev = {};
            pending = false;
            continue;
        }
        if (pending) out.Literal(data[i - 1]);
        prev = cur;
        pending = true;
        ++i;
    }
    // A match needs three bytes, so none can start at the last byte.
    if (pending) out.Literal(data[size - 1]);
}

}  // namespace

void LazyParse(HashChain& chain, const std::uint8_t* data, std::uint32_t size, const ParseParams& params,
               TokenWriter& out) {
    Lazy(chain, data, size, params, out);
}

void LazyParse(QuadChain& chain, const std::uint8_t* data, std::uint32_t size, const ParseParams& params,
               TokenWriter& out) {
    Lazy(chain, data, size, params, out);
}

}  // namespace lz
