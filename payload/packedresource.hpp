// A resource stored LZ-compressed in the stub: the side picture travels in
// the executable in the archive's own chunk form and is expanded at
// start-up with the decoder the stub already carries.
//
//   offset 0   4 bytes   the mark "TLZ1"
//   offset 4   4 bytes   the expanded size, little-endian, at most kMaxPackedBytes
//   offset 8   chunks    as in the archive (payload/sacformat.hpp): a 12-byte
//                        chunk header and its payload in whole 8-byte
//                        blocks, one chunk per 64 KiB piece, the last one
//                        with lastflag 1
//
// The stub's own resources, packed by its build where the build machine
// has liblzma, take the solid payload's LZMA form instead, some 40 % smaller
// (the stub carries that decoder too):
//
//   offset 0   4 bytes   the mark "TLM1"
//   offset 4   4 bytes   the expanded size, little-endian, at most kMaxPackedBytes
//   offset 8   1 byte    the LZMA properties byte (payload/lzmadecoder.hpp)
//   offset 9   the raw LZMA stream, its dictionary the expanded size (at
//              least kMinLzmaDictionary)
//
// Written by tools/packres at build time; the builder's repacking (a
// vendor's picture, the product's languages) writes the LZ form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace payload {

inline constexpr char kPackedMark[4] = {'T', 'L', 'Z', '1'};
inline constexpr char kPackedLzmaMark[4] = {'T', 'L', 'M', '1'};
inline constexpr std::size_t kPackedHeaderSize = 8;
// A resource, not an archive: a few MB is more than a stub carries.
inline constexpr std::uint32_t kMaxPackedBytes = 16u << 20;

// The wizard's side picture: RCDATA "SIDEPICTURE", a packed 24-bit BMP of
// this size in pixels at 100 % (the stub's own, or the vendor's that the
// builder puts in its place).
inline constexpr char16_t kSidePictureName[] = u"SIDEPICTURE";
inline constexpr int kSidePictureWidth = 150;
inline constexpr int kSidePictureHeight = 300;

// A side picture the wizard draws: a BMP file of exactly this form -- the
// 14-byte file header, the 40-byte info header (BITMAPINFOHEADER) with the
// pixels right after it (no colour table, no gap), one plane, 24 bits per
// pixel, uncompressed, kSidePictureWidth x kSidePictureHeight (top-down or
// bottom-up), every row there.  The builder refuses any other picture with
// the fault's message; the stub shows no picture rather than another.
inline constexpr std::size_t kSidePictureHeaderBytes = 14 + 40;
enum class SidePictureFault { None, NotBmp, NotPlain24Bit, WrongSize, NotPixelsAfterHeader, CutShort };
SidePictureFault CheckSidePicture(const std::uint8_t* bmp, std::size_t size);
// The bytes of its pixels (whole rows of 4-byte multiples).
std::size_t SidePicturePixelBytes();

// The expanded bytes of the `size` bytes at `packed` (either form); empty
// when they are not a well-formed packed resource (wrong mark, a chunk that
// does not fit, chunks that do not add up to the size the header gives, an
// LZMA stream that breaks its rules or ends at another size).
std::vector<std::uint8_t> ExpandPacked(const std::uint8_t* packed, std::size_t size);

}  // namespace payload
