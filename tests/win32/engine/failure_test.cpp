// Runs that end early or fail: the state they leave and what they report.
#include "installengine/installplan.hpp"
#include "installengine/installrecordfile.hpp"
#include "installengine/protectedfolders.hpp"
#include "installengine/tinstallengine.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/registry.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/textconv.hpp"
#include "tests/unit/tempdir.hpp"
#include "tests/win32/engine/enginehost.hpp"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "setuputil/wintext.hpp"

using namespace enginetest;
using namespace setuputil;
using installengine::tinstallengine;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kProduct = "Tallowin Engine Edge";
const std::string kExe = "tlwengedge.exe";
const std::string kAppKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + kExe;
const std::string kUninstallKey = "software\\microsoft\\windows\\currentversion\\uninstall\\" + kProduct;

std::vector<std::uint8_t> Random(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

sacwriter::InstallerInput Input(std::vector<sacwriter::ArchiveItem> items) {
    sacwriter::InstallerInput input;
    input.stub = ReadBytes(ProgramFolder() / "testservice.exe");
    input.fields.productname = kProduct;
    input.fields.productversion = "1";
    input.fields.exename = kExe;
    input.fields.startmenufolder = u"\\Calderic\\Tallowin Engine Edge";
    input.items = std::move(items);
    return input;
}

sacwriter::ArchiveItem Item(const std::u16string& name, std::vector<std::uint8_t> data) {
    sacwriter::ArchiveItem item;
    item.filename = name;
    item.data = std::move(data);
    return item;
}

// A worker that records the pauses for the eye instead of taking them.
class PauseRecorder : public tinstallengine {
public:
    using tinstallengine::tinstallengine;
    ~PauseRecorder() override { WaitFor(60000); }  // the body calls Pause: end it while we exist
    std::vector<unsigned long> pauses;             // read after the run

protected:
    void Pause(unsigned long milliseconds) override { pauses.push_back(milliseconds); }
};

struct EdgeRun {
    TempDir dir;
    TestHost host;
    std::unique_ptr<PauseRecorder> engine;
    std::u16string folder;
};

void Install(EdgeRun& run, const sacwriter::InstallerInput& input, bool expectOpen = true) {
    const fs::path installer = run.dir.path() / "setup.exe";
    BuildInstaller(installer, input, run.host.trailer);
    if (run.folder.empty()) run.folder = run.dir.wide(u"Edge");
    run.engine = std::make_unique<PauseRecorder>(run.host, installer.u16string());
    run.engine->HandOver(run.host.trailer.licenseoffset, kProduct, kExe);
    EXPECT_EQ(run.engine->OpenArchive(), expectOpen);
    run.engine->SetInstallFolder(run.folder);
    run.engine->Start();
    EXPECT_TRUE(run.engine->WaitFor(60000));
}

void ForgetProduct() {
    // What the tests below may have registered and made, removed without the
    // uninstall (which keeps a Start-menu folder holding shortcuts it did
    // not record, such as those of an earlier install's other slots).
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kAppKey.c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, ("software\\microsoft\\windows\\currentversion\\uninstall\\" + kProduct).c_str());
    std::error_code ignored;
    fs::remove_all(fs::path(GetProgramsFolder()) / "Calderic" / kProduct, ignored);
    fs::remove(fs::path(GetProgramsFolder()) / "Calderic", ignored);
    fs::remove(fs::path(GetDesktopFolder()) / (kProduct + ".lnk"), ignored);
    fs::remove(fs::path(GetStartMenuFolder()) / (kProduct + ".lnk"), ignored);
}

fs::path Uninstaller() { return fs::path(installengine::UninstallerPath(GetWindowsFolder(), kExe)); }

TEST(EngineEdges, ThirdOfFiveFailingLeavesTheFirstTwoAndReportsItsText) {
    ForgetProduct();
    EdgeRun run;
    fs::create_directories(fs::path(run.dir.wide(u"Edge\\c.txt")));  // c.txt cannot be created
    Install(run, Input({Item(u"a.txt", {'a'}), Item(u"b.txt", {'b'}), Item(u"c.txt", {'c'}), Item(u"d.txt", {'d'}),
                        Item(u"e.txt", {'e'})}));
    EXPECT_EQ(run.host.finished, 1);
    EXPECT_TRUE(run.host.failedflag);
    EXPECT_EQ(run.engine->ErrorText().rfind(u"Unable to create file (", 0), 0u) << WideToAnsi(run.engine->ErrorText());
    EXPECT_TRUE(fs::exists(fs::path(run.dir.wide(u"Edge\\a.txt"))));
    EXPECT_TRUE(fs::exists(fs::path(run.dir.wide(u"Edge\\b.txt"))));
    EXPECT_FALSE(fs::exists(fs::path(run.dir.wide(u"Edge\\d.txt"))));
    EXPECT_FALSE(fs::exists(fs::path(run.dir.wide(u"Edge\\e.txt"))));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    for (int p : run.host.positions) EXPECT_LT(p, 90);
}

