// Shortcuts written by CreateShortcut, read back through the shell's own
// link object; and ShellOpen starting a real program.
#include "setuputil/shellopen.hpp"
#include "setuputil/shortcuts.hpp"

#include "setuputil/codepage.hpp"
#include "tests/unit/tempdir.hpp"

#include <windows.h>
#include <objbase.h>
#include <shlguid.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

using namespace setuputil;
using testing_support::TempDir;

namespace {

struct LinkFields {
    std::u16string target, arguments, description, workfolder;
};

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::u16string U(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }

// Loads the link file with IShellLinkW on a thread of its own, so that the
// component system of the test's thread stays as the test left it.
bool ReadLink(const std::u16string& file, LinkFields& fields) {
    bool loaded = false;
    std::thread reader([&] {
        CoInitialize(nullptr);
        IShellLinkW* link = nullptr;
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       reinterpret_cast<void**>(&link))) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
            SUCCEEDED(persist->Load(W(file), STGM_READ))) {
            wchar_t buffer[1024];
            buffer[0] = 0;
            link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
            fields.target = U(buffer);
            buffer[0] = 0;
            link->GetArguments(buffer, 1024);
            fields.arguments = U(buffer);
            buffer[0] = 0;
            link->GetDescription(buffer, 1024);
            fields.description = U(buffer);
            buffer[0] = 0;
            link->GetWorkingDirectory(buffer, 1024);
            fields.workfolder = U(buffer);
            loaded = true;
        }
        if (persist) persist->Release();
        if (link) link->Release();
        CoUninitialize();
    });
    reader.join();
    return loaded;
}

TEST(CreateShortcut, SavesTargetArgumentsDescriptionAndWorkingFolder) {
    TempDir dir;
    const auto programFolder = dir.path() / u"Vantrell D\u00e9mo";
    std::filesystem::create_directories(programFolder);
    std::ofstream(programFolder / "vantrell.exe") << "MZ";
    const std::u16string target = (programFolder / "vantrell.exe").u16string();
    const std::u16string workfolder = programFolder.u16string();
    const std::u16string arguments = u"-ui vantrell.exe \"two words\"";
    const std::u16string description = u"Vantrell \u4e2d\u6587 d\u00e9mo";
    const std::u16string linkfile = dir.wide(u"Vantrell \u00e9.lnk");

    ASSERT_TRUE(CreateShortcut(target, arguments, description, workfolder, linkfile));
    LinkFields fields;
    ASSERT_TRUE(ReadLink(linkfile, fields));
    EXPECT_EQ(fields.target, target);
    EXPECT_EQ(fields.arguments, arguments);
    EXPECT_EQ(fields.description, description);
    EXPECT_EQ(fields.workfolder, workfolder);

    // Saving again over the file replaces it.
    ASSERT_TRUE(CreateShortcut(target, u"", u"", u"", linkfile));
    ASSERT_TRUE(ReadLink(linkfile, fields));
    EXPECT_EQ(fields.target, target);
    EXPECT_EQ(fields.arguments, u"");
    EXPECT_EQ(fields.description, u"");
}

TEST(CreateShortcut, MissingFolderLeavesNoFileAndSaysSo) {
    TempDir dir;
    const std::u16string linkfile = dir.wide(u"missing\\x.lnk");
    EXPECT_FALSE(CreateShortcut(dir.wide(), u"", u"", u"", linkfile));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST(CreateShortcut, LeavesTheCallersComponentSystemAlone) {
    TempDir dir;
    const std::u16string linkfile = dir.wide(u"mta.lnk");
    bool saved = false;
    HRESULT after = E_FAIL;
    // A thread of the multithreaded apartment: CoInitialize is refused there
    // and the call must not end the caller's own initialisation.
    std::thread worker([&] {
        const HRESULT own = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(own)) return;
        saved = CreateShortcut(dir.wide(), u"", u"in the MTA", u"", linkfile);
        after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still initialised
        if (SUCCEEDED(after)) CoUninitialize();
        CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(saved);
    EXPECT_EQ(after, S_FALSE);
    LinkFields fields;
    ASSERT_TRUE(ReadLink(linkfile, fields));
    EXPECT_EQ(fields.description, u"in the MTA");
}

// Copies the marker program into `name` below a fresh folder, opens it and
// answers whether it ran there (it leaves opened.txt next to itself).
bool OpensFrom(const std::u16string& name) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const auto program = std::filesystem::path(self).parent_path() / "openmarker.exe";
    EXPECT_TRUE(std::filesystem::exists(program)) << program;
    TempDir dir;
    const auto folder = dir.path() / std::filesystem::path(name);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(program, folder / "openmarker.exe");
    ShellOpen((folder / "openmarker.exe").u16string());
    bool opened = false;
    for (int i = 0; i < 500 && !opened; ++i) {
        opened = std::filesystem::exists(folder / "opened.txt");
        if (!opened) Sleep(20);
    }
    Sleep(200);  // let the program end before its folder is removed
    return opened;
}

TEST(ShellOpen, StartsTheProgram) { EXPECT_TRUE(OpensFrom(u"open me")); }

TEST(ShellOpen, StartsAProgramWhosePathTheCodePageCannotHold) {
    const std::u16string name = u"\u4e2d\u6587 \u0416\u03a9";
    ASSERT_NE(AnsiToWide(WideToAnsi(name)), name) << "the code page holds these characters";
    EXPECT_TRUE(OpensFrom(name));
}

}  // namespace
