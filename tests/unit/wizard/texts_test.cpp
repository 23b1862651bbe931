// The wizard's texts, the command line's switches, the choice of the
// optional tasks and the uninstall mode's reading of the registration.
#include "installengine/registration.hpp"
#include "mainunit/startoptions.hpp"
#include "mainunit/taskchoice.hpp"
#include "mainunit/uninstallinfo.hpp"
#include "mainunit/wizardtexts.hpp"
#include "setuputil/textconv.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using mainunit::LoadUninstallInfo;

TEST(WizardTexts, InstallTextsNameProductAndVersion) {
    const auto t = mainunit::MakeInstallTexts("Vantrell", "2.5");
    EXPECT_EQ(t.caption, "Vantrell Installer - Tallowin");
    EXPECT_EQ(t.welcometitle, "Welcome to the... \n            Vantrell installer!");
    EXPECT_EQ(t.welcometitle.substr(0, 31), std::string("Welcome to the... ") + "\n" + std::string(12, ' '));
    EXPECT_EQ(t.welcomelabel,
              "Tallowin will install Vantrell 2.5 on your computer.  It is recommended that you close all other "
              "applications before continuing.");
    EXPECT_EQ(t.installpathlabel, "Install Vantrell to:");
    EXPECT_EQ(t.clicknext2, "Click 'Next' to begin installing Vantrell.");
    EXPECT_EQ(t.installinglabel, "Installing Vantrell...");
    EXPECT_EQ(t.finishlabel, "Vantrell was successfully installed on your computer.");
    EXPECT_EQ(t.launch, "Run Vantrell.");
}

TEST(WizardTexts, UninstallTexts) {
    const auto t = mainunit::MakeUninstallTexts("Orrin Tools");
    EXPECT_EQ(t.caption, "Orrin Tools Uninstaller - Tallowin");
    EXPECT_EQ(t.welcometitle, "Welcome to the Orrin Tools Uninstaller!");
    EXPECT_EQ(t.welcomelabel, "Tallowin will uninstall Orrin Tools from your computer.");
    EXPECT_EQ(t.clicknext1, "Click 'Next' to begin uninstalling Orrin Tools.");
    EXPECT_EQ(t.uninstallfinishlabel, "Orrin Tools was successfully removed from your computer.");
}

TEST(WizardTexts, DestinationJoinsFolderAndSubfolderWithOneBackslash) {
    using mainunit::DestinationText;
    EXPECT_EQ(DestinationText(u"C:\\Program Files", u"\\Vantrell"), u"C:\\Program Files\\Vantrell");
    EXPECT_EQ(DestinationText(u"c:\\program files\\", u"\\Vantrell"), u"c:\\program files\\Vantrell");
    EXPECT_EQ(DestinationText(u"D:\\", u"\\Vantrell"), u"D:\\Vantrell");
    // Choosing twice appends the subfolder once, to the new folder.
    const std::u16string first = DestinationText(u"E:\\Apps", u"\\Vantrell");
    EXPECT_EQ(DestinationText(u"F:\\Tools", u"\\Vantrell"), u"F:\\Tools\\Vantrell");
    EXPECT_NE(first, DestinationText(u"F:\\Tools", u"\\Vantrell"));
    EXPECT_EQ(mainunit::FileInFolder(u"D:\\Vantrell", u"readme.txt"), u"D:\\Vantrell\\readme.txt");
    EXPECT_EQ(mainunit::FileInFolder(u"D:\\", u"readme.txt"), u"D:\\readme.txt");
}

TEST(WizardTexts, FailureMessagesWrapTheText) {
    EXPECT_EQ(mainunit::SetupDataProblem(u""), u"Problem accessing setup data. ()");
    EXPECT_EQ(mainunit::InstallationError(u"File corrupt"),
              u"An error occurred during the installation process. (File corrupt)");
}

// A registry stand-in: values by key path and name.
struct FakeRegistry {
    std::map<std::pair<std::string, std::string>, std::string> values;
    mainunit::MachineStringReader Reader() {
        return [this](const std::string& key, const std::string& name) {
            auto found = values.find({key, name});
            return found == values.end() ? std::string() : found->second;
        };
    }
};

const std::string kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vantrell.exe";

mainunit::StartOptions Parse(std::vector<std::u16string> switches) {
    switches.insert(switches.begin(), u"C:\\setup.exe");
    return mainunit::ParseStartOptions(switches);
}

