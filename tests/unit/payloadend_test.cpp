// Signed installers: where the payload ends, the trailer and license read
// before a certificate table, the whole-file payload check around it, and
// the uninstaller copy's cleared entry.
// The PE headers here are built byte by byte, PE32 and PE32+, so that the
// offsets of the security directory are checked against the format rather
// than against the reader's own constants.
#include "payload/crc32.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/payloadend.hpp"
#include "payload/trailerreader.hpp"
#include "payload/trailerwriter.hpp"

#include "tests/unit/tempdir.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

using namespace payload;
using setuputil::FileAccess;
using testing_support::TempDir;

namespace {

constexpr std::size_t kPeAt = 0x80;
constexpr std::size_t kOptionalAt = kPeAt + 24;

void Put16(std::string& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
std::uint32_t Get32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

// The file offset of the security directory entry: data directory 4, after
// a 96-byte (PE32) or 112-byte (PE32+) start of the optional header.
std::size_t EntryAt(bool plus) { return kOptionalAt + (plus ? 112 : 96) + 4 * 8; }

// A stub of `size` bytes with a DOS header, "PE\0\0", a COFF header and an
// optional header of the standard size with 16 data directories, all zero.
std::string Stub(bool plus, std::size_t size = 4096) {
    std::string b(size, '\x90');
    std::memset(b.data(), 0, 0x400);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPeAt);
    std::memcpy(&b[kPeAt], "PE\0\0", 4);
    Put16(b, kPeAt + 4, plus ? 0x8664 : 0x14C);
    Put16(b, kPeAt + 4 + 16, plus ? 240 : 224);  // SizeOfOptionalHeader
    Put16(b, kOptionalAt, plus ? 0x20B : 0x10B);
    Put32(b, kOptionalAt + (plus ? 108 : 92), 16);  // NumberOfRvaAndSizes
    return b;
}

TrailerFields Fields() {
    TrailerFields f;
    f.productname = "Vantrell";
    f.productversion = "2.1";
    f.exename = "vantrell.exe";
    f.haslicense = true;
    return f;
}

// stub + archive stand-in + license + trailer: the unsigned installer.
std::string Installer(const std::string& stub, const std::string& license = "Terms.\r\n") {
    const std::string archive(700, 'A');
    TrailerFields f = Fields();
    f.archiveoffset = static_cast<std::int32_t>(stub.size());
    f.licenseoffset = static_cast<std::int32_t>(stub.size() + archive.size());
    tsetuptrailer t;
    std::string error;
    EXPECT_TRUE(BuildTrailer(f, t, error)) << error;
    return stub + archive + license + std::string(reinterpret_cast<const char*>(&t), sizeof t);
}

// What a signer does: pads the file with zeros to a multiple of 8 bytes,
// names a table there that ends the file, and appends it.
std::string Sign(std::string file, bool plus, std::size_t tablesize = 1544) {
    file.resize((file.size() + 7) / 8 * 8, '\0');
    Put32(file, EntryAt(plus), static_cast<std::uint32_t>(file.size()));
    Put32(file, EntryAt(plus) + 4, static_cast<std::uint32_t>(tablesize));
    return file + std::string(tablesize, '\x30');
}

class Files {
public:
    std::u16string Write(const std::string& bytes) {
        const auto path = dir_.path() / ("f" + std::to_string(++count_) + ".exe");
        std::ofstream(path, std::ios::binary) << bytes;
        return path.u16string();
    }
    std::int64_t End(const std::string& bytes) {
        FileAccess file;
        EXPECT_TRUE(OpenForRead(file, Write(bytes)));
        const std::int64_t end = PayloadEnd(file);
        CloseAccess(file);
        return end;
    }
    TrailerStatus Read(const std::string& bytes, tsetuptrailer& t, std::string& license) {
        FileAccess file;
        const TrailerStatus status = LoadSetupTrailer(Write(bytes), file, t, license);
        if (status == TrailerStatus::Ok) CloseAccess(file);
        return status;
    }

private:
    TempDir dir_;
    int count_ = 0;
};

}  // namespace

