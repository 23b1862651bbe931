// The install engine run for real under a test host: an installer is built,
// installed and uninstalled, and the machine is inspected afterwards.
#include "installengine/protectedfolders.hpp"
#include "installengine/tinstallengine.hpp"
#include "mainunit/uninstallinfo.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/registry.hpp"
#include "setuputil/services.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/textconv.hpp"
#include "tests/unit/tempdir.hpp"
#include "tests/win32/engine/enginehost.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <random>

using namespace enginetest;
using namespace setuputil;
using installengine::tinstallengine;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kProduct = "Tallowin Engine Test";
const std::string kExe = "tlwengtest.exe";
const std::u16string kStartMenu = u"\\Calderic\\Tallowin Engine Test";
const std::string kSettings = "Tallowin Engine Test Settings";
const std::string kAppKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + kExe;
const std::string kUninstallKey = "software\\microsoft\\windows\\currentversion\\uninstall\\" + kProduct;
const std::string kServiceA = "TallowinEngSvcA";
const std::string kServiceB = "TallowinEngSvcB";

std::u16string W(const std::string& s) { return AnsiToWide(s); }

std::vector<std::uint8_t> Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = (i / 4096) % 2 ? static_cast<std::uint8_t>(random()) : 'a' + i % 7;
    return bytes;
}

sacwriter::ArchiveItem Item(std::u16string subfolder, std::u16string name, std::vector<std::uint8_t> data,
                            std::uint8_t attributes = 0x20) {
    sacwriter::ArchiveItem item;
    item.subfolder = std::move(subfolder);
    item.filename = std::move(name);
    item.data = std::move(data);
    item.attributes = attributes;
    return item;
}

std::vector<std::uint8_t> Text(const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); }

std::vector<std::uint8_t> Stub() { return ReadBytes(ProgramFolder() / "testservice.exe"); }

sacwriter::InstallerInput FullInput() {
    sacwriter::InstallerInput input;
    input.stub = Stub();
    input.licensetext = "You may test this.\r\n";
    input.fields.productname = kProduct;
    input.fields.productversion = "5.0";
    input.fields.exename = kExe;
    input.fields.startmenufolder = kStartMenu;
    input.fields.defaultsubfolder = u"\\Tallowin Engine Test";
    input.fields.appdatafolder = kSettings;
    input.fields.services = {{"bin\\svc a.exe", kServiceA}, {"svcb.exe", kServiceB}};
    input.fields.shortcuts = {{"readme.txt", "Read Me"},         {kExe + " -safe", "Safe: Mode"},
                              {"docs\\guide.txt", "Guide/Help"}, {"x-y.txt", "Hyphen"},
                              {kExe, "Again"},                   {"big.bin", "Big"}};
    const std::vector<std::uint8_t> service = Stub();
    input.items = {
        Item(u"", W(kExe), Text("the program")),
        Item(u"", u"readme.txt", Text("read me\r\n"), 0x21),
        Item(u"\\docs", u"guide.txt", Text("a guide")),
        Item(u"\\donn\u00e9es\\\u4e2d\u6587", u"f\u00fcr \u00e9t\u00e9.bin", Noise(5000, 1)),
        Item(u"", u"big.bin", Noise(300000, 2)),
        Item(u"\\bin", u"svc a.exe", service),
        Item(u"", u"svcb.exe", service),
    };
    return input;
}

std::unique_ptr<tinstallengine> RunInstall(TestHost& host, const fs::path& installer, const std::u16string& folder,
                                           bool expectOpen = true) {
    auto engine = std::make_unique<tinstallengine>(host, installer.u16string());
    engine->HandOver(host.trailer.licenseoffset, payload::ReadShortString(host.trailer.productname),
                     payload::ReadShortString(host.trailer.exename));
    EXPECT_EQ(engine->OpenArchive(), expectOpen) << WideToAnsi(engine->ErrorText());
    engine->SetInstallFolder(folder);
    engine->Start();
    EXPECT_TRUE(engine->WaitFor(120000));
    return engine;
}

// The uninstall as the wizard runs it: registration read back at start-up,
// then the sequence.
void RunUninstall(TestHost& host, const std::string& exename) {
    host.trailer = {};
    ASSERT_TRUE(mainunit::LoadUninstallInfo(
        W(exename), [](const std::string& key, const std::string& name) { return ReadMachineRegString(key, name, ""); },
        host.trailer, host.destfolder));
    installengine::RunUninstallSequence(host);
}

