// What an install runs besides its own work, under Wine with a stand-in
// program (tests/win32/openmarker.cpp): a prerequisite run once from a
// temporary folder and skipped the next time by its registry check, one
// that fails and ends the install before any file of the product, and the
// vendor's afterinstall, afterupdate and beforeuninstall programs in their
// order; a failed beforeuninstall program asks, or unattended is logged.
#include "installengine/installrecordfile.hpp"
#include "installengine/registration.hpp"
#include "installengine/tinstallengine.hpp"
#include "payload/declarations.hpp"
#include "payload/sacformat.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/shellfolders.hpp"
#include "tests/unit/tempdir.hpp"
#include "tests/win32/engine/enginehost.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace enginetest;
using namespace setuputil;
using installengine::tinstallengine;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kProduct = "Tallowin Engine Prereq";
const std::string kExe = "tlwengprereq.exe";
const std::string kUninstallKey = "software\\microsoft\\windows\\currentversion\\uninstall\\" + kProduct;
const std::string kCheckKey = "Software\\Tallowin Engine Prereq Runtime";

class Engine : public tinstallengine {
public:
    using tinstallengine::tinstallengine;
    ~Engine() override { WaitFor(60000); }
};

void Forget() {
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + kExe).c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kCheckKey.c_str());
    std::error_code ignored;
    fs::remove(fs::path(installengine::UninstallerPath(GetWindowsFolder(), kExe)), ignored);
    fs::remove(fs::path(GetDesktopFolder()) / (kProduct + ".lnk"), ignored);
    fs::remove(fs::path(GetStartMenuFolder()) / (kProduct + ".lnk"), ignored);
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The folders the install makes for its prerequisites: "tallowin-" and eight hex digits.
int PrivateTempFolders() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 17 && name.compare(0, 9, "tallowin-") == 0 && name.find_first_not_of("0123456789abcdef", 9) == std::string::npos)
            ++count;
    }
    return count;
}

std::u16string BuildSetup(const fs::path& file, TestHost& host, bool withprerequisite) {
    sacwriter::InstallerInput input;
    input.stub = ReadBytes(ProgramFolder() / "testservice.exe");
    input.fields.productname = kProduct;
    input.fields.productversion = "1.0";
    input.fields.exename = kExe;
    sacwriter::ArchiveItem exe;
    exe.filename = AnsiToWide(kExe);
    exe.data = {'p'};
    input.items.push_back(exe);
    sacwriter::ArchiveItem program;
    program.filename = u"marker.exe";
    program.subfolder = u"\\bin";
    program.data = ReadBytes(ProgramFolder() / "openmarker.exe");
    input.items.push_back(program);
    if (withprerequisite) {
        sacwriter::ArchiveItem standin = program;
        standin.filename = u"standin.exe";
        standin.subfolder = std::u16string(u"\\") + payload::kPrerequisiteFolder;
        standin.role = payload::kEntryRolePrerequisite;
        input.items.push_back(standin);
    }
    BuildInstaller(file, input, host.trailer);
    return file.u16string();
}

payload::PrerequisiteDeclaration StandIn(const fs::path& marker, const std::string& more) {
    payload::PrerequisiteDeclaration p;
    p.file = u"standin.exe";
    p.caption = u"Stand-in Runtime";
    p.arguments = u"--marker \"" + marker.u16string() + u"\" --tag prerequisite " + AnsiToWide(more);
    p.successcodes = {0, payload::kExitCodeRestartNeeded, payload::kExitCodeNewerInstalled};
    return p;
}

// The stand-in program as the vendor's own, run `when` with `arguments`.
payload::RunDeclaration MarkerRun(payload::RunWhen when, const std::u16string& arguments) {
    payload::RunDeclaration run;
    run.when = when;
    run.program = u"bin\\marker.exe";
    run.arguments = arguments;
    run.successcodes = {0};
    return run;
}

