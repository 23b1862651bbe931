// The install record's format: what the install writes comes back whole,
// and hostile or damaged text is no record, or loses only its bad entries.
#include "installengine/installplan.hpp"
#include "installengine/installrecord.hpp"
#include "installengine/vendorprograms.hpp"

#include <gtest/gtest.h>

using namespace installengine;

namespace {

InstallRecord Sample() {
    InstallInputs in;
    in.installfolder = u"C:\\Program Files\\Vantrell\\";
    in.exename = "vantrell.exe";
    in.productname = "Vantrell";
    in.startmenufolder = u"\\Calderic\\Vantrell";
    in.appdatafolder = "Vantrell";
    in.services = {{"vantrelld.exe", "VantrellService"}};
    in.shortcuts = {{"docs\\guide.txt", "Guide"}};
    in.programsfolder = u"C:\\Users\\me\\Start Menu\\Programs";
    in.startmenuroot = u"C:\\Users\\me\\Start Menu";
    in.desktopfolder = u"C:\\Users\\me\\Desktop";
    in.windowsfolder = u"C:\\Windows";
    in.recordid = "0123456789abcdef0123456789abcdef";
    InstallRecord record = PlanInstallRecord(in);
    record.folders = {u"docs", u"donn\u00e9es", u"donn\u00e9es\\\u4e2d\u6587"};
    record.files = {u"vantrell.exe", u"docs\\guide.txt", u"donn\u00e9es\\\u4e2d\u6587\\f\u00fcr.bin"};
    return record;
}

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    const std::size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

TEST(InstallRecord, WhatTheInstallPlansComesBackWhole) {
    const InstallRecord record = Sample();
    EXPECT_EQ(record.programfolder, u"C:\\Program Files\\Vantrell");
    EXPECT_EQ(record.groupfolder, u"C:\\Users\\me\\Start Menu\\Programs\\Calderic\\Vantrell");
    EXPECT_EQ(record.shortcuts.size(), 4u);  // product twice, the guide, the uninstaller
    EXPECT_EQ(record.desktopshortcut, u"C:\\Users\\me\\Desktop\\Vantrell.lnk");
    EXPECT_EQ(record.settingskey, u"software\\Calderic\\Vantrell");
    EXPECT_EQ(record.services, std::vector<std::u16string>{u"VantrellService"});
    ASSERT_EQ(record.registrykeys.size(), 2u);
    EXPECT_EQ(record.registrykeys[1], u"HKLM\\software\\microsoft\\windows\\currentversion\\uninstall\\Vantrell");

    const std::string text = FormatInstallRecord(record);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("Tallowin install record 1\nid 0123456789abcdef0123456789abcdef\n", 0), 0u) << text;
    const ParsedInstallRecord parsed = ParseInstallRecord(text);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.skipped, 0u);
    const InstallRecord& back = parsed.record;
    EXPECT_EQ(back.id, record.id);
    EXPECT_EQ(back.productname, record.productname);
    EXPECT_EQ(back.exename, record.exename);
    EXPECT_EQ(back.programfolder, record.programfolder);
    EXPECT_EQ(back.startmenufolder, record.startmenufolder);
    EXPECT_EQ(back.groupfolder, record.groupfolder);
    EXPECT_EQ(back.shortcuts, record.shortcuts);
    EXPECT_EQ(back.desktopshortcut, record.desktopshortcut);
    EXPECT_EQ(back.settingsfolder, record.settingsfolder);
    EXPECT_EQ(back.settingskey, record.settingskey);
    EXPECT_EQ(back.services, record.services);
    EXPECT_EQ(back.registrykeys, record.registrykeys);
    EXPECT_EQ(back.folders, record.folders);
    EXPECT_EQ(back.files, record.files);
    // CR LF line ends read the same; lines of a later version are skipped.
    std::string crlf;
    for (char c : Replace(text, "end\n", "checksum abc\nend\n")) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const ParsedInstallRecord again = ParseInstallRecord(crlf);
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(again.record.files, record.files);
}

