// The archive state: an open SAC archive inside an installer file, and the
// extraction of its entries.
//
// One object per run, owned by whoever extracts (the installer's worker, the
// host tool).  It holds the installer file open for reading, copies of the
// header and footer, the directory (`entrylist`, one record per entry, in
// file order), the LZ decoder and two transfer buffers allocated once.
//
//   tsacarchive archive;
//   if (!archive.OpenArchive(installerpath, trailer.archiveoffset,
//                            trailer.licenseoffset)) fail(archive.errortext);
//   archive.installfolder = destination;
//   for (i ...) if (!archive.ExtractEntry(i, &observer)) fail(archive.errortext);
//
// OpenArchive checks more than the bare format needs, so that a payload
// that does not fit its trailer is refused before anything is extracted:
// both "SAC1" marks, the header and footer inside the span the trailer
// gives, and every directory record inside it too.  Records are only
// allocated once that span proves they exist.  An enciphered archive is
// refused: this system has no key for it.
//
// ExtractEntry writes one entry to `installfolder` + its `subfolder` +
// `filename`, replacing an existing file.  Before creating anything it
// refuses an entry whose names would leave the installation folder
// (payload/entrypath.hpp) and, with an empty or relative `installfolder`
// (setuputil::IsAbsoluteFolder), every entry: an archive's absolute
// `fixedfolder` is never trusted.  Chunks are
// checked before they are read (mark, bit count within one buffer) and the
// decoded total must equal `filesize`.  Every outcome leaves its text in
// `errortext`; "Extracted" on success.  A file that fails part-way stays as
// far as it was written.
//
// With `ExtractTarget::Verify` the same steps run without creating folders
// or files: every chunk is read, decoded and counted.
#pragma once

#include "payload/extractionobserver.hpp"
#include "payload/sacformat.hpp"
#include "setuputil/fileaccess.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace payload {

class tsmufflz;

enum class ExtractTarget { Write, Verify };

class tsacarchive {
public:
    tsacarchive();
    ~tsacarchive();
    tsacarchive(const tsacarchive&) = delete;
    tsacarchive& operator=(const tsacarchive&) = delete;

    // Opens `installerpath` and reads header, footer and directory.  The
    // archive starts at `archiveoffset` and its footer ends at
    // `licenseoffset` (both from the setup trailer).  False with a reason
    // in `errortext`; the archive must then not be extracted from.
    bool OpenArchive(const std::u16string& installerpath, std::int64_t archiveoffset, std::int64_t licenseoffset);

    // Extracts entrylist[index].  `observer` may be null.
    bool ExtractEntry(std::size_t index, ExtractionObserver* observer, ExtractTarget target = ExtractTarget::Write);

    // Closes the installer file (also done by the destructor).
    void CloseArchive();

    bool IsOpen() const { return archiveopen; }

    setuputil::FileAccess archivefile;
    tsacheader header{};
    tsacfooter footer{};
    std::vector<std::unique_ptr<tsacentry>> entrylist;
    std::unique_ptr<tsmufflz> decoder;       // made when `compressed` is 1, else on first need
    std::unique_ptr<std::uint8_t[]> inbuffer;   // kTransferBufferSize bytes each
    std::unique_ptr<std::uint8_t[]> outbuffer;
    tchunkheader chunk{};                    // the chunk being processed
    std::u16string installfolder;            // destination root; may end in a backslash
    std::u16string errortext;
    int progress = 0;
    std::int64_t archiveoffset = 0;
    std::int64_t licenseoffset = 0;
    bool archiveopen = false;

private:
    bool FailOpen(const std::u16string& text);
};

// The checks ExtractEntry makes of an entry before it creates anything:
// empty when the entry may go under `installfolder`, else the errortext.
std::u16string EntryRefusal(const tsacentry& entry, const std::u16string& installfolder);
// The folder the entry's file goes to, ending in a backslash.
std::u16string EntryFolder(const tsacentry& entry, const std::u16string& installfolder);
// A chunk header that may be read on: its mark, and a payload that fits a
// transfer buffer (a larger one is refused unread).
bool ChunkHeaderFits(const tchunkheader& chunk);
// The share of the payload read so far, 0..90, from the installer file's
// position; false (and `progress` untouched) when the position says nothing.
bool PayloadProgress(setuputil::FileAccess& archivefile, std::int64_t archiveoffset, int& progress);

// Texts extraction leaves in `errortext`.
inline constexpr char16_t kTextExtracted[] = u"Extracted";
inline constexpr char16_t kTextNoFolder[] = u"Unable to create destination directory for file!";
inline constexpr char16_t kTextCannotCreatePrefix[] = u"Unable to create file (";
inline constexpr char16_t kTextCannotSeek[] = u"Could not read from SAC file. Perhaps another file is writing to it?";
inline constexpr char16_t kTextShortRead[] = u"Could not read from SAC file.  Perhaps another file is writing to it.";
inline constexpr char16_t kTextCorrupt[] = u"File corrupt";
inline constexpr char16_t kTextWriteFailed[] = u"Error writing to file.  File may be in use by another program.";

}  // namespace payload