fs::path Programs() { return fs::path(GetProgramsFolder()); }
fs::path Desktop() { return fs::path(GetDesktopFolder()); }
fs::path StartMenu() { return fs::path(GetStartMenuFolder()); }
fs::path Uninstaller() { return fs::path(installengine::UninstallerPath(GetWindowsFolder(), kExe)); }

void CleanServices() {
    for (const std::string& name : {kServiceA, kServiceB}) {
        if (IsServiceRunning(name)) StopServiceNamed(name);
        DeleteServiceNamed(name);
        Eventually([&] { return ServiceState(name) == 0; });
    }
}

struct Installed {
    TempDir dir;
    std::u16string folder;
    sacwriter::InstallerInput input;
    TestHost host;
    std::unique_ptr<tinstallengine> engine;
};

void InstallFull(Installed& run) {
    CleanServices();
    run.folder = run.dir.wide(u"Prog Files\\Tallowin Engine Test");
    run.input = FullInput();
    const fs::path installer = run.dir.path() / "setup-full.exe";
    BuildInstaller(installer, run.input, run.host.trailer);
    run.engine = RunInstall(run.host, installer, run.folder);
}

void ExpectInstalled(Installed& run) {
    TestHost& host = run.host;
    ASSERT_EQ(host.finished, 1);
    ASSERT_FALSE(host.failedflag) << WideToAnsi(run.engine->ErrorText());
    // Extraction reports below 90, each one a position the bar does not
    // show yet (never backwards, no repeats); then 90, 95, 100.
    ASSERT_GE(host.positions.size(), 4u);
    for (std::size_t i = 0; i + 3 < host.positions.size(); ++i) {
        EXPECT_LT(host.positions[i], 90);
        if (i > 0) {
            EXPECT_GT(host.positions[i], host.positions[i - 1]);
        }
    }
    EXPECT_EQ(std::vector<int>(host.positions.end() - 3, host.positions.end()), (std::vector<int>{90, 95, 100}));

    const fs::path root(run.folder);
    for (const auto& item : run.input.items) {
        const fs::path file = fs::path(run.folder + item.subfolder + u"\\" + item.filename);
        ASSERT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(ReadBytes(file), item.data) << file;
        const DWORD attributes = ::GetFileAttributesW(file.c_str());
        EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, item.attributes & 1u) << file;
    }
    EXPECT_EQ(ReadBytes(Uninstaller()), run.input.stub);

    // Registration.
    const std::u16string desktopLink = Desktop().u16string() + u"\\" + W(kProduct) + u".lnk";
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, ""), WideToAnsi(run.folder) + "\\" + kExe);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "Path"), EncodeLetterHex(run.folder));
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "Displayname"), kProduct);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "Startpath"), EncodeLetterHex(kStartMenu));
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "Desktop"), EncodeLetterHex(desktopLink));
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "AppData"), kSettings);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "service0"), "bin\\svc a.exe");
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "servicenames0"), kServiceA);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "service1"), "svcb.exe");
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "servicenames1"), kServiceB);
    bool present = true;
    RegValue(HKEY_LOCAL_MACHINE, kAppKey, "service2", &present);
    EXPECT_FALSE(present);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), kProduct);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              "\"" + Uninstaller().string() + "\" -ui " + kExe);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"),
              "\"" + Uninstaller().string() + "\" -ui " + kExe + " /S");
    // The installed-programs entry.
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), "5.0");
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon"), WideToAnsi(run.folder) + "\\" + kExe);
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), WideToAnsi(run.folder));
    std::uint64_t bytes = 0;
    for (const auto& item : run.input.items) bytes += item.data.size();
    bool isdword = false;
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", &isdword), (bytes + 1023) / 1024);
    EXPECT_TRUE(isdword) << "EstimatedSize is not a REG_DWORD";
    for (const char* name : {"NoModify", "NoRepair"}) {
        EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, kUninstallKey, name, &isdword), 1u) << name;
        EXPECT_TRUE(isdword) << name;
    }

    // Services, from the installed programs, running.
    for (const std::string& name : {kServiceA, kServiceB})
        EXPECT_TRUE(Eventually([&] { return ServiceState(name) == SERVICE_RUNNING; })) << name;
    EXPECT_EQ(ServiceBinary(kServiceA), u"\"" + run.folder + u"\\bin\\svc a.exe\"");
    EXPECT_EQ(ServiceBinary(kServiceB), u"\"" + run.folder + u"\\svcb.exe\"");

    // The ten shortcuts.
    const std::u16string group = Programs().u16string() + kStartMenu + u"\\";
    const std::u16string program = run.folder + u"\\" + W(kExe);
    struct Expected {
        std::u16string link, target, arguments, description, work;
    };
    const Expected links[] = {
        {group + W(kProduct) + u".lnk", program, u"", W(kProduct), run.folder},
        {StartMenu().u16string() + u"\\" + W(kProduct) + u".lnk", program, u"", W(kProduct), run.folder},
        {group + u"Read Me.lnk", run.folder + u"\\readme.txt", u"", u"Read Me", run.folder},
        {group + u"Safe Mode.lnk", program + u" ", u"-safe", u"Safe: Mode", run.folder},
        {group + u"GuideHelp.lnk", run.folder + u"\\docs\\guide.txt", u"", u"Guide/Help", run.folder},
        {group + u"Hyphen.lnk", run.folder + u"\\x", u"-y.txt", u"Hyphen", run.folder},
        {group + u"Again.lnk", program, u"", u"Again", run.folder},
        {group + u"Big.lnk", run.folder + u"\\big.bin", u"", u"Big", run.folder},
        {group + u"Uninstall " + W(kProduct) + u".lnk", Uninstaller().u16string(), u"-ui " + W(kExe),
         u"Uninstall " + W(kProduct), Uninstaller().parent_path().u16string()},
        {desktopLink, program, u"", W(kProduct), run.folder},
    };
    for (const Expected& e : links) {
        LinkFields fields;
        ASSERT_TRUE(ReadLink(e.link, fields)) << WideToAnsi(e.link);
        // The shell drops a blank at the end of a target path.
        std::u16string target = e.target;
        while (!target.empty() && target.back() == u' ') target.pop_back();
        EXPECT_EQ(fields.target, target) << WideToAnsi(e.link);
        EXPECT_EQ(fields.arguments, e.arguments) << WideToAnsi(e.link);
        EXPECT_EQ(fields.description, e.description) << WideToAnsi(e.link);
        EXPECT_EQ(fields.workfolder, e.work) << WideToAnsi(e.link);
    }
    std::size_t ingroup = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(group))) ingroup += entry.path().extension() == ".lnk";
    EXPECT_EQ(ingroup, 8u);

    // The log names each file written and each shortcut, once.
    const auto logged = [&](const std::u16string& line) { return std::count(host.log.begin(), host.log.end(), line); };
    for (const auto& item : run.input.items)
        EXPECT_EQ(logged(u"file: " + run.folder + item.subfolder + u"\\" + item.filename), 1)
            << WideToAnsi(item.filename);
    EXPECT_EQ(logged(u"file: " + Uninstaller().u16string()), 1);
    for (const Expected& e : links) EXPECT_EQ(logged(u"shortcut: " + e.link), 1) << WideToAnsi(e.link);
}

