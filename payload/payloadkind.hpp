// The payload kind: a resource the builder writes into the stub of an
// installer whose files travel as a solid payload (payload/solidformat.hpp)
// instead of the SAC archive (payload/sacformat.hpp).  The installer, and
// the tools that read installers, learn from it how to open the archive
// the trailer points to; nothing on the command line can change it.
//
// Resource RCDATA "PAYLOADKIND", 8 bytes, little-endian:
//   offset 0   4 bytes   the mark "TPK1"
//   offset 4   4 bytes   `kind`: 0 the SAC archive, 1 the solid payload
//
// A stub without the record carries a SAC archive: installers of the
// default kind are built without it, byte for byte as before the record
// existed.  A record that is present but malformed is a damaged installer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace payload {

enum class PayloadKind : std::uint32_t {
    Sac = 0,    // the SAC archive: each file in LZ chunks of its own
    Solid = 1,  // LZMA blocks over many files, a compact directory
};

inline constexpr char16_t kPayloadKindName[] = u"PAYLOADKIND";
inline constexpr char kPayloadKindMark[4] = {'T', 'P', 'K', '1'};

struct tkindrecord {
    char mark[4];
    std::uint32_t kind;
};
static_assert(sizeof(tkindrecord) == 8);
static_assert(offsetof(tkindrecord, kind) == 4);

// False unless `size` is the record's size, it starts with the mark and
// names a known kind.
bool ParseKindRecord(const void* data, std::size_t size, PayloadKind& kind);

// The record for `kind`.
tkindrecord MakeKindRecord(PayloadKind kind);

}  // namespace payload