TEST(PayloadEnd, ASignedInstallerEndsWhereItsCertificateTableBegins) {
    Files files;
    // Every length modulo 8: no padding up to 7 zero bytes before the table.
    for (std::size_t extra = 0; extra < 8; ++extra)
    for (bool plus : {false, true}) {
        const std::string unsigned_ = Installer(Stub(plus), "Terms.\r\n" + std::string(extra, '.'));
        const std::size_t padding = (8 - unsigned_.size() % 8) % 8;
        EXPECT_EQ(files.End(unsigned_), static_cast<std::int64_t>(unsigned_.size())) << plus;
        const std::string signed_ = Sign(unsigned_, plus);
        EXPECT_EQ(files.End(signed_), static_cast<std::int64_t>(unsigned_.size())) << plus << padding;

        FileAccess file;
        ASSERT_TRUE(OpenForRead(file, files.Write(signed_)));
        tsecuritydirectory directory;
        ASSERT_TRUE(ReadSecurityDirectory(file, directory));
        CloseAccess(file);
        EXPECT_EQ(directory.entryoffset, static_cast<std::int64_t>(EntryAt(plus)));
        EXPECT_EQ(directory.tableoffset, unsigned_.size() + padding);
        EXPECT_EQ(directory.tablesize, 1544u);

        // Trailer and license come back exactly as from the unsigned file.
        tsetuptrailer a, b;
        std::string la, lb;
        ASSERT_EQ(files.Read(unsigned_, a, la), TrailerStatus::Ok);
        ASSERT_EQ(files.Read(signed_, b, lb), TrailerStatus::Ok) << plus;
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
        EXPECT_EQ(lb, la);
        EXPECT_EQ(lb.substr(0, 8), "Terms.\r\n");
        EXPECT_EQ(b.haslicense, 1);
    }
}

TEST(PayloadEnd, EverythingElseEndsAtTheEndOfTheFile) {
    Files files;
    const std::string installer = Installer(Stub(false));
    const auto size = [](const std::string& s) { return static_cast<std::int64_t>(s.size()); };
    tsetuptrailer t;
    std::string license;

    // Bytes appended after signing: the table no longer ends the file, so
    // the file reads as unsigned and its last bytes are no trailer.
    const std::string appended = Sign(installer, false) + "extra";
    EXPECT_EQ(files.End(appended), size(appended));
    EXPECT_EQ(files.Read(appended, t, license), TrailerStatus::NoMark);

    // A stub signed before the build: its table lies before archiveoffset,
    // and the payload after it is read as from any unsigned installer.
    const std::string signedstub = Sign(Stub(false, 16384), false, 512);
    const std::string built = Installer(signedstub);
    EXPECT_EQ(files.End(built), size(built));
    EXPECT_EQ(files.Read(built, t, license), TrailerStatus::Ok);
    // The same stub alone: nothing attached, whichever end is taken.
    EXPECT_EQ(files.Read(signedstub, t, license), TrailerStatus::NoMark);

    // A table that ends the file but does not begin past the archive offset
    // of the trailer before it: not a table after the payload.
    for (std::int32_t shift : {0, 1000}) {
        std::string early = Sign(installer, false);
        const std::size_t trailerAt = installer.size() - kTrailerSize;
        Put32(early, trailerAt + offsetof(tsetuptrailer, archiveoffset),
              Get32(early, EntryAt(false)) + static_cast<std::uint32_t>(shift));
        EXPECT_EQ(files.End(early), size(early)) << shift;
        std::string ok = early;
        Put32(ok, trailerAt + offsetof(tsetuptrailer, archiveoffset), static_cast<std::uint32_t>(installer.size() - 1));
        EXPECT_EQ(files.End(ok), size(installer));
    }

    // Not a PE file, or one whose header has no room or no count for entry
    // 4: the entry is not read and the file size stands.
    std::string notpe = Sign(installer, false);
    notpe[0] = 'X';
    EXPECT_EQ(files.End(notpe), size(notpe));
    std::string badsignature = Sign(installer, false);
    badsignature[kPeAt + 1] = 'X';
    EXPECT_EQ(files.End(badsignature), size(badsignature));
    std::string fewdirectories = Sign(installer, false);
    Put32(fewdirectories, kOptionalAt + 92, 4);
    EXPECT_EQ(files.End(fewdirectories), size(fewdirectories));
    std::string shortheader = Sign(installer, false);
    Put16(shortheader, kPeAt + 4 + 16, 96 + 4 * 8 + 7);
    EXPECT_EQ(files.End(shortheader), size(shortheader));
    std::string badmagic = Sign(installer, false);
    Put16(badmagic, kOptionalAt, 0x107);
    EXPECT_EQ(files.End(badmagic), size(badmagic));
    // A header pointer past the end of the file.
    std::string wild = Sign(installer, false);
    Put32(wild, 0x3C, 0x7FFFFFF0);
    EXPECT_EQ(files.End(wild), size(wild));

    // Files too small for a trailer before the table.
    const std::string tiny = Sign(Stub(false, 2048), false, 8);
    EXPECT_EQ(files.End(tiny), size(tiny));
    EXPECT_EQ(files.Read(tiny, t, license), TrailerStatus::CannotRead);
    EXPECT_EQ(files.End("MZ"), 2);
}

