// Installing over an installed version: which version is newer, and which
// of the installed files an update removes -- never a hostile entry of the
// installed version's record, a file the new version writes, the record or
// the backup folder.
#include "installengine/pathlist.hpp"
#include "installengine/updateplan.hpp"

#include <gtest/gtest.h>

using namespace installengine;

TEST(ProductVersions, CompareByTheirNumbers) {
    EXPECT_GT(CompareProductVersions("3.10", "3.9"), 0);
    EXPECT_LT(CompareProductVersions("3.9", "3.10"), 0);
    EXPECT_EQ(CompareProductVersions("2.1", "2.1.0"), 0);
    EXPECT_EQ(CompareProductVersions("2.1.0.0", "2.1"), 0);
    EXPECT_GT(CompareProductVersions("2.1.1", "2.1"), 0);
    EXPECT_EQ(CompareProductVersions("02.01", "2.1"), 0);
    EXPECT_EQ(CompareProductVersions("2.2 beta", "2.2"), 0);  // text after the numbers is not compared
    EXPECT_LT(CompareProductVersions("2.1", "2.2-rc1"), 0);
    // Longer than any machine number, still compared by value.
    EXPECT_GT(CompareProductVersions("1.123456789012345678901234567890", "1.99999999999999999999"), 0);
    EXPECT_LT(CompareProductVersions("0.9", "1"), 0);
    // Without a number on either side: equal texts are the same, else newer.
    EXPECT_EQ(CompareProductVersions("Gold", "Gold"), 0);
    EXPECT_GT(CompareProductVersions("Gold", "Silver"), 0);
    EXPECT_GT(CompareProductVersions("Silver", "Gold"), 0);
    EXPECT_GT(CompareProductVersions("v2", "3.0"), 0);
    EXPECT_GT(CompareProductVersions("2.0", ""), 0);
    EXPECT_EQ(CompareProductVersions("", ""), 0);
}

TEST(ProductVersions, DecideTheKindOfInstall) {
    EXPECT_EQ(KindOfInstall(false, "9.0", "2.1"), InstallKind::FirstInstall);
    EXPECT_EQ(KindOfInstall(true, "2.1", "2.2"), InstallKind::Update);
    EXPECT_EQ(KindOfInstall(true, "2.1", "2.1.0"), InstallKind::Repair);
    EXPECT_EQ(KindOfInstall(true, "2.2", "2.1"), InstallKind::Downgrade);
    EXPECT_EQ(KindOfInstall(true, "3.10", "3.9"), InstallKind::Downgrade);
}

TEST(DroppedByUpdate, OnlyTheRecordsPlainEntriesThatTheNewVersionLacks) {
    // An installed version's record as a tampered file might hold it.
    const std::string text =
        "Tallowin install record 1\n"
        "id 0123456789abcdef0123456789abcdef\n"
        "product Vantrell\nprogram vantrell.exe\nfolder C:\\Apps\\Vantrell\n"
        "dir plugins\ndir plugins\\old\ndir docs\ndir ~tallowin-update\n"
        "file vantrell.exe\nfile plugins\\old\\gone.dll\nfile Docs\\Guide.txt\nfile readme.txt\n"
        "file ..\\outside.txt\nfile C:\\Windows\\win.ini\nfile \\root.txt\nfile nul.txt\nfile a\\b:stream\n"
        "file docs\\*.txt\nfile trailing.\nfile uninstall.dat\nfile ~TALLOWIN-UPDATE\\vantrell.exe\n"
        "end\n";
    const ParsedInstallRecord parsed = ParseInstallRecord(text);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.skipped, 7u);

    const DroppedEntries dropped =
        DroppedByUpdate(parsed.record, {u"VANTRELL.EXE", u"docs\\guide.txt", u"docs\\new.txt"}, {});
    EXPECT_EQ(dropped.files, (std::vector<std::u16string>{u"plugins\\old\\gone.dll", u"readme.txt"}));
    // Children first; a folder the new version writes into stays.
    EXPECT_EQ(dropped.folders, (std::vector<std::u16string>{u"plugins\\old", u"plugins"}));

    // Names compare as the system compares them, beyond A-Z; a file whose
    // name is now a folder of the new version went aside with it.
    const DroppedEntries renamed = DroppedByUpdate(parsed.record, {u"VANTRELL.EXE", u"docs\\guide.txt",
                                                                   u"README.TXT\\part.txt", u"PLUGINS\\OLD\\GONE.DLL"}, {});
    EXPECT_TRUE(renamed.files.empty());
    InstallRecord letters;
    letters.files = {u"\u00c4.txt", u"\u0421\u0446.dll", u"\u0131.txt"};
    EXPECT_EQ(DroppedByUpdate(letters, {u"\u00e4.txt", u"\u0441\u0426.DLL", u"I.txt"}, {}).files,
              std::vector<std::u16string>{u"\u0131.txt"});

    EXPECT_TRUE(IsInUpdateBackup(u"~Tallowin-Update\\x"));
    EXPECT_FALSE(IsInUpdateBackup(u"~tallowin-updates\\x"));
}

// PATH is edited entry by entry: the user's other entries keep every byte
// (empty entries, quotes, odd spacing), a folder compares letter case and a
// trailing backslash aside, and only one entry goes with one separator.
TEST(PathList, AnEntryIsAddedOrRemovedAndNothingElseMoves) {
    using installengine::PathListAppend;
    using installengine::PathListHas;
    using installengine::PathListRemove;
    const std::u16string user = u"%SystemRoot%\\system32;;\"C:\\My Tools\";C:\\Prog\\BIN\\ ";
    EXPECT_TRUE(PathListHas(user, u"c:\\my tools"));
    EXPECT_FALSE(PathListHas(user, u"C:\\Prog\\bin"));  // the trailing blank makes it another name
    EXPECT_EQ(PathListAppend(u"", u"C:\\V"), u"C:\\V");
    EXPECT_EQ(PathListAppend(u"A;", u"C:\\V"), u"A;C:\\V");
    std::u16string path = PathListAppend(user, u"C:\\V");
    EXPECT_TRUE(PathListHas(path, u"c:\\v\\"));
    ASSERT_TRUE(PathListRemove(path, u"C:\\v"));
    EXPECT_EQ(path, user);
    std::u16string first = u"C:\\V;B";
    ASSERT_TRUE(PathListRemove(first, u"C:\\V"));
    EXPECT_EQ(first, u"B");
    std::u16string only = u"C:\\V\\";
    ASSERT_TRUE(PathListRemove(only, u"C:\\V"));
    EXPECT_EQ(only, u"");
    std::u16string twice = u"C:\\V;B;C:\\V";  // the one appended last is the install's
    ASSERT_TRUE(PathListRemove(twice, u"C:\\V"));
    EXPECT_EQ(twice, u"C:\\V;B");
    EXPECT_FALSE(PathListRemove(twice, u"C:\\W"));
}