TEST(EngineEdges, StopDuringExtractionFinishesTheEntryAndRegistersNothing) {
    ForgetProduct();
    std::error_code ignored;
    fs::remove(Uninstaller(), ignored);
    EdgeRun run;
    run.host.onprogress = [&run](int) { run.engine->Terminate(); };
    const std::vector<std::uint8_t> first = Random(200000, 3);
    Install(run, Input({Item(u"a.bin", first), Item(u"b.bin", Random(200000, 4)), Item(u"c.bin", Random(200000, 5))}));
    EXPECT_EQ(run.host.finished, 0);
    EXPECT_FALSE(run.host.positions.empty());
    EXPECT_EQ(ReadBytes(fs::path(run.dir.wide(u"Edge\\a.bin"))), first);  // whole
    EXPECT_FALSE(fs::exists(fs::path(run.dir.wide(u"Edge\\b.bin"))));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_FALSE(fs::exists(Uninstaller()));
}

TEST(EngineEdges, PausedWorkerWaitsAndGoesOnWithNothingSkipped) {
    ForgetProduct();
    EdgeRun run;
    bool paused = false;
    run.host.onprogress = [&](int) {
        if (paused) return;
        paused = true;
        run.engine->Suspend();
        // Handle messages for a while: the worker must not report meanwhile.
        const std::size_t seen = run.host.positions.size();
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 300) {
            MSG m;
            while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&m);
            ::Sleep(10);
        }
        EXPECT_EQ(run.host.positions.size(), seen);
        run.engine->Resume();
    };
    const std::vector<std::uint8_t> a = Random(200000, 6), b = Random(150000, 7);
    Install(run, Input({Item(u"a.bin", a), Item(u"b.bin", b)}));
    EXPECT_TRUE(paused);
    EXPECT_EQ(run.host.finished, 1);
    EXPECT_FALSE(run.host.failedflag);
    EXPECT_EQ(ReadBytes(fs::path(run.dir.wide(u"Edge\\a.bin"))), a);
    EXPECT_EQ(ReadBytes(fs::path(run.dir.wide(u"Edge\\b.bin"))), b);
    TestHost cleanup;
    cleanup.trailer = run.host.trailer;
    cleanup.destfolder = run.folder;
    installengine::RunUninstallSequence(cleanup);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
}

TEST(EngineEdges, EmptyArchiveGoesStraightTo90_95_100) {
    ForgetProduct();
    EdgeRun run;
    Install(run, Input({}));
    EXPECT_EQ(run.host.finished, 1);
    EXPECT_FALSE(run.host.failedflag) << WideToAnsi(run.engine->ErrorText());
    EXPECT_EQ(run.host.positions, (std::vector<int>{90, 95, 100}));
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname"), kProduct);
    // No services, no settings: the uninstall asks nothing and removes it all.
    TestHost cleanup;
    cleanup.trailer = run.host.trailer;
    cleanup.destfolder = run.folder;
    installengine::RunUninstallSequence(cleanup);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_FALSE(fs::exists(fs::path(GetProgramsFolder()) / "Calderic" / "Tallowin Engine Edge"));
}

// The pauses at the progress marks are for a person watching the bar.
TEST(EngineEdges, OnlyAWatchedRunPausesAtTheProgressMarks) {
    for (const bool watched : {true, false}) {
        ForgetProduct();
        EdgeRun run;
        run.host.watched = watched;
        Install(run, Input({}));
        EXPECT_FALSE(run.host.failedflag) << WideToAnsi(run.engine->ErrorText());
        EXPECT_EQ(run.host.positions, (std::vector<int>{90, 95, 100}));
        const std::vector<unsigned long> expected = watched ? std::vector<unsigned long>{100, 200, 40}
                                                            : std::vector<unsigned long>{};
        EXPECT_EQ(run.engine->pauses, expected) << (watched ? "watched" : "unattended");
        TestHost cleanup;
        cleanup.trailer = run.host.trailer;
        cleanup.destfolder = run.folder;
        installengine::RunUninstallSequence(cleanup);
    }
}

