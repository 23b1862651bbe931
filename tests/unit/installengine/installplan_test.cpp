// The registration values, services and shortcuts an installation makes,
// computed from trailer texts and folders.
#include "installengine/installplan.hpp"

#include "installengine/declaredplan.hpp"

#include "payload/trailerwriter.hpp"
#include "setuputil/textconv.hpp"
#include "setuputil/utf8.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

using namespace installengine;

namespace {

std::string Text(const RegValue& v) { return setuputil::Utf16ToUtf8(ValueText(v)); }

InstallInputs Sample() {
    InstallInputs in;
    in.installfolder = u"C:\\Program Files\\Vantrell";
    in.exename = "vantrell.exe";
    in.productname = "  Vantrell 2: Pro";
    in.productversion = "2.1 beta";
    in.payloadbytes = 3 * 1024 + 1;
    in.startmenufolder = u"\\Calderic\\Vantrell";
    in.appdatafolder = "Vantrell";
    in.services = {{"bin\\agent.exe", "VantrellAgent"}, {"spool.exe", "VantrellSpool"}};
    in.shortcuts = {{"help.chm", "Help / Manual"}, {"vantrell.exe -safe", "Safe mode"}, {"my-tool.exe", "Tool"}};
    in.programsfolder = u"C:\\Users\\u\\Start Menu\\Programs";
    in.startmenuroot = u"C:\\Users\\u\\Start Menu";
    in.desktopfolder = u"C:\\Users\\u\\Desktop";
    in.windowsfolder = u"C:\\WINDOWS";
    return in;
}

TEST(SplitShortcutSlot, SplitsAtTheFirstHyphenKeepingBlanks) {
    EXPECT_EQ(SplitShortcutSlot(u"help.chm").target, u"help.chm");
    EXPECT_EQ(SplitShortcutSlot(u"help.chm").arguments, u"");
    EXPECT_EQ(SplitShortcutSlot(u"prog.exe -x -y").target, u"prog.exe ");
    EXPECT_EQ(SplitShortcutSlot(u"prog.exe -x -y").arguments, u"-x -y");
    EXPECT_EQ(SplitShortcutSlot(u"my-tool.exe").target, u"my");
    EXPECT_EQ(SplitShortcutSlot(u"my-tool.exe").arguments, u"-tool.exe");
    EXPECT_EQ(SplitShortcutSlot(u"-only").target, u"");
    EXPECT_EQ(SplitShortcutSlot(u"-only").arguments, u"-only");
}

TEST(UsedSlots, EndAtTheFirstEmptySlot) {
    payload::TrailerFields fields;
    fields.productname = "P";
    fields.exename = "p.exe";
    fields.services = {{"a.exe", "A"}, {"b.exe", "B"}};
    fields.shortcuts = {{"x.txt", "X"}};
    payload::tsetuptrailer trailer{};
    std::string error;
    ASSERT_TRUE(payload::BuildTrailer(fields, trailer, error)) << error;
    // A used slot after an empty one is never reached.
    ASSERT_TRUE(payload::WriteShortString(trailer.serviceprograms[3], "late.exe"));
    ASSERT_TRUE(payload::WriteShortString(trailer.shortcuttargets[2], "late.txt"));
    const auto services = payload::UsedServiceSlots(trailer);
    ASSERT_EQ(services.size(), 2u);
    EXPECT_EQ(services[1].program, "b.exe");
    EXPECT_EQ(services[1].name, "B");
    const auto shortcuts = payload::UsedShortcutSlots(trailer);
    ASSERT_EQ(shortcuts.size(), 1u);
    EXPECT_EQ(shortcuts[0].caption, "X");
}

TEST(PlanRegistration, ValuesInOrderWithLetterHexAndTheUninstallCommand) {
    const InstallInputs in = Sample();
    const RegistrationPlan plan = PlanRegistration(in);
    const std::string app = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vantrell.exe";
    ASSERT_EQ(plan.appvalues.size(), 6u);
    const std::pair<std::string, std::string> expected[] = {
        {"", "C:\\Program Files\\Vantrell\\vantrell.exe"},
        {"Path", setuputil::EncodeLetterHex(u"C:\\Program Files\\Vantrell")},
        {"Displayname", "  Vantrell 2: Pro"},
        {"Startpath", setuputil::EncodeLetterHex(u"\\Calderic\\Vantrell")},
        {"Desktop", setuputil::EncodeLetterHex(u"C:\\Users\\u\\Desktop\\  Vantrell 2 Pro.lnk")},
        {"AppData", "Vantrell"},
    };
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(plan.appvalues[i].key, app);
        EXPECT_EQ(plan.appvalues[i].name, expected[i].first);
        EXPECT_EQ(Text(plan.appvalues[i]), expected[i].second);
    }
    EXPECT_EQ(plan.appvalues[1].value.substr(0, 8), "AAEDAADK");  // "C:"
    ASSERT_EQ(plan.services.size(), 2u);
    EXPECT_EQ(plan.services[0].name, "VantrellAgent");
    EXPECT_EQ(plan.services[0].programpath, u"C:\\Program Files\\Vantrell\\bin\\agent.exe");
    EXPECT_EQ(plan.services[1].programvalue.name, "service1");
    EXPECT_EQ(plan.services[1].programvalue.value, "spool.exe");
    EXPECT_EQ(plan.services[1].namevalue.name, "servicenames1");
    EXPECT_EQ(plan.services[1].namevalue.value, "VantrellSpool");
    EXPECT_EQ(plan.services[1].namevalue.key, app);
}