TEST(StartOptions, EveryCommandLineWithoutSlashSMeansWhatItAlwaysDid) {
    EXPECT_FALSE(Parse({}).uninstallmode);
    EXPECT_FALSE(Parse({}).unattended);
    const auto uninstall = Parse({u"-ui", u"vantrell.exe"});
    EXPECT_TRUE(uninstall.uninstallmode);
    EXPECT_EQ(uninstall.programname, u"vantrell.exe");
    EXPECT_FALSE(Parse({u"-UI", u"vantrell.exe"}).uninstallmode);
    // Unknown words and a destination are ignored without /S; a log is kept.
    const auto wizard = Parse({u"/X", u"/D=C:\\Elsewhere", u"/log=C:\\run.log"});
    EXPECT_FALSE(wizard.unattended);
    EXPECT_TRUE(wizard.refusal.empty());
    EXPECT_FALSE(wizard.destination.has_value());
    EXPECT_EQ(wizard.logfile, u"C:\\run.log");
    // After "-ui" the second parameter is always the program name.
    const auto named = Parse({u"-ui", u"/S"});
    EXPECT_EQ(named.programname, u"/S");
    EXPECT_FALSE(named.unattended);
}

TEST(StartOptions, UnattendedSwitchesInAnyCaseAndOrder) {
    const auto install = Parse({u"/d=C:\\Some Folder\\Vantrell", u"/Log=C:\\run.log", u"/s"});
    EXPECT_TRUE(install.unattended);
    EXPECT_FALSE(install.uninstallmode);
    EXPECT_EQ(install.destination.value_or(u"none"), u"C:\\Some Folder\\Vantrell");
    EXPECT_EQ(install.logfile, u"C:\\run.log");
    EXPECT_TRUE(install.refusal.empty());
    EXPECT_FALSE(Parse({u"/S"}).destination.has_value());
    // An empty /D= is a destination, refused later as not absolute.
    EXPECT_EQ(Parse({u"/S", u"/D="}).destination.value_or(u"none"), u"");
    const auto uninstall = Parse({u"-ui", u"vantrell.exe", u"/S", u"/LOG=u.log"});
    EXPECT_TRUE(uninstall.uninstallmode && uninstall.unattended);
    EXPECT_EQ(uninstall.programname, u"vantrell.exe");
    EXPECT_EQ(uninstall.logfile, u"u.log");
    EXPECT_TRUE(uninstall.refusal.empty());
}

TEST(StartOptions, UnattendedRefusesWhatItDoesNotKnow) {
    using mainunit::kRepeatedSwitch;
    using mainunit::kUnknownSwitch;
    EXPECT_EQ(Parse({u"/S", u"/X"}).refusal, std::u16string(kUnknownSwitch) + u"/X");
    EXPECT_EQ(Parse({u"/S", u"/LOG="}).refusal, std::u16string(kUnknownSwitch) + u"/LOG=");
    EXPECT_EQ(Parse({u"/D=C:\\a", u"/S", u"/D=C:\\b"}).refusal, std::u16string(kRepeatedSwitch) + u"/D=");
    EXPECT_EQ(Parse({u"/S", u"/LOG=a", u"/LOG=b"}).refusal, std::u16string(kRepeatedSwitch) + u"/LOG=");
    // The uninstall takes no destination; the first bad switch is named.
    EXPECT_EQ(Parse({u"-ui", u"v.exe", u"/S", u"/D=C:\\x", u"/Y"}).refusal, std::u16string(kUnknownSwitch) + u"/D=C:\\x");
    EXPECT_EQ(Parse({u"stray", u"/S"}).refusal, std::u16string(kUnknownSwitch) + u"stray");
}

// /TASKS= in the wizard and unattended: names in the order given, "!"
// unchooses, blanks and empty items dropped; once only with /S; not in
// the uninstall.
TEST(StartOptions, TasksSwitchListsTheChanges) {
    const auto options = Parse({u"/S", u"/tasks= DesktopIcon ,!path,,"});
    ASSERT_TRUE(options.refusal.empty());
    ASSERT_EQ(options.taskchanges.size(), 2u);
    EXPECT_EQ(options.taskchanges[0].name, u"DesktopIcon");
    EXPECT_TRUE(options.taskchanges[0].chosen);
    EXPECT_EQ(options.taskchanges[1].name, u"path");
    EXPECT_FALSE(options.taskchanges[1].chosen);
    EXPECT_TRUE(Parse({u"/S", u"/TASKS="}).taskchanges.empty());
    EXPECT_TRUE(Parse({u"/S", u"/TASKS="}).refusal.empty());
    EXPECT_EQ(Parse({u"/TASKS=!desktopicon"}).taskchanges.size(), 1u);
    EXPECT_EQ(Parse({u"/S", u"/TASKS=a", u"/TASKS=b"}).refusal, std::u16string(mainunit::kRepeatedSwitch) + u"/TASKS=");
    EXPECT_EQ(Parse({u"-ui", u"v.exe", u"/S", u"/TASKS=a"}).refusal, std::u16string(mainunit::kUnknownSwitch) + u"/TASKS=a");
}

