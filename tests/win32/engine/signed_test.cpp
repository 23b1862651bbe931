// An installer with a certificate table after its payload, as a signer
// leaves it: the engine installs from it, and the uninstaller it copies is
// the stub with the security directory entry cleared.  (The table here is
// filler: nothing in the installer checks a signature.  The real signer's
// output is covered by the end-to-end signing test.)
#include "installengine/tinstallengine.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/shellfolders.hpp"
#include "tests/unit/tempdir.hpp"
#include "tests/win32/engine/enginehost.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace enginetest;
using namespace setuputil;
using installengine::tinstallengine;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kProduct = "Tallowin Engine Signed";
const std::string kExe = "tlwengsigned.exe";
const std::string kAppKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + kExe;

std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The file offset of the security directory entry of a PE image: in the
// optional header after the signature and COFF header, data directory 4.
std::size_t SecurityEntryAt(const std::vector<std::uint8_t>& image) {
    const std::size_t optional = Get32(image, 0x3C) + 24;
    const bool plus = image[optional] == 0x0B && image[optional + 1] == 0x02;
    return optional + (plus ? 112 : 96) + 4 * 8;
}

// Runs the whole install of `installer` into `folder`; it must succeed.
void InstallInto(TestHost& host, const fs::path& installer, const std::u16string& folder) {
    tinstallengine engine(host, installer.u16string());
    ASSERT_TRUE(RunEngine(engine, host, folder)) << WideToAnsi(engine.ErrorText());
    ASSERT_EQ(host.finished, 1);
    ASSERT_FALSE(host.failedflag) << WideToAnsi(engine.ErrorText());
}

TEST(SignedInstaller, InstallsAndCopiesAnUnsignedUninstaller) {
    TempDir dir;
    sacwriter::InstallerInput input;
    input.stub = ReadBytes(ProgramFolder() / "testservice.exe");
    ASSERT_FALSE(input.stub.empty());
    const std::size_t entry = SecurityEntryAt(input.stub);
    ASSERT_EQ(Get32(input.stub, entry + 4), 0u) << "the test stub is signed already";
    input.licensetext = "Signed terms.\r\n";
    input.fields.productname = kProduct;
    input.fields.productversion = "3";
    input.fields.exename = kExe;
    input.fields.startmenufolder = u"\\Calderic\\Tallowin Engine Signed";
    sacwriter::ArchiveItem item;
    item.filename = u"a.txt";
    item.data = {'s', 'i', 'g', 'n', 'e', 'd'};
    input.items = {item};

    TestHost host;
    const fs::path installer = dir.path() / "setup-signed.exe";
    BuildInstaller(installer, input, host.trailer);
    std::vector<std::uint8_t> bytes = ReadBytes(installer);
    const std::size_t unsignedsize = bytes.size();
    Put32(bytes, entry, static_cast<std::uint32_t>(unsignedsize));
    Put32(bytes, entry + 4, 2048);
    bytes.resize(unsignedsize + 2048, 0x30);
    {
        std::ofstream out(installer, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    const std::u16string folder = dir.wide(u"Signed");
    ASSERT_NO_FATAL_FAILURE(InstallInto(host, installer, folder));
    EXPECT_EQ(ReadBytes(fs::path(folder + u"\\a.txt")), item.data);

    // The copy is the unsigned stub again, byte for byte; the installer's
    // own stub still names its table.
    const fs::path uninstaller(installengine::UninstallerPath(GetWindowsFolder(), kExe));
    EXPECT_EQ(ReadBytes(uninstaller), input.stub);
    EXPECT_EQ(Get32(bytes, entry), unsignedsize);

    TestHost cleanup;
    cleanup.trailer = host.trailer;
    cleanup.destfolder = folder;
    installengine::RunUninstallSequence(cleanup);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_FALSE(fs::exists(fs::path(folder)));
    EXPECT_FALSE(fs::exists(uninstaller));
}

// Built with a signing command, the installer carries its signed
// uninstaller as a marked entry: the install writes that as the product's
// uninstaller instead of copying the stub, and never into the program
// folder.  An entry of that name without the mark is an ordinary file.
TEST(SignedInstaller, WritesTheSignedUninstallerItCarries) {
    TempDir dir;
    sacwriter::InstallerInput input;
    input.stub = ReadBytes(ProgramFolder() / "testservice.exe");
    input.fields.productname = kProduct;
    input.fields.exename = kExe;
    input.fields.startmenufolder = u"\\Calderic\\Tallowin Engine Signed";
    sacwriter::ArchiveItem file;
    file.filename = u"a.txt";
    file.data = {'a'};
    sacwriter::ArchiveItem carried;
    carried.filename = u"uninstall.exe";
    carried.data.assign(70000, 'u');  // more than one chunk
    carried.data[69999] = 'z';
    carried.role = payload::kEntryRoleUninstaller;
    const fs::path uninstaller(installengine::UninstallerPath(GetWindowsFolder(), kExe));

    for (const bool marked : {true, false}) {
        carried.role = marked ? payload::kEntryRoleUninstaller : payload::kEntryRoleFile;
        input.items = {file, carried};
        TestHost host;
        const fs::path installer = dir.path() / "setup-carrying.exe";
        BuildInstaller(installer, input, host.trailer);
        const std::u16string folder = dir.wide(u"Carrying");
        ASSERT_NO_FATAL_FAILURE(InstallInto(host, installer, folder));
        EXPECT_EQ(ReadBytes(fs::path(folder + u"\\a.txt")), file.data);
        EXPECT_EQ(ReadBytes(uninstaller), marked ? carried.data : input.stub) << marked;
        EXPECT_EQ(fs::exists(fs::path(folder + u"\\uninstall.exe")), !marked);

        TestHost cleanup;
        cleanup.trailer = host.trailer;
        cleanup.destfolder = folder;
        installengine::RunUninstallSequence(cleanup);
        EXPECT_FALSE(fs::exists(fs::path(folder)));
        EXPECT_FALSE(fs::exists(uninstaller));
    }
}

}  // namespace