TEST(InstallRecord, EntriesThatLeaveTheFolderAreSkipped) {
    const std::string text = FormatInstallRecord(Sample());
    std::string hostile;
    for (const char* entry : {"..\\..\\Windows", "docs\\..\\..\\x", "C:\\Windows\\notepad.exe", "\\\\server\\share\\x",
                              "\\rooted", "a\\\\b", "a\\", "*", "docs\\?.txt", "con", "docs\\nul.txt", "com1",
                              "x:stream", "a/b", "name.", "name ", ".", "a\\.\\b"}) {
        hostile += std::string("file ") + entry + "\n";
        hostile += std::string("dir ") + entry + "\n";
    }
    hostile += "file ok.txt\n";
    const ParsedInstallRecord parsed = ParseInstallRecord(Replace(text, "end\n", hostile + "end\n"));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.skipped, 36u);
    EXPECT_EQ(parsed.record.files.back(), u"ok.txt");
    EXPECT_EQ(parsed.record.files.size(), Sample().files.size() + 1);
    EXPECT_EQ(parsed.record.folders, Sample().folders);
    // The writer never makes such a record.
    InstallRecord bad = Sample();
    bad.files.push_back(u"..\\x");
    EXPECT_TRUE(FormatInstallRecord(bad).empty());
}

TEST(InstallRecord, DamagedOrForeignTextIsNoRecord) {
    const std::string text = FormatInstallRecord(Sample());
    const std::string id = "id 0123456789abcdef0123456789abcdef\n";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"another version", Replace(text, "record 1\n", "record 2\n")},
        {"another mark", Replace(text, "Tallowin install", "Tallowin Install")},
        {"cut short", text.substr(0, text.size() - 4)},
        {"no end", Replace(text, "end\n", "")},
        {"text after the end", text + "file x\n"},
        {"no identifier", Replace(text, id, "")},
        {"a short identifier", Replace(text, id, "id 0123\n")},
        {"an upper-case identifier", Replace(text, id, "id 0123456789ABCDEF0123456789ABCDEF\n")},
        {"a repeated folder", Replace(text, id, id + "folder D:\\x\n")},
        {"no program folder", Replace(text, "folder C:\\Program Files\\Vantrell\n", "folder \n")},
        {"malformed UTF-8", Replace(text, "product Vantrell", "product Van\xC3trell")},
        {"a control character", Replace(text, "product Vantrell", std::string("product Van\x01trell"))},
        {"a line without a value", Replace(text, "end\n", "file\nend\n")},
        {"a long line", Replace(text, "end\n", "file " + std::string(kMaxInstallRecordLine, 'a') + "\nend\n")},
        {"too large", std::string(kMaxInstallRecordBytes + 1, 'a')},
    };
    for (const auto& c : cases) {
        const ParsedInstallRecord parsed = ParseInstallRecord(c.text);
        EXPECT_FALSE(parsed.ok) << c.what;
        EXPECT_FALSE(parsed.error.empty()) << c.what;
        EXPECT_TRUE(parsed.record.files.empty()) << c.what;
    }
    // Counts past their bounds.
    std::string many;
    for (std::size_t i = 0; i <= kMaxRecordServices; ++i) many += "service S" + std::to_string(i) + "\n";
    EXPECT_FALSE(ParseInstallRecord(Replace(text, "end\n", many + "end\n")).ok);
    InstallRecord big = Sample();
    big.files.assign(kMaxRecordEntries + 1, u"f");
    EXPECT_TRUE(FormatInstallRecord(big).empty());
}

}  // namespace