// What one install of `setup` with `declared` into `folder` left to look at.
struct Outcome {
    bool ended = false;  // the engine ran and ended in time
    bool restart = false;
    bool beganwriting = false;
    std::string error;
};
Outcome Install(TestHost& host, const std::u16string& setup, const payload::Declarations& declared,
                const fs::path& folder) {
    Engine engine(host, setup);
    engine.SetDeclarations(declared);
    Outcome out;
    out.ended = RunEngine(engine, host, folder.u16string());
    out.restart = engine.RestartNeeded();
    out.beganwriting = engine.BeganWriting();
    out.error = WideToAnsi(engine.ErrorText());
    return out;
}

bool Logged(const TestHost& host, const std::u16string& part) {
    for (const std::u16string& line : host.log)
        if (line.find(part) != std::u16string::npos) return true;
    return false;
}

}  // namespace

TEST(Prerequisites, RunOnceFromATemporaryFolderAskForARestartAndAreSkippedOnceTheirCheckFindsThem) {
    Forget();
    TempDir dir;
    const fs::path marker = dir.path() / "marker.txt";
    payload::Declarations declared;
    payload::PrerequisiteDeclaration p =
        StandIn(marker, "--setvalue \"" + kCheckKey + "\" Version v14.40.1 --exit 3010");
    p.check = payload::PrerequisiteCheck::Registry;
    p.where = u"HKCU\\" + AnsiToWide(kCheckKey);
    p.name = u"Version";
    p.minversion = "14.38";
    declared.prerequisites = {p};
    const int tempbefore = PrivateTempFolders();

    TestHost first;
    const std::u16string setup = BuildSetup(dir.path() / "setup.exe", first, true);
    const fs::path folder = dir.path() / "Product";
    const Outcome firstrun = Install(first, setup, declared, folder);
    ASSERT_TRUE(firstrun.ended);
    EXPECT_FALSE(first.failedflag) << firstrun.error;
    EXPECT_TRUE(firstrun.restart);
    EXPECT_EQ(ReadText(marker), "prerequisite\n");
    // Never in the program folder, and its temporary folder gone.
    EXPECT_FALSE(fs::exists(folder / "standin.exe"));
    EXPECT_FALSE(fs::exists(folder / "~tallowin-prerequisites"));
    EXPECT_EQ(PrivateTempFolders(), tempbefore);
    EXPECT_TRUE(fs::exists(folder / kExe));
    installengine::ParsedInstallRecord record = installengine::ReadInstallRecord(folder.u16string());
    ASSERT_TRUE(record.ok) << record.error;
    EXPECT_EQ(record.record.prerequisites, std::vector<std::u16string>{u"standin.exe|3010"});
    EXPECT_TRUE(Logged(first, u"prerequisite: Stand-in Runtime: "));

    // Installed now: the check finds a newer version and skips it.
    TestHost second;
    second.trailer = first.trailer;
    const Outcome secondrun = Install(second, setup, declared, folder);
    ASSERT_TRUE(secondrun.ended);
    EXPECT_FALSE(second.failedflag) << secondrun.error;
    EXPECT_FALSE(secondrun.restart);
    EXPECT_EQ(ReadText(marker), "prerequisite\n");
    record = installengine::ReadInstallRecord(folder.u16string());
    ASSERT_TRUE(record.ok) << record.error;
    EXPECT_EQ(record.record.prerequisites, std::vector<std::u16string>{u"standin.exe|skipped"});
    EXPECT_TRUE(Logged(second, u"prerequisite present, skipped: Stand-in Runtime"));

    // A version below the minimum is no proof: it runs again.
    SetRegValue(HKEY_CURRENT_USER, kCheckKey, "Version", "14.9");
    TestHost third;
    third.trailer = first.trailer;
    const Outcome thirdrun = Install(third, setup, declared, folder);
    ASSERT_TRUE(thirdrun.ended);
    EXPECT_FALSE(third.failedflag) << thirdrun.error;
    EXPECT_EQ(ReadText(marker), "prerequisite\nprerequisite\n");

    TestHost uninstall;
    uninstall.trailer = first.trailer;
    uninstall.destfolder = folder.u16string();
    installengine::RunUninstallSequence(uninstall);
    EXPECT_FALSE(fs::exists(folder));
    // Never undone: other products use it.
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, kCheckKey, "Version"), "v14.40.1");
    Forget();
}

