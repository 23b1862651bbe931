// A confirmed cancel that reaches the worker at each boundary between the
// steps after the extraction: the step in hand is finished and no later
// step begins, and the stopped run reports nothing.  Updates stopped late
// put the installed version back, its declared registry values too.
#include "installengine/installrecordfile.hpp"
#include "installengine/tinstallengine.hpp"
#include "payload/declarations.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/registry.hpp"
#include "setuputil/services.hpp"
#include "setuputil/shellfolders.hpp"
#include "tests/unit/tempdir.hpp"
#include "tests/win32/engine/enginehost.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

using namespace enginetest;
using namespace setuputil;
using installengine::InstallStep;
using installengine::tinstallengine;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kProduct = "Tallowin Engine Stop";
const std::string kExe = "tlwengstop.exe";
const std::u16string kStartMenu = u"\\Calderic\\Tallowin Engine Stop";
const std::string kAppKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + kExe;
const std::string kUninstallKey = "software\\microsoft\\windows\\currentversion\\uninstall\\" + kProduct;
const std::string kServiceA = "TallowinStopSvcA";
const std::string kServiceB = "TallowinStopSvcB";

// A worker whose stop request arrives when it stands at one step boundary,
// as a Yes to the cancel question does when the worker is there.  With
// `hold` the wizard's Suspend arrives there instead (the question opens)
// and the test decides when the stop follows.
class StoppedAt : public tinstallengine {
public:
    StoppedAt(installengine::InstallHost& host, std::u16string installer, InstallStep step, int slot, bool hold,
              payload::InstallScope scope = payload::InstallScope::Machine)
        : tinstallengine(host, std::move(installer), scope), step_(step), slot_(slot), hold_(hold) {}
    ~StoppedAt() override { WaitFor(60000); }  // the body calls BeforeStep: end it while we exist
    std::atomic<bool> reached{false};

protected:
    void BeforeStep(InstallStep step, int slot) override {
        if (step != step_ || slot != slot_) return;
        if (hold_) Suspend();
        else Terminate();
        reached = true;
    }

private:
    InstallStep step_;
    int slot_;
    bool hold_;
};

fs::path Uninstaller() { return fs::path(installengine::UninstallerPath(GetWindowsFolder(), kExe)); }
fs::path Group() { return fs::path(GetProgramsFolder() + kStartMenu); }
fs::path DesktopLink() { return fs::path(GetDesktopFolder()) / (kProduct + ".lnk"); }
fs::path StartMenuLink() { return fs::path(GetStartMenuFolder()) / (kProduct + ".lnk"); }

void Forget() {
    for (const std::string& name : {kServiceA, kServiceB}) {
        if (IsServiceRunning(name)) StopServiceNamed(name);
        DeleteServiceNamed(name);
        Eventually([&] { return ServiceState(name) == 0; });
    }
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kAppKey.c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
    std::error_code ignored;
    fs::remove_all(Group(), ignored);
    fs::remove(fs::path(GetProgramsFolder()) / "Calderic", ignored);
    fs::remove(DesktopLink(), ignored);
    fs::remove(StartMenuLink(), ignored);
    fs::remove(Uninstaller(), ignored);
}

struct StopRun {
    TempDir dir;
    TestHost host;
    sacwriter::InstallerInput input;
    std::unique_ptr<StoppedAt> engine;
    std::u16string folder;
};

// Installs a product with two services and a shortcut slot, stopped at
// `step`; answers after the worker's body has returned.  With `whileheld`
// the worker is paused at `step` first: `whileheld` runs while it stands
// there, then the stop and the resume follow, as after Yes.
void RunStopped(StopRun& run, InstallStep step, int slot = 0, const std::function<void()>& whileheld = {}) {
    Forget();
    const std::vector<std::uint8_t> stub = ReadBytes(ProgramFolder() / "testservice.exe");
    run.input.stub = stub;
    run.input.fields.productname = kProduct;
    run.input.fields.productversion = "1";
    run.input.fields.exename = kExe;
    run.input.fields.startmenufolder = kStartMenu;
    run.input.fields.services = {{"svca.exe", kServiceA}, {"svcb.exe", kServiceB}};
    run.input.fields.shortcuts = {{"readme.txt", "Read Me"}};
    for (const char16_t* name : {u"readme.txt", u"svca.exe", u"svcb.exe"}) {
        sacwriter::ArchiveItem item;
        item.filename = name;
        item.data = stub;
        run.input.items.push_back(item);
    }
    const fs::path installer = run.dir.path() / "setup-stop.exe";
    BuildInstaller(installer, run.input, run.host.trailer);
    run.folder = run.dir.wide(u"Stop");
    run.engine = std::make_unique<StoppedAt>(run.host, installer.u16string(), step, slot, bool(whileheld));
    run.engine->HandOver(run.host.trailer.licenseoffset, kProduct, kExe);
    ASSERT_TRUE(run.engine->OpenArchive());
    run.engine->SetInstallFolder(run.folder);
    run.engine->Start();
    if (whileheld) {
        // WaitFor handles the worker's synchronised calls meanwhile.
        for (int i = 0; i < 1200 && !run.engine->reached; ++i) run.engine->WaitFor(50);
        ASSERT_TRUE(run.engine->reached) << "the worker never came to the boundary";
        EXPECT_FALSE(run.engine->WaitFor(500)) << "the paused worker ran to the end";
        whileheld();
        run.engine->Terminate();
        run.engine->Resume();
    }
    ASSERT_TRUE(run.engine->WaitFor(60000));
    EXPECT_TRUE(run.engine->reached) << "the worker never came to the boundary";
    EXPECT_EQ(run.host.finished, 0) << "a stopped run reported";
    // Every file was extracted whole before any of these boundaries.
    for (const auto& item : run.input.items)
        EXPECT_EQ(ReadBytes(fs::path(run.folder + u"\\" + item.filename)), item.data);
}

