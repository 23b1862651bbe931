// The payload check: a resource the builder writes into the stub it copies,
// recording how long the payload is and its CRC-32 (payload/crc32.hpp), so a
// download cut short or damaged in transit is refused at start-up, before
// anything is written, instead of installing broken files.
//
// Resource RCDATA "PAYLOADCHECK", 16 bytes, little-endian:
//   offset 0   4 bytes   the mark "TPC1"
//   offset 4   4 bytes   `stubsize`: the file offset where the payload starts
//                        (the trailer's `archiveoffset`)
//   offset 8   4 bytes   `payloadlength`: bytes from there to the trailer's end
//   offset 12  4 bytes   `crc32` of those bytes
//
// Installers without the resource (another builder, an older one) are not
// checked.  The uninstaller copy in the Windows folder is the bare stub,
// record included: a file that ends exactly where the stub does carries no
// payload and is left to the trailer's own message.
#pragma once

#include "setuputil/fileaccess.hpp"

#include <cstddef>
#include <cstdint>

namespace payload {

inline constexpr char16_t kPayloadCheckName[] = u"PAYLOADCHECK";
inline constexpr char kPayloadCheckMark[4] = {'T', 'P', 'C', '1'};

struct tpayloadcheck {
    char mark[4];
    std::uint32_t stubsize;
    std::uint32_t payloadlength;
    std::uint32_t crc32;
};
static_assert(sizeof(tpayloadcheck) == 16);
static_assert(offsetof(tpayloadcheck, stubsize) == 4);
static_assert(offsetof(tpayloadcheck, payloadlength) == 8);
static_assert(offsetof(tpayloadcheck, crc32) == 12);

inline constexpr char16_t kDamagedInstaller[] =
    u"This installer is damaged: it was cut short or changed after it was built. Please obtain a new copy.";

// False unless `size` is the record's size and it starts with the mark.
bool ParsePayloadCheck(const void* data, std::size_t size, tpayloadcheck& check);

// The CRC-32 of `length` bytes of `file` from `offset`; false when they
// cannot all be read.
bool FileCrc32(setuputil::FileAccess& file, std::int64_t offset, std::int64_t length, std::uint32_t& crc);

// False when the payload of the open installer differs from its record: it
// ends anywhere but at `stubsize` + `payloadlength` (payloadend.hpp; cut
// short or grown), or those bytes have another CRC-32.  True for a file
// that ends where the stub does (the uninstaller copy).
bool PayloadIntact(setuputil::FileAccess& file, const tpayloadcheck& check);

}  // namespace payload
