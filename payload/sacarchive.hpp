// The archive state: an open SAC archive inside an installer file, and the
// extraction of its entries.
//
// One object per run, owned by whoever extracts (the installer's worker, the
// host tool).  It holds the installer file open for reading, copies of the
// header and footer, the directory (`entrylist()`, one entry per record, in
// file order, the names read out of their fields), the LZ decoder and two
// transfer buffers allocated once.
//
//   tsacarchive archive;
//   if (!archive.OpenArchive(installerpath, trailer.archiveoffset,
//                            trailer.licenseoffset)) fail(archive.errortext());
//   archive.SetInstallFolder(destination);
//   for (i ...) if (!archive.ExtractEntry(i, &observer)) fail(archive.errortext());
//
// OpenArchive checks more than the bare format needs, so that a payload
// that does not fit its trailer is refused before anything is extracted:
// both "SAC1" marks, the header and footer inside the span the trailer
// gives, and every directory record inside it too.  Entries are only
// allocated once that span proves their records exist, and the records are
// read through a transfer buffer, a few at a time.  An enciphered archive
// is refused: this system has no key for it.
//
// ExtractEntry writes one entry to the install folder + its `subfolder` +
// `filename`, replacing an existing file, through the steps of
// payload/extractsteps.hpp: it refuses an entry whose names would leave the
// installation folder, and every entry when the folder is empty or
// relative; chunks are checked before they are read (mark, bit count
// within one buffer) and the decoded total must equal `filesize`.  Every
// outcome leaves its text in `errortext()`; "Extracted" on success.  A file
// that fails part-way stays as far as it was written.
//
// With `ExtractTarget::Verify` the same steps run without creating folders
// or files: every chunk is read, decoded and counted.
//
// The solid payload (PayloadKind::Solid, payload/solidformat.hpp) is opened
// and extracted through the same calls (payload/solidarchive.cpp): its
// directory is checked whole before anything is allocated for it (a
// directory out of rule is "This installer is damaged"), and an entry is
// read from its block's decoded stream, continuing where the last entry
// ended or starting the block again when asked for an earlier one.  Its
// bytes go out in pieces of up to 64 KiB through the same EntryOutput
// (progress after each piece but the last, the stop request read between
// pieces), and its CRC-32 must match before it counts as written ("File
// corrupt").
#pragma once

#include "payload/extractionobserver.hpp"
#include "payload/extractsteps.hpp"
#include "payload/payloadkind.hpp"
#include "payload/sacentry.hpp"
#include "payload/sacformat.hpp"
#include "payload/solidformat.hpp"
#include "setuputil/fileaccess.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace payload {

class tsmufflz;
class SolidStream;

class tsacarchive {
public:
    tsacarchive();
    ~tsacarchive();
    tsacarchive(const tsacarchive&) = delete;
    tsacarchive& operator=(const tsacarchive&) = delete;

    // Opens `installerpath` and reads header, footer and directory.  The
    // archive starts at `archiveoffset` and its footer ends at
    // `licenseoffset` (both from the setup trailer).  False with a reason
    // in `errortext()`; the archive must then not be extracted from.
    // `kind` is the installer's own (payload/payloadkind.hpp).
    bool OpenArchive(const std::u16string& installerpath, std::int64_t archiveoffset, std::int64_t licenseoffset,
                     PayloadKind kind = PayloadKind::Sac);

    // Extracts entrylist()[index].  `observer` may be null.
    bool ExtractEntry(std::size_t index, ExtractionObserver* observer, ExtractTarget target = ExtractTarget::Write);

    // Extracts entrylist()[index] as `folder` + "\" + `filename` instead of
    // under the install folder: the signed uninstaller (entry.uninstaller)
    // to a temporary name.  The same steps and checks as ExtractEntry.
    bool ExtractEntryAs(std::size_t index, const std::u16string& folder, const std::u16string& filename);

    // Copies the installer's first `size` bytes (its stub) to `output`
    // through a transfer buffer, with a signer's certificate entry cleared
    // in the copy (payload/payloadend.hpp).  False when a read comes back
    // short or a write fails: the copy then ends there.
    bool CopyStub(setuputil::FileAccess& output, std::int64_t size);

    // Closes the installer file (also done by the destructor).
    void CloseArchive();

    // Open: the directory is read and the buffers are there.
    bool IsOpen() const { return archiveopen_; }
    const tsacheader& header() const { return header_; }
    PayloadKind kind() const { return kind_; }
    // The solid payload's blocks (empty for a SAC archive).
    const std::vector<SolidBlock>& blocks() const { return blocks_; }
    // The directory, in file order; replaced by the next OpenArchive.
    const std::vector<DirectoryEntry>& entrylist() const { return entrylist_; }
    bool HasDecoder() const { return decoder_ != nullptr; }
    // The two transfer buffers (kTransferBufferSize bytes each, null before
    // OpenArchive), for the owner's block work between extractions, so that
    // it needs no buffers of its own.
    std::uint8_t* inbuffer() { return inbuffer_.get(); }
    std::uint8_t* outbuffer() { return outbuffer_.get(); }
    // The destination root; may end in a backslash.
    void SetInstallFolder(const std::u16string& folder) { installfolder_ = folder; }
    const std::u16string& installfolder() const { return installfolder_; }
    // The last outcome's text.
    const std::u16string& errortext() const { return errortext_; }
    // The last progress ExtractEntry reported (0..90).
    int progress() const { return progress_; }
    // The installer file's chunks, for callers that compose the extraction
    // steps themselves (the host tools' parallel extraction).
    ChunkReader& Chunks() { return reader_; }

private:
    bool FailOpen(const std::u16string& text);
    bool Extract(const DirectoryEntry& entry, const std::u16string& folder, ExtractionObserver* observer,
                 ExtractTarget target);
    bool OpenSolid();
    bool ExtractSolid(const DirectoryEntry& entry, const std::u16string& folder, ExtractionObserver* observer,
                      ExtractTarget target);
    // The solid stream at `entry`'s first byte: its block started again when
    // it is another block or already past the entry.
    bool SeekSolid(const DirectoryEntry& entry, ExtractionObserver* observer);
    bool FailSolid(const std::u16string& text, bool endsrun, ExtractionObserver* observer);
    // The blocks after `block` that are still to be read start decoding
    // on streams of their own, as many as the processors allow.
    void StartAhead(std::uint32_t block);

    setuputil::FileAccess archivefile_;
    tsacheader header_{};
    tsacfooter footer_{};
    std::vector<DirectoryEntry> entrylist_;
    std::unique_ptr<tsmufflz> decoder_;        // made when `compressed` is 1, else on first need
    std::unique_ptr<std::uint8_t[]> inbuffer_;   // kTransferBufferSize bytes each
    std::unique_ptr<std::uint8_t[]> outbuffer_;
    tchunkheader chunk_{};                     // the chunk being processed
    ChunkReader reader_;
    EntryOutput output_;
    std::u16string installfolder_;
    std::u16string errortext_;
    int progress_ = 0;
    std::int64_t archiveoffset_ = 0;
    std::int64_t licenseoffset_ = 0;
    bool archiveopen_ = false;
    PayloadKind kind_ = PayloadKind::Sac;
    std::vector<SolidBlock> blocks_;
    std::unique_ptr<SolidStream> solid_;               // the block being read
    std::vector<std::unique_ptr<SolidStream>> ahead_;  // blocks decoded ahead of it
    std::uint32_t begunupto_ = 0;                      // blocks below this were begun once
    std::u16string installerpath_;
};

}  // namespace payload