bool HasValue(const std::string& key, const std::string& name) {
    bool present = false;
    RegValue(HKEY_LOCAL_MACHINE, key, name, &present);
    return present;
}

void ExpectNoShortcuts() {
    EXPECT_FALSE(fs::exists(Group())) << "the Start-menu folder was made";
    EXPECT_FALSE(fs::exists(DesktopLink()));
    EXPECT_FALSE(fs::exists(StartMenuLink()));
}

TEST(StopAtStepBoundary, BeforeTheUninstallerCopyNothingFollows) {
    StopRun run;
    RunStopped(run, InstallStep::UninstallerCopy);
    EXPECT_FALSE(fs::exists(Uninstaller()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ(ServiceState(kServiceA), 0u);
    ExpectNoShortcuts();
    EXPECT_EQ(run.host.positions.back(), 90);
    Forget();
}

TEST(StopAtStepBoundary, BeforeTheRegistrationOnlyTheUninstallerIsThere) {
    StopRun run;
    RunStopped(run, InstallStep::Registration);
    EXPECT_EQ(ReadBytes(Uninstaller()), run.input.stub);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ(ServiceState(kServiceA), 0u);
    EXPECT_EQ(ServiceState(kServiceB), 0u);
    ExpectNoShortcuts();
    EXPECT_EQ(run.host.positions.back(), 95);
    Forget();
}

TEST(StopAtStepBoundary, BeforeTheFirstServiceTheRecordIsCompleteWithoutServices) {
    StopRun run;
    RunStopped(run, InstallStep::Service, 0);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname"), kProduct);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), kProduct);
    EXPECT_FALSE(HasValue(kAppKey, "service0"));
    EXPECT_FALSE(HasValue(kAppKey, "service1"));
    EXPECT_EQ(ServiceState(kServiceA), 0u);
    EXPECT_EQ(ServiceState(kServiceB), 0u);
    ExpectNoShortcuts();
    Forget();
}

TEST(StopAtStepBoundary, BeforeTheSecondServiceOnlyTheFirstIsInstalled) {
    StopRun run;
    RunStopped(run, InstallStep::Service, 1);
    EXPECT_TRUE(Eventually([] { return ServiceState(kServiceA) == SERVICE_RUNNING; }));
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "servicenames0"), kServiceA);
    EXPECT_FALSE(HasValue(kAppKey, "service1"));
    EXPECT_FALSE(HasValue(kAppKey, "servicenames1"));
    EXPECT_EQ(ServiceState(kServiceB), 0u);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), kProduct);
    ExpectNoShortcuts();
    Forget();
}

TEST(StopAtStepBoundary, BeforeTheShortcutsNoShortcutIsMade) {
    StopRun run;
    RunStopped(run, InstallStep::Shortcuts);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "servicenames1"), kServiceB);
    for (const std::string& name : {kServiceA, kServiceB})
        EXPECT_TRUE(Eventually([&] { return ServiceState(name) == SERVICE_RUNNING; })) << name;
    ExpectNoShortcuts();
    EXPECT_EQ(run.host.positions.back(), 95);
    Forget();
}