TEST(EngineEdges, FailedOpenRunsNoStepAndReportsTheReason) {
    ForgetProduct();
    EdgeRun run;
    const fs::path installer = run.dir.path() / "broken.exe";
    auto input = Input({Item(u"a.txt", {'a'})});
    BuildInstaller(installer, input, run.host.trailer);
    run.host.trailer.archiveoffset += 7;  // the archive is not where the trailer says
    run.engine = std::make_unique<PauseRecorder>(run.host, installer.u16string());
    run.engine->HandOver(run.host.trailer.licenseoffset, kProduct, kExe);
    EXPECT_FALSE(run.engine->OpenArchive());
    run.engine->SetInstallFolder(run.dir.wide(u"Edge"));
    run.engine->Start();
    ASSERT_TRUE(run.engine->WaitFor(30000));
    EXPECT_EQ(run.host.finished, 1);
    EXPECT_TRUE(run.host.failedflag);
    EXPECT_FALSE(run.engine->ErrorText().empty());
    EXPECT_TRUE(run.host.positions.empty());
    EXPECT_FALSE(fs::exists(run.dir.path() / "Edge"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
}

TEST(EngineEdges, AShortcutThatCannotBeSavedIsSkippedAndTheRestAreMade) {
    ForgetProduct();
    // A folder where the first shortcut file (the product's, in the
    // Start-menu folder) would go.
    const fs::path group = fs::path(GetProgramsFolder()) / "Calderic" / "Tallowin Engine Edge";
    const fs::path blocker = group / (kProduct + ".lnk");
    fs::create_directories(blocker);
    EdgeRun run;
    auto input = Input({Item(u"a.txt", {'a'})});
    input.fields.shortcuts = {{"a.txt", "Letter A"}};
    Install(run, input);
    EXPECT_EQ(run.host.finished, 1);
    EXPECT_FALSE(run.host.failedflag) << WideToAnsi(run.engine->ErrorText());
    EXPECT_EQ(run.host.positions.back(), 100);
    EXPECT_TRUE(fs::is_directory(blocker));
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname"), kProduct);
    // Every shortcut after the one that failed.
    LinkFields fields;
    EXPECT_TRUE(ReadLink((fs::path(GetStartMenuFolder()) / (kProduct + ".lnk")).u16string(), fields));
    EXPECT_TRUE(ReadLink((group / "Letter A.lnk").u16string(), fields));
    EXPECT_EQ(fields.target, run.folder + u"\\a.txt");
    EXPECT_TRUE(ReadLink((group / ("Uninstall " + kProduct + ".lnk")).u16string(), fields));
    EXPECT_TRUE(ReadLink((fs::path(GetDesktopFolder()) / (kProduct + ".lnk")).u16string(), fields));
    std::error_code ignored;
    fs::remove_all(blocker, ignored);
    TestHost cleanup;
    cleanup.trailer = run.host.trailer;
    cleanup.destfolder = run.folder;
    installengine::RunUninstallSequence(cleanup);
    EXPECT_FALSE(fs::exists(group));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
}

// The uninstaller is written under a name of its own and moved into place
// whole; when that fails, nothing is registered and no partial copy stays.
TEST(EngineEdges, AnUninstallerThatCannotBeWrittenEndsTheInstallBeforeTheRegistration) {
    ForgetProduct();
    std::error_code ignored;
    fs::remove(Uninstaller(), ignored);
    fs::create_directories(Uninstaller());  // a folder in its place: the move cannot replace it
    const auto leftovers = [] {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(Uninstaller().parent_path()))
            if (entry.path().extension() == ".tmp" && entry.path().filename().string().rfind("tlw", 0) == 0) ++n;
        return n;
    };
    const int before = leftovers();
    EdgeRun run;
    Install(run, Input({Item(u"a.txt", {'a'})}));
    EXPECT_EQ(run.host.finished, 1);
    EXPECT_TRUE(run.host.failedflag);
    EXPECT_EQ(run.engine->ErrorText(), u"Unable to create file (" + Uninstaller().u16string() + u")");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_EQ(leftovers(), before) << "the temporary copy was left in the uninstallers' folder";
    for (int p : run.host.positions) EXPECT_LE(p, 90);
    fs::remove(Uninstaller(), ignored);
}

TEST(EngineEdges, AnIdenticalUninstallerInUseIsKept) {
    ForgetProduct();
    const sacwriter::InstallerInput input = Input({Item(u"a.txt", {'a'})});
    { std::ofstream(Uninstaller(), std::ios::binary | std::ios::trunc).write(
          reinterpret_cast<const char*>(input.stub.data()), static_cast<std::streamsize>(input.stub.size())); }
    // Held open the way a running uninstaller holds its program file.
    const HANDLE held = ::CreateFileW(Uninstaller().wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EdgeRun run;
    Install(run, input);
    ::CloseHandle(held);
    EXPECT_EQ(run.host.finished, 1);
    EXPECT_FALSE(run.host.failedflag) << WideToAnsi(run.engine->ErrorText());
    EXPECT_EQ(ReadBytes(Uninstaller()), input.stub);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    TestHost cleanup;
    cleanup.trailer = run.host.trailer;
    cleanup.destfolder = run.folder;
    installengine::RunUninstallSequence(cleanup);
    ForgetProduct();
}

TEST(UninstallGuard, ShellFoldersAreNeverRemovable) {
    for (int csidl : {CSIDL_STARTUP, CSIDL_PERSONAL, CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY,
                      CSIDL_APPDATA, CSIDL_PROFILE, CSIDL_PROGRAM_FILES, CSIDL_WINDOWS, CSIDL_SYSTEM}) {
        wchar_t buffer[MAX_PATH] = {};
        ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) << csidl;
        const std::u16string folder = reinterpret_cast<const char16_t*>(buffer);
        EXPECT_FALSE(installengine::IsRemovableFolderHere(folder)) << WideToAnsi(folder);
        EXPECT_FALSE(installengine::IsRemovableFolderHere(folder + u"\\")) << WideToAnsi(folder);
        wchar_t shortform[MAX_PATH] = {};
        if (::GetShortPathNameW(buffer, shortform, MAX_PATH) != 0) {
            EXPECT_FALSE(installengine::IsRemovableFolderHere(reinterpret_cast<const char16_t*>(shortform)))
                << WideToAnsi(reinterpret_cast<const char16_t*>(shortform));
        }
    }
    // Beyond what a 32-bit program's shell names: the 64-bit Program Files
    // folders (the registry's 64-bit view), the folder of the profiles,
    // every drive.
    const auto value64 = [](const wchar_t* key, const wchar_t* name) {
        HKEY handle = nullptr;
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &handle) == ERROR_SUCCESS) {
            ::RegQueryValueExW(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
            ::RegCloseKey(handle);
        }
        return std::u16string(reinterpret_cast<const char16_t*>(value));
    };
    const wchar_t* const kCurrentVersion = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    const std::u16string programfiles = value64(kCurrentVersion, L"ProgramFilesDir");
    const std::u16string commonfiles = value64(kCurrentVersion, L"CommonFilesDir");
    for (const std::u16string& folder : {programfiles, commonfiles, std::u16string(u"C:\\users")}) {
        ASSERT_FALSE(folder.empty());
        EXPECT_FALSE(installengine::IsRemovableFolderHere(folder)) << WideToAnsi(folder);
    }
    EXPECT_TRUE(installengine::IsRemovableFolderHere(programfiles + u"\\Vantrell"));
    // Inside the Windows folder, the Common Files and the system's own
    // applications, every user's profile and the Default one: nothing; and
    // no share, not even the machine's own.
    wchar_t windows[MAX_PATH] = {}, profile[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    ::SHGetSpecialFolderPathW(nullptr, profile, CSIDL_PROFILE, FALSE);
    const std::u16string users = fs::path(profile).parent_path().u16string();
    for (const std::u16string& folder :
         {FromWinStr(windows) + u"\\system32\\drivers", commonfiles + u"\\Vendor", programfiles + u"\\Internet Explorer",
          users + u"\\Default", users + u"\\Default\\AppData", users + u"\\Public", FromWinStr(profile) + u"\\AppData\\Local",
          std::u16string(u"\\\\localhost\\c$\\Program Files\\Vantrell")})
        EXPECT_FALSE(installengine::IsRemovableFolderHere(folder)) << WideToAnsi(folder);
    EXPECT_FALSE(installengine::IsRemovableFolderHere(u"C:\\"));
    EXPECT_FALSE(installengine::IsRemovableFolderHere(u""));
    TempDir dir;
    EXPECT_TRUE(installengine::IsRemovableFolderHere(dir.wide()));
}

TEST(UninstallGuard, AProgramFolderTheGuardRefusesStopsTheSequenceWithEveryKeyKept) {
    ForgetProduct();
    TempDir dir;
    fs::create_directories(dir.path() / "victim");
    { std::ofstream(dir.path() / "victim" / "keep.txt") << "keep"; }
    fs::create_directories(dir.path() / "a");
    const std::string uninstallKey = "software\\microsoft\\windows\\currentversion\\uninstall\\" + kProduct;
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname", kProduct);
    SetRegValue(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName", kProduct);
    TestHost host;
    payload::WriteShortString(host.trailer.exename, kExe);
    payload::WriteShortString(host.trailer.productname, kProduct);
    for (const std::u16string& refused : {dir.wide(u"a\\..\\victim"), std::u16string(u"victim"), std::u16string()}) {
        host.events.clear();
        host.destfolder = refused;
        installengine::RunUninstallSequence(host);
        EXPECT_TRUE(fs::exists(dir.path() / "victim" / "keep.txt"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey)) << WideToAnsi(refused);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, uninstallKey)) << WideToAnsi(refused);
        ASSERT_FALSE(host.events.empty());
        EXPECT_NE(host.events.back(), "finish page") << WideToAnsi(refused);
        EXPECT_EQ(host.events.front(), "installing page");
    }
    ForgetProduct();
}