TEST(PlanRegistration, TheInstalledProgramsEntryFollowsNameAndUninstallCommand) {
    InstallInputs in = Sample();
    in.recordid = "5f0c2a9e41b37d68c0e1f2a3b4c5d6e7";
    const RegistrationPlan plan = PlanRegistration(in);
    const std::string key = "software\\microsoft\\windows\\currentversion\\uninstall\\  Vantrell 2: Pro";
    struct Expected {
        const char* name;
        RegValueKind kind;
        std::string text;
        std::uint32_t number;
    };
    const Expected expected[] = {
        {"DisplayName", RegValueKind::Text, "  Vantrell 2: Pro", 0},
        {"UninstallString", RegValueKind::WideText, "\"C:\\WINDOWS\\Tallowin\\vantrell-uninstall.exe\" -ui vantrell.exe", 0},
        {"DisplayVersion", RegValueKind::Text, "2.1 beta", 0},
        {"DisplayIcon", RegValueKind::WideText, "C:\\Program Files\\Vantrell\\vantrell.exe", 0},
        {"InstallLocation", RegValueKind::WideText, "C:\\Program Files\\Vantrell", 0},
        {"EstimatedSize", RegValueKind::Number, "", 4},  // 3 KiB and one byte
        {"NoModify", RegValueKind::Number, "", 1},
        {"NoRepair", RegValueKind::Number, "", 1},
        {"QuietUninstallString", RegValueKind::WideText, "\"C:\\WINDOWS\\Tallowin\\vantrell-uninstall.exe\" -ui vantrell.exe /S", 0},
        {"InstallRecordId", RegValueKind::Text, "5f0c2a9e41b37d68c0e1f2a3b4c5d6e7", 0},
    };
    ASSERT_EQ(plan.uninstallvalues.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const RegValue& v = plan.uninstallvalues[i];
        EXPECT_EQ(v.key, key) << i;
        EXPECT_EQ(v.name, expected[i].name) << i;
        EXPECT_EQ(v.kind, expected[i].kind) << v.name;
        EXPECT_EQ(Text(v), expected[i].text) << v.name;
        EXPECT_EQ(v.number, expected[i].number) << v.name;
    }
    // The icon is the program the App Paths key names.
    EXPECT_EQ(Text(plan.uninstallvalues[3]), Text(plan.appvalues[0]));
    // Paths in UTF-16, the trailer's 8-bit texts as they are.
    EXPECT_EQ(plan.appvalues[0].kind, RegValueKind::WideText);
    for (std::size_t i = 1; i < plan.appvalues.size(); ++i) EXPECT_EQ(plan.appvalues[i].kind, RegValueKind::Text);

    // The folder exactly as held, a trailing backslash included; the icon
    // path has one backslash before the program.
    InstallInputs typed = Sample();
    typed.installfolder = u"D:\\Apps\\";
    typed.productversion = "";
    const RegistrationPlan again = PlanRegistration(typed);
    EXPECT_EQ(Text(again.uninstallvalues[2]), "");
    EXPECT_EQ(Text(again.uninstallvalues[3]), "D:\\Apps\\vantrell.exe");
    EXPECT_EQ(Text(again.uninstallvalues[4]), "D:\\Apps\\");

    // The installer's publisher comes last; without one no value at all.
    EXPECT_TRUE(std::none_of(plan.uninstallvalues.begin(), plan.uninstallvalues.end(),
                             [](const RegValue& v) { return v.name == "Publisher"; }));
    InstallInputs vendor = Sample();
    vendor.publisher = u"Calderic Software";
    const RegistrationPlan named = PlanRegistration(vendor);
    ASSERT_EQ(named.uninstallvalues.size(), std::size(expected) + 1);
    EXPECT_EQ(named.uninstallvalues.back().key, key);
    EXPECT_EQ(named.uninstallvalues.back().name, "Publisher");
    EXPECT_EQ(Text(named.uninstallvalues.back()), "Calderic Software");
}

