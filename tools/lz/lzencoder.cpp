// Level selection and the encoder's entry points.
#include "tools/lz/lzencoder.hpp"

#include "tools/lz/parsers.hpp"

#include <stdexcept>
#include <string>

namespace lz {
namespace {

//                                 chain  good maxlazy nice insertlimit
constexpr ParseParams kLevels[] = {
    {4, 0, 0, 8, 4},           // 1 greedy
    {8, 0, 0, 16, 5},          // 2 greedy
    {32, 0, 0, 32, 6},         // 3 greedy
    {16, 4, 4, 16, 0},         // 4 lazy
    {32, 8, 16, 32, 0},        // 5 lazy
    {128, 8, 16, 128, 0},      // 6 lazy
    {256, 8, 32, 128, 0},      // 7 lazy
    {1024, 32, 128, 259, 0},   // 8 lazy
    {0, 0, 0, 0, 0},           // 9 optimal: kOptimal
};
//                                    depth skip
constexpr OptimalParams kOptimal = {48, code::kMaxLength};
constexpr int kFirstLazyLevel = 4;

}  // namespace

struct LzEncoder::Work {
    HashChain chain;
    BinaryTree tree;
    OptimalWork optimal;
};

LzEncoder::LzEncoder() : work_(std::make_unique<Work>()) {}
LzEncoder::~LzEncoder() = default;

std::uint32_t LzEncoder::Encode(const std::uint8_t* data, std::size_t size, int level, std::vector<std::uint8_t>& out) {
    if (size > kMaxPieceBytes)
        throw std::invalid_argument("LZ piece of " + std::to_string(size) + " bytes is longer than " +
                                    std::to_string(kMaxPieceBytes));
    if (level < kMinLevel || level > kMaxLevel)
        throw std::invalid_argument("LZ level " + std::to_string(level) + " is not in 1..9");

    out.clear();
    out.reserve(size + size / 8 + 16);
    TokenWriter tokens(out);
    const auto n = static_cast<std::uint32_t>(size);
    const ParseParams& params = kLevels[level - 1];
    if (n != 0) {
        if (level == kMaxLevel)
            OptimalParse(work_->tree, data, n, kOptimal, work_->optimal, tokens);
        else if (level >= kFirstLazyLevel)
            LazyParse(work_->chain, data, n, params, tokens);
        else
            GreedyParse(work_->chain, data, n, params, tokens);
    }
    return tokens.Finish();
}

std::uint32_t EncodeLzChunk(const std::uint8_t* data, std::size_t size, int level, std::vector<std::uint8_t>& out) {
    LzEncoder encoder;
    return encoder.Encode(data, size, level, out);
}

}  // namespace lz