// A record for `folder` as an install of the product writes it, with its
// identifier registered: the uninstall then takes `folder` as the product's.
void Prove(const std::u16string& folder, installengine::InstallRecord record = {}) {
    record.id = installengine::NewInstallRecordId();
    record.productname = AnsiToWide(kProduct);
    record.exename = AnsiToWide(kExe);
    record.programfolder = folder;
    ASSERT_TRUE(installengine::WriteInstallRecord(record));
    SetRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallRecordId", record.id);
}

// What the registration names besides the product's own, the uninstall leaves.
TEST(UninstallGuard, ASharedFileTypeAndAFileTheDesktopValueNamesStay) {
    ForgetProduct();
    TempDir dir;
    const fs::path notalink = dir.path() / "notes.txt";
    const fs::path link = dir.path() / "Edge.LNK";
    const fs::path desktoplink = fs::path(GetDesktopFolder()) / "Tlw Edge Test.LNK";
    { std::ofstream(notalink) << "keep"; }
    { std::ofstream(link) << "link"; }
    TestHost host;
    payload::WriteShortString(host.trailer.exename, kExe);
    payload::WriteShortString(host.trailer.productname, kProduct);

    // An extension of the machine's that points at a shared type: both stay.
    SetRegValue(HKEY_CLASSES_ROOT, ".tlwshared", "", "txtfile");
    for (const fs::path& named : {notalink, link}) {
        fs::create_directories(dir.path() / "Prog");
        Prove(dir.wide(u"Prog"));
        SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname", kProduct);
        SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "fileassociations", ".tlwshared");
        SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "desktop", EncodeLetterHex(named.u16string()));
        host.events.clear();
        host.destfolder = dir.wide(u"Prog");
        installengine::RunUninstallSequence(host);
        EXPECT_EQ(host.events.back(), "finish page");
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
        EXPECT_EQ(RegValue(HKEY_CLASSES_ROOT, ".tlwshared", ""), "txtfile");
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "txtfile"));
        // Only the recorded desktop shortcut goes, never what the value names.
        EXPECT_TRUE(fs::exists(named)) << named;
    }

    // An extension without a file type, and the recorded desktop shortcut in capitals: gone.
    fs::create_directories(dir.path() / "Prog");
    { std::ofstream(desktoplink) << "link"; }
    installengine::InstallRecord record;
    record.desktopshortcut = desktoplink.u16string();
    Prove(dir.wide(u"Prog"), record);
    SetRegValue(HKEY_CLASSES_ROOT, ".tlwbare", "Content Type", "text/x-tlw");
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname", kProduct);
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "fileassociations", ".tlwbare");
    host.events.clear();
    installengine::RunUninstallSequence(host);
    EXPECT_EQ(host.events.back(), "finish page");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tlwbare"));
    EXPECT_FALSE(fs::exists(desktoplink));
    ::RegDeleteKeyA(HKEY_CLASSES_ROOT, ".tlwshared");
}