// A name in any script: what a person sees is the name itself (a wide
// "DisplayName" and "Publisher", the shortcuts), while the 8-bit form keeps
// naming the keys and the Run value, so they stay as the earlier version's.
TEST(PlanRegistration, ANameInAnyScriptIsShownWhileTheEightBitFormNamesTheKeys) {
    InstallInputs in = Sample();
    in.productname = "______~0123abcd";
    in.displayname = u" \u30f4\u30a1\u30f3\u30c8\u30ec\u30eb: 2";
    in.publisher = u"\u041a\u0430\u043b\u0435\u0434\u0440\u0438\u043a";
    const RegistrationPlan plan = PlanRegistration(in);
    const std::string key = "software\\microsoft\\windows\\currentversion\\uninstall\\______~0123abcd";
    EXPECT_EQ(plan.appvalues[2].name, "Displayname");
    EXPECT_EQ(plan.appvalues[2].value, "______~0123abcd");
    ASSERT_FALSE(plan.uninstallvalues.empty());
    EXPECT_EQ(plan.uninstallvalues[0].key, key);
    EXPECT_EQ(plan.uninstallvalues[0].name, "DisplayName");
    EXPECT_EQ(plan.uninstallvalues[0].kind, RegValueKind::WideText);
    EXPECT_EQ(plan.uninstallvalues[0].widevalue, in.displayname);
    EXPECT_EQ(plan.uninstallvalues.back().name, "Publisher");
    EXPECT_EQ(plan.uninstallvalues.back().kind, RegValueKind::WideText);
    EXPECT_EQ(plan.uninstallvalues.back().widevalue, in.publisher);
    const InstallRecord record = PlanInstallRecord(in);
    EXPECT_EQ(record.productname, u"______~0123abcd");
    EXPECT_EQ(record.displayname, in.displayname);
    EXPECT_EQ(record.registrykeys.back(), u"HKLM\\" + setuputil::Utf8ToUtf16Replacing(key));

    const auto links = PlanShortcuts(in);
    ASSERT_EQ(links.size(), 7u);
    const std::u16string shown = u"\u30f4\u30a1\u30f3\u30c8\u30ec\u30eb: 2";
    EXPECT_EQ(links[0].linkfile, GroupFolder(in) + u" \u30f4\u30a1\u30f3\u30c8\u30ec\u30eb 2.lnk");
    EXPECT_EQ(links[0].description, shown);
    EXPECT_EQ(links[5].description, u"Uninstall " + shown);
    EXPECT_EQ(links[6].linkfile, u"C:\\Users\\u\\Desktop\\ \u30f4\u30a1\u30f3\u30c8\u30ec\u30eb 2.lnk");

    payload::Declarations d;
    d.startatsignin = true;
    EXPECT_EQ(PlanDeclared(d, in).signinname, u"______~0123abcd");
}

TEST(EstimatedSizeKiB, RoundsUpAndStaysWithinADword) {
    EXPECT_EQ(EstimatedSizeKiB(0), 0u);
    EXPECT_EQ(EstimatedSizeKiB(-5), 0u);
    EXPECT_EQ(EstimatedSizeKiB(1), 1u);
    EXPECT_EQ(EstimatedSizeKiB(1023), 1u);
    EXPECT_EQ(EstimatedSizeKiB(1024), 1u);
    EXPECT_EQ(EstimatedSizeKiB(1025), 2u);
    EXPECT_EQ(EstimatedSizeKiB(5ll << 30), 5u << 20);
    EXPECT_EQ(EstimatedSizeKiB((0xFFFFFFFFll << 10)), 0xFFFFFFFFu);
    EXPECT_EQ(EstimatedSizeKiB((0xFFFFFFFFll << 10) + 1), 0xFFFFFFFFu);
    EXPECT_EQ(EstimatedSizeKiB(INT64_MAX), 0xFFFFFFFFu);
}