// What an uninstall of the full installation must have removed.
void ExpectRemoved(const Installed& run) {
    EXPECT_FALSE(fs::exists(fs::path(run.folder)));
    EXPECT_FALSE(fs::exists(Programs() / fs::path(kStartMenu.substr(1))));
    EXPECT_FALSE(fs::exists(Desktop() / (kProduct + ".lnk")));
    EXPECT_FALSE(fs::exists(StartMenu() / (kProduct + ".lnk")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "software\\microsoft\\windows\\currentversion\\run\\" + kExe));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "software\\Calderic\\Tallowin Engine Test"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "software\\microsoft\\windows\\currentversion\\run"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tlwengtest"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TlwEngTest.File"));
    for (const std::string& name : {kServiceA, kServiceB})
        EXPECT_TRUE(Eventually([&] { return ServiceState(name) == 0; })) << name;
    EXPECT_FALSE(fs::exists(Uninstaller()));  // the product's own uninstaller goes last
    EXPECT_EQ(run.host.events.back(), "finish page");
}

// Entries other programs made that the uninstall removes with the product.
void AddForeignEntries() {
    SetRegValue(HKEY_CURRENT_USER, "software\\microsoft\\windows\\currentversion\\run\\" + kExe, "", "x");
    SetRegValue(HKEY_CURRENT_USER, "software\\Calderic\\Tallowin Engine Test\\Window", "Left", "10");
    SetRegValue(HKEY_LOCAL_MACHINE, kAppKey, "fileassociations", ".tlwengtest");
    SetRegValue(HKEY_CLASSES_ROOT, ".tlwengtest", "", "TlwEngTest.File");
    SetRegValue(HKEY_CLASSES_ROOT, "TlwEngTest.File\\shell\\open", "", "x");
}

