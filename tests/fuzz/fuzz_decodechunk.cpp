// libFuzzer target for the LZ decoder.
//
// The input is an LZ stream: the first byte chooses how many bits (0..7) of
// the last byte are left out of the bit count, the rest is the stream,
// copied into a buffer of exactly its meaningful size so that any read past
// ceil(bitcount / 8) bytes trips AddressSanitizer.  The output buffer is
// exactly the decoder's cap.  The result must match the bit-at-a-time
// oracle decoder, in both of its word sizes.
#include "payload/tsmufflz.hpp"

#include "tests/unit/lz/bitstream.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 70000) return 0;
    const unsigned cut = data[0] % 8;
    const std::size_t nbytes = size - 1;
    std::uint32_t bits = static_cast<std::uint32_t>(nbytes * 8);
    bits = bits >= cut ? bits - cut : 0;
    const std::size_t meaningful = (bits + 7) / 8;

    std::unique_ptr<std::uint8_t[]> in(new std::uint8_t[meaningful ? meaningful : 1]);
    if (meaningful) std::memcpy(in.get(), data + 1, meaningful);
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[payload::tsmufflz::kMaxChunkBytes]);

    const std::vector<std::uint8_t> want = lztest::OracleDecode(in.get(), bits);
    std::uint32_t n = bits;
    payload::tsmufflz{}.DecodeChunk(in.get(), out.get(), n);
    if (n > payload::tsmufflz::kMaxChunkBytes) std::abort();
    if (want.size() != n || (n && std::memcmp(want.data(), out.get(), n) != 0)) std::abort();
    // The decoder's 32-bit word form, which the 32-bit stub runs.
    n = bits;
    payload::lzdetail::DecodeChunkWith<std::uint32_t>(in.get(), out.get(), n);
    if (want.size() != n || (n && std::memcmp(want.data(), out.get(), n) != 0)) std::abort();
    return 0;
}
