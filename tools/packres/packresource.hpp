// Packing a resource for the stub (the format is in payload/packedresource.hpp):
// each 64 KiB piece LZ-encoded at the best level, or stored plainly when
// that is smaller, and decoded again before it is kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace packres {

// False with `error` set when the data is too large or the encoder's output
// does not decode back to its piece.
bool PackResource(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out, std::string& error);

// The LZMA form, for the stub's own resources, where this build has
// liblzma (false with `error` set otherwise, or when the stream does not
// expand back to `data`).
bool LzmaPackingSupported();
bool PackResourceLzma(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out, std::string& error);

}  // namespace packres