TEST(StopAtStepBoundary, BeforeTheExtractionNothingIsWritten) {
    Forget();
    TempDir dir;
    TestHost host;
    sacwriter::InstallerInput input;
    input.stub = ReadBytes(ProgramFolder() / "testservice.exe");
    input.fields.productname = kProduct;
    input.fields.productversion = "1";
    input.fields.exename = kExe;
    sacwriter::ArchiveItem item;
    item.filename = u"a.txt";
    item.data = {'a'};
    input.items.push_back(item);
    const fs::path installer = dir.path() / "setup-stop.exe";
    BuildInstaller(installer, input, host.trailer);
    StoppedAt engine(host, installer.u16string(), InstallStep::Extraction, 0, false);
    engine.HandOver(host.trailer.licenseoffset, kProduct, kExe);
    ASSERT_TRUE(engine.OpenArchive());
    engine.SetInstallFolder(dir.wide(u"Stop"));
    engine.Start();
    ASSERT_TRUE(engine.WaitFor(60000));
    EXPECT_TRUE(engine.reached);
    EXPECT_EQ(host.finished, 0);
    EXPECT_FALSE(fs::exists(dir.path() / "Stop"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
}

// While the cancel question is open the worker waits at the boundary it
// came to: the next step has not begun, and after Yes it never does.
TEST(PauseAtStepBoundary, APausedWorkerBeginsNoFurtherStep) {
    {
        StopRun run;
        RunStopped(run, InstallStep::UninstallerCopy, 0, [] { EXPECT_FALSE(fs::exists(Uninstaller())); });
        EXPECT_FALSE(fs::exists(Uninstaller()));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    }
    {
        StopRun run;
        RunStopped(run, InstallStep::Registration, 0, [] { EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey)); });
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    }
    {
        StopRun run;
        RunStopped(run, InstallStep::Service, 1, [] { EXPECT_EQ(ServiceState(kServiceB), 0u); });
        EXPECT_EQ(ServiceState(kServiceB), 0u);
        ExpectNoShortcuts();
    }
    {
        StopRun run;
        RunStopped(run, InstallStep::Shortcut, 0, [] {
            EXPECT_FALSE(fs::exists(DesktopLink()));
            EXPECT_FALSE(fs::exists(StartMenuLink()));
        });
        EXPECT_FALSE(fs::exists(DesktopLink()));
        EXPECT_FALSE(fs::exists(StartMenuLink()));
        EXPECT_TRUE(fs::is_empty(Group())) << "a shortcut was made after the stop";
    }
    Forget();
}

// The hook sees every boundary of a run that is not stopped, in order.
class Watched : public tinstallengine {
public:
    using tinstallengine::tinstallengine;
    ~Watched() override { WaitFor(60000); }
    std::vector<std::pair<InstallStep, int>> seen;

protected:
    void BeforeStep(InstallStep step, int slot) override { seen.emplace_back(step, slot); }
};

TEST(StopAtStepBoundary, AnUnstoppedRunPassesEveryBoundaryOnceInOrder) {
    StopRun run;
    Forget();
    run.input.stub = ReadBytes(ProgramFolder() / "testservice.exe");
    run.input.fields.productname = kProduct;
    run.input.fields.productversion = "1";
    run.input.fields.exename = kExe;
    run.input.fields.startmenufolder = kStartMenu;
    run.input.fields.services = {{"svca.exe", kServiceA}, {"svcb.exe", kServiceB}};
    for (const char16_t* name : {u"svca.exe", u"svcb.exe"}) {
        sacwriter::ArchiveItem item;
        item.filename = name;
        item.data = run.input.stub;
        run.input.items.push_back(item);
    }
    const fs::path installer = run.dir.path() / "setup-watch.exe";
    BuildInstaller(installer, run.input, run.host.trailer);
    Watched engine(run.host, installer.u16string());
    engine.HandOver(run.host.trailer.licenseoffset, kProduct, kExe);
    ASSERT_TRUE(engine.OpenArchive());
    engine.SetInstallFolder(run.dir.wide(u"Watch"));
    engine.Start();
    ASSERT_TRUE(engine.WaitFor(60000));
    EXPECT_EQ(run.host.finished, 1);
    EXPECT_FALSE(run.host.failedflag);
    const std::vector<std::pair<InstallStep, int>> expected = {
        {InstallStep::Extraction, 0}, {InstallStep::UninstallerCopy, 0}, {InstallStep::Registration, 0},
        {InstallStep::Service, 0},    {InstallStep::Service, 1},         {InstallStep::Shortcuts, 0},
        {InstallStep::Shortcut, 0},   {InstallStep::Shortcut, 1},        {InstallStep::Shortcut, 2},
        {InstallStep::Shortcut, 3}};
    EXPECT_EQ(engine.seen, expected);
    EXPECT_TRUE(fs::exists(DesktopLink()));
    Forget();
}


