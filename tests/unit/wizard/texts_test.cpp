// The wizard's texts and the uninstall mode's reading of the registration.
#include "installengine/registration.hpp"
#include "mainunit/uninstallinfo.hpp"
#include "mainunit/wizardtexts.hpp"
#include "setuputil/textconv.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

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