// Waits up to 10 s for `link` to be a link (`present`) or to be gone.
bool WaitForLink(const std::u16string& link, bool present) {
    for (int i = 0; i < 200; ++i) {
        const DWORD attributes = ::GetFileAttributesW(WinStr(link));
        // Wine marks a link to a folder as a reparse point, a link to a file
        // not always: a new name that is there is the link.
        if (present ? attributes != INVALID_FILE_ATTRIBUTES : attributes == INVALID_FILE_ATTRIBUTES) return true;
        ::Sleep(50);
    }
    return false;
}

// Starts a Unix program from Wine without waiting for it.  Wine hands back
// no process for a Unix program: the handles in PROCESS_INFORMATION are
// whatever its stack held, and closing them closed live handles of this
// process (once the cached HKEY_CURRENT_USER, failing every later test that
// touched it).  They are left alone; callers wait for the program's effect.
bool StartUnixProgram(const char* program, std::string command) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION ignored{};
    return ::CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &ignored) != 0;
}

// Wine shows a Unix symbolic link to a folder as a link (a reparse point)
// and follows it; a Windows program makes one by running ln.  On Windows a
// directory symbolic link does the same (`folder` false: a file link).
// False when neither can be made.
bool MakeFolderLink(const std::u16string& link, const std::u16string& target, bool folder = true) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unixname = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixname) {
        using MakeLink = BOOLEAN(WINAPI*)(const wchar_t*, const wchar_t*, DWORD);
        const auto makelink = reinterpret_cast<MakeLink>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
        return makelink && makelink(WinStr(link), WinStr(target), (folder ? 0x1 : 0) | 0x2) != 0;  // no elevation needed
    }
    char* from = unixname(WinStr(target));
    char* to = unixname(WinStr(link));
    if (!from || !to) return false;
    // Wine splits the line as Windows does before it runs the Unix program.
    std::string command = std::string("ln -s \"") + from + "\" \"" + to + "\"";
    ::HeapFree(::GetProcessHeap(), 0, from);
    ::HeapFree(::GetProcessHeap(), 0, to);
    return StartUnixProgram("Z:\\bin\\ln", command) && WaitForLink(link, true);
}

// Removes a link whatever made it (Wine's own calls cannot remove a Unix
// one, and deleting a link to a file there deletes the file).
void RemoveFolderLink(const std::u16string& link) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unixname = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixname) {
        if (!::RemoveDirectoryW(WinStr(link))) ::DeleteFileW(WinStr(link));
        return;
    }
    char* name = unixname(WinStr(link));
    if (!name) return;
    std::string command = std::string("rm -f \"") + name + "\"";
    ::HeapFree(::GetProcessHeap(), 0, name);
    if (StartUnixProgram("Z:\\bin\\rm", command)) WaitForLink(link, false);
}

