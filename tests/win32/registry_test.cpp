// The registry functions against the real registry, below test keys of
// their own.  What they wrote is checked with the plain registry calls.
#include "setuputil/registry.hpp"

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

using namespace setuputil;

namespace {

std::string Unique(const std::string& stem) { return stem + std::to_string(GetCurrentProcessId()); }

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetRawString(HKEY root, const std::string& path, const std::string& name, const std::string& value) {
    SetRaw(root, path, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

// The stored type and bytes of a value, or type REG_NONE with no bytes when
// it is missing.
struct RawValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

RawValue GetRaw(HKEY root, const std::string& path, const std::string& name) {
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.assign(size, '\0');
        RegQueryValueExA(key, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()), &size);
        value.bytes.resize(size);
    } else {
        value.type = REG_NONE;
    }
    RegCloseKey(key);
    return value;
}

class Registry : public testing::Test {
protected:
    void SetUp() override { SHDeleteKeyA(HKEY_CURRENT_USER, base_.c_str()); }
    void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, base_.c_str()); }

    const std::string base_ = Unique("Software\\TallowinTest");
};

TEST_F(Registry, WritesStringsAndReadsThemBack) {
    const std::string key = base_ + "\\Vantrell\\Settings";  // two missing levels
    WriteUserRegString(key, "Folder", "C:\\Program Files\\Vantrell");
    const RawValue raw = GetRaw(HKEY_CURRENT_USER, key, "Folder");
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.bytes, std::string("C:\\Program Files\\Vantrell") + '\0') << "stored with its terminating zero";
    EXPECT_EQ(ReadUserRegString(key, "Folder", "default"), "C:\\Program Files\\Vantrell");

    WriteUserRegString(key, "Folder", "D:\\Other");  // replaces
    EXPECT_EQ(ReadUserRegString(key, "folder", ""), "D:\\Other") << "value names ignore case";
    WriteUserRegString(key, "Empty", "");
    EXPECT_EQ(ReadUserRegString(key, "Empty", "default"), "");
    EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, key, "Empty").type, static_cast<DWORD>(REG_SZ));

    // The unnamed value and a leading backslash on the key path.
    WriteUserRegString("\\" + key, "", "unnamed");
    EXPECT_EQ(ReadUserRegString(key, "", "x"), "unnamed");
    EXPECT_EQ(ReadUserRegString("\\" + key + "\\", "Folder", "x"), "D:\\Other");
}

TEST_F(Registry, AccessorWritesBelowAnyRoot) {
    const std::string key = Unique("Software\\TallowinTestMachine");
    const tregistry machine(RegRoot::LocalMachine);
    machine.WriteString(key, "Displayname", "Vantrell 2");
    EXPECT_EQ(ReadMachineRegString(key, "Displayname", ""), "Vantrell 2");
    EXPECT_EQ(machine.ReadString(key, "Displayname", ""), "Vantrell 2");
    EXPECT_EQ(ReadUserRegString(key, "Displayname", "not here"), "not here") << "the roots are distinct";
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());

    // Classes: an extension key and the file type it names.
    const std::string extension = Unique(".tallowintest");
    machine.WriteString("Software\\Classes\\" + extension, "", "Vantrell.Document");
    EXPECT_EQ(ReadClassesRegString(extension, "", ""), "Vantrell.Document");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, ("Software\\Classes\\" + extension).c_str());
}

TEST_F(Registry, MissingKeysAndValuesAnswerTheDefaultExactly) {
    SetRawString(HKEY_CURRENT_USER, base_, "Present", "here");
    EXPECT_EQ(ReadUserRegString(base_, "Absent", ""), "");
    EXPECT_EQ(ReadUserRegString(base_, "Absent", "  fallback \\ text "), "  fallback \\ text ");
    EXPECT_EQ(ReadUserRegString(base_ + "\\NoSuchKey", "Present", "fb"), "fb");
    EXPECT_EQ(ReadMachineRegString(Unique("Software\\TallowinNoSuchKey"), "x", "machine fb"), "machine fb");
    EXPECT_EQ(ReadClassesRegString(Unique(".tallowinnosuch"), "", "classes fb"), "classes fb");
    EXPECT_EQ(ReadUserRegString(base_, "Present", "fb"), "here");
}

TEST_F(Registry, ValueTypesOtherThanStringsRaise) {
    const DWORD number = 7;
    SetRaw(HKEY_CURRENT_USER, base_, "Count", REG_DWORD, &number, sizeof(number));
    try {
        ReadUserRegString(base_, "Count", "default");
        ADD_FAILURE() << "a REG_DWORD value was read as a string";
    } catch (const RegistryError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'Count'");
    }
    const char multi[] = "a\0b\0";
    SetRaw(HKEY_CURRENT_USER, base_, "Multi", REG_MULTI_SZ, multi, sizeof(multi));
    EXPECT_THROW(ReadUserRegString(base_, "Multi", ""), RegistryError);
    // A value without data carries no text whatever its type says.
    SetRaw(HKEY_CURRENT_USER, base_, "NoData", REG_BINARY, nullptr, 0);
    EXPECT_EQ(ReadUserRegString(base_, "NoData", "default"), "");
}