TEST(Prerequisites, AFailureEndsTheInstallWithItsCaptionAndCodeAndNothingOfTheProductWritten) {
    Forget();
    TempDir dir;
    const fs::path marker = dir.path() / "marker.txt";
    payload::Declarations declared;
    declared.prerequisites = {StandIn(marker, "--exit 5")};
    TestHost host;
    const std::u16string setup = BuildSetup(dir.path() / "setup.exe", host, true);
    const fs::path folder = dir.path() / "Product";
    const Outcome run = Install(host, setup, declared, folder);
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(host.failedflag);
    EXPECT_TRUE(run.beganwriting);  // the machine changed: exit code 1, not 2
    EXPECT_NE(run.error.find("Stand-in Runtime"), std::string::npos) << run.error;
    EXPECT_NE(run.error.find("exit code 5"), std::string::npos) << run.error;
    EXPECT_EQ(ReadText(marker), "prerequisite\n");
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(fs::exists(fs::path(installengine::UninstallerPath(GetWindowsFolder(), kExe))));

    // Its entry missing from the payload: a damaged installer, nothing run.
    TestHost other;
    const std::u16string without = BuildSetup(dir.path() / "without.exe", other, false);
    const Outcome otherrun = Install(other, without, declared, folder);
    ASSERT_TRUE(otherrun.ended);
    EXPECT_TRUE(other.failedflag);
    EXPECT_FALSE(fs::exists(folder));
    Forget();
}

TEST(VendorPrograms, AfterInstallAndBeforeUninstallRunInOrderWithTheirInserts) {
    Forget();
    TempDir dir;
    const fs::path marker = dir.path() / "runs.txt";
    const fs::path folder = dir.path() / "Product";
    const payload::RunDeclaration after = MarkerRun(
        payload::RunWhen::AfterInstall, u"--marker \"{app}\\..\\runs.txt\" --tag \"afterinstall {version}\"");
    payload::RunDeclaration before = MarkerRun(
        payload::RunWhen::BeforeUninstall,
        u"--marker \"{app}\\..\\runs.txt\" --tag beforeuninstall --exists \"{app}\\" + AnsiToWide(kExe) + u"\"");
    before.failonerror = true;
    payload::Declarations declared;
    declared.runs = {after, before};

    TestHost host;
    const std::u16string setup = BuildSetup(dir.path() / "setup.exe", host, false);
    const Outcome run = Install(host, setup, declared, folder);
    ASSERT_TRUE(run.ended);
    EXPECT_FALSE(host.failedflag) << run.error;
    // Waited for unless it went through the desktop shell.
    EXPECT_TRUE(Eventually([&] { return ReadText(marker) == "afterinstall 1.0\n"; })) << ReadText(marker);
    const installengine::ParsedInstallRecord record = installengine::ReadInstallRecord(folder.u16string());
    ASSERT_TRUE(record.ok) << record.error;
    ASSERT_EQ(record.record.uninstallruns.size(), 1u);
    // Wine has no desktop shell to start it as the user: the log says how it ran.
    EXPECT_TRUE(Logged(host, u"run: the desktop shell could not be reached") || Logged(host, u"run: started as the"));

    // Into the installed version's folder: the afterupdate programs, not the afterinstall ones.
    payload::RunDeclaration update =
        MarkerRun(payload::RunWhen::AfterUpdate, u"--marker \"{app}\\..\\runs.txt\" --tag afterupdate");
    update.elevated = true;  // with the installer's rights: waited for
    declared.runs.push_back(update);
    TestHost again;
    again.trailer = host.trailer;
    const Outcome updaterun = Install(again, setup, declared, folder);
    ASSERT_TRUE(updaterun.ended);
    EXPECT_FALSE(again.failedflag) << updaterun.error;
    EXPECT_EQ(ReadText(marker), "afterinstall 1.0\nafterupdate\n");

    TestHost uninstall;
    uninstall.trailer = host.trailer;
    uninstall.destfolder = folder.u16string();
    installengine::RunUninstallSequence(uninstall);
    EXPECT_EQ(ReadText(marker), "afterinstall 1.0\nafterupdate\nbeforeuninstall exists\n");
    EXPECT_FALSE(fs::exists(folder));
    Forget();
}