// An update stopped late -- its files, record, registration and services in
// place, a shortcut made -- puts the installed version back as it was: the
// replaced and the dropped files, the record, both keys, the services
// running (also the one the new version drops), the shortcuts; its new file
// and the backup folder are gone.  Run to its end, the same update removes
// the dropped service and files; a file held open on the way is asked
// about, and the answer that closes its holder goes on with the update.
TEST(StopAtStepBoundary, AStoppedUpdatePutsTheInstalledVersionBack) {
    Forget();
    TempDir dir;
    const std::vector<std::uint8_t> stub = ReadBytes(ProgramFolder() / "testservice.exe");
    const fs::path folder = dir.path() / "Update";
    const auto build = [&](const std::string& version, const std::vector<std::u16string>& extra, TestHost& host,
                           bool withb = true) {
        sacwriter::InstallerInput input;
        input.stub = stub;
        input.fields.productname = kProduct;
        input.fields.productversion = version;
        input.fields.exename = kExe;
        input.fields.startmenufolder = kStartMenu;
        input.fields.services = {{"svca.exe", kServiceA}};
        if (withb) input.fields.services.push_back({"svcb.exe", kServiceB});
        input.fields.shortcuts = {{"readme.txt", "Read Me"}};
        std::vector<std::u16string> names = {u"readme.txt", u"svca.exe"};
        if (withb) names.push_back(u"svcb.exe");
        names.insert(names.end(), extra.begin(), extra.end());
        for (const std::u16string& name : names) {
            sacwriter::ArchiveItem item;
            item.filename = name;
            item.data = name == u"readme.txt" ? std::vector<std::uint8_t>(version.begin(), version.end()) : stub;
            input.items.push_back(item);
        }
        const fs::path installer = dir.path() / ("setup-" + version + ".exe");
        BuildInstaller(installer, input, host.trailer);
        return installer.u16string();
    };
    TestHost first;
    {
        Watched engine(first, build("1", {u"dropped.dll"}, first));
        ASSERT_TRUE(RunEngine(engine, first, folder.u16string()));
        ASSERT_FALSE(first.failedflag);
    }
    const auto state = [&] {
        std::vector<std::string> values;
        for (const char* name : {"", "Displayname", "Path", "service0", "servicenames1"})
            values.push_back(RegValue(HKEY_LOCAL_MACHINE, kAppKey, name));
        for (const char* name : {"DisplayVersion", "InstallRecordId", "UninstallString", "InstallLocation"})
            values.push_back(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, name));
        for (const char* file : {"readme.txt", "svca.exe", "svcb.exe", "dropped.dll", "uninstall.dat"}) {
            const std::vector<std::uint8_t> bytes = ReadBytes(folder / file);
            values.emplace_back(bytes.begin(), bytes.end());
        }
        for (const fs::path& link : {Group() / (kProduct + ".lnk"), StartMenuLink(), DesktopLink()}) {
            const std::vector<std::uint8_t> bytes = ReadBytes(link);
            values.emplace_back(bytes.begin(), bytes.end());
        }
        for (const std::string& name : {kServiceA, kServiceB}) {
            Eventually([&] { return ServiceState(name) == SERVICE_RUNNING; });
            values.push_back(std::to_string(ServiceState(name)) + " " + WideToAnsi(ServiceBinary(name)));
        }
        return values;
    };
    const std::vector<std::string> installed = state();
    ASSERT_EQ(installed[5], "1");
    ASSERT_EQ(installed.back().substr(0, 2), "4 ");

    TestHost second;
    const std::u16string update = build("2", {u"new.dll"}, second, false);
    StoppedAt engine(second, update, InstallStep::Shortcut, 1, false);
    ASSERT_TRUE(RunEngine(engine, second, folder.u16string()));
    EXPECT_TRUE(engine.reached);
    EXPECT_EQ(second.finished, 0);
    EXPECT_TRUE(engine.UpdateOutcome().rolledback);
    EXPECT_EQ(engine.UpdateOutcome().unrestored, u"");
    EXPECT_EQ(state(), installed);
    EXPECT_FALSE(fs::exists(folder / "new.dll"));
    EXPECT_FALSE(fs::exists(folder / "~tallowin-update"));

    TestHost third;
    third.trailer = second.trailer;
    HANDLE held = ::CreateFileW((folder / "readme.txt").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // Wine's Restart Manager names and closes no program: the test lets go itself.
    third.onfileinuse = [&](const std::u16string&) {
        ::CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        return TestHost::FileInUseAnswer::CloseHoldersAndRetry;
    };
    {
        Watched whole(third, update);
        ASSERT_TRUE(RunEngine(whole, third, folder.u16string()));
        EXPECT_FALSE(third.failedflag) << WideToAnsi(whole.ErrorText());
    }
    if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
    ASSERT_EQ(third.fileinuse.size(), 1u);
    EXPECT_NE(WideToAnsi(third.fileinuse[0]).find("readme.txt"), std::string::npos);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), "2");
    EXPECT_TRUE(Eventually([] { return ServiceState(kServiceA) == SERVICE_RUNNING; }));
    EXPECT_TRUE(Eventually([] { return ServiceState(kServiceB) == 0; })) << "the dropped service stayed";
    for (const char* gone : {"svcb.exe", "dropped.dll", "~tallowin-update"})
        EXPECT_FALSE(fs::exists(folder / gone)) << gone;
    EXPECT_TRUE(fs::exists(folder / "new.dll"));
    Forget();
}