TEST(UninstallerCopy, ClearsTheEntryOfASignedInstallerInEveryBlockSplit) {
    for (bool plus : {false, true}) {
        const std::string stub = Stub(plus);
        const std::string installer = Sign(Installer(stub), plus);
        tsecuritydirectory directory;
        directory.entryoffset = static_cast<std::int64_t>(EntryAt(plus));
        directory.tableoffset = Get32(installer, EntryAt(plus));
        directory.tablesize = Get32(installer, EntryAt(plus) + 4);
        // Copied in blocks of every size from 1 to 11 bytes and whole: the
        // entry may fall into one block or be split across two or more.
        for (std::size_t blocksize : {1, 3, 5, 7, 8, 11, 4096}) {
            std::string copy;
            for (std::size_t at = 0; at < stub.size(); at += blocksize) {
                std::string block = installer.substr(at, std::min(blocksize, stub.size() - at));
                ClearSecurityEntryInCopy(directory, static_cast<std::int64_t>(stub.size()),
                                         static_cast<std::int64_t>(at), block.data(),
                                         static_cast<std::uint32_t>(block.size()));
                copy += block;
            }
            EXPECT_EQ(copy, stub) << "blocks of " << blocksize << (plus ? ", PE32+" : ", PE32");
        }
    }
}

TEST(UninstallerCopy, LeavesUnsignedStubsAndTablesInsideTheCopyAlone) {
    const std::string signedstub = Sign(Stub(false), false, 512);  // signed before the build
    tsecuritydirectory inside;
    inside.entryoffset = static_cast<std::int64_t>(EntryAt(false));
    inside.tableoffset = Get32(signedstub, EntryAt(false));
    inside.tablesize = 512;
    std::string block = signedstub;
    ClearSecurityEntryInCopy(inside, static_cast<std::int64_t>(signedstub.size()), 0, block.data(),
                             static_cast<std::uint32_t>(block.size()));
    EXPECT_EQ(block, signedstub) << "a copy that holds its whole table keeps its signature";

    // One byte short of the table: the copy would name bytes it lacks.
    ClearSecurityEntryInCopy(inside, static_cast<std::int64_t>(signedstub.size()) - 1, 0, block.data(),
                             static_cast<std::uint32_t>(block.size()));
    EXPECT_EQ(Get32(block, EntryAt(false)), 0u);
    EXPECT_EQ(Get32(block, EntryAt(false) + 4), 0u);
    EXPECT_EQ(block.substr(0, EntryAt(false)), signedstub.substr(0, EntryAt(false)));
    EXPECT_EQ(block.substr(EntryAt(false) + 8), signedstub.substr(EntryAt(false) + 8));

    const std::string plain = Stub(true);
    tsecuritydirectory none;  // no entry read
    std::string copy = plain;
    ClearSecurityEntryInCopy(none, static_cast<std::int64_t>(plain.size()), 0, copy.data(),
                             static_cast<std::uint32_t>(copy.size()));
    EXPECT_EQ(copy, plain);
}

