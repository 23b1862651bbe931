// LZ chunk decoder: the loop (tsmufflzloop.hpp) for 64-bit words.
#include "tsmufflzloop.hpp"

namespace payload {
namespace lzdetail {

template void DecodeChunkWith<std::uint64_t>(const std::uint8_t*, std::uint8_t*, std::uint32_t&);

}  // namespace lzdetail
}  // namespace payload