// A link made for one test, removed when the test ends however it ends:
// before the test's folder goes, whose removal might otherwise walk into
// the link's target.
struct FolderLink {
    FolderLink(std::u16string at, const std::u16string& target, bool folder = true)
        : path(std::move(at)), made(MakeFolderLink(path, target, folder)) {}
    ~FolderLink() {
        if (!made) return;
        RemoveFolderLink(path);
        // A link still there would lead the test folder's removal into its
        // target: stop here rather than let that happen.
        if (::GetFileAttributesW(WinStr(path)) != INVALID_FILE_ATTRIBUTES) {
            std::fprintf(stderr, "the test link %s could not be removed\n", WideToAnsi(path).c_str());
            std::abort();
        }
    }
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;
    std::u16string path;
    bool made;
};

// The uninstall of a normal install whose registration another tool then
// changed: each change that named something not the product's -- a share
// of the machine's own drive, a path through a link, a folder inside a
// protected one, a folder without the record or with another record, a
// Start-menu path that makes a shared key -- keeps every file and key.
TEST(UninstallRecord, AChangedRegistrationDeletesNothingItNames) {
    ForgetProduct();
    EdgeRun run;
    Install(run, Input({Item(u"a.txt", {'a'})}));
    ASSERT_FALSE(run.host.failedflag) << WideToAnsi(run.engine->ErrorText());
    const std::string id = RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallRecordId");
    const installengine::ParsedInstallRecord record = installengine::ReadInstallRecord(run.folder);
    ASSERT_TRUE(record.ok) << record.error;
    EXPECT_EQ(record.record.id, id);
    EXPECT_EQ(record.record.files, std::vector<std::u16string>{u"a.txt"});

    const std::u16string programfiles = GetProgramFilesFolder();
    wchar_t windows[MAX_PATH] = {}, common[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    ::SHGetSpecialFolderPathW(nullptr, common, CSIDL_PROGRAM_FILES_COMMON, FALSE);
    const std::u16string drivers = FromWinStr(windows) + u"\\system32\\drivers";
    const std::u16string victim = run.dir.wide(u"victim");
    fs::create_directories(fs::path(victim));
    // Someone else's folder, holding the product's record of this install.
    fs::copy_file(fs::path(installengine::InstallRecordPath(run.folder)), fs::path(victim) / "uninstall.dat");
    const std::u16string linked = run.dir.wide(u"PF");
    FolderLink pf(linked, RemoveBackslash(programfiles));
    const bool havelink = pf.made;
    std::vector<std::u16string> sentinels;
    for (const std::u16string& folder : {victim, FromWinStr(common), drivers}) {
        sentinels.push_back(folder + u"\\tlw-sentinel.txt");
        std::ofstream(fs::path(sentinels.back())) << "keep";
    }
    struct Case {
        std::u16string path;
        std::string id;
    };
    std::vector<Case> cases = {
        {u"\\\\localhost\\" + std::u16string(1, victim[0]) + u"$" + victim.substr(2), id},
        {drivers, id},
        {victim, id},                                         // the record there names another folder
        {run.folder, "0123456789abcdef0123456789abcdef"},     // another install's identifier
        {run.folder, ""},
    };
    if (havelink) cases.push_back({linked + u"\\" + fs::path(common).filename().u16string(), id});
    for (const Case& c : cases) {
        SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "Path", EncodeLetterHex(c.path));
        SetRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallRecordId", c.id);
        TestHost host;
        payload::WriteShortString(host.trailer.exename, kExe);
        payload::WriteShortString(host.trailer.productname, kProduct);
        host.destfolder = c.path;
        installengine::RunUninstallSequence(host);
        ASSERT_FALSE(host.events.empty());
        EXPECT_EQ(host.events.back().rfind("stopped Nothing was removed: ", 0), 0u) << host.events.back();
        for (const std::u16string& sentinel : sentinels) EXPECT_TRUE(fs::exists(fs::path(sentinel))) << WideToAnsi(sentinel);
        EXPECT_TRUE(fs::exists(fs::path(run.folder + u"\\a.txt"))) << WideToAnsi(c.path);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey)) << WideToAnsi(c.path);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) << WideToAnsi(c.path);
    }
    for (const std::u16string& sentinel : sentinels) ::DeleteFileW(WinStr(sentinel));

    // The registration as the install wrote it, but a Start-menu path that
    // makes the per-user settings key a shared one; another vendor's
    // shortcut in the product's Start-menu folder.
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "Path", EncodeLetterHex(run.folder));
    SetRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallRecordId", id);
    const std::string explorer = "software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
    SetRegValue(HKEY_CURRENT_USER, explorer, "TlwSentinel", "keep");
    const fs::path group = fs::path(GetProgramsFolder()) / "Calderic" / "Tallowin Engine Edge";
    ASSERT_TRUE(fs::exists(group / (kProduct + ".lnk")));
    { std::ofstream(group / "Other Vendor Tool.lnk") << "link"; }
    TestHost host;
    payload::WriteShortString(host.trailer.exename, kExe);
    payload::WriteShortString(host.trailer.productname, kProduct);
    payload::WriteWideField(host.trailer.startmenufolder, u"\\Microsoft\\Windows\\CurrentVersion\\Explorer");
    host.destfolder = run.folder;
    installengine::RunUninstallSequence(host);
    EXPECT_EQ(host.events.back(), "finish page");
    EXPECT_FALSE(fs::exists(fs::path(run.folder)));
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, explorer, "TlwSentinel"), "keep");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, explorer + "\\Shell Folders"));
    EXPECT_FALSE(fs::exists(group / (kProduct + ".lnk")));
    EXPECT_TRUE(fs::exists(group / "Other Vendor Tool.lnk"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    std::error_code ignored;
    fs::remove_all(group, ignored);
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, explorer.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueA(key, "TlwSentinel");
        ::RegCloseKey(key);
    }
    ForgetProduct();
}