// The builder's "TPC2" record covers the stub's bytes as well as the
// payload, and survives signing: the header checksum, the security entry
// and the certificate table are what a signer writes, left out with the
// record itself.  A "TPC1" record from an older builder still covers the
// payload alone.
TEST(PayloadCheck, TheWholeFileRecordCoversTheStubAndSurvivesSigning) {
    Files files;
    constexpr std::size_t kRecordAt = 0x408;
    for (bool plus : {false, true}) {
        std::string installer = Installer(Stub(plus));
        const std::size_t stubsize = 4096;
        tpayloadcheck check{};
        std::memcpy(check.mark, kPayloadCheckMark, sizeof check.mark);
        check.stubsize = stubsize;
        check.payloadlength = static_cast<std::uint32_t>(installer.size() - stubsize);
        check.recordoffset = kRecordAt;
        {
            // The CRC-32 of the file with the record's bytes read as zero
            // (the header checksum and the security entry are zero here).
            std::string covered = installer;
            std::memset(&covered[kRecordAt], 0, sizeof check);
            check.crc32 = Crc32(0, covered.data(), covered.size());
        }
        std::memcpy(&installer[kRecordAt], &check, sizeof check);
        const auto intact = [&](const std::string& bytes, const tpayloadcheck& record) {
            FileAccess file;
            EXPECT_TRUE(OpenForRead(file, files.Write(bytes)));
            const bool ok = PayloadIntact(file, record);
            CloseAccess(file);
            return ok;
        };
        EXPECT_TRUE(intact(installer, check)) << plus;
        std::string signed_ = Sign(installer, plus);
        Put32(signed_, kOptionalAt + 64, 0x00012345);  // the signer's header checksum
        EXPECT_TRUE(intact(signed_, check)) << plus;

        for (std::size_t at : {std::size_t{0x600}, kOptionalAt + 60, kOptionalAt + 68, EntryAt(plus) + 8}) {
            std::string changed = signed_;
            changed[at] ^= 0x08;
            EXPECT_FALSE(intact(changed, check)) << plus << " byte " << at;
        }
        tpayloadcheck moved = check;
        moved.recordoffset = kRecordAt + 8;  // the bytes there are not the record
        EXPECT_FALSE(intact(installer, moved)) << plus;
        moved.recordoffset = stubsize - 4;   // the record would reach into the payload
        EXPECT_FALSE(intact(installer, moved)) << plus;

        // An older builder's record: the payload alone, a changed stub passes.
        tpayloadcheck old{};
        std::memcpy(old.mark, kPayloadOnlyCheckMark, sizeof old.mark);
        old.stubsize = stubsize;
        old.payloadlength = check.payloadlength;
        old.crc32 = Crc32(0, installer.data() + stubsize, check.payloadlength);
        tpayloadcheck parsed{};
        ASSERT_TRUE(ParsePayloadCheck(&old, kPayloadOnlyCheckSize, parsed));
        EXPECT_FALSE(CoversWholeFile(parsed));
        std::string changed = installer;
        changed[0x600] ^= 0x08;
        EXPECT_TRUE(intact(changed, parsed)) << plus;
        changed[stubsize + 10] ^= 0x08;
        EXPECT_FALSE(intact(changed, parsed)) << plus;
    }
}