// An update whose names differ from the installed version's: a name that
// changed only in the case of a non-ASCII letter, a file that became a
// folder and a folder that became a file, a shortcut caption and the
// program's name.  Stopped late it puts the installed version back byte
// for byte; run to its end it keeps the renamed file and leaves nothing of
// the installed version's that it no longer makes.
TEST(StopAtStepBoundary, AnUpdateWithOtherNamesRollsBackAndLeavesNothingBehind) {
    Forget();
    TempDir dir;
    const fs::path folder = dir.path() / "Names";
    const std::string renamed = "tlwengstop2.exe";
    const auto build = [&](bool second, TestHost& host) {
        sacwriter::InstallerInput input;
        input.stub = ReadBytes(ProgramFolder() / "testservice.exe");
        input.fields.productname = kProduct;
        input.fields.productversion = second ? "2" : "1";
        input.fields.exename = second ? renamed : kExe;
        input.fields.startmenufolder = kStartMenu;
        input.fields.shortcuts = {{"readme.txt", second ? "Read Me Now" : "Read Me"}};
        const auto add = [&](const std::u16string& sub, const std::u16string& name, const std::string& text) {
            sacwriter::ArchiveItem item;
            item.subfolder = sub;
            item.filename = name;
            item.data.assign(text.begin(), text.end());
            input.items.push_back(item);
        };
        add(u"", u"readme.txt", input.fields.productversion);
        add(u"", second ? u"\u00e4.txt" : u"\u00c4.txt", second ? "new" : "old");
        if (second) {
            add(u"\\conf", u"y.txt", "y");
            add(u"", u"data", "data file");
        } else {
            add(u"", u"conf", "conf file");
            add(u"\\data", u"x.txt", "x");
        }
        const fs::path installer = dir.path() / (second ? "setup-2.exe" : "setup-1.exe");
        BuildInstaller(installer, input, host.trailer);
        return installer.u16string();
    };
    const std::string renamedkey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + renamed;
    const fs::path renameduninstaller(installengine::UninstallerPath(GetWindowsFolder(), renamed));
    const auto text = [](const fs::path& file) {
        const std::vector<std::uint8_t> bytes = ReadBytes(file);
        return std::string(bytes.begin(), bytes.end());
    };
    TestHost first;
    {
        Watched engine(first, build(false, first));
        ASSERT_TRUE(RunEngine(engine, first, folder.u16string()));
        ASSERT_FALSE(first.failedflag) << WideToAnsi(engine.ErrorText());
    }
    const auto installed = [&] {
        EXPECT_EQ(text(folder / u"\u00c4.txt"), "old");
        EXPECT_EQ(text(folder / "conf"), "conf file");
        EXPECT_EQ(text(folder / "data" / "x.txt"), "x");
        EXPECT_TRUE(fs::exists(Group() / "Read Me.lnk"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
        EXPECT_TRUE(fs::exists(Uninstaller()));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, renamedkey));
        EXPECT_FALSE(fs::exists(folder / "~tallowin-update"));
    };
    installed();

    TestHost second;
    const std::u16string update = build(true, second);
    {
        StoppedAt engine(second, update, InstallStep::Shortcut, 1, false);
        ASSERT_TRUE(RunEngine(engine, second, folder.u16string()));
        EXPECT_TRUE(engine.UpdateOutcome().rolledback);
        EXPECT_EQ(engine.UpdateOutcome().unrestored, u"");
    }
    installed();

    TestHost third;
    third.trailer = second.trailer;
    {
        Watched whole(third, update);
        ASSERT_TRUE(RunEngine(whole, third, folder.u16string()));
        EXPECT_FALSE(third.failedflag) << WideToAnsi(whole.ErrorText());
    }
    EXPECT_EQ(text(folder / u"\u00e4.txt"), "new");
    const installengine::ParsedInstallRecord record = installengine::ReadInstallRecord(folder.u16string());
    ASSERT_TRUE(record.ok) << record.error;
    EXPECT_EQ(std::count(record.record.files.begin(), record.record.files.end(), u"\u00e4.txt"), 1);
    EXPECT_EQ(text(folder / "conf" / "y.txt"), "y");
    EXPECT_EQ(text(folder / "data"), "data file");
    EXPECT_FALSE(fs::exists(Group() / "Read Me.lnk"));
    EXPECT_TRUE(fs::exists(Group() / "Read Me Now.lnk"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_FALSE(fs::exists(Uninstaller()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, renamedkey));
    EXPECT_TRUE(fs::exists(renameduninstaller));
    EXPECT_FALSE(fs::exists(folder / "~tallowin-update"));

    TestHost uninstall;
    uninstall.trailer = third.trailer;
    uninstall.destfolder = folder.u16string();
    installengine::RunUninstallSequence(uninstall);
    EXPECT_EQ(uninstall.events.back(), "finish page");
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, renamedkey));
    EXPECT_FALSE(fs::exists(Group()));
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, renamedkey.c_str());
    std::error_code ignored;
    fs::remove(renameduninstaller, ignored);
    Forget();
}

}  // namespace