fs::path SettingsFolder() { return fs::path(GetAppDataFolder()) / kSettings; }

TEST(EngineInstall, FullInstallThenUninstallDeletingTheSettings) {
    Installed run;
    InstallFull(run);
    ExpectInstalled(run);
    if (HasFatalFailure()) return;

    const fs::path other = Programs() / "Calderic" / "Other Product Engtest";
    fs::create_directories(other);
    fs::create_directories(SettingsFolder());
    { std::ofstream(SettingsFolder() / "user.ini") << "x=1"; }
    AddForeignEntries();

    TestHost uninstall;
    BoxAnswerer answer(IDYES);
    RunUninstall(uninstall, kExe);
    answer.Join();
    EXPECT_TRUE(answer.found());
    EXPECT_EQ(answer.text(), L"Do you want to permanently delete all the settings for this program?");
    ASSERT_GE(uninstall.events.size(), 4u);
    EXPECT_EQ(uninstall.events[0], "installing page");
    EXPECT_EQ(uninstall.events[1], "title Performing Uninstall");
    EXPECT_EQ(uninstall.events[2], "label Uninstalling " + kProduct + "...");
    Installed& r = run;
    r.host.events = uninstall.events;
    ExpectRemoved(r);
    EXPECT_FALSE(fs::exists(SettingsFolder()));
    // The vendor folder holds another product: it stays, with it.
    EXPECT_TRUE(fs::exists(other));
    std::error_code ignored;
    fs::remove_all(Programs() / "Calderic" / "Other Product Engtest", ignored);
}

TEST(EngineInstall, UninstallKeepingTheSettingsRemovesTheEmptyVendorFolder) {
    Installed run;
    InstallFull(run);
    ASSERT_EQ(run.host.finished, 1);
    ASSERT_FALSE(run.host.failedflag);
    fs::create_directories(SettingsFolder());
    { std::ofstream(SettingsFolder() / "user.ini") << "x=1"; }
    AddForeignEntries();

    TestHost uninstall;
    BoxAnswerer answer(IDNO);
    RunUninstall(uninstall, kExe);
    answer.Join();
    EXPECT_TRUE(answer.found());
    run.host.events = uninstall.events;
    ExpectRemoved(run);
    EXPECT_TRUE(fs::exists(SettingsFolder() / "user.ini"));
    EXPECT_FALSE(fs::exists(Programs() / "Calderic"));
    std::error_code ignored;
    fs::remove_all(SettingsFolder(), ignored);
}

// A small product whose trailer is changed after the build, below the
// builder's checks; installed and uninstalled with Yes to every question.
// `answer` answers the settings question, when one may come (an empty
// `appdatafolder` asks none).
void InstallAndUninstall(const std::u16string& startmenufolder, const std::string& appdatafolder,
                         BoxAnswerer* answer = nullptr) {
    Installed run;
    run.folder = run.dir.wide(u"Prog");
    run.input.stub = Stub();
    run.input.fields.productname = kProduct;
    run.input.fields.productversion = "1";
    run.input.fields.exename = kExe;
    run.input.fields.startmenufolder = kStartMenu;
    run.input.items = {Item(u"", W(kExe), Text("the program"))};
    const fs::path installer = run.dir.path() / "setup-small.exe";
    BuildInstaller(installer, run.input, run.host.trailer);
    payload::WriteWideField(run.host.trailer.startmenufolder, startmenufolder);
    payload::WriteShortString(run.host.trailer.appdatafolder, appdatafolder);
    run.engine = RunInstall(run.host, installer, run.folder);
    ASSERT_EQ(run.host.finished, 1);
    ASSERT_FALSE(run.host.failedflag) << WideToAnsi(run.engine->ErrorText());
    TestHost uninstall;
    RunUninstall(uninstall, kExe);
    if (answer) answer->Join();
    ASSERT_FALSE(uninstall.events.empty());
    EXPECT_EQ(uninstall.events.back(), "finish page");
    EXPECT_FALSE(fs::exists(run.folder));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
}

