// Where the payload ends in an installer file, signed or not.
//
// The payload (archive, license text, trailer) is appended to the stub, so
// the trailer is normally the file's last 11,384 bytes.  Signing the built
// installer (signtool, osslsigncode, any Authenticode signer) appends a PE
// certificate table after it and names the table in the security data
// directory of the PE optional header: entry 4 of the data directories, a
// file offset and a size (not an RVA), at the same place in PE32 and PE32+
// headers relative to their directory table.
//
// The rule: when the file's own PE header names a certificate table that
// ends exactly at the end of the file, and the table begins past the
// `archiveoffset` of the trailer just before it, the payload ends where the
// table begins -- less the zero bytes (at most 7) that signers put before
// the table to start it on an 8-byte boundary, which is where that
// trailer, found by its mark, ends.  In every other case -- not a PE file, no
// table, a table that does not end at the end of the file (bytes appended
// after signing), a table inside the stub (a stub signed before the build)
// -- the payload ends at the end of the file, exactly as for an unsigned
// installer.
#pragma once

#include "setuputil/fileaccess.hpp"

#include <cstdint>

namespace payload {

// The security data directory entry of a PE file, and the other header
// field a signer rewrites: the header checksum.
struct tsecuritydirectory {
    std::int64_t checksumoffset = -1;  // file offset of the 4-byte header checksum; -1 when not a PE image
    std::int64_t entryoffset = -1;  // file offset of the 8-byte entry; -1 when the header has none
    std::uint32_t tableoffset = 0;  // file offset of the certificate table
    std::uint32_t tablesize = 0;    // its size in bytes; 0: no table
};

// Reads the entry from the PE header at the start of the open file.  False
// when the file is not a PE image or its optional header is too short to
// hold the entry (`checksumoffset` is still set when the header holds that).
bool ReadSecurityDirectory(setuputil::FileAccess& file, tsecuritydirectory& directory);

// The offset at which the payload ends (see above); the file size when the
// file is not signed.  -1 when the size cannot be queried.
std::int64_t PayloadEnd(setuputil::FileAccess& file);

// The uninstaller is the first `copysize` bytes of the installer.  When the
// installer's entry names a certificate table that does not lie wholly in
// those bytes, the copy gets the entry written as zero, so that it is a
// well-formed unsigned program rather than one naming a table past its end.
// Applies that to one block of the copy: `block` holds `count` bytes read
// at file offset `position`.  Blocks that do not touch the entry, and
// copies whose entry names nothing past their end, stay as they are.
void ClearSecurityEntryInCopy(const tsecuritydirectory& directory, std::int64_t copysize, std::int64_t position,
                              void* block, std::uint32_t count);

}  // namespace payload