namespace {

const std::string kVendorKey = "Software\\Tlw Vendor Engtest";
const std::string kProductKey = kVendorKey + "\\Product";
const std::string kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A value as the registry holds it: "type:text" for strings, "type:hex" else; "" when missing.
std::string Value(RegRoot root, const std::string& key, const std::u16string& name) {
    RegValueCopy value;
    if (!ReadRegValue(root, key, name, value)) return "";
    std::string out = std::to_string(value.type) + ":";
    if (value.type == 1 || value.type == 2) {
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
            const char16_t c = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
            if (c) out += WideToAnsi(std::u16string(1, c));
        }
        return out;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::uint8_t b : value.data) out += std::string{kHex[b >> 4], kHex[b & 15]};
    return out;
}

payload::RegistryDeclaration Declare(payload::RegistryType type, const std::string& key, const std::u16string& name,
                                     const std::u16string& text, std::uint64_t number = 0) {
    payload::RegistryDeclaration d;
    d.type = type;
    d.key = key;
    d.name = name;
    if (!text.empty()) d.texts = {text};
    d.number = number;
    return d;
}

}  // namespace

// The product's own registry values and its Run value, its PATH entries,
// variables, file types and link schemes: written with the keys they need,
// carried by an update (a value and a PATH entry dropped, a value and a file
// type added, one changed), put back as they were by a stopped update, and
// undone by the uninstall -- a sibling value in a key that was there before,
// a Run value the user changed since, the user's own identical PATH entry, a
// variable's earlier value, another program's default for an extension and
// a scheme another program owns stay.  Machine-wide under HKEY_LOCAL_MACHINE,
// per user under HKEY_CURRENT_USER, and nothing of it under the other root.
class DeclaredValues : public ::testing::TestWithParam<payload::InstallScope> {};

