// The payload check: a resource the builder writes into the stub it copies,
// recording how long the installer is and its CRC-32 (payload/crc32.hpp), so
// a download cut short or damaged in transit -- in the payload or in the
// stub's own code -- is refused at start-up, before anything is written,
// instead of installing broken files.
//
// Resource RCDATA "PAYLOADCHECK", little-endian:
//   offset 0   4 bytes   the mark "TPC2"
//   offset 4   4 bytes   `stubsize`: the file offset where the payload starts
//                        (the trailer's `archiveoffset`)
//   offset 8   4 bytes   `payloadlength`: bytes from there to the trailer's end
//   offset 12  4 bytes   `crc32` of the whole file up to the trailer's end,
//                        read with the bytes a signer or the builder writes
//                        afterwards as zero: the PE header checksum, the
//                        security data directory entry and this record
//                        (the certificate table lies past the trailer,
//                        payloadend.hpp)
//   offset 16  4 bytes   `recordoffset`: the file offset of this record
//
// Builders before "TPC2" wrote the first 16 bytes alone with the mark
// "TPC1", their `crc32` over the payload only: such a record is still
// checked that way.  Installers without the resource (another builder) are
// not checked.  The uninstaller copy in the Windows folder is the bare stub,
// record included: a file that ends exactly where the stub does carries no
// payload and is left to the trailer's own message.
#pragma once

#include "setuputil/fileaccess.hpp"

#include <cstddef>
#include <cstdint>

namespace payload {

inline constexpr char16_t kPayloadCheckName[] = u"PAYLOADCHECK";
inline constexpr char kPayloadCheckMark[4] = {'T', 'P', 'C', '2'};
inline constexpr char kPayloadOnlyCheckMark[4] = {'T', 'P', 'C', '1'};

struct tpayloadcheck {
    char mark[4];
    std::uint32_t stubsize;
    std::uint32_t payloadlength;
    std::uint32_t crc32;
    std::uint32_t recordoffset;  // "TPC2" only; 0 in a "TPC1" record
};
static_assert(sizeof(tpayloadcheck) == 20);
static_assert(offsetof(tpayloadcheck, stubsize) == 4);
static_assert(offsetof(tpayloadcheck, payloadlength) == 8);
static_assert(offsetof(tpayloadcheck, crc32) == 12);
static_assert(offsetof(tpayloadcheck, recordoffset) == 16);
// A "TPC1" record: the fields before `recordoffset`.
inline constexpr std::size_t kPayloadOnlyCheckSize = offsetof(tpayloadcheck, recordoffset);

inline constexpr char16_t kDamagedInstaller[] =
    u"This installer is damaged: it was cut short or changed after it was built. Please obtain a new copy.";

// False unless `size` is the size of a record of the version its mark names.
bool ParsePayloadCheck(const void* data, std::size_t size, tpayloadcheck& check);

// True for a "TPC2" record (the whole file), false for a "TPC1" one.
bool CoversWholeFile(const tpayloadcheck& check);

// The CRC-32 of `length` bytes of `file` from `offset`; false when they
// cannot all be read.
bool FileCrc32(setuputil::FileAccess& file, std::int64_t offset, std::int64_t length, std::uint32_t& crc);

// The "TPC2" CRC-32 of the first `length` bytes of `file`, with its record
// at `recordoffset` (see above); false when they cannot all be read.
bool WholeFileCrc32(setuputil::FileAccess& file, std::int64_t length, std::uint32_t recordoffset, std::uint32_t& crc);

// False when the open installer differs from its record: it ends anywhere
// but at `stubsize` + `payloadlength` (payloadend.hpp; cut short or grown),
// the record is not at its `recordoffset` in the stub, or the bytes it
// covers have another CRC-32.  True for a file that ends where the stub
// does (the uninstaller copy).
bool PayloadIntact(setuputil::FileAccess& file, const tpayloadcheck& check);

}  // namespace payload