// The chosen set: defaults, or an update's recorded choices for the tasks
// it recorded, then the switch's changes in order; names letter case
// aside, spelled as declared; an unknown name (or a bare "!") is refused
// and named as given.
TEST(TaskChoice, DefaultsThenRecordThenSwitch) {
    std::vector<payload::TaskDeclaration> tasks(3);
    tasks[0].name = "desktopicon";
    tasks[1].name = "path";
    tasks[1].checked = false;
    tasks[2].name = "filetypes";
    std::vector<std::string> chosen;
    std::u16string unknown;
    using Changes = std::vector<mainunit::TaskChange>;
    ASSERT_TRUE(mainunit::ChooseTasks(tasks, {}, {}, chosen, unknown));
    EXPECT_EQ(chosen, (std::vector<std::string>{"desktopicon", "filetypes"}));
    ASSERT_TRUE(mainunit::ChooseTasks(tasks, {}, Changes{{u"PATH", true}, {u"DESKTOPICON", false}}, chosen, unknown));
    EXPECT_EQ(chosen, (std::vector<std::string>{"path", "filetypes"}));
    // The later change of one task wins.
    ASSERT_TRUE(mainunit::ChooseTasks(tasks, {}, Changes{{u"path", true}, {u"path", false}}, chosen, unknown));
    EXPECT_EQ(chosen, (std::vector<std::string>{"desktopicon", "filetypes"}));
    // An update: what the record holds, a task it does not list (new in
    // this version) at its default, a recorded task no longer declared
    // ignored; the switch still has the last word.
    const std::vector<std::pair<std::string, bool>> earlier{{"desktopicon", false}, {"path", true}, {"gone", true}};
    ASSERT_TRUE(mainunit::ChooseTasks(tasks, earlier, {}, chosen, unknown));
    EXPECT_EQ(chosen, (std::vector<std::string>{"path", "filetypes"}));
    ASSERT_TRUE(mainunit::ChooseTasks(tasks, earlier, Changes{{u"desktopicon", true}}, chosen, unknown));
    EXPECT_EQ(chosen, (std::vector<std::string>{"desktopicon", "path", "filetypes"}));
    // Unknown: refused, named as given, the earlier result left alone.
    EXPECT_FALSE(mainunit::ChooseTasks(tasks, {}, Changes{{u"path", true}, {u"Gone", false}}, chosen, unknown));
    EXPECT_EQ(unknown, u"!Gone");
    EXPECT_EQ(chosen, (std::vector<std::string>{"desktopicon", "path", "filetypes"}));
    EXPECT_FALSE(mainunit::ChooseTasks(tasks, {}, Changes{{u"", false}}, chosen, unknown));
    EXPECT_EQ(unknown, u"!");
    EXPECT_FALSE(mainunit::ChooseTasks({}, {}, Changes{{u"desktopicon", true}}, chosen, unknown));
    EXPECT_EQ(unknown, u"desktopicon");
}

// A task's caption: the vendor's of the wizard's language (or of the same
// language), else its text, else ours for the desktop shortcut.
TEST(TaskChoice, CaptionInTheWizardsLanguage) {
    payload::TaskDeclaration desktop;
    desktop.name = "desktopicon";
    const mainunit::WizardLanguage english;
    EXPECT_EQ(mainunit::TaskCaption(desktop, english), u"Create a desktop shortcut");
    const mainunit::WizardLanguage german({payload::TextTable{"de", {{"DesktopIconTask", "Desktop-Verknüpfung erstellen"}}}}, "de");
    EXPECT_EQ(mainunit::TaskCaption(desktop, german), u"Desktop-Verknüpfung erstellen");
    desktop.text = u"Put Vantrell on the desktop";
    desktop.texts = {{"fr", u"Sur le Bureau"}, {"de-AT", u"Auf den Desktop"}};
    EXPECT_EQ(mainunit::TaskCaption(desktop, english), u"Put Vantrell on the desktop");
    EXPECT_EQ(mainunit::TaskCaption(desktop, german), u"Auf den Desktop");
}