namespace {

// The record of a product that declares its own values and starts at sign-in.
InstallRecord DeclaredSample() {
    InstallRecord record = Sample();
    record.registryvalues = {u"HKLM\\Software\\Calderic\\Vantrell\\Server", u"HKLM\\Software\\Calderic\\Vantrell\\",
                             u"HKLM\\Software\\Calderic\\Vantrell\\Paths\\Name with blank \u4e2d"};
    record.createdkeys = {u"HKLM\\Software\\Calderic", u"HKLM\\Software\\Calderic\\Vantrell"};
    record.signin = u"Vantrell";
    record.signincommand = u"\"C:\\Program Files\\Vantrell\\vantrell.exe\" /tray";
    return record;
}

TEST(InstallRecord, DeclaredValuesComeBackWholeAndOnlyWhenThere) {
    // A product that declares nothing writes none of the new lines.
    const std::string plain = FormatInstallRecord(Sample());
    for (const char* line : {"regvalue", "regkey", "signin", "displayname"})
        EXPECT_EQ(plain.find(line), std::string::npos) << line;

    InstallRecord record = DeclaredSample();
    // A name in any script rides along; once only, never empty.
    record.displayname = u"\u30f4\u30a1\u30f3\u30c8\u30ec\u30eb";
    const std::string text = FormatInstallRecord(record);
    ASSERT_FALSE(text.empty());
    const ParsedInstallRecord parsed = ParseInstallRecord(text);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.record.registryvalues, record.registryvalues);
    EXPECT_EQ(parsed.record.createdkeys, record.createdkeys);
    EXPECT_EQ(parsed.record.signin, record.signin);
    EXPECT_EQ(parsed.record.signincommand, record.signincommand);
    EXPECT_EQ(parsed.record.displayname, record.displayname);
    EXPECT_FALSE(ParseInstallRecord(Replace(text, "end\n", "displayname Other\nend\n")).ok);
    InstallRecord once = Sample();
    EXPECT_FALSE(ParseInstallRecord(Replace(FormatInstallRecord(once), "end\n", "displayname \nend\n")).ok);
    once.displayname = u"Van\ttrell";
    EXPECT_TRUE(FormatInstallRecord(once).empty());

    RecordedRegistryEntry entry;
    ASSERT_TRUE(ParseRecordedValue(record.registryvalues[2], entry));
    EXPECT_EQ(entry.root, u"HKLM");
    EXPECT_EQ(entry.key, "Software\\Calderic\\Vantrell\\Paths");
    EXPECT_EQ(entry.name, u"Name with blank \u4e2d");
    ASSERT_TRUE(ParseRecordedValue(record.registryvalues[1], entry));
    EXPECT_EQ(entry.name, u"");  // the default value
    EXPECT_EQ(RecordedValue(u"HKCU", "Software\\A", u"n"), u"HKCU\\Software\\A\\n");
}

TEST(InstallRecord, RegistryEntriesOutsideAVendorsKeyAreSkipped) {
    const std::string text = FormatInstallRecord(DeclaredSample());
    std::string hostile = text;
    for (const char* line : {"regvalue HKCR\\Software\\Calderic\\x\n", "regvalue HKLM\\Software\\Microsoft\\Windows\\x\n",
                             "regvalue HKLM\\Software\\Classes\\.vtr\\\n", "regvalue HKLM\\Software\n",
                             "regkey HKLM\\Software\n", "regkey HKCU\\Software\\Policies\\Calderic\n",
                             "regkey HKLM\\Software\\Cald\xc3\xa9ric\n", "regvalue HKLM\\\\Software\\A\\n\n"})
        hostile = Replace(hostile, "end\n", std::string(line) + "end\n");
    const ParsedInstallRecord parsed = ParseInstallRecord(hostile);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.skipped, 8u);
    EXPECT_EQ(parsed.record.registryvalues, DeclaredSample().registryvalues);
    EXPECT_EQ(parsed.record.createdkeys, DeclaredSample().createdkeys);
    // A Run value without its command, or named twice, is no record.
    EXPECT_FALSE(ParseInstallRecord(Replace(text, "signincommand", "signincommandx")).ok);
    EXPECT_FALSE(ParseInstallRecord(Replace(text, "end\n", "signin Other\nend\n")).ok);
    InstallRecord halfsignin = DeclaredSample();
    halfsignin.signincommand.clear();
    EXPECT_TRUE(FormatInstallRecord(halfsignin).empty());
    InstallRecord badvalue = DeclaredSample();
    badvalue.registryvalues.push_back(u"HKLM\\Software\\Microsoft\\x");
    EXPECT_TRUE(FormatInstallRecord(badvalue).empty());
}

}  // namespace

