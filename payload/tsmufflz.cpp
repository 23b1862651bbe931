// LZ chunk decoder: the loop (tsmufflzloop.hpp) for 32-bit words, and the
// decoder's entry, which takes the machine's word size.
#include "tsmufflzloop.hpp"

namespace payload {
namespace lzdetail {

template void DecodeChunkWith<std::uint32_t>(const std::uint8_t*, std::uint8_t*, std::uint32_t&);

}  // namespace lzdetail

void tsmufflz::DecodeChunk(const std::uint8_t* input, std::uint8_t* output, std::uint32_t& bitcount) const {
    lzdetail::DecodeChunkWith<lzdetail::MachineWord>(input, output, bitcount);
}

}  // namespace payload
