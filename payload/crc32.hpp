// CRC-32 as zlib's crc32() computes it (reflected polynomial 0xEDB88320,
// initial and final XOR 0xFFFFFFFF), so a checksum from any zlib-based tool
// compares equal.  Slicing by sixteen: sixteen bytes per step from sixteen
// tables (16 KiB, built on the stack by each call), fast enough to check a
// whole installer at disk speed.  Building the tables is why callers hand
// over large blocks: at 1 MiB a call it costs nothing measurable, at 4 KiB
// a call the checksum runs at a third of its speed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace payload {

// The CRC of `size` bytes continuing from `crc` (0 to start):
// Crc32(Crc32(0, a, n), a + n, m) == Crc32(0, a, n + m).
std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

}  // namespace payload