// A link inside the program folder is removed as a link; its target's
// files stay.  Wine cannot remove a Unix link through the Windows calls
// without removing its target: there the link, and with it the folder, the
// record and the registration, stay.  The same holds for a link in what an
// update cut short left behind, which the next update clears first.
TEST(UninstallRecord, ALinkInsideTheProgramFolderKeepsItsTarget) {
    ForgetProduct();
    EdgeRun run;
    Install(run, Input({Item(u"a.txt", {'a'})}));
    ASSERT_FALSE(run.host.failedflag) << WideToAnsi(run.engine->ErrorText());
    const std::u16string outside = run.dir.wide(u"outside");
    fs::create_directories(fs::path(outside) / "deep");
    { std::ofstream(fs::path(outside) / "deep" / "keep.txt") << "keep"; }
    { std::ofstream(fs::path(outside) / "file.txt") << "keep"; }
    const std::u16string link = run.folder + u"\\linked";
    FolderLink linked(link, outside);
    if (!linked.made) {
        ForgetProduct();
        GTEST_SKIP() << "no folder link can be made here";
    }
    FolderLink filelink(run.folder + u"\\linked.txt", outside + u"\\file.txt", false);
    EXPECT_TRUE(filelink.made);
    {
        // A leftover of an update cut short, holding a link to a file.
        const std::u16string backup = run.folder + u"\\~tallowin-update";
        fs::create_directories(fs::path(backup));
        FolderLink leftover(backup + u"\\held.txt", outside + u"\\file.txt", false);
        EXPECT_TRUE(leftover.made);
        sacwriter::InstallerInput update = Input({Item(u"a.txt", {'b'})});
        update.fields.productversion = "2";
        EdgeRun second;
        second.folder = run.folder;
        Install(second, update);
        EXPECT_TRUE(fs::exists(fs::path(outside) / "file.txt"));
    }
    TestHost host;
    host.trailer = run.host.trailer;
    host.destfolder = run.folder;
    installengine::RunUninstallSequence(host);
    EXPECT_TRUE(fs::exists(fs::path(outside) / "deep" / "keep.txt"));
    EXPECT_TRUE(fs::exists(fs::path(outside) / "file.txt"));
    EXPECT_FALSE(fs::exists(fs::path(run.folder + u"\\a.txt")));
    if (fs::exists(fs::path(run.folder))) {
        EXPECT_EQ(host.events.back(), "stopped Unable to delete the program folder " + WideToAnsi(run.folder));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
        EXPECT_TRUE(fs::exists(fs::path(run.folder) / "uninstall.dat")) << "the record went before the folder";
        RemoveFolderLink(link);
        RemoveFolderLink(filelink.path);
        installengine::RunUninstallSequence(host);  // the retry the kept registration allows
    }
    EXPECT_EQ(host.events.back(), "finish page");
    EXPECT_FALSE(fs::exists(fs::path(run.folder)));
    EXPECT_TRUE(fs::exists(fs::path(outside) / "deep" / "keep.txt"));
    EXPECT_TRUE(fs::exists(fs::path(outside) / "file.txt"));
    ForgetProduct();
}