TEST(InstallRecord, PrerequisitesAndTheUninstallsProgramsComeBackAndOnlyTheProductsProgramsParse) {
    InstallRecord record = Sample();
    record.prerequisites = {RecordedPrerequisite(u"cxxruntime-x64.exe", false, 3010),
                            RecordedPrerequisite(u"db.exe", true, 0)};
    payload::RunDeclaration run{payload::RunWhen::BeforeUninstall, u"bin\\reg.exe", u"", {0, 1}, true, true, false, false};
    record.uninstallruns = {RecordedRun(run, u"--unregister \"C:\\P|Q\"")};
    const std::string text = FormatInstallRecord(record);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find("prerequisite cxxruntime-x64.exe|3010\n"), std::string::npos);
    EXPECT_NE(text.find("prerequisite db.exe|skipped\n"), std::string::npos);
    const ParsedInstallRecord parsed = ParseInstallRecord(text);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.record.prerequisites, record.prerequisites);
    ASSERT_EQ(parsed.record.uninstallruns, record.uninstallruns);
    payload::RunDeclaration back;
    ASSERT_TRUE(ParseRecordedRun(parsed.record.uninstallruns[0], back));
    EXPECT_EQ(back.program, u"bin\\reg.exe");
    EXPECT_EQ(back.arguments, u"--unregister \"C:\\P|Q\"");
    EXPECT_EQ(back.successcodes, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_TRUE(back.wait && back.failonerror && !back.hidden);
    // A record any tool may have written names nothing else for the uninstall to run.
    for (const char16_t* bad : {u"wf|0|C:\\Windows\\system32\\cmd.exe|/c del", u"wf|0|..\\x.exe|", u"w|0|\\\\srv\\x.exe|",
                                u"w|0|bin\\reg.exe", u"zz|0|reg.exe|", u"w||reg.exe|", u"w|0||"})
        EXPECT_FALSE(ParseRecordedRun(bad, back));
    EXPECT_TRUE(IsSuccessCode({0, 3010}, 3010));
    EXPECT_FALSE(IsSuccessCode({0}, 3010));
}

TEST(InstallRecord, PrerequisiteChecksReadTheirVersionsAndFillTheirFolders) {
    EXPECT_FALSE(CheckSatisfied(false, u"", ""));
    EXPECT_TRUE(CheckSatisfied(true, u"", ""));
    EXPECT_TRUE(CheckSatisfied(true, u"v14.40.33810.00", "14.38"));
    EXPECT_FALSE(CheckSatisfied(true, u"14.9", "14.38"));
    EXPECT_FALSE(CheckSatisfied(true, u"installed", "1"));  // no number is no proof of a version
    EXPECT_TRUE(CheckSatisfied(true, u"1", "1"));         // a DWORD "Installed" of 1
    EXPECT_EQ(CheckFilePath(u"{sys}\\cxxrt.dll", u"C:\\Windows\\system32", u"C:\\Windows", u"C:\\PF"),
              u"C:\\Windows\\system32\\cxxrt.dll");
    EXPECT_EQ(CheckFilePath(u"{pf}\\Db\\db.exe", u"S", u"W", u"C:\\PF"), u"C:\\PF\\Db\\db.exe");
    EXPECT_EQ(CheckFilePath(u"D:\\x{sys}", u"S", u"W", u"P"), u"D:\\x{sys}");
    payload::PrerequisiteDeclaration p;
    p.arguments = u"/passive";
    p.unattendedarguments = u"/quiet";
    EXPECT_EQ(PrerequisiteArguments(p, false), u"/passive");
    EXPECT_EQ(PrerequisiteArguments(p, true), u"/quiet");
    p.unattendedarguments.clear();
    EXPECT_EQ(PrerequisiteArguments(p, true), u"/passive");
}
