// The folders and key names the uninstall refuses to delete.
#include "installengine/uninstallguard.hpp"

#include <gtest/gtest.h>

using namespace installengine;

namespace {

const std::vector<std::u16string> kGuarded = {
    u"C:\\WINDOWS",
    u"C:\\Program Files",
    u"C:\\Users\\me",
    u"C:\\Users\\me\\AppData\\Roaming",
    u"C:\\Users\\me\\Start Menu\\Programs\\",
    u"C:\\Users\\me\\Start Menu\\Programs\\Startup",
    u"C:\\Users\\me\\Documents",
    u"C:\\ProgramData\\Start Menu\\Programs",
};

TEST(IsRemovableFolder, AcceptsProductFolders) {
    EXPECT_TRUE(IsRemovableFolder(u"C:\\Program Files\\Vantrell", kGuarded));
    EXPECT_TRUE(IsRemovableFolder(u"c:\\program files\\Vantrell\\", kGuarded));
    EXPECT_TRUE(IsRemovableFolder(u"C:\\Users\\me\\AppData\\Roaming\\Vantrell", kGuarded));
    EXPECT_TRUE(IsRemovableFolder(u"C:\\Users\\me\\Start Menu\\Programs\\Calderic\\Vantrell", kGuarded));
    EXPECT_TRUE(IsRemovableFolder(u"D:\\Vantrell", kGuarded));
    EXPECT_TRUE(IsRemovableFolder(u"C:\\Program Files\\..Vantrell..x", kGuarded));
}

TEST(IsRemovableFolder, RefusesEmptyRootsAndRelativePaths) {
    // A share is never a program folder: \\localhost\c$ reaches C: under another name.
    for (const char16_t* path : {u"", u"C:", u"C:\\", u"c:/", u"C:\\\\", u"\\\\server\\share", u"\\\\server\\share\\",
                                 u"\\\\server\\share\\Vantrell", u"\\\\localhost\\c$\\Program Files\\Common Files",
                                 u"//localhost/c$/Program Files (x86)",
                                 u"\\\\server", u"Vantrell", u"\\Vantrell", u"C:Vantrell", u"..\\Vantrell"})
        EXPECT_FALSE(IsRemovableFolder(path, kGuarded)) << std::string(path, path + std::char_traits<char16_t>::length(path));
}

TEST(IsRemovableFolder, RefusesDotPartsAndDevicePrefixes) {
    for (const char16_t* path :
         {u"C:\\Program Files\\Vantrell\\..", u"C:\\Program Files\\..\\x", u"C:\\x\\.\\y", u"C:\\x\\...",
          u"C:\\x\\. .", u"\\\\?\\C:\\Vantrell", u"\\\\.\\C:\\Vantrell", u"C:\\x\\y:stream", u"C:/x/../y"})
        EXPECT_FALSE(IsRemovableFolder(path, kGuarded));
}

TEST(IsRemovableFolder, RefusesGuardedFoldersAndTheirParents) {
    for (const std::u16string& folder : kGuarded) EXPECT_FALSE(IsRemovableFolder(folder, kGuarded));
    for (const char16_t* path :
         {u"c:\\windows\\", u"C:\\WINDOWS.", u"C:\\windows \\", u"C:\\\\Windows", u"C:/Program Files", u"C:\\Users",
          u"c:\\users\\ME", u"C:\\Users\\me\\Start Menu", u"C:\\Users\\me\\Start Menu\\Programs\\\\", u"C:\\ProgramData"})
        EXPECT_FALSE(IsRemovableFolder(path, kGuarded));
    // Below a guarded folder is fine; a sibling with a longer name too.
    EXPECT_TRUE(IsRemovableFolder(u"C:\\WINDOWS2", kGuarded));
    EXPECT_TRUE(IsRemovableFolder(u"C:\\Users\\me\\Documents\\Vantrell", kGuarded));
}

// Inside a protected tree nothing is removable; beside it everything is.
TEST(IsRemovableFolder, RefusesEverythingInsideAProtectedTree) {
    const std::vector<std::u16string> trees = {u"C:\\Windows", u"C:\\Program Files\\Common Files",
                                               u"C:\\Users\\Default"};
    for (const char16_t* path : {u"C:\\Windows\\System32\\drivers", u"c:\\windows\\temp\\x", u"C:\\Windows",
                                 u"C:\\Program Files\\Common Files\\Vendor", u"C:\\Users\\Default\\AppData"})
        EXPECT_FALSE(IsRemovableFolder(path, kGuarded, trees))
            << std::string(path, path + std::char_traits<char16_t>::length(path));
    EXPECT_TRUE(IsRemovableFolder(u"C:\\Program Files\\Vantrell", kGuarded, trees));
    EXPECT_TRUE(IsRemovableFolder(u"C:\\Program Files\\Common Files2", kGuarded, trees));
    EXPECT_TRUE(IsSamePlace(u"c:/program files/Vantrell/", u"C:\\Program Files\\VANTRELL"));
    EXPECT_FALSE(IsSamePlace(u"C:\\Program Files\\Vantrell", u"C:\\Program Files\\Vantrell\\x"));
    EXPECT_FALSE(IsSamePlace(u"", u""));
    EXPECT_TRUE(IsInside(u"C:\\a\\b", u"c:\\A"));
    EXPECT_FALSE(IsInside(u"C:\\ab", u"C:\\a"));
}

// The per-user key "software" + the Start-menu folder, never a shared one.
TEST(IsRemovableSettingsKey, TwoNamesBelowSoftwareOutsideTheSharedKeys) {
    EXPECT_TRUE(IsRemovableSettingsKey("software\\Calderic\\Vantrell"));
    EXPECT_TRUE(IsRemovableSettingsKey("Software\\Acme\\Tool\\Sub"));
    for (const char* bad : {"", "software", "software\\Calderic", "software\\\\Calderic\\", "Software\\Microsoft\\Windows",
                            "software\\microsoft\\Windows\\CurrentVersion\\Explorer", "software\\Classes\\CLSID",
                            "software\\Policies\\Acme", "software\\Wow6432Node\\Acme", "software\\Clients\\Mail",
                            "software\\RegisteredApplications\\x", "system\\Acme\\x", "software\\..\\x",
                            "software\\ \\x"})
        EXPECT_FALSE(IsRemovableSettingsKey(bad)) << bad;
}

// The shell's delete expands a pattern: "Programs\*" would empty Programs.
TEST(IsRemovableFolder, RefusesPatternsAndCharactersNoNameHolds) {
    for (const char16_t* path :
         {u"C:\\Users\\me\\Start Menu\\Programs\\*", u"C:\\Users\\me\\Start Menu\\Programs\\Ven?or\\*",
          u"C:\\Users\\me\\AppData\\Roaming\\*", u"C:\\x\\a\"b", u"C:\\x\\a<b", u"C:\\x\\a>b", u"C:\\x\\a|b",
          u"C:\\x\\a\tb", u"D:\\*\\y", u"\\\\server\\share\\*"})
        EXPECT_FALSE(IsRemovableFolder(path, kGuarded))
            << std::string(path, path + std::char_traits<char16_t>::length(path));
    EXPECT_FALSE(IsShortcutFilePath(u"C:\\Users\\me\\Desktop\\*.lnk"));
    EXPECT_FALSE(IsShortcutFilePath(u"C:\\Users\\me\\Desktop\\V?ntrell.lnk"));
    EXPECT_TRUE(IsShortcutFilePath(u"C:\\Users\\me\\Desktop\\Vantrell.lnk"));
}

TEST(HasCompletingName, NeedsMoreThanBackslashesAndBlanks) {
    EXPECT_FALSE(HasCompletingName(std::string()));
    EXPECT_FALSE(HasCompletingName(std::string("\\\\ \\")));
    EXPECT_FALSE(HasCompletingName(std::u16string(u"\\")));
    EXPECT_TRUE(HasCompletingName(std::string(".vtr")));
    EXPECT_TRUE(HasCompletingName(std::u16string(u"\\Calderic")));
}

TEST(IsAbsoluteFilePath, OnlyFullPathsWithoutDotParts) {
    EXPECT_TRUE(IsAbsoluteFilePath(u"C:\\Users\\me\\Desktop\\Vantrell.lnk"));
    EXPECT_FALSE(IsAbsoluteFilePath(u"Vantrell.lnk"));
    EXPECT_FALSE(IsAbsoluteFilePath(u"C:\\"));
    EXPECT_FALSE(IsAbsoluteFilePath(u"C:\\Users\\..\\x.lnk"));
}

TEST(FileAssociation, OnlyAnExtensionKeyAndAFileTypeOfItsOwn) {
    EXPECT_TRUE(IsRemovableExtensionKey(".vtr"));
    for (const char* bad : {"", ".", ". ", "vtr", ".vtr\\shell", "\\.vtr", "CLSID", ".a/b"})
        EXPECT_FALSE(IsRemovableExtensionKey(bad)) << bad;

    EXPECT_TRUE(IsRemovableFileTypeKey("Vantrell.Document"));
    EXPECT_TRUE(IsRemovableFileTypeKey("vtrfile"));
    for (const char* bad : {"", "  ", "clsid", "CLSID", "Interface", "txtfile", "EXEFILE", "*", ".vtr",
                            "Vantrell\\shell", "Folder"})
        EXPECT_FALSE(IsRemovableFileTypeKey(bad)) << bad;
}

TEST(FileAssociation, TheExtensionKeyGoesOnlyWithItsOwnFileType) {
    // Ours: both keys.
    AssociationKeys keys = AssociationKeysToRemove(".vtr", "Vantrell.Document");
    EXPECT_EQ(keys.filetype, "Vantrell.Document");
    EXPECT_EQ(keys.extension, ".vtr");
    // No file type named: the extension key alone.
    keys = AssociationKeysToRemove(".vtr", "");
    EXPECT_EQ(keys.filetype, "");
    EXPECT_EQ(keys.extension, ".vtr");
    // A shared or unsound file type: the association is another program's
    // (or the machine's), and neither key is touched.
    for (const char* shared : {"txtfile", "TXTFILE", "CLSID", "a\\b", ".txt", "  "}) {
        keys = AssociationKeysToRemove(".txt", shared);
        EXPECT_EQ(keys.filetype, "") << shared;
        EXPECT_EQ(keys.extension, "") << shared;
    }
    // An unsound extension: nothing, whatever it points at.
    keys = AssociationKeysToRemove("CLSID", "Vantrell.Document");
    EXPECT_EQ(keys.filetype, "");
    EXPECT_EQ(keys.extension, "");
}

TEST(IsShortcutFilePath, OnlyAbsoluteLinkFiles) {
    for (const char16_t* link : {u"C:\\Users\\me\\Desktop\\Vantrell.lnk", u"C:\\Users\\me\\Desktop\\Vantrell.LNK",
                                 u"c:\\x\\a.Lnk", u"\\\\server\\share\\a.lnk", u"C:\\x\\a.lnk."})
        EXPECT_TRUE(IsShortcutFilePath(link));
    for (const char16_t* other :
         {u"", u".lnk", u"Vantrell.lnk", u"C:\\Users\\me\\Desktop\\Vantrell.exe", u"C:\\Windows\\notepad.exe",
          u"C:\\x\\lnk", u"C:\\x\\a.lnk\\b.txt", u"C:\\x\\a.lnkx", u"C:\\x\\..\\a.lnk", u"C:\\boot.ini"})
        EXPECT_FALSE(IsShortcutFilePath(other))
            << std::string(other, other + std::char_traits<char16_t>::length(other));
}

}  // namespace