TEST_F(Registry, StringValuesAreCutAtTheirFirstZeroAndNotExpanded) {
    const std::string expandable = "%SystemRoot%\\vantrell";
    SetRaw(HKEY_CURRENT_USER, base_, "Expand", REG_EXPAND_SZ, expandable.c_str(),
           static_cast<DWORD>(expandable.size() + 1));
    EXPECT_EQ(ReadUserRegString(base_, "Expand", ""), expandable);
    const char inner[] = "first\0second";
    SetRaw(HKEY_CURRENT_USER, base_, "Inner", REG_SZ, inner, sizeof(inner));
    EXPECT_EQ(ReadUserRegString(base_, "Inner", ""), "first");
    // Stored without its terminating zero: every byte still comes back.
    SetRaw(HKEY_CURRENT_USER, base_, "Unended", REG_SZ, "abc", 3);
    EXPECT_EQ(ReadUserRegString(base_, "Unended", ""), "abc");
    const std::string longText(5000, 'v');
    WriteUserRegString(base_, "Long", longText);
    EXPECT_EQ(ReadUserRegString(base_, "Long", ""), longText);
}

TEST_F(Registry, RefusedCreationAndWriteRaiseWithTheirTexts) {
    // A key name longer than the registry's 255 characters cannot be made.
    const std::string badKey = base_ + "\\" + std::string(300, 'k');
    try {
        WriteUserRegString(badKey, "Name", "value");
        ADD_FAILURE() << "a key with a 300-character name was created";
    } catch (const RegistryError& error) {
        EXPECT_EQ(std::string(error.what()), "Failed to create key " + badKey);
    }
    const std::string badName(20000, 'n');  // value names hold at most 16,383 characters
    try {
        WriteUserRegString(base_, badName, "value");
        ADD_FAILURE() << "a value with a 20,000-character name was written";
    } catch (const RegistryError& error) {
        EXPECT_EQ(std::string(error.what()), "Failed to set data for '" + badName + "'");
    }
}

TEST_F(Registry, DeleteRegTreeRemovesAWholeTreeAndNothingBeside) {
    const std::string tree = base_ + "\\Tree";
    SetRawString(HKEY_CURRENT_USER, tree, "v0", "0");
    SetRawString(HKEY_CURRENT_USER, tree + "\\A", "v1", "1");
    SetRawString(HKEY_CURRENT_USER, tree + "\\A\\B", "v2", "2");
    SetRawString(HKEY_CURRENT_USER, tree + "\\A\\B\\C", "v3", "3");
    const DWORD number = 1;
    SetRaw(HKEY_CURRENT_USER, tree + "\\A\\B\\C", "n", REG_DWORD, &number, sizeof(number));
    for (int i = 0; i < 40; ++i) SetRawString(HKEY_CURRENT_USER, tree + "\\Many\\k" + std::to_string(i), "v", "x");
    SetRawString(HKEY_CURRENT_USER, base_ + "\\Tree2", "sibling", "stays");  // shares the name's head
    SetRawString(HKEY_CURRENT_USER, base_, "parent", "stays");

    DeleteRegTree(RegRoot::CurrentUser, tree);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_ + "\\Tree2"));
    EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, base_, "parent").bytes, std::string("stays") + '\0');

    // Missing keys pass quietly, as do paths with surrounding backslashes.
    DeleteRegTree(RegRoot::CurrentUser, tree);
    DeleteRegTree(RegRoot::CurrentUser, base_ + "\\No\\Such\\Key");
    SetRawString(HKEY_CURRENT_USER, base_ + "\\Slashed\\Sub", "v", "x");
    DeleteRegTree(RegRoot::CurrentUser, "\\" + base_ + "\\Slashed\\");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, base_ + "\\Slashed"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_ + "\\Tree2"));
}

// The fixed parents and shared keys hold every product's entries: a deletion
// that names one of them must leave it, and its siblings, in place.
TEST(DeleteRegTreeRefusal, FixedParentsAndSharedKeysSurvive) {
    struct Sibling {
        HKEY root;
        RegRoot regRoot;
        std::string parent;
    };
    const std::string name = Unique("TallowinTestSibling");
    const Sibling siblings[] = {
        {HKEY_CURRENT_USER, RegRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {HKEY_CURRENT_USER, RegRoot::CurrentUser, "Software\\Microsoft"},
        {HKEY_CURRENT_USER, RegRoot::CurrentUser, "Software"},
        {HKEY_LOCAL_MACHINE, RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths"},
        {HKEY_LOCAL_MACHINE, RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
        {HKEY_LOCAL_MACHINE, RegRoot::LocalMachine, "Software\\Classes"},
    };
    for (const Sibling& s : siblings) SetRawString(s.root, s.parent + "\\" + name, "v", "sibling");

    const char* refused[] = {
        "software\\microsoft\\windows\\currentversion\\run\\",
        "\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
        "software\\microsoft\\windows\\currentversion\\app paths\\",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        "software\\Microsoft",  // "software" + a Start-menu folder "\Microsoft"
        "\\software\\classes\\",
        "software\\microsoft\\windows",
        "software\\",
        "Software",
        "\\",
        "",
    };
    for (const char* path : refused) {
        DeleteRegTree(RegRoot::CurrentUser, path);
        DeleteRegTree(RegRoot::LocalMachine, path);
    }
    for (const Sibling& s : siblings) {
        const std::string key = s.parent + "\\" + name;
        EXPECT_EQ(GetRaw(s.root, key, "v").bytes, std::string("sibling") + '\0') << key;
        // The sibling itself is the product's own key and may go.
        DeleteRegTree(s.regRoot, key);
        EXPECT_FALSE(KeyExists(s.root, key)) << key;
    }
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion"));
}

}  // namespace
