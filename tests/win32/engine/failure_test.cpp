// Runs that end early or fail: the state they leave and what they report.
#include "installengine/protectedfolders.hpp"
#include "installengine/tinstallengine.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/textconv.hpp"
#include "tests/unit/tempdir.hpp"
#include "tests/win32/engine/enginehost.hpp"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <random>

using namespace enginetest;
using namespace setuputil;
using installengine::tinstallengine;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kProduct = "Tallowin Engine Edge";
const std::string kExe = "tlwengedge.exe";
const std::string kAppKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + kExe;

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
    // What the tests below may have registered, removed without the uninstall.
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kAppKey.c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, ("software\\microsoft\\windows\\currentversion\\uninstall\\" + kProduct).c_str());
}

fs::path Uninstaller() { return fs::path(AddBackslash(GetWindowsFolder()) + u"tallowui.exe"); }

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
    fs::create_directory(Uninstaller());  // a folder in its place: the move cannot replace it
    const auto leftovers = [] {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(fs::path(GetWindowsFolder())))
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
    EXPECT_EQ(leftovers(), before) << "the temporary copy was left in the Windows folder";
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
    for (const std::u16string& folder : {value64(kCurrentVersion, L"ProgramFilesDir"),
                                         value64(kCurrentVersion, L"CommonFilesDir"), std::u16string(u"C:\\users")}) {
        ASSERT_FALSE(folder.empty());
        EXPECT_FALSE(installengine::IsRemovableFolderHere(folder)) << WideToAnsi(folder);
        EXPECT_TRUE(installengine::IsRemovableFolderHere(folder + u"\\Vantrell")) << WideToAnsi(folder);
    }
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

// What the registration names besides the product's own, the uninstall leaves.
TEST(UninstallGuard, ASharedFileTypeAndADesktopValueThatIsNoShortcutStay) {
    ForgetProduct();
    TempDir dir;
    fs::create_directories(dir.path() / "Prog");
    const fs::path notalink = dir.path() / "notes.txt";
    const fs::path link = dir.path() / "Edge.LNK";
    { std::ofstream(notalink) << "keep"; }
    { std::ofstream(link) << "link"; }
    TestHost host;
    payload::WriteShortString(host.trailer.exename, kExe);
    payload::WriteShortString(host.trailer.productname, kProduct);

    // An extension of the machine's that points at a shared type: both stay.
    SetRegValue(HKEY_CLASSES_ROOT, ".tlwshared", "", "txtfile");
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname", kProduct);
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "fileassociations", ".tlwshared");
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "desktop", EncodeLetterHex(notalink.u16string()));
    host.destfolder = dir.wide(u"Prog");
    installengine::RunUninstallSequence(host);
    EXPECT_EQ(host.events.back(), "finish page");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_EQ(RegValue(HKEY_CLASSES_ROOT, ".tlwshared", ""), "txtfile");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "txtfile"));
    EXPECT_TRUE(fs::exists(notalink));

    // An extension without a file type, and a shortcut in capitals: gone.
    fs::create_directories(dir.path() / "Prog");
    SetRegValue(HKEY_CLASSES_ROOT, ".tlwbare", "Content Type", "text/x-tlw");
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname", kProduct);
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "fileassociations", ".tlwbare");
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "desktop", EncodeLetterHex(link.u16string()));
    host.events.clear();
    installengine::RunUninstallSequence(host);
    EXPECT_EQ(host.events.back(), "finish page");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tlwbare"));
    EXPECT_FALSE(fs::exists(link));
    ::RegDeleteKeyA(HKEY_CLASSES_ROOT, ".tlwshared");
}

}  // namespace