TEST(VendorPrograms, AFailedBeforeUninstallProgramAsksAndNoKeepsEverythingUnattendedItIsLogged) {
    Forget();
    TempDir dir;
    const fs::path folder = dir.path() / "Product";
    payload::RunDeclaration before = MarkerRun(payload::RunWhen::BeforeUninstall, u"--exit 4");
    before.failonerror = true;
    payload::Declarations declared;
    declared.runs = {before};
    TestHost host;
    const std::u16string setup = BuildSetup(dir.path() / "setup.exe", host, false);
    const Outcome run = Install(host, setup, declared, folder);
    ASSERT_TRUE(run.ended);
    ASSERT_FALSE(host.failedflag) << run.error;
    TestHost watched;
    watched.trailer = host.trailer;
    watched.destfolder = folder.u16string();
    {
        BoxAnswerer answer(IDNO);
        installengine::RunUninstallSequence(watched);
        answer.Join();
        EXPECT_TRUE(answer.found());
        EXPECT_NE(answer.text().find(L"failed (exit code 4). Remove Tallowin Engine Prereq anyway?"), std::wstring::npos);
    }
    ASSERT_FALSE(watched.events.empty());
    EXPECT_EQ(watched.events.back().rfind("stopped The program", 0), 0u) << watched.events.back();
    EXPECT_TRUE(fs::exists(folder / kExe));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

    // A record naming a program outside the folder: never run.
    installengine::ParsedInstallRecord record = installengine::ReadInstallRecord(folder.u16string());
    ASSERT_TRUE(record.ok) << record.error;
    record.record.uninstallruns.insert(record.record.uninstallruns.begin(),
                                       u"w|0|..\\..\\evil.exe|--marker x");
    ASSERT_TRUE(installengine::WriteInstallRecord(record.record));
    TestHost unattended;
    unattended.watched = false;
    unattended.trailer = host.trailer;
    unattended.destfolder = folder.u16string();
    installengine::RunUninstallSequence(unattended);
    EXPECT_TRUE(Logged(unattended, u"not run (no program of the product's): w|0|..\\..\\evil.exe"));
    EXPECT_TRUE(Logged(unattended, u"failed (exit code 4)."));
    EXPECT_FALSE(fs::exists(folder));
    Forget();
}

TEST(VendorPrograms, AFailedAfterInstallProgramThatMustSucceedFailsTheInstallWithItsRecordWritten) {
    Forget();
    TempDir dir;
    const fs::path folder = dir.path() / "Product";
    payload::RunDeclaration after = MarkerRun(payload::RunWhen::AfterInstall, u"--exit 7");
    after.failonerror = true;
    after.elevated = true;
    payload::Declarations declared;
    declared.runs = {after};
    TestHost host;
    const std::u16string setup = BuildSetup(dir.path() / "setup.exe", host, false);
    const Outcome run = Install(host, setup, declared, folder);
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(host.failedflag);
    EXPECT_NE(run.error.find("exit code 7"), std::string::npos);
    // A first install: what it wrote stays recorded, so the uninstall removes it.
    EXPECT_TRUE(installengine::ReadInstallRecord(folder.u16string()).ok);
    TestHost uninstall;
    uninstall.trailer = host.trailer;
    uninstall.destfolder = folder.u16string();
    installengine::RunUninstallSequence(uninstall);
    EXPECT_FALSE(fs::exists(folder));
    Forget();
}