TEST_P(DeclaredValues, WrittenCarriedRolledBackAndUndoneExactly) {
    const payload::InstallScope scope = GetParam();
    const bool peruser = scope == payload::InstallScope::User;
    const HKEY hroot = peruser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const HKEY hother = peruser ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const RegRoot root = peruser ? RegRoot::CurrentUser : RegRoot::LocalMachine;
    const auto Value = [&](const std::string& key, const std::u16string& name) { return ::Value(root, key, name); };
    Forget();
    ::RegDeleteKeyA(hroot, kProductKey.c_str());
    SetRegValue(hroot, kVendorKey, "Sibling", "theirs");
    SetRegValue(hroot, kRunKey, "Tlw Other Engtest", "other.exe");
    TempDir dir;
    const fs::path folder = dir.path() / "Declared";
    const std::string app = WideToAnsi(folder.u16string());
    const std::string envkey = peruser ? "Environment" : "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const std::string classes = "Software\\Classes\\";
    const std::string pathbefore = Value(envkey, u"Path");
    RegValueCopy pathcopy;
    const bool hadpath = ReadRegValue(root, envkey, u"Path", pathcopy);
    const auto setPath = [&](const std::string& text) {  // of the type it has: the prefix's PATH expands %SystemRoot%
        std::vector<std::uint8_t> bytes;
        for (char16_t c : AnsiToWide(text) + u'\0') bytes.insert(bytes.end(), {std::uint8_t(c & 0xff), std::uint8_t(c >> 8)});
        ASSERT_TRUE(WriteKeyValues(root, envkey, {RegValueCopy{u"Path", hadpath ? pathcopy.type : 2u, bytes}}));
    };
    // The user's own entry for the product's bin folder, and a variable of theirs the product sets too.
    const std::string userpath = (pathbefore.size() > 2 ? pathbefore.substr(2) + ";" : "") + app + "\\bin";
    setPath(userpath);
    SetRegValue(hroot, envkey, "TLW_ENGTEST_KEEP", "before");
    SetRegValue(hroot, classes + ".tlwengtesttaken", "", "Other.Document");
    SetRegValue(hroot, classes + "tlwtaken", "", "URL:theirs");
    const auto build = [&](const std::string& version, TestHost& host) {
        sacwriter::InstallerInput input;
        input.stub = ReadBytes(ProgramFolder() / "testservice.exe");
        input.fields.productname = kProduct;
        input.fields.productversion = version;
        input.fields.exename = kExe;
        input.fields.startmenufolder = kStartMenu;
        sacwriter::ArchiveItem item;
        item.filename = AnsiToWide(kExe);
        item.data = {'p'};
        input.items.push_back(item);
        const fs::path installer = dir.path() / ("setup-" + version + ".exe");
        BuildInstaller(installer, input, host.trailer);
        return installer.u16string();
    };
    using payload::RegistryType;
    payload::Declarations one, two;
    one.registry = {Declare(RegistryType::String, kProductKey, u"Server", u"{app}\\lic {version}"),
                    Declare(RegistryType::Dword, kProductKey, u"Port", u"", 27000),
                    Declare(RegistryType::String, kProductKey, u"Old", u"old"),
                    Declare(RegistryType::Expandable, kVendorKey, u"Shared", u"%TEMP%")};
    one.startatsignin = true;
    one.signinarguments = u"/tray";
    one.path = {{u"", ""}, {u"bin", ""}};
    one.environment = {{u"TLW_ENGTEST_HOME", u"{app}", ""}, {u"TLW_ENGTEST_KEEP", u"ours", ""}};
    two.registry = {Declare(RegistryType::String, kProductKey, u"Server", u"{app}\\lic {version}"),
                    Declare(RegistryType::Dword, kProductKey, u"Port", u"", 27000),
                    Declare(RegistryType::Qword, kProductKey, u"New", u"", 0x0102030405060708ull),
                    Declare(RegistryType::Expandable, kVendorKey, u"Shared", u"%TEMP%")};
    two.startatsignin = true;
    two.signinarguments = u"/tray /quiet";
    two.environment = one.environment;
    two.filetypes = {{"Tlw.Engtest.Document.1", u"Engtest document", {".tlwengtest", ".tlwengtesttaken"}, AnsiToWide(kExe), 0,
                      {{"open", AnsiToWide(kExe), u"\"%1\""}}, ""}};
    two.protocols = {{"tlwengtest", u"Engtest link", AnsiToWide(kExe), u"\"%1\"", ""},
                     {"tlwtaken", u"Taken", AnsiToWide(kExe), u"\"%1\"", ""}};
    const std::string open = "1:\"" + app + "\\" + kExe + "\" \"%1\"";
    const std::string command = "\"" + WideToAnsi(folder.u16string()) + "\\" + kExe + "\" /tray";

    TestHost first;
    {
        Watched engine(first, build("1", first), scope);
        engine.SetDeclarations(one);
        ASSERT_TRUE(RunEngine(engine, first, folder.u16string()));
        ASSERT_FALSE(first.failedflag) << WideToAnsi(engine.ErrorText());
    }
    const auto installed = [&] {
        EXPECT_EQ(Value(kProductKey, u"Server"), "1:" + WideToAnsi(folder.u16string()) + "\\lic 1");
        EXPECT_EQ(Value(kProductKey, u"Port"), "4:78690000");
        EXPECT_EQ(Value(kProductKey, u"Old"), "1:old");
        EXPECT_EQ(Value(kProductKey, u"New"), "");
        EXPECT_EQ(Value(kVendorKey, u"Shared"), "2:%TEMP%");
        EXPECT_EQ(Value(kRunKey, AnsiToWide(kProduct)), "1:" + command);
        // One entry added at the end, the user's bin entry not doubled.
        EXPECT_EQ(Value(envkey, u"Path").substr(2), userpath + ";" + app);
        EXPECT_EQ(Value(envkey, u"TLW_ENGTEST_HOME"), "1:" + app);
        EXPECT_EQ(Value(envkey, u"TLW_ENGTEST_KEEP"), "1:ours");
        EXPECT_FALSE(KeyExists(hroot, classes + "Tlw.Engtest.Document.1"));
        EXPECT_FALSE(KeyExists(hroot, classes + ".tlwengtest"));
    };
    installed();
    const installengine::ParsedInstallRecord record = installengine::ReadInstallRecord(folder.u16string());
    ASSERT_TRUE(record.ok) << record.error;
    // The vendor key was there before: only the product's key is the install's.
    EXPECT_EQ(record.record.createdkeys,
              std::vector<std::u16string>{(peruser ? u"HKCU\\" : u"HKLM\\") + AnsiToWide(kProductKey)});
    EXPECT_FALSE(KeyExists(hother, kProductKey));
    EXPECT_EQ(record.record.registryvalues.size(), 4u);
    EXPECT_EQ(record.record.signincommand, AnsiToWide(command));
    EXPECT_EQ(record.record.pathentries, std::vector<std::u16string>{folder.u16string()});
    EXPECT_EQ(record.record.variablesbefore, std::vector<std::u16string>{u"TLW_ENGTEST_KEEP=before"});

    TestHost second;
    const std::u16string update = build("2", second);
    {
        StoppedAt engine(second, update, InstallStep::Shortcut, 1, false, scope);
        engine.SetDeclarations(two);
        ASSERT_TRUE(RunEngine(engine, second, folder.u16string()));
        EXPECT_TRUE(engine.UpdateOutcome().rolledback);
        EXPECT_EQ(engine.UpdateOutcome().unrestored, u"");
    }
    installed();

    TestHost third;
    third.trailer = second.trailer;
    {
        Watched whole(third, update, scope);
        whole.SetDeclarations(two);
        ASSERT_TRUE(RunEngine(whole, third, folder.u16string()));
        EXPECT_FALSE(third.failedflag) << WideToAnsi(whole.ErrorText());
    }
    EXPECT_EQ(Value(kProductKey, u"Server"), "1:" + WideToAnsi(folder.u16string()) + "\\lic 2");
    EXPECT_EQ(Value(kProductKey, u"Old"), "");
    EXPECT_EQ(Value(kProductKey, u"New"), "11:0807060504030201");
    EXPECT_EQ(Value(kRunKey, AnsiToWide(kProduct)), "1:" + command + " /quiet");
    EXPECT_EQ(Value(envkey, u"Path").substr(2), userpath);  // the dropped entry went, the user's stays
    EXPECT_EQ(Value(classes + "Tlw.Engtest.Document.1\\shell\\open\\command", u""), open);
    EXPECT_EQ(Value(classes + ".tlwengtest", u""), "1:Tlw.Engtest.Document.1");
    EXPECT_EQ(Value(classes + ".tlwengtest\\OpenWithProgids", u"Tlw.Engtest.Document.1"), "0:");
    EXPECT_EQ(Value(classes + ".tlwengtesttaken", u""), "1:Other.Document");
    EXPECT_EQ(Value(classes + ".tlwengtesttaken\\OpenWithProgids", u"Tlw.Engtest.Document.1"), "0:");
    EXPECT_EQ(Value(classes + "tlwengtest", u"URL Protocol"), "1:");
    EXPECT_EQ(Value(classes + "tlwengtest\\shell\\open\\command", u""), open);
    EXPECT_EQ(Value(classes + "tlwtaken", u""), "1:URL:theirs");
    EXPECT_FALSE(KeyExists(hroot, classes + "tlwtaken\\shell"));
    // The user points the Run value elsewhere: it is no longer ours.
    SetRegValue(hroot, kRunKey, kProduct, "mine.exe");
    // A record that names a PATH entry outside the program folder (another
    // tool wrote it) does not take the user's entry away.
    installengine::ParsedInstallRecord tampered = installengine::ReadInstallRecord(folder.u16string());
    ASSERT_TRUE(tampered.ok) << tampered.error;
    tampered.record.pathentries.push_back(u"C:\\Tlw Foreign");
    ASSERT_TRUE(installengine::WriteInstallRecord(tampered.record));
    setPath(userpath + ";C:\\Tlw Foreign");

    TestHost uninstall;
    uninstall.trailer = third.trailer;
    uninstall.destfolder = folder.u16string();
    installengine::RunUninstallSequence(uninstall, scope);
    EXPECT_EQ(uninstall.events.back(), "finish page");
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(KeyExists(hroot, kProductKey));
    EXPECT_EQ(Value(kVendorKey, u"Shared"), "");
    EXPECT_EQ(RegValue(hroot, kVendorKey, "Sibling"), "theirs");
    EXPECT_EQ(RegValue(hroot, kRunKey, kProduct), "mine.exe");
    EXPECT_EQ(RegValue(hroot, kRunKey, "Tlw Other Engtest"), "other.exe");
    EXPECT_EQ(Value(envkey, u"Path").substr(2), userpath + ";C:\\Tlw Foreign");
    EXPECT_EQ(Value(envkey, u"TLW_ENGTEST_HOME"), "");
    EXPECT_EQ(Value(envkey, u"TLW_ENGTEST_KEEP"), "1:before");
    EXPECT_FALSE(KeyExists(hroot, classes + "Tlw.Engtest.Document.1"));
    EXPECT_FALSE(KeyExists(hroot, classes + ".tlwengtest"));
    EXPECT_EQ(Value(classes + ".tlwengtesttaken", u""), "1:Other.Document");
    EXPECT_FALSE(KeyExists(hroot, classes + ".tlwengtesttaken\\OpenWithProgids"));
    EXPECT_FALSE(KeyExists(hroot, classes + "tlwengtest"));
    EXPECT_EQ(Value(classes + "tlwtaken", u""), "1:URL:theirs");

    if (hadpath) ASSERT_TRUE(WriteKeyValues(root, envkey, {pathcopy}));
    ::RegDeleteKeyA(hroot, (classes + ".tlwengtesttaken").c_str());
    ::RegDeleteKeyA(hroot, (classes + "tlwtaken").c_str());
    HKEY env = nullptr;
    if (::RegOpenKeyExA(hroot, envkey.c_str(), 0, KEY_SET_VALUE, &env) == ERROR_SUCCESS) {
        ::RegDeleteValueA(env, "TLW_ENGTEST_KEEP");
        if (!hadpath) ::RegDeleteValueA(env, "Path");
        ::RegCloseKey(env);
    }
    ::RegDeleteKeyA(hroot, kVendorKey.c_str());
    HKEY run = nullptr;
    if (::RegOpenKeyExA(hroot, kRunKey.c_str(), 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        ::RegDeleteValueA(run, kProduct.c_str());
        ::RegDeleteValueA(run, "Tlw Other Engtest");
        ::RegCloseKey(run);
    }
    Forget();
}

INSTANTIATE_TEST_SUITE_P(BothScopes, DeclaredValues,
                         ::testing::Values(payload::InstallScope::Machine, payload::InstallScope::User));