TEST(PlanRegistration, KeepsTheFolderAsGivenAndSkipsServicesOnOldPlatforms) {
    InstallInputs in = Sample();
    in.installfolder = u"D:\\Apps\\";
    in.appdatafolder = "";
    in.withservices = false;
    const RegistrationPlan plan = PlanRegistration(in);
    EXPECT_EQ(Text(plan.appvalues[0]), "D:\\Apps\\vantrell.exe");
    EXPECT_EQ(setuputil::DecodeLetterHex(plan.appvalues[1].value), u"D:\\Apps\\");
    EXPECT_EQ(plan.appvalues[5].name, "AppData");
    EXPECT_EQ(Text(plan.appvalues[5]), "");
    EXPECT_TRUE(plan.services.empty());
}

TEST(PlanShortcuts, TheTenKindsInOrder) {
    const InstallInputs in = Sample();
    const auto links = PlanShortcuts(in);
    // group, Start Menu, three slots, uninstaller, desktop
    ASSERT_EQ(links.size(), 7u);
    const std::u16string group = u"C:\\Users\\u\\Start Menu\\Programs\\Calderic\\Vantrell\\";
    EXPECT_EQ(GroupFolder(in), group);
    EXPECT_EQ(links[0].linkfile, group + u"  Vantrell 2 Pro.lnk");
    EXPECT_EQ(links[0].target, u"C:\\Program Files\\Vantrell\\vantrell.exe");
    EXPECT_EQ(links[0].description, u"Vantrell 2: Pro");
    EXPECT_EQ(links[0].workfolder, u"C:\\Program Files\\Vantrell");
    EXPECT_EQ(links[1].linkfile, u"C:\\Users\\u\\Start Menu\\  Vantrell 2 Pro.lnk");
    EXPECT_TRUE(links[1].ingroup);
    EXPECT_EQ(links[2].linkfile, group + u"Help  Manual.lnk");
    EXPECT_EQ(links[2].description, u"Help / Manual");
    EXPECT_EQ(links[2].target, u"C:\\Program Files\\Vantrell\\help.chm");
    EXPECT_EQ(links[2].arguments, u"");
    EXPECT_EQ(links[3].target, u"C:\\Program Files\\Vantrell\\vantrell.exe ");
    EXPECT_EQ(links[3].arguments, u"-safe");
    EXPECT_EQ(links[4].target, u"C:\\Program Files\\Vantrell\\my");
    EXPECT_EQ(links[4].arguments, u"-tool.exe");
    EXPECT_EQ(links[5].linkfile, group + u"Uninstall Vantrell 2 Pro.lnk");
    EXPECT_EQ(links[5].target, u"C:\\WINDOWS\\Tallowin\\vantrell-uninstall.exe");
    EXPECT_EQ(links[5].arguments, u"-ui vantrell.exe");
    EXPECT_EQ(links[5].description, u"Uninstall Vantrell 2: Pro");
    EXPECT_EQ(links[5].workfolder, u"C:\\WINDOWS\\Tallowin");
    EXPECT_EQ(links[6].linkfile, u"C:\\Users\\u\\Desktop\\  Vantrell 2 Pro.lnk");
    EXPECT_FALSE(links[6].ingroup);
    EXPECT_EQ(links[6].target, links[0].target);
}

// Every product gets an uninstaller of its own, named after its program;
// a program name that is no plain file name gets none (the install then
// fails instead of writing outside the folder).
TEST(UninstallerPath, OnePerProgramInOurFolder) {
    const std::u16string windows = u"C:\\WINDOWS\\";
    EXPECT_EQ(UninstallerPath(windows, "vantrell.exe"), u"C:\\WINDOWS\\Tallowin\\vantrell-uninstall.exe");
    EXPECT_EQ(UninstallerPath(windows, "Other.EXE"), u"C:\\WINDOWS\\Tallowin\\Other-uninstall.exe");
    EXPECT_EQ(UninstallerPath(windows, "tool"), u"C:\\WINDOWS\\Tallowin\\tool-uninstall.exe");
    EXPECT_EQ(UninstallerPath(windows, ".exe"), u"C:\\WINDOWS\\Tallowin\\.exe-uninstall.exe");
    for (const char* bad : {"", "..\\evil.exe", "a/b.exe", "c:x.exe", "nul", "a*.exe"})
        EXPECT_EQ(UninstallerPath(windows, bad), u"") << bad;
    EXPECT_EQ(UninstallerPath(u"", "vantrell.exe"), u"");
    EXPECT_EQ(UninstallCommand(u"C:\\W\\Tallowin\\a-uninstall.exe", "a.exe"),
              u"\"C:\\W\\Tallowin\\a-uninstall.exe\" -ui a.exe");
}

