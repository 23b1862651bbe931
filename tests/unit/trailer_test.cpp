#include "payload/trailerreader.hpp"
#include "payload/trailerwriter.hpp"

#include "tests/unit/tempdir.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace payload;
using setuputil::FileAccess;
using testing_support::TempDir;

namespace {

TrailerFields SampleFields() {
    TrailerFields f;
    f.productname = "Vantrell";
    f.productversion = "2.1";
    f.exename = "vantrell.exe";
    f.startmenufolder = u"\\Calderic\\Vantrell";
    f.defaultsubfolder = u"\\Vantrell";
    f.appdatafolder = "Vantrell";
    f.services = {{"svc.exe", "VantrellService"}};
    f.shortcuts = {{"help.chm", "Help"}, {"vantrell.exe-/safe", "Safe mode"}};
    return f;
}

// stub bytes, then `middle`, then the trailer; answers the file's path.
std::u16string WriteInstaller(const TempDir& dir, const std::string& stub, const std::string& middle,
                              const tsetuptrailer& trailer) {
    std::ofstream out(dir.path() / "setup.exe", std::ios::binary);
    out << stub << middle;
    out.write(reinterpret_cast<const char*>(&trailer), sizeof trailer);
    return dir.wide(u"setup.exe");
}

TrailerStatus Load(const std::u16string& path, tsetuptrailer& trailer, std::string& license) {
    FileAccess file;
    const TrailerStatus status = LoadSetupTrailer(path, file, trailer, license);
    if (status == TrailerStatus::Ok) CloseAccess(file);
    return status;
}

}  // namespace