TEST(UninstallInfo, ReadsAndDecodesTheRegistration) {
    FakeRegistry registry;
    registry.values[{kKey, "Displayname"}] = "Vantrell";
    registry.values[{kKey, "Path"}] = setuputil::EncodeLetterHex(u"C:\\Program Files\\Vantrell");
    registry.values[{kKey, "Startpath"}] = setuputil::EncodeLetterHex(u"\\Calderic\\Vantrell");
    registry.values[{kKey, "AppData"}] = "Vantrell Settings";
    payload::tsetuptrailer trailer{};
    std::u16string dest;
    ASSERT_TRUE(LoadUninstallInfo(u"vantrell.exe", registry.Reader(), trailer, dest));
    EXPECT_EQ(dest, u"C:\\Program Files\\Vantrell");
    EXPECT_EQ(payload::ReadShortString(trailer.exename), "vantrell.exe");
    EXPECT_EQ(payload::ReadShortString(trailer.productname), "Vantrell");
    EXPECT_EQ(payload::ReadWideField(trailer.startmenufolder), u"\\Calderic\\Vantrell");
    EXPECT_EQ(payload::ReadShortString(trailer.appdatafolder), "Vantrell Settings");
    EXPECT_EQ(trailer.haslicense, 0);
    EXPECT_EQ(trailer.archiveoffset, 0);
}

TEST(UninstallInfo, MissingNameOrPathIsNoRegistration) {
    FakeRegistry registry;
    payload::tsetuptrailer trailer{};
    std::u16string dest;
    EXPECT_FALSE(LoadUninstallInfo(u"vantrell.exe", registry.Reader(), trailer, dest));
    registry.values[{kKey, "Displayname"}] = "Vantrell";
    EXPECT_FALSE(LoadUninstallInfo(u"vantrell.exe", registry.Reader(), trailer, dest));
    registry.values[{kKey, "Path"}] = "";
    EXPECT_FALSE(LoadUninstallInfo(u"vantrell.exe", registry.Reader(), trailer, dest));
    registry.values[{kKey, "Displayname"}] = "";
    registry.values[{kKey, "Path"}] = setuputil::EncodeLetterHex(u"C:\\X");
    EXPECT_FALSE(LoadUninstallInfo(u"vantrell.exe", registry.Reader(), trailer, dest));
}

TEST(UninstallInfo, EmptyProgramNameReadsTheAppPathsKeyItself) {
    FakeRegistry registry;
    const std::string bare = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    registry.values[{bare, "Displayname"}] = "Bare";
    registry.values[{bare, "Path"}] = setuputil::EncodeLetterHex(u"C:\\Bare");
    payload::tsetuptrailer trailer{};
    std::u16string dest;
    EXPECT_TRUE(LoadUninstallInfo(u"", registry.Reader(), trailer, dest));
    EXPECT_EQ(dest, u"C:\\Bare");
}

TEST(UninstallInfo, LongValuesAreCutToTheirFields) {
    FakeRegistry registry;
    const std::string longName(300, 'n');
    const std::u16string longExe(300, u'e');
    const std::string key = installengine::AppPathsKeyFor(std::string(255, 'e'));
    registry.values[{key, "Displayname"}] = longName;
    registry.values[{key, "Path"}] = setuputil::EncodeLetterHex(u"C:\\P");
    registry.values[{key, "Startpath"}] = setuputil::EncodeLetterHex(std::u16string(600, u's'));
    registry.values[{key, "AppData"}] = std::string(400, 'a');
    payload::tsetuptrailer trailer{};
    std::u16string dest;
    ASSERT_TRUE(LoadUninstallInfo(longExe, registry.Reader(), trailer, dest));
    EXPECT_EQ(payload::ReadShortString(trailer.exename), std::string(255, 'e'));
    EXPECT_EQ(payload::ReadShortString(trailer.productname), std::string(255, 'n'));
    EXPECT_EQ(payload::ReadWideField(trailer.startmenufolder), std::u16string(520, u's'));
    EXPECT_EQ(payload::ReadShortString(trailer.appdatafolder), std::string(255, 'a'));
}

}  // namespace