TEST(PlanShortcuts, EdgeFolders) {
    InstallInputs in = Sample();
    in.startmenufolder = u"";
    in.installfolder = u"D:\\Apps\\";
    EXPECT_EQ(GroupFolder(in), u"C:\\Users\\u\\Start Menu\\Programs\\");
    auto links = PlanShortcuts(in);
    EXPECT_EQ(links[0].linkfile, u"C:\\Users\\u\\Start Menu\\Programs\\  Vantrell 2 Pro.lnk");
    EXPECT_EQ(links[0].target, u"D:\\Apps\\vantrell.exe");
    EXPECT_EQ(links[0].workfolder, u"D:\\Apps");
    // Without the shell's folders nothing lands relative to the current folder.
    in.programsfolder = u"";
    in.desktopfolder = u"";
    EXPECT_TRUE(PlanShortcuts(in).empty());
    EXPECT_EQ(Text(PlanRegistration(in).appvalues[4]), "");
}

TEST(PlanDeclared, ValuesAsTheRegistryTakesThemAndTheRunCommand) {
    InstallInputs in = Sample();
    in.language = "de";
    payload::Declarations d;
    d.registry = {{payload::RegistryType::String, "Software\\Calderic\\Vantrell", u"Home", {u"{app}\\data {version} {lang}"}, 0, {}, ""},
                  {payload::RegistryType::Dword, "Software\\Calderic\\Vantrell", u"Port", {}, 0x01020304, {}, ""},
                  {payload::RegistryType::Qword, "Software\\Calderic\\Vantrell", u"Q", {}, 0x0102030405060708ull, {}, ""},
                  {payload::RegistryType::MultiString, "Software\\Calderic\\Vantrell", u"M", {u"a", u"{lang}"}, 0, {}, ""},
                  {payload::RegistryType::Binary, "Software\\Calderic\\Vantrell", u"B", {}, 0, {9, 8}, ""},
                  // The same value again, in other letter case: the later one wins.
                  {payload::RegistryType::Expandable, "software\\CALDERIC\\Vantrell", u"home", {u"%TEMP%"}, 0, {}, ""}};
    d.startatsignin = true;
    d.signinarguments = u"/tray {lang}";
    const DeclaredPlan plan = PlanDeclared(d, in);
    ASSERT_EQ(plan.values.size(), 5u);
    auto bytes = [](const std::u16string& text) {
        std::vector<std::uint8_t> out;
        for (char16_t c : text) {
            out.push_back(static_cast<std::uint8_t>(c & 0xff));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        return out;
    };
    EXPECT_EQ(plan.values[0].type, kRegDword);
    EXPECT_EQ(plan.values[0].data, (std::vector<std::uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(plan.values[1].type, kRegQword);
    EXPECT_EQ(plan.values[1].data, (std::vector<std::uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(plan.values[2].type, kRegMultiSz);
    EXPECT_EQ(plan.values[2].data, bytes(std::u16string(u"a\0de\0\0", 6)));
    EXPECT_EQ(plan.values[3].data, (std::vector<std::uint8_t>{9, 8}));
    EXPECT_EQ(plan.values[4].type, kRegExpandSz);
    EXPECT_EQ(plan.values[4].name, u"home");
    EXPECT_EQ(plan.values[4].data, bytes(std::u16string(u"%TEMP%\0", 7)));
    EXPECT_EQ(plan.signinname, u"Vantrell 2: Pro");
    EXPECT_EQ(plan.signincommand, u"\"C:\\Program Files\\Vantrell\\vantrell.exe\" /tray de");
    d.registry.resize(1);
    EXPECT_EQ(PlanDeclared(d, in).values[0].data, bytes(std::u16string(u"C:\\Program Files\\Vantrell\\data 2.1 beta de\0", 43)));
    EXPECT_TRUE(PlanDeclared({}, in).values.empty());
    EXPECT_TRUE(PlanDeclared({}, in).signinname.empty());

    EXPECT_EQ(KeyChain("Software\\A\\B"), (std::vector<std::string>{"Software\\A", "Software\\A\\B"}));
    EXPECT_TRUE(IsKeyOrParent("software\\a", "Software\\A\\B"));
    EXPECT_FALSE(IsKeyOrParent("Software\\A", "Software\\AB"));
    EXPECT_FALSE(IsKeyOrParent("Software\\A\\B", "Software\\A"));
}

}  // namespace
