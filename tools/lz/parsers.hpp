// The encoder's parsers: each walks one piece and writes its tokens.
#pragma once

#include "tools/lz/binarytree.hpp"
#include "tools/lz/hashchain.hpp"
#include "tools/lz/tokenwriter.hpp"

#include <cstdint>
#include <vector>

namespace lz {

struct ParseParams {
    std::uint32_t chain;    // candidates walked per search
    std::uint32_t good;     // lazy: a deferred match this long quarters the next search
    std::uint32_t maxlazy;  // lazy: a match this long is taken without looking further
    std::uint32_t nice;     // a match this long ends the search
    std::uint32_t insertlimit;  // greedy: positions inside longer matches are not linked
};

// A reference is worth writing only when it costs fewer bits than the
// literals it replaces; short far references can lose.
bool ReferencePays(const std::uint8_t* at, std::uint32_t length, std::uint32_t distance);

void GreedyParse(HashChain& chain, const std::uint8_t* data, std::uint32_t size, const ParseParams& params,
                 TokenWriter& out);

void LazyParse(HashChain& chain, const std::uint8_t* data, std::uint32_t size, const ParseParams& params,
               TokenWriter& out);

// Working memory of the optimal parse, kept between pieces.
struct OptimalWork {
    std::vector<std::uint32_t> cost;    // bits to reach each position
    std::vector<std::uint16_t> length;  // token ending at each position (1 = literal)
    std::vector<std::uint32_t> distance;
    std::vector<Match> matches;
    std::vector<std::uint32_t> path;
};

struct OptimalParams {
    std::uint32_t depth;  // tree nodes walked per position
    std::uint32_t skip;   // a match this long is taken as the path through its bytes
};

void OptimalParse(BinaryTree& tree, const std::uint8_t* data, std::uint32_t size, const OptimalParams& params,
                  OptimalWork& work, TokenWriter& out);

}  // namespace lz