TEST(TrailerLayout, WriterPutsEveryFieldAtItsOffset) {
    tsetuptrailer t;
    std::string error;
    TrailerFields f = SampleFields();
    f.archiveoffset = 0x12345;
    f.licenseoffset = 0x23456;
    f.haslicense = true;
    ASSERT_TRUE(BuildTrailer(f, t, error)) << error;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&t);
    EXPECT_EQ(bytes[0], 21);
    EXPECT_EQ(std::memcmp(bytes + 1, "Install Files Present", 21), 0);
    EXPECT_EQ(bytes[28], 0x45);
    EXPECT_EQ(bytes[29], 0x23);
    EXPECT_EQ(bytes[32], '\\');
    EXPECT_EQ(bytes[34], 'C');
    EXPECT_EQ(bytes[2080], 12);
    EXPECT_EQ(std::memcmp(bytes + 2081, "vantrell.exe", 12), 0);
    EXPECT_EQ(bytes[2336], 3);
    EXPECT_EQ(bytes[2402], 8);
    EXPECT_EQ(bytes[2660], '\\');
    EXPECT_EQ(bytes[4708], 8);
    EXPECT_EQ(bytes[4964], 7);
    EXPECT_EQ(bytes[6244], 15);
    EXPECT_EQ(bytes[7524], 8);
    EXPECT_EQ(bytes[7524 + 256], 18);
    EXPECT_EQ(bytes[9060 + 256], 9);
    EXPECT_EQ(bytes[10596], 1);
    EXPECT_EQ(bytes[10600], 0x56);
    for (std::size_t i = 10604; i < kTrailerSize; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST(TrailerLayout, WriterRefusesWhatTheRecordCannotHoldNamingTheField) {
    tsetuptrailer t;
    std::string error;
    TrailerFields f = SampleFields();
    f.productversion = std::string(65, 'v');
    EXPECT_FALSE(BuildTrailer(f, t, error));
    EXPECT_NE(error.find("productversion"), std::string::npos);

    f = SampleFields();
    f.productversion = std::string(64, 'v');
    f.productname = std::string(255, 'n');
    EXPECT_TRUE(BuildTrailer(f, t, error)) << error;
    EXPECT_EQ(ReadShortString(t.productversion), std::string(64, 'v'));
    EXPECT_EQ(ReadShortString(t.productname), std::string(255, 'n'));

    f = SampleFields();
    f.services.assign(6, {"a.exe", "A"});
    EXPECT_FALSE(BuildTrailer(f, t, error));
    EXPECT_NE(error.find("services"), std::string::npos);

    f = SampleFields();
    f.shortcuts.assign(6, {"a.exe", "A"});
    EXPECT_TRUE(BuildTrailer(f, t, error)) << error;
    f.shortcuts.push_back({"b.exe", "B"});
    EXPECT_FALSE(BuildTrailer(f, t, error));

    f = SampleFields();
    f.shortcuts[1].caption = "";
    EXPECT_FALSE(BuildTrailer(f, t, error));
    EXPECT_NE(error.find("shortcuts[1].caption"), std::string::npos);

    f = SampleFields();
    f.startmenufolder = std::u16string(1025, u'x');
    EXPECT_FALSE(BuildTrailer(f, t, error));
    EXPECT_NE(error.find("startmenufolder"), std::string::npos);
    f.startmenufolder = std::u16string(1024, u'x');
    EXPECT_TRUE(BuildTrailer(f, t, error));
    EXPECT_EQ(ReadWideField(t.startmenufolder), std::u16string(1024, u'x'));
}

TEST(TrailerFields, ReadersStopAtTheLengthByteAndTheFirstZeroUnit) {
    tsetuptrailer t{};
    t.productversion.length = 2;
    std::memcpy(t.productversion.text, "1.5garbage", 10);
    EXPECT_EQ(ReadShortString(t.productversion), "1.");
    t.defaultsubfolder[0] = u'\\';
    t.defaultsubfolder[1] = u'A';
    t.defaultsubfolder[2] = 0;
    t.defaultsubfolder[3] = u'Z';
    EXPECT_EQ(ReadWideField(t.defaultsubfolder), u"\\A");
}

TEST(TrailerReader, ReadsTrailerAndLicenseAndKeepsTheFileOpen) {
    TempDir dir;
    const std::string stub(3000, 'S');
    const std::string archive(500, 'A');
    const std::string license = "License line 1\r\nLine 2\r\n";
    TrailerFields f = SampleFields();
    f.archiveoffset = static_cast<std::int32_t>(stub.size());
    f.licenseoffset = static_cast<std::int32_t>(stub.size() + archive.size());
    f.haslicense = true;
    tsetuptrailer written;
    std::string error;
    ASSERT_TRUE(BuildTrailer(f, written, error));
    const std::u16string path = WriteInstaller(dir, stub, archive + license, written);

    FileAccess file;
    tsetuptrailer t;
    std::string text;
    ASSERT_EQ(LoadSetupTrailer(path, file, t, text), TrailerStatus::Ok);
    EXPECT_EQ(std::memcmp(&t, &written, sizeof t), 0);
    EXPECT_EQ(text, license);
    char probe[4];
    std::uint32_t count = 4;
    EXPECT_EQ(ReadBlockAt(file, probe, count, 0), 4u);  // still open for the caller
    CloseAccess(file);
}

TEST(TrailerReader, LicenseIsCutAtAZeroByteAndMayBeEmpty) {
    TempDir dir;
    TrailerFields f = SampleFields();
    f.haslicense = true;
    f.licenseoffset = 10;
    tsetuptrailer written, t;
    std::string error, text;
    ASSERT_TRUE(BuildTrailer(f, written, error));
    WriteInstaller(dir, std::string(10, 'S'), std::string("abc\0def", 7), written);
    ASSERT_EQ(Load(dir.wide(u"setup.exe"), t, text), TrailerStatus::Ok);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(t.haslicense, 1);

    f.licenseoffset = 10;  // license offset at the trailer itself: L = 0
    ASSERT_TRUE(BuildTrailer(f, written, error));
    WriteInstaller(dir, std::string(10, 'S'), "", written);
    ASSERT_EQ(Load(dir.wide(u"setup.exe"), t, text), TrailerStatus::Ok);
    EXPECT_EQ(text, "");
    EXPECT_EQ(t.haslicense, 1);
}

TEST(TrailerReader, ImpossibleLicenseSpansClearHasLicense) {
    TempDir dir;
    for (std::int32_t offset : {-1, -100000, 200, 1 << 30}) {
        TrailerFields f = SampleFields();
        f.haslicense = true;
        f.licenseoffset = offset;  // before the file, past the trailer, beyond the end
        tsetuptrailer written, t;
        std::string error, text = "stale";
        ASSERT_TRUE(BuildTrailer(f, written, error));
        WriteInstaller(dir, std::string(100, 'S'), "", written);
        ASSERT_EQ(Load(dir.wide(u"setup.exe"), t, text), TrailerStatus::Ok) << offset;
        EXPECT_EQ(t.haslicense, 0) << offset;
        EXPECT_EQ(text, "") << offset;
    }
}

TEST(TrailerReader, NoLicenseIsReadWhenHasLicenseIsZero) {
    TempDir dir;
    TrailerFields f = SampleFields();
    f.licenseoffset = -5;
    tsetuptrailer written, t;
    std::string error, text;
    ASSERT_TRUE(BuildTrailer(f, written, error));
    WriteInstaller(dir, "stub", "ignored", written);
    ASSERT_EQ(Load(dir.wide(u"setup.exe"), t, text), TrailerStatus::Ok);
    EXPECT_EQ(text, "");
}

TEST(TrailerReader, StartUpFailuresCarryTheirMessages) {
    TempDir dir;
    tsetuptrailer t;
    std::string text;
    const std::u16string missing = dir.wide(u"nowhere.exe");
    EXPECT_EQ(Load(missing, t, text), TrailerStatus::CannotOpen);
    EXPECT_EQ(TrailerStatusText(TrailerStatus::CannotOpen, missing), u"Unable to find Setup Files in " + missing);

    std::ofstream(dir.path() / "short.exe", std::ios::binary) << std::string(kTrailerSize - 1, 'x');
    EXPECT_EQ(Load(dir.wide(u"short.exe"), t, text), TrailerStatus::CannotRead);
    EXPECT_EQ(TrailerStatusText(TrailerStatus::CannotRead, u""), u"Unable to read from setup file!");

    std::ofstream(dir.path() / "stub.exe", std::ios::binary) << std::string(50000, 'M');
    EXPECT_EQ(Load(dir.wide(u"stub.exe"), t, text), TrailerStatus::NoMark);
    EXPECT_EQ(TrailerStatusText(TrailerStatus::NoMark, u""), u"No install files attached!");
}

TEST(TrailerReader, MarkMustMatchIncludingItsLengthByte) {
    TempDir dir;
    tsetuptrailer written, t;
    std::string error, text;
    ASSERT_TRUE(BuildTrailer(SampleFields(), written, error));

    tsetuptrailer longer = written;
    longer.filesmark.length = 22;
    longer.filesmark.text[21] = '!';
    WriteInstaller(dir, "", "", longer);
    EXPECT_EQ(Load(dir.wide(u"setup.exe"), t, text), TrailerStatus::NoMark);

    tsetuptrailer changed = written;
    changed.filesmark.text[0] = 'i';
    WriteInstaller(dir, "", "", changed);
    EXPECT_EQ(Load(dir.wide(u"setup.exe"), t, text), TrailerStatus::NoMark);

    tsetuptrailer tail = written;  // bytes 22 and 23 of the mark are not compared
    tail.filesmark.text[21] = 'x';
    tail.filesmark.text[22] = 'y';
    WriteInstaller(dir, "", "", tail);
    EXPECT_EQ(Load(dir.wide(u"setup.exe"), t, text), TrailerStatus::Ok);
}