// The shell's delete expands patterns: a Start-menu or settings folder text
// that is one must delete nothing of anyone else's.
TEST(EngineInstall, PatternFoldersInTheTrailerDeleteNothingElse) {
    const fs::path vendor = Programs() / "Tlw Other Vendor";
    const fs::path loose = Programs() / "tlw-unrelated.lnk";
    const fs::path othersettings = fs::path(GetAppDataFolder()) / "Tlw Other Settings";
    fs::create_directories(vendor);
    fs::create_directories(othersettings);
    { std::ofstream(vendor / "app.lnk") << "link"; }
    { std::ofstream(loose) << "link"; }
    { std::ofstream(othersettings / "keep.ini") << "x=1"; }
    const struct {
        std::u16string startmenufolder;
        std::string appdatafolder;
    } cases[] = {{u"\\*", ""}, {u"\\Ven?or\\*", ""}, {kStartMenu, "*"}};
    for (const auto& c : cases) {
        std::unique_ptr<BoxAnswerer> answer;
        if (!c.appdatafolder.empty()) answer = std::make_unique<BoxAnswerer>(IDYES);
        InstallAndUninstall(c.startmenufolder, c.appdatafolder, answer.get());
        if (answer) {
            EXPECT_FALSE(answer->found()) << "the uninstall asked about the settings folder \"*\"";
        }
        EXPECT_TRUE(fs::exists(vendor / "app.lnk")) << WideToAnsi(c.startmenufolder);
        EXPECT_TRUE(fs::exists(loose)) << WideToAnsi(c.startmenufolder);
        EXPECT_TRUE(fs::exists(othersettings / "keep.ini")) << c.appdatafolder;
    }
    std::error_code ignored;
    fs::remove_all(vendor, ignored);
    fs::remove(loose, ignored);
    fs::remove_all(othersettings, ignored);
}

// The first folder of the product's Start-menu path goes when it is empty,
// and stays while another product's folder is in it.
TEST(EngineInstall, TheFirstStartMenuFolderGoesWhenEmpty) {
    const fs::path acme = Programs() / "Tlw Acme";
    std::error_code ignored;
    fs::remove_all(acme, ignored);
    InstallAndUninstall(u"\\Tlw Acme\\Product", "");
    EXPECT_FALSE(fs::exists(acme));
    fs::create_directories(acme / "Other Product");
    InstallAndUninstall(u"\\Tlw Acme\\Product", "");
    EXPECT_TRUE(fs::exists(acme / "Other Product"));
    EXPECT_FALSE(fs::exists(acme / "Product"));
    fs::remove_all(acme, ignored);
}

TEST(EngineInstall, InstallOverAnEarlierOneReplacesItsServices) {
    Installed first;
    InstallFull(first);
    ASSERT_EQ(first.host.finished, 1);
    ASSERT_FALSE(first.host.failedflag);
    ASSERT_TRUE(Eventually([] { return ServiceState(kServiceA) == SERVICE_RUNNING; }));

    // The same product again, into another folder: the services must now
    // run from there, so the earlier ones were stopped and deleted first.
    Installed second;
    second.folder = second.dir.wide(u"Again\\Tallowin Engine Test");
    second.input = FullInput();
    const fs::path installer = second.dir.path() / "setup-again.exe";
    BuildInstaller(installer, second.input, second.host.trailer);
    second.engine = RunInstall(second.host, installer, second.folder);
    ASSERT_EQ(second.host.finished, 1);
    EXPECT_FALSE(second.host.failedflag) << WideToAnsi(second.engine->ErrorText());
    for (const std::string& name : {kServiceA, kServiceB})
        EXPECT_TRUE(Eventually([&] { return ServiceState(name) == SERVICE_RUNNING; })) << name;
    EXPECT_EQ(ServiceBinary(kServiceA), u"\"" + second.folder + u"\\bin\\svc a.exe\"");
    EXPECT_EQ(ServiceBinary(kServiceB), u"\"" + second.folder + u"\\svcb.exe\"");
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, kAppKey, "Path"), EncodeLetterHex(second.folder));

    TestHost uninstall;
    BoxAnswerer none(IDNO);  // no settings folder: no question expected
    RunUninstall(uninstall, kExe);
    none.Join();
    EXPECT_FALSE(none.found());
    second.host.events = uninstall.events;
    ExpectRemoved(second);
}

}  // namespace