// A folder that held files before the install keeps them: the uninstall
// deletes the recorded files and the folders the install created (with
// what the product wrote there) and names the folder that stays.  A folder
// the install created goes whole.  A second product is refused in the
// first one's folder before anything is written.
TEST(UninstallRecord, OnlyWhatTheInstallMadeGoes) {
    ForgetProduct();
    EdgeRun run;
    run.folder = run.dir.wide(u"Tools");
    fs::create_directories(fs::path(run.folder) / "MyProject");
    fs::create_directories(fs::path(run.folder) / "OtherApp");
    { std::ofstream(fs::path(run.folder) / "MyProject" / "thesis.txt") << "thesis"; }
    sacwriter::ArchiveItem guide = Item(u"guide.txt", {'g'});
    guide.subfolder = u"\\docs";
    Install(run, Input({Item(u"a.txt", {'a'}), guide}));
    ASSERT_FALSE(run.host.failedflag) << WideToAnsi(run.engine->ErrorText());
    const installengine::ParsedInstallRecord record = installengine::ReadInstallRecord(run.folder);
    ASSERT_TRUE(record.ok) << record.error;
    EXPECT_FALSE(record.record.foldercreated);
    { std::ofstream(fs::path(run.folder) / "docs" / "run.log") << "written by the product"; }

    sacwriter::InstallerInput other = Input({Item(u"b.txt", {'b'})});
    other.fields.productname = "Tallowin Engine Other";
    other.fields.exename = "tlwengother.exe";
    EdgeRun second;
    second.folder = run.folder;
    BuildInstaller(second.dir.path() / "other.exe", other, second.host.trailer);
    tinstallengine refused(second.host, (second.dir.path() / "other.exe").u16string());
    ASSERT_TRUE(RunEngine(refused, second.host, run.folder));
    EXPECT_TRUE(second.host.failedflag);
    EXPECT_NE(WideToAnsi(refused.ErrorText()).find("holds the program " + kProduct), std::string::npos)
        << WideToAnsi(refused.ErrorText());
    EXPECT_FALSE(fs::exists(fs::path(run.folder) / "b.txt"));
    EXPECT_EQ(installengine::ReadInstallRecord(run.folder).record.id, record.record.id);

    TestHost host;
    host.trailer = run.host.trailer;
    host.destfolder = run.folder;
    installengine::RunUninstallSequence(host);
    EXPECT_EQ(host.events.back(), "finish page");
    EXPECT_EQ(WideToAnsi(host.kept), WideToAnsi(run.folder) + " was not removed: it holds files that " + kProduct +
                                         " did not install.");
    EXPECT_TRUE(fs::exists(fs::path(run.folder) / "MyProject" / "thesis.txt"));
    EXPECT_TRUE(fs::exists(fs::path(run.folder) / "OtherApp"));
    for (const char* gone : {"a.txt", "docs", "uninstall.dat"}) EXPECT_FALSE(fs::exists(fs::path(run.folder) / gone)) << gone;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));

    EdgeRun fresh;
    Install(fresh, Input({Item(u"a.txt", {'a'})}));
    ASSERT_FALSE(fresh.host.failedflag);
    EXPECT_TRUE(installengine::ReadInstallRecord(fresh.folder).record.foldercreated);
    { std::ofstream(fs::path(fresh.folder) / "run.log") << "written by the product"; }
    // And a file deeper than the classic path limit, which the walk must
    // still resolve to delete.
    std::u16string deep = fresh.folder;
    for (int i = 0; i < 3; ++i) {
        deep += u"\\" + std::u16string(90, static_cast<char16_t>(u'a' + i));
        ASSERT_TRUE(::CreateDirectoryW(WinStr(ExtendedPath(deep)), nullptr));
    }
    const std::u16string deepfile = deep + u"\\cache.bin";
    ASSERT_GT(deepfile.size(), 300u);
    HANDLE created = ::CreateFileW(WinStr(ExtendedPath(deepfile)), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    ::CloseHandle(created);
    TestHost again;
    again.trailer = fresh.host.trailer;
    again.destfolder = fresh.folder;
    installengine::RunUninstallSequence(again);
    EXPECT_EQ(again.events.back(), "finish page");
    EXPECT_TRUE(again.kept.empty());
    EXPECT_FALSE(fs::exists(fs::path(fresh.folder)));
    ForgetProduct();
}

// A registration whose program folder is gone (deleted by hand, or an
// uninstall cut short after it): unattended, the product leaves the list
// of installed programs with its shortcuts and uninstaller, and no other
// file is touched.
TEST(UninstallRecord, AStaleRegistrationIsRemoved) {
    ForgetProduct();
    EdgeRun run;
    Install(run, Input({Item(u"a.txt", {'a'})}));
    ASSERT_FALSE(run.host.failedflag);
    const fs::path group = fs::path(GetProgramsFolder()) / "Calderic" / kProduct;
    ASSERT_TRUE(fs::exists(group / (kProduct + ".lnk")));
    { std::ofstream(group / "Other Vendor Tool.lnk") << "not a link of ours"; }
    ASSERT_TRUE(fs::exists(Uninstaller()));
    fs::remove_all(fs::path(run.folder));
    TestHost host;
    host.watched = false;
    host.trailer = run.host.trailer;
    host.destfolder = run.folder;
    installengine::RunUninstallSequence(host);
    EXPECT_EQ(host.events.back(), "finish page");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(fs::exists(group / (kProduct + ".lnk")));
    EXPECT_FALSE(fs::exists(fs::path(GetDesktopFolder()) / (kProduct + ".lnk")));
    EXPECT_TRUE(fs::exists(group / "Other Vendor Tool.lnk"));
    EXPECT_FALSE(fs::exists(Uninstaller()));
    ForgetProduct();
}

}  // namespace
