// The real setup.exe through whole installations, driven from outside:
// Cancel while files are being extracted (No goes on, Yes ends the program
// with whole files and no registration), Finish starting the program and
// opening the readme, a damaged chunk and a damaged archive header, and the
// exit code of each.  Unattended (/S): the sample product installed without
// a window leaves what the wizard's install leaves, the registered
// "QuietUninstallString" removes it, refusals change nothing.
#include "tests/e2e/driver.hpp"

#include "payload/trailerwriter.hpp"
#include "tools/sacwriter/sacwriter.hpp"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>

namespace {

using namespace e2e;

constexpr DWORD kWait = 15000;
constexpr DWORD kWork = 120000;

std::vector<std::uint8_t> ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring WorkFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"tallowin-e2e-" + name;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool MachineKeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    ::RegCloseKey(handle);
    return true;
}

std::string AppPathsKey(const std::string& exename) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + exename;
}
std::string UninstallKey(const std::string& product) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
}

// Bytes that no LZ coder shrinks and that differ from file to file, so a
// file written from the wrong place or cut short shows.
std::vector<std::uint8_t> Noise(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

struct Installer {
    std::string product;
    std::string exename;
    std::vector<sacwriter::ArchiveItem> items;
    int level = 0;
};

sacwriter::ArchiveItem Item(const std::u16string& name, std::vector<std::uint8_t> data) {
    sacwriter::ArchiveItem item;
    item.filename = name;
    item.data = std::move(data);
    return item;
}

// The installer's bytes: the real stub, then the archive of `setup`.
std::string InstallerBytes(const Installer& setup) {
    sacwriter::InstallerInput input;
    input.stub = ReadAll(ProgramFolder() + L"\\setup.exe");
    EXPECT_FALSE(input.stub.empty());
    input.fields.productname = setup.product;
    input.fields.productversion = "1.0";
    input.fields.exename = setup.exename;
    input.fields.startmenufolder = u"\\Calderic\\" + std::u16string(setup.product.begin(), setup.product.end());
    input.fields.defaultsubfolder = u"\\" + std::u16string(setup.product.begin(), setup.product.end());
    input.items = setup.items;
    input.level = setup.level;
    std::ostringstream bytes;
    std::string error;
    EXPECT_TRUE(sacwriter::WriteInstaller(input, bytes, error)) << error;
    return bytes.str();
}

std::wstring Save(const std::wstring& folder, const std::string& bytes) {
    const std::wstring path = folder + L"\\setup-under-test.exe";
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
    return path;
}

struct Buttons {
    HWND back, next, cancel, finish;
};

Buttons FindButtons(HWND wizard) {
    return {FindChild(wizard, L"<  &Back", L"Button"), FindChild(wizard, L"&Next  >", L"Button"),
            FindChild(wizard, L"&Cancel", L"Button"), FindChild(wizard, L"&Finish", L"Button")};
}

// Starts the installer and walks it to the destination page; the folder box
// then holds `target`.  Answers the wizard window.
HWND OpenAtDestination(Process& process, const std::wstring& installer, const std::string& product,
                       const std::wstring& target) {
    if (!process.Start(installer, L"")) return nullptr;
    HWND wizard =
        WaitTopWindow(process.Id(), std::wstring(product.begin(), product.end()) + L" Installer - Tallowin", kWait);
    if (!wizard) return nullptr;
    Click(FindButtons(wizard).next);
    HWND installpath = ChildrenOfClass(wizard, L"Edit").back();
    ::SendMessageW(installpath, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    return wizard;
}

HWND ProgressBar(HWND wizard) {
    const std::vector<HWND> bars = ChildrenOfClass(wizard, PROGRESS_CLASSW);
    return bars.empty() ? nullptr : bars.front();
}

int ProgressOf(HWND bar) { return static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0)); }

bool FinishPageShown(HWND wizard) { return Visible(FindChild(wizard, L"Installation Completed!")); }

// Answers a message box of the process (after checking its text).
void Answer(DWORD pid, const std::wstring& caption, const std::wstring& text, const std::wstring& button) {
    HWND box = WaitMessageBox(pid, caption, kWait);
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(MessageBoxText(box), text);
    HWND press = FindChild(box, button, L"Button");
    ASSERT_NE(press, nullptr);
    PostClick(press);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box) || !Visible(box); }, kWait));
}

// Exit codes: 0 done, 1 the work began and failed, 2 nothing was changed.
void ExpectExit(Process& process, DWORD expected = 0) {
    DWORD code = 99;
    EXPECT_TRUE(process.WaitExit(kWait, code)) << "the program did not end";
    EXPECT_EQ(code, expected) << "exit code";
}

// Removes an installation through its registered uninstaller, so that the
// shared prefix holds no registration afterwards.
void Uninstall(const std::string& product, const std::string& exename) {
    const std::wstring program(exename.begin(), exename.end());
    Process process;
    ASSERT_TRUE(process.Start(ProductUninstaller(program), L"-ui " + program));
    HWND wizard =
        WaitTopWindow(process.Id(), std::wstring(product.begin(), product.end()) + L" Uninstaller - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    PostClick(b.next);
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (HWND question = WaitMessageBox(process.Id(), L"Confirm", 0))
                PostClick(FindChild(question, L"&Yes", L"Button"));
            return Visible(FindChild(wizard, L"Uninstall Complete!"));
        },
        kWork));
    Click(b.finish);
    ExpectExit(process);
}

// Eight files of 3 MB each: long enough to extract that a Cancel pressed
// right after Next arrives while the files are being written.
std::vector<sacwriter::ArchiveItem> BigFiles() {
    std::vector<sacwriter::ArchiveItem> items;
    for (int i = 0; i < 8; ++i) {
        const std::u16string name = u"part" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u".bin";
        items.push_back(Item(name, Noise(3u << 20, static_cast<std::uint32_t>(i + 1))));
    }
    return items;
}

TEST(CancelDuringExtraction, NoLetsTheInstallationFinishWithEveryFileWhole) {
    const std::wstring folder = WorkFolder(L"cancel-no");
    Installer setup{"Cancel No", "cancelno.exe", BigFiles()};
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::wstring target = folder + L"\\target";
    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    PostClick(b.next);
    PostClick(b.cancel);
    HWND box = WaitMessageBox(process.Id(), L"Warning", kWait);
    ASSERT_NE(box, nullptr) << "Cancel on the installing page asked nothing";
    // The worker is paused while the question is open: the bar stands still
    // below the end of the extraction.
    HWND bar = ProgressBar(wizard);
    const int paused = ProgressOf(bar);
    EXPECT_LT(paused, 90) << "the extraction was over before the question";
    ::Sleep(500);
    EXPECT_EQ(ProgressOf(bar), paused);
    EXPECT_FALSE(FinishPageShown(wizard));
    EXPECT_EQ(MessageBoxText(box), L"Are you sure you want to cancel this installation?");
    PostClick(FindChild(box, L"&No", L"Button"));

    ASSERT_TRUE(WaitUntil([&] { return FinishPageShown(wizard); }, kWork)) << "no finish page after No";
    EXPECT_EQ(ProgressOf(bar), 100);
    for (const auto& item : setup.items)
        EXPECT_EQ(ReadAll(target + L"\\" + std::wstring(item.filename.begin(), item.filename.end())), item.data)
            << "a file differs after the paused extraction";
    EXPECT_TRUE(MachineKeyExists(AppPathsKey(setup.exename)));
    Click(FindChild(wizard, L"Run Cancel No.", L"Button"));  // untick: there is no program to start
    Click(b.finish);
    ExpectExit(process);
    Uninstall(setup.product, setup.exename);
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
}

TEST(CancelDuringExtraction, YesEndsTheProgramWithWholeFilesAndNoRegistration) {
    const std::wstring folder = WorkFolder(L"cancel-yes");
    Installer setup{"Cancel Yes", "cancelyes.exe", BigFiles()};
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::wstring target = folder + L"\\target";
    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    PostClick(b.next);
    PostClick(b.cancel);
    HWND box = WaitMessageBox(process.Id(), L"Warning", kWait);
    ASSERT_NE(box, nullptr) << "Cancel on the installing page asked nothing";
    EXPECT_LT(ProgressOf(ProgressBar(wizard)), 90) << "the extraction was over before the question";
    PostClick(FindChild(box, L"&Yes", L"Button"));
    DWORD code = 0;
    ASSERT_TRUE(process.WaitExit(kWait, code)) << "the program did not end after Yes";

    // Every file that is there is whole; the rest were never started.
    std::size_t present = 0;
    for (const auto& item : setup.items) {
        const std::wstring path = target + L"\\" + std::wstring(item.filename.begin(), item.filename.end());
        if (!Exists(path)) continue;
        ++present;
        EXPECT_EQ(ReadAll(path), item.data) << "a file was left cut short";
    }
    EXPECT_LT(present, setup.items.size()) << "the cancel did not stop the extraction";
    // The question can hold the worker before its first file: then nothing
    // was written and the cancel counts as a refusal.
    EXPECT_EQ(code, present > 0 ? 1u : 2u) << present << " files were written before the cancel";
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
    EXPECT_FALSE(MachineKeyExists(UninstallKey(setup.product)));
}

// The top-level window of any process with this caption.
HWND WaitAnyWindow(const std::wstring& caption, DWORD ms) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = ::FindWindowW(nullptr, caption.c_str())) != nullptr; }, ms);
    return found;
}

struct TitleSearch {
    std::wstring part;  // lower case
    HWND found = nullptr;
};

// A named stdcall function: a lambda does not convert to WNDENUMPROC in the
// 32-bit build.
BOOL CALLBACK VisitTitle(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<TitleSearch*>(data);
    wchar_t title[512] = {};
    if (!::IsWindowVisible(window) || !::GetWindowTextW(window, title, 512)) return TRUE;
    std::wstring text = title;
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    if (text.find(s->part) == std::wstring::npos) return TRUE;
    s->found = window;
    return FALSE;
}

// A visible top-level window whose caption contains `part` (any case).
HWND WaitWindowContaining(const std::wstring& part, DWORD ms) {
    TitleSearch search{part};
    for (auto& c : search.part) c = static_cast<wchar_t>(std::towlower(c));
    WaitUntil(
        [&] {
            ::EnumWindows(&VisitTitle, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        ms);
    return search.found;
}

// The program file of the process that owns `window`.
std::wstring ProgramOf(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE) return {};
    MODULEENTRY32W module{};
    module.dwSize = sizeof(module);
    std::wstring path = ::Module32FirstW(snapshot, &module) ? module.szExePath : L"";
    ::CloseHandle(snapshot);
    return path;
}

bool SamePath(std::wstring a, std::wstring b) {
    for (auto* s : {&a, &b})
        for (auto& c : *s) c = static_cast<wchar_t>(std::towlower(c));
    return a == b;
}

// Every Windows opens .txt files with Notepad; a fresh Wine prefix has the
// "txtfile" type but may lack the ".txt" key that points to it.  Adds the
// key for the test's time when it is missing.
class TextAssociation {
public:
    TextAssociation() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L".txt", 0, KEY_READ, &key) == ERROR_SUCCESS) {
            ::RegCloseKey(key);
            return;
        }
        if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, L".txt", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        const wchar_t type[] = L"txtfile";
        ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(type), sizeof(type));
        ::RegCloseKey(key);
        added_ = true;
    }
    ~TextAssociation() {
        if (added_) ::RegDeleteKeyW(HKEY_CLASSES_ROOT, L".txt");
    }
    TextAssociation(const TextAssociation&) = delete;
    TextAssociation& operator=(const TextAssociation&) = delete;

private:
    bool added_ = false;
};

// Closing from the task bar (the application window) or the title bar while
// the install runs is a Cancel: the question, and on Yes the bounded end.
TEST(CloseRequest, DuringTheInstallAsksTheCancelQuestion) {
    const std::wstring folder = WorkFolder(L"close-request");
    Installer setup{"Close Request", "closereq.exe", BigFiles()};
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::wstring target = folder + L"\\target";
    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    const HWND application = ::GetWindow(wizard, GW_OWNER);
    ASSERT_NE(application, nullptr);
    PostClick(FindButtons(wizard).next);
    ::PostMessageW(application, WM_CLOSE, 0, 0);
    Answer(process.Id(), L"Warning", L"Are you sure you want to cancel this installation?", L"&No");
    EXPECT_TRUE(Visible(wizard)) << "the close request ended the wizard after No";
    ::PostMessageW(wizard, WM_CLOSE, 0, 0);
    Answer(process.Id(), L"Warning", L"Are you sure you want to cancel this installation?", L"&Yes");
    DWORD code = 0;
    ASSERT_TRUE(process.WaitExit(kWait, code)) << "the program did not end after Yes";
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
    EXPECT_FALSE(MachineKeyExists(UninstallKey(setup.product)));
}

TEST(FinishPage, LaunchStartsTheProgramAndReadmeOpensTheReadme) {
    const TextAssociation association;
    const std::wstring folder = WorkFolder(L"finish");
    Installer setup{"Vantrell", "vantrell.exe", {}};
    const std::vector<std::uint8_t> program = ReadAll(ProgramFolder() + L"\\vantrell.exe");
    ASSERT_FALSE(program.empty()) << "the sample program is not built";
    setup.items.push_back(Item(u"vantrell.exe", program));
    const std::string readmeText = "Readme of the finish test.\r\n";
    setup.items.push_back(Item(u"readme.txt", {readmeText.begin(), readmeText.end()}));
    setup.level = 6;
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::wstring target = folder + L"\\target";
    ASSERT_EQ(::FindWindowW(nullptr, L"Vantrell (2.1)"), nullptr) << "a copy of the program runs already";

    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    Click(b.next);
    ASSERT_TRUE(WaitUntil([&] { return FinishPageShown(wizard); }, kWork)) << "no finish page";
    HWND launch = FindChild(wizard, L"Run Vantrell.", L"Button");
    HWND readme = FindChild(wizard, L"View the readme file.", L"Button");
    ASSERT_TRUE(launch && readme);
    ASSERT_TRUE(Checked(launch));
    Click(readme);
    ASSERT_TRUE(Checked(readme));
    Click(b.finish);
    ExpectExit(process);

    HWND started = WaitAnyWindow(L"Vantrell (2.1)", kWait);
    ASSERT_NE(started, nullptr) << "the program was not started";
    EXPECT_TRUE(SamePath(ProgramOf(started), target + L"\\vantrell.exe")) << "started from elsewhere";
    HWND viewer = WaitWindowContaining(L"readme", kWait);
    EXPECT_NE(viewer, nullptr) << "the readme was not opened";

    // Close both the way a user would; the uninstall then removes the rest.
    DWORD pid = 0;
    ::GetWindowThreadProcessId(started, &pid);
    HANDLE running = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    ::PostMessageW(started, WM_CLOSE, 0, 0);
    if (viewer) ::PostMessageW(viewer, WM_CLOSE, 0, 0);
    if (running) {
        EXPECT_EQ(::WaitForSingleObject(running, kWait), WAIT_OBJECT_0) << "the program did not end on WM_CLOSE";
        ::CloseHandle(running);
    }
    if (viewer) {
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(viewer); }, kWait));
    }
    Uninstall(setup.product, setup.exename);
    EXPECT_FALSE(Exists(target));
}

TEST(FinishPage, NeitherTickedOnlyCloses) {
    const TextAssociation association;
    const std::wstring folder = WorkFolder(L"finish-plain");
    Installer setup{"Plainfinish", "plainfinish.exe", {}};
    setup.items.push_back(Item(u"plainfinish.exe", ReadAll(ProgramFolder() + L"\\vantrell.exe")));
    setup.items.push_back(Item(u"readme.txt", {'r', 'e', 'a', 'd'}));
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::wstring target = folder + L"\\target";
    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    Click(b.next);
    ASSERT_TRUE(WaitUntil([&] { return FinishPageShown(wizard); }, kWork));
    Click(FindChild(wizard, L"Run Plainfinish.", L"Button"));
    Click(b.finish);
    ExpectExit(process);
    // Nothing started: neither the program's window nor a viewer.
    EXPECT_EQ(WaitAnyWindow(L"Vantrell (2.1)", 1500), nullptr);
    EXPECT_EQ(WaitWindowContaining(L"readme", 500), nullptr);
    Uninstall(setup.product, setup.exename);
}

TEST(ExtractionFailure, DamagedChunkShowsTheErrorAndRegistersNothing) {
    const std::wstring folder = WorkFolder(L"damaged");
    Installer setup{"Damaged Product", "damaged.exe", {}};
    const std::vector<std::uint8_t> first = {'f', 'i', 'r', 's', 't'};
    setup.items.push_back(Item(u"a-first.txt", first));
    setup.items.push_back(Item(u"b-second.txt", Noise(1000, 7)));
    setup.items.push_back(Item(u"c-third.txt", Noise(1000, 8)));
    std::string bytes = InstallerBytes(setup);
    // Entry 1's first chunk follows entry 0's only chunk (a 12-byte header
    // and 5 bytes in one 8-byte block) after the 2,648-byte archive header.
    const std::size_t stubsize = ReadAll(ProgramFolder() + L"\\setup.exe").size();
    const std::size_t mark = stubsize + 2648 + 12 + 8;
    ASSERT_LT(mark, bytes.size());
    ASSERT_EQ(bytes[stubsize + 2648], 'C');
    ASSERT_EQ(bytes[mark], 'C') << "the second entry's chunk is not where expected";
    bytes[mark] = 'X';
    const std::wstring installer = Save(folder, bytes);
    const std::wstring target = folder + L"\\target";

    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    PostClick(FindButtons(wizard).next);
    Answer(process.Id(), L"Error", L"An error occurred during the installation process. (File corrupt)", L"OK");
    ExpectExit(process, 1);
    EXPECT_FALSE(FinishPageShown(wizard) && ::IsWindow(wizard));
    EXPECT_EQ(ReadAll(target + L"\\a-first.txt"), first);
    EXPECT_FALSE(Exists(target + L"\\c-third.txt")) << "extraction went on after the damaged entry";
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
    EXPECT_FALSE(MachineKeyExists(UninstallKey(setup.product)));
}

TEST(ExtractionFailure, DamagedArchiveHeaderFailsThePreparation) {
    const std::wstring folder = WorkFolder(L"badheader");
    Installer setup{"Badheader", "badheader.exe", {}};
    setup.items.push_back(Item(u"file.txt", {'x'}));
    std::string bytes = InstallerBytes(setup);
    const std::size_t stubsize = ReadAll(ProgramFolder() + L"\\setup.exe").size();
    ASSERT_EQ(bytes.compare(stubsize, 4, "SAC1"), 0) << "no archive header after the stub";
    bytes[stubsize] = 'X';
    const std::wstring installer = Save(folder, bytes);
    const std::wstring target = folder + L"\\target";

    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    PostClick(FindButtons(wizard).next);
    HWND box = WaitMessageBox(process.Id(), L"Error", kWait);
    ASSERT_NE(box, nullptr) << "the failed preparation was not reported";
    const std::wstring text = MessageBoxText(box);
    const std::wstring head = L"Problem accessing setup data. (";
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << "unexpected message";
    EXPECT_EQ(text.back(), L')');
    EXPECT_NE(text.find(L"archive header"), std::wstring::npos) << "the reason is missing";
    PostClick(FindChild(box, L"OK", L"Button"));
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, kWait));
    // The worker has nothing to extract: the installation ends with its
    // error, nothing is written and nothing registered.
    HWND second = WaitMessageBox(process.Id(), L"Error", kWait);
    ASSERT_NE(second, nullptr) << "the installation went on after the failed preparation";
    const std::wstring failed = L"An error occurred during the installation process. (";
    EXPECT_EQ(MessageBoxText(second).compare(0, failed.size(), failed), 0) << "unexpected message";
    PostClick(FindChild(second, L"OK", L"Button"));
    ExpectExit(process, 2);  // nothing was written
    EXPECT_FALSE(Exists(target + L"\\file.txt"));
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
}

// A file handle that shares nothing: the file can be neither rewritten nor
// deleted while it is open.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path)
        : handle_(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

TEST(FileInUse, ADestinationFileHeldOpenCannotBeCreated) {
    const std::wstring folder = WorkFolder(L"held");
    Installer setup{"Held File", "heldfile.exe", {}};
    const std::vector<std::uint8_t> first = Noise(3000, 21);
    setup.items.push_back(Item(u"a-first.bin", first));
    setup.items.push_back(Item(u"b-held.bin", Noise(3000, 22)));
    setup.items.push_back(Item(u"c-third.bin", Noise(3000, 23)));
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::wstring target = folder + L"\\target";
    ::CreateDirectoryW(target.c_str(), nullptr);
    HeldFile held(target + L"\\b-held.bin");
    ASSERT_TRUE(held.Held());

    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    PostClick(FindButtons(wizard).next);
    Answer(process.Id(), L"Error",
           L"An error occurred during the installation process. (Unable to create file (" + target +
               L"\\b-held.bin))",
           L"OK");
    ExpectExit(process, 1);
    EXPECT_EQ(ReadAll(target + L"\\a-first.bin"), first);
    EXPECT_FALSE(Exists(target + L"\\c-third.bin")) << "extraction went on after the held file";
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
    EXPECT_FALSE(MachineKeyExists(UninstallKey(setup.product)));
}

TEST(FileInUse, AProgramFolderThatCannotBeDeletedKeepsTheUninstallOnItsInstallingPage) {
    const std::wstring folder = WorkFolder(L"held-uninstall");
    Installer setup{"Held Folder", "heldfolder.exe", {}};
    setup.items.push_back(Item(u"heldfolder.exe", Noise(2000, 31)));
    setup.items.push_back(Item(u"data.bin", Noise(2000, 32)));
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::wstring target = folder + L"\\target";
    {
        Process process;
        HWND wizard = OpenAtDestination(process, installer, setup.product, target);
        ASSERT_NE(wizard, nullptr);
        const Buttons b = FindButtons(wizard);
        Click(b.next);
        ASSERT_TRUE(WaitUntil([&] { return FinishPageShown(wizard); }, kWork));
        Click(FindChild(wizard, L"Run Held Folder.", L"Button"));
        Click(b.finish);
        ExpectExit(process);
    }
    ASSERT_TRUE(MachineKeyExists(AppPathsKey(setup.exename)));

    HeldFile held(target + L"\\data.bin");
    ASSERT_TRUE(held.Held());
    Process process;
    ASSERT_TRUE(process.Start(ProductUninstaller(L"heldfolder.exe"), L"-ui heldfolder.exe"));
    HWND wizard = WaitTopWindow(process.Id(), L"Held Folder Uninstaller - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    PostClick(b.next);
    HWND title = FindChild(wizard, L"Performing Uninstall");
    ASSERT_TRUE(WaitUntil([&] { return Visible(FindChild(wizard, L"Performing Uninstall")); }, kWait));
    // The sequence runs on the wizard's thread: once the wizard answers a
    // message again, it has ended.
    DWORD_PTR ignored = 0;
    ASSERT_NE(::SendMessageTimeoutW(wizard, WM_NULL, 0, 0, SMTO_BLOCK, kWork, &ignored), 0);
    ::Sleep(500);
    title = FindChild(wizard, L"Performing Uninstall");
    EXPECT_TRUE(Visible(title)) << "the installing page is gone";
    EXPECT_FALSE(Visible(FindChild(wizard, L"Uninstall Complete!"))) << "the uninstall claims success";
    EXPECT_TRUE(Exists(target + L"\\data.bin"));
    EXPECT_TRUE(MachineKeyExists(AppPathsKey(setup.exename)));
    EXPECT_TRUE(MachineKeyExists(UninstallKey(setup.product)));
    wchar_t programs[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, programs, CSIDL_PROGRAMS, FALSE);
    // The shortcuts went first; the record stays with the files it lists.
    EXPECT_FALSE(Exists(std::wstring(programs) + L"\\Calderic\\Held Folder"));
    EXPECT_TRUE(Exists(target + L"\\uninstall.dat"));
    // Cancel there asks the uninstall's question; Yes ends the program.
    PostClick(b.cancel);
    Answer(process.Id(), L"Warning", L"Are you sure you want to cancel this uninstall?", L"&Yes");
    ExpectExit(process, 1);

    // With the file let go, the uninstall can be repeated and succeeds.
    held.Release();
    Uninstall(setup.product, setup.exename);
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
}

// A window of the product whose thread never handles a message again: a
// close request sent to it never returns.
class HungWindow {
public:
    explicit HungWindow(const std::wstring& title) : title_(title) {
        ready_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        release_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = ::CreateThread(nullptr, 0, &HungWindow::Run, this, 0, nullptr);
        ::WaitForSingleObject(ready_, 10000);
    }
    ~HungWindow() {
        ::SetEvent(release_);
        ::WaitForSingleObject(thread_, 10000);
        for (HANDLE h : {thread_, ready_, release_}) ::CloseHandle(h);
    }
    HungWindow(const HungWindow&) = delete;
    HungWindow& operator=(const HungWindow&) = delete;
    HWND window() const { return window_; }

private:
    static DWORD WINAPI Run(void* self) {
        auto* w = static_cast<HungWindow*>(self);
        w->window_ = ::CreateWindowExW(0, L"STATIC", w->title_.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                       100, nullptr, nullptr, nullptr, nullptr);
        ::SetEvent(w->ready_);
        ::WaitForSingleObject(w->release_, INFINITE);  // no message is handled meanwhile
        ::DestroyWindow(w->window_);
        return 0;
    }
    std::wstring title_;
    HWND window_ = nullptr;
    HANDLE ready_, release_, thread_;
};

TEST(CancelWhileStuck, YesEndsTheProgramWithinFifteenSecondsWhateverTheWorkerIsDoing) {
    const std::wstring folder = WorkFolder(L"stuck");
    Installer setup{"Stuck Product", "stuck.exe", {}};
    setup.items.push_back(Item(u"a.bin", Noise(1000, 51)));
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::wstring target = folder + L"\\target";
    // The worker's first step asks this "running copy" to close and waits.
    HungWindow hung(L"Stuck Product (running)");
    ASSERT_NE(hung.window(), nullptr);

    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    PostClick(b.next);
    ASSERT_TRUE(WaitUntil([&] { return Visible(FindChild(wizard, L"Installation in Progress")); }, kWait));
    ::Sleep(1000);
    PostClick(b.cancel);
    HWND box = WaitMessageBox(process.Id(), L"Warning", kWait);
    ASSERT_NE(box, nullptr);
    PostClick(FindChild(box, L"&Yes", L"Button"));
    DWORD code = 0;
    EXPECT_TRUE(process.WaitExit(15000, code)) << "the program still runs 15 s after Yes";
    EXPECT_EQ(code, 2u) << "a cancel before anything was written";
    EXPECT_FALSE(Exists(target + L"\\a.bin")) << "the stopped worker went on to the extraction";
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
}

// --- unattended runs ---

struct SilentRun {
    bool ended = false;
    DWORD code = 99;
    bool showedwindow = false;
};

// Runs `exe` with `arguments` to its end, watching for any window it shows.
SilentRun RunSilent(const std::wstring& exe, const std::wstring& arguments) {
    SilentRun run;
    Process process;
    if (!process.Start(exe, arguments, false)) return run;
    const DWORD start = ::GetTickCount();
    while (!(run.ended = process.WaitExit(20, run.code)) && ::GetTickCount() - start < kWork)
        if (AnyVisibleWindow(process.Id())) run.showedwindow = true;
    return run;
}

// The log's text, without the time stamps at the lines' starts, lines
// ended by "\n".
std::string LogText(const std::wstring& path) {
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string text, line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t text_at = line.find(" ms  ");
        text += (text_at == std::string::npos ? line : line.substr(text_at + 5)) + "\n";
    }
    return text;
}

std::string Utf8(const std::wstring& text) {
    std::string out(static_cast<std::size_t>(
                        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    out.pop_back();
    return out;
}

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
    return path;
}

std::wstring Replaced(std::wstring text, const std::wstring& what, const std::wstring& with) {
    for (std::size_t at = 0; !what.empty() && (at = text.find(what, at)) != std::wstring::npos; at += with.size())
        text.replace(at, what.size(), with);
    return text;
}

std::wstring LetterHex(const std::wstring& text) {
    std::wstring out;
    for (wchar_t unit : text)
        for (int shift = 12; shift >= 0; shift -= 4) out += static_cast<wchar_t>(L'A' + ((unit >> shift) & 15));
    return out;
}

// The sample product (examples/vantrell) with this build's two programs:
// a license, a service, three extra shortcuts and a settings folder; as
// `version`, with `extra` files besides.
std::string SampleInstaller(const std::string& version = "2.1", const std::vector<sacwriter::ArchiveItem>& extra = {}) {
    const std::wstring examples = ProgramFolder() + L"\\..\\..\\..\\examples\\vantrell";
    sacwriter::InstallerInput input;
    input.stub = ReadAll(ProgramFolder() + L"\\setup.exe");
    const std::vector<std::uint8_t> license = ReadAll(examples + L"\\license.txt");
    input.licensetext.assign(license.begin(), license.end());
    payload::TrailerFields& f = input.fields;
    f.productname = "Vantrell";
    f.productversion = version;
    f.exename = "vantrell.exe";
    f.startmenufolder = u"\\Calderic\\Vantrell";
    f.defaultsubfolder = u"\\Vantrell";
    f.appdatafolder = "Vantrell";
    f.services = {{"vantrelld.exe", "VantrellService"}};
    f.shortcuts = {{"docs\\guide.txt", "Vantrell guide"}, {"docs\\help.html", "Vantrell help"},
                   {"vantrell.exe -safe", "Vantrell (safe mode)"}};
    const auto item = [&](const std::u16string& subfolder, const std::u16string& name, const std::wstring& file) {
        sacwriter::ArchiveItem entry;
        entry.subfolder = subfolder;
        entry.filename = name;
        entry.data = ReadAll(file);
        EXPECT_FALSE(entry.data.empty()) << "missing " << Utf8(file);
        return entry;
    };
    input.items = {item(u"", u"vantrell.exe", ProgramFolder() + L"\\vantrell.exe"),
                   item(u"", u"vantrelld.exe", ProgramFolder() + L"\\vantrelld.exe"),
                   item(u"", u"readme.txt", examples + L"\\files\\readme.txt"),
                   item(u"\\docs", u"guide.txt", examples + L"\\files\\docs\\guide.txt"),
                   item(u"\\docs", u"help.html", examples + L"\\files\\docs\\help.html")};
    input.items.insert(input.items.end(), extra.begin(), extra.end());
    std::ostringstream bytes;
    std::string error;
    EXPECT_TRUE(sacwriter::WriteInstaller(input, bytes, error)) << error;
    return bytes.str();
}

constexpr wchar_t kSampleAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vantrell.exe";
constexpr wchar_t kSampleUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrell";
constexpr wchar_t kSampleService[] = L"VantrellService";

std::wstring MachineText(const wchar_t* key, const wchar_t* name) {
    wchar_t value[2048] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
    return value;
}

void SetMachineText(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &handle), ERROR_SUCCESS);
    ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
}

// The service's state (0: no such service) and program.
DWORD ServiceState(std::wstring* program = nullptr) {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? ::OpenServiceW(manager, kSampleService, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG)
                                : nullptr;
    DWORD state = 0;
    SERVICE_STATUS status{};
    if (service && ::QueryServiceStatus(service, &status)) state = status.dwCurrentState;
    if (service && program) {
        DWORD needed = 0;
        ::QueryServiceConfigW(service, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed + 16);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (::QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed))
            *program = config->lpBinaryPathName;
    }
    if (service) ::CloseServiceHandle(service);
    if (manager) ::CloseServiceHandle(manager);
    return state;
}

// Everything an installation of the sample product into `folder` leaves,
// with `folder` written as <folder>: files and their bytes (not the
// service's own status file), the uninstaller, both registration keys'
// values, the service, and every shortcut's target, arguments,
// description and working folder.
using Footprint = std::map<std::wstring, std::wstring>;

std::wstring Fingerprint(const std::wstring& file) {
    const std::vector<std::uint8_t> bytes = ReadAll(file);
    std::uint32_t hash = 2166136261u;
    for (std::uint8_t b : bytes) hash = (hash ^ b) * 16777619u;
    return std::to_wstring(bytes.size()) + L" bytes, hash " + std::to_wstring(hash);
}

void AddFiles(Footprint& print, const std::wstring& root, const std::wstring& relative) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((root + relative + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || name.ends_with(L".status")) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            AddFiles(print, root, relative + L"\\" + name);
        } else if (relative.empty() && name == L"uninstall.dat") {
            // The install record: its identifier is new with every install.
            const std::vector<std::uint8_t> bytes = ReadAll(root + L"\\" + name);
            std::string text(bytes.begin(), bytes.end());
            const std::size_t id = text.find("\nid ");
            if (id != std::string::npos) text.replace(id + 4, 32, "<id>");
            print[L"file <folder>\\" + name] = Replaced(std::wstring(text.begin(), text.end()), root, L"<folder>");
        } else {
            print[L"file <folder>" + relative + L"\\" + name] = Fingerprint(root + relative + L"\\" + name);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

void AddValues(Footprint& print, const wchar_t* key, const std::wstring& folder) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256] = {};
        BYTE data[4096] = {};
        DWORD namesize = 256, datasize = sizeof(data) - 2, type = 0;
        if (::RegEnumValueW(handle, i, name, &namesize, nullptr, &type, data, &datasize) != ERROR_SUCCESS) break;
        std::wstring value = type == REG_DWORD ? L"dword " + std::to_wstring(*reinterpret_cast<DWORD*>(data))
                                               : L"text " + std::wstring(reinterpret_cast<wchar_t*>(data));
        value = Replaced(Replaced(value, folder, L"<folder>"), LetterHex(folder), L"<folder letter-hex>");
        if (std::wstring(name) == L"InstallRecordId" && value.size() == 5 + 32) value = L"text <id>";
        print[L"value " + std::wstring(key) + L" [" + name + L"]"] = value;
    }
    ::RegCloseKey(handle);
}

void AddShortcuts(Footprint& print, const std::wstring& place, const std::wstring& folder) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((place + L"\\*.lnk").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        IShellLinkW* link = nullptr;
        IPersistFile* file = nullptr;
        std::wstring fields = L"unreadable";
        if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&link))) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Load((place + L"\\" + found.cFileName).c_str(), STGM_READ))) {
            wchar_t target[MAX_PATH] = {}, arguments[1024] = {}, description[1024] = {}, workfolder[MAX_PATH] = {};
            link->GetPath(target, MAX_PATH, nullptr, 0);
            link->GetArguments(arguments, 1024);
            link->GetDescription(description, 1024);
            link->GetWorkingDirectory(workfolder, MAX_PATH);
            fields = Replaced(std::wstring(target) + L" | " + arguments + L" | " + description + L" | " + workfolder,
                              folder, L"<folder>");
        }
        if (file) file->Release();
        if (link) link->Release();
        print[L"shortcut " + place + L"\\" + found.cFileName] = fields;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

Footprint SampleFootprint(const std::wstring& folder) {
    Footprint print;
    AddFiles(print, folder, L"");
    print[L"uninstaller"] = Fingerprint(ProductUninstaller(L"vantrell.exe"));
    AddValues(print, kSampleAppPaths, folder);
    AddValues(print, kSampleUninstall, folder);
    std::wstring program;
    // A service just started may still be starting.
    WaitUntil([] { return ServiceState() == SERVICE_RUNNING; }, kWait);
    const DWORD state = ServiceState(&program);
    print[L"service"] = std::to_wstring(state) + L" " + Replaced(program, folder, L"<folder>");
    AddShortcuts(print, SpecialFolder(CSIDL_PROGRAMS) + L"\\Calderic\\Vantrell", folder);
    AddShortcuts(print, SpecialFolder(CSIDL_STARTMENU), folder);
    AddShortcuts(print, SpecialFolder(CSIDL_DESKTOPDIRECTORY), folder);
    return print;
}

// Walks the wizard through every page with the proposed folder; answers it.
std::wstring WizardInstall(const std::wstring& installer) {
    Process process;
    if (!process.Start(installer, L"")) return {};
    HWND wizard = WaitTopWindow(process.Id(), L"Vantrell Installer - Tallowin", kWait);
    if (!wizard) return {};
    const Buttons b = FindButtons(wizard);
    Click(b.next);
    Click(FindChild(wizard, L"I have read and agree to the terms of the license agreement.", L"Button"));
    Click(b.next);
    const std::wstring folder = TextOf(ChildrenOfClass(wizard, L"Edit").back());
    Click(b.next);
    if (!WaitUntil([&] { return FinishPageShown(wizard); }, kWork)) return {};
    Click(FindChild(wizard, L"Run Vantrell.", L"Button"));
    Click(b.finish);
    ExpectExit(process);
    return folder;
}

// Runs the registered "QuietUninstallString" as it stands, with `more`
// appended; everything of the product goes but the settings folder.
void QuietUninstall(const std::wstring& folder, const std::wstring& more = L"") {
    const std::wstring command = MachineText(kSampleUninstall, L"QuietUninstallString");
    ASSERT_EQ(command, MachineText(kSampleUninstall, L"UninstallString") + L" /S");
    // The program in quotes, as the list of installed programs reads it.
    ASSERT_EQ(command.substr(0, 1), L"\"");
    const std::size_t close = command.find(L"\" ", 1);
    ASSERT_NE(close, std::wstring::npos);
    EXPECT_EQ(command.substr(1, close - 1), ProductUninstaller(L"vantrell.exe"));
    const SilentRun run = RunSilent(command.substr(1, close - 1), command.substr(close + 2) + more);
    ASSERT_TRUE(run.ended) << "the quiet uninstall did not end";
    EXPECT_EQ(run.code, 0u);
    EXPECT_FALSE(run.showedwindow) << "the quiet uninstall showed a window";
    EXPECT_FALSE(Exists(folder));
    EXPECT_FALSE(MachineKeyExists(Utf8(kSampleAppPaths)));
    EXPECT_FALSE(MachineKeyExists(Utf8(kSampleUninstall)));
    EXPECT_FALSE(Exists(SpecialFolder(CSIDL_PROGRAMS) + L"\\Calderic\\Vantrell"));
    EXPECT_FALSE(Exists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Vantrell.lnk"));
    EXPECT_TRUE(WaitUntil([] { return ServiceState() == 0; }, kWait)) << "the service is left";
    EXPECT_TRUE(Exists(SpecialFolder(CSIDL_APPDATA) + L"\\Vantrell\\settings.ini")) << "the settings went unasked";
}

TEST(Unattended, SlashSInstallsWhatTheWizardInstallsAndTheQuietUninstallRemovesIt) {
    ASSERT_EQ(ServiceState(), 0u) << "the sample product is installed already";
    const std::wstring work = WorkFolder(L"unattended");
    const std::wstring installer = Save(work, SampleInstaller());
    const std::wstring settings = SpecialFolder(CSIDL_APPDATA) + L"\\Vantrell";
    ::CreateDirectoryW(settings.c_str(), nullptr);
    std::ofstream((settings + L"\\settings.ini").c_str()) << "[user]\n";

    const std::wstring proposed = WizardInstall(installer);
    ASSERT_FALSE(proposed.empty()) << "the wizard's install did not finish";
    const Footprint wizard = SampleFootprint(proposed);
    ASSERT_GT(wizard.size(), 20u);
    EXPECT_EQ(wizard.at(L"service").substr(0, 2), L"4 ") << "the service does not run";
    // A registration whose record identifier another tool changed: the quiet
    // uninstall removes nothing, says why, exits 1 and keeps the registration.
    const std::wstring id = MachineText(kSampleUninstall, L"InstallRecordId");
    ASSERT_EQ(id.size(), 32u);
    SetMachineText(kSampleUninstall, L"InstallRecordId", L"0123456789abcdef0123456789abcdef");
    const std::wstring refusedlog = work + L"\\refused-uninstall.log";
    const std::wstring command = MachineText(kSampleUninstall, L"QuietUninstallString");
    const std::size_t close = command.find(L"\" ", 1);
    ASSERT_TRUE(command.substr(0, 1) == L"\"" && close != std::wstring::npos) << Utf8(command);
    const SilentRun refused =
        RunSilent(command.substr(1, close - 1), command.substr(close + 2) + L" \"/LOG=" + refusedlog + L"\"");
    EXPECT_EQ(refused.code, 1u);
    EXPECT_NE(LogText(refusedlog).find("outcome: Nothing was removed: the install record in " + Utf8(proposed) +
                                       " belongs to another installation.\nexit code: 1\n"),
              std::string::npos)
        << LogText(refusedlog);
    EXPECT_EQ(SampleFootprint(proposed), wizard) << "the refused uninstall changed the installation";
    SetMachineText(kSampleUninstall, L"InstallRecordId", id);
    QuietUninstall(proposed);

    // The proposed folder, and a chosen one with blanks; logs appended to.
    const std::wstring log = work + L"\\install.log";
    ::DeleteFileW(log.c_str());
    const std::wstring chosen = L"C:\\Some Folder\\Vantrell";
    for (const std::wstring& folder : {proposed, chosen}) {
        const std::wstring args = L"/S" + (folder == chosen ? L" \"/D=" + folder + L"\"" : L"") + L" \"/LOG=" + log + L"\"";
        const SilentRun run = RunSilent(installer, args);
        ASSERT_TRUE(run.ended) << "the unattended install did not end";
        EXPECT_EQ(run.code, 0u);
        EXPECT_FALSE(run.showedwindow) << "the unattended install showed a window";
        EXPECT_EQ(SampleFootprint(folder), wizard) << "installed otherwise than by the wizard";
        QuietUninstall(folder, L" \"/LOG=" + log + L"\"");
    }
    const std::string text = LogText(log);
    const std::string folder8 = Utf8(proposed);
    for (const std::string& line : std::vector<std::string>{
             "mode: install, unattended\n", "destination: " + folder8 + "\n", "file: " + folder8 + "\\docs\\guide.txt\n",
          "registry: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vantrell.exe Path\n",
          "service: VantrellService " + folder8 + "\\vantrelld.exe\n",
          "shortcut: " + Utf8(SpecialFolder(CSIDL_DESKTOPDIRECTORY)) + "\\Vantrell.lnk\n",
          std::string("outcome: Vantrell was successfully installed on your computer.\nexit code: 0\n"),
          "destination: " + Utf8(chosen) + "\n", std::string("mode: uninstall, unattended\n"),
          "delete folder: " + folder8 + "\n",
          std::string("question: Do you want to permanently delete all the settings for this program? No\n"),
          std::string("outcome: Vantrell was successfully removed from your computer.\nexit code: 0\n")})
        EXPECT_NE(text.find(line), std::string::npos) << "the log lacks: " << line << "\nlog:\n" << text;
    // Each step is logged before the next begins: files, registration, shortcuts.
    EXPECT_LT(text.find("file: " + folder8), text.find("registry: "));
    EXPECT_LT(text.find("registry: "), text.find("shortcut: "));
    const std::wstring settingsfile = settings + L"\\settings.ini";
    ::DeleteFileW(settingsfile.c_str());
    ::RemoveDirectoryW(settings.c_str());
}

TEST(Unattended, RefusalsExitTwoWithNothingWrittenAndTheReasonLogged) {
    const std::wstring work = WorkFolder(L"refused");
    Installer setup{"Refused Product", "refused.exe", {Item(u"refused.exe", Noise(4000, 61))}};
    const std::string bytes = InstallerBytes(setup);
    std::string cut = bytes.substr(0, bytes.size() - 100);
    std::string marked = bytes;
    marked[bytes.size() - 11384 + 5] ^= 0x20;  // a letter of the mark "Install Files Present"
    // One folder, one product: a folder holding another product's record.
    const std::wstring other = work + L"\\other";
    ::CreateDirectoryW(other.c_str(), nullptr);
    std::ofstream((other + L"\\uninstall.dat").c_str(), std::ios::binary)
        << "Tallowin install record 1\nid 0123456789abcdef0123456789abcdef\nproduct Another Product\n"
           "program another.exe\nfolder " << Utf8(other) << "\nend\n";
    struct Case {
        const char* what;
        std::string installer;
        std::wstring arguments;
        std::string reason;
    };
    const Case cases[] = {
        {"cut short", cut, L"/S", "No install files attached!"},
        {"a changed mark", marked, L"/S", "No install files attached!"},
        {"a relative /D=", bytes, L"/S /D=relative\\Refused",
         "You have not specified a valid folder. Please select a folder and click OK."},
        {"an unknown switch", bytes, L"/S /Q", "Unknown command-line switch: /Q"},
        {"a share of the machine's own drive", bytes, L"/S \"/D=\\\\localhost\\c$\\Program Files (x86)\"",
         "You have not specified a valid folder. Please select a folder and click OK."},
        {"a protected /D=", bytes, L"/S /D=C:\\Windows",
         "The folder C:\\Windows cannot hold the program: it is a folder of the system or contains one. "
         "Please choose a folder of the program's own."},
        {"another product's folder", bytes, L"/S \"/D=" + other + L"\"",
         "The folder " + Utf8(other) + " holds the program Another Product. Please choose another folder for "
         "Refused Product."},
    };
    for (const Case& c : cases) {
        const std::wstring installer = Save(work, c.installer);
        const std::wstring log = work + L"\\refused.log";
        ::DeleteFileW(log.c_str());
        const SilentRun run = RunSilent(installer, c.arguments + L" \"/LOG=" + log + L"\"");
        ASSERT_TRUE(run.ended) << c.what;
        EXPECT_EQ(run.code, 2u) << c.what;
        EXPECT_FALSE(run.showedwindow) << c.what;
        EXPECT_NE(LogText(log).find("outcome: " + c.reason + "\nexit code: 2\n"), std::string::npos)
            << c.what << ": " << LogText(log);
        EXPECT_FALSE(Exists(SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\Refused Product")) << c.what;
        EXPECT_FALSE(Exists(L"relative")) << c.what;
        EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename))) << c.what;
        EXPECT_FALSE(Exists(other + L"\\refused.exe")) << c.what;
    }
    // The wizard: a start-up error, and a cancel before anything is written.
    Process damaged;
    ASSERT_TRUE(damaged.Start(Save(work, cut), L""));
    Answer(damaged.Id(), L"Error", L"No install files attached!", L"OK");
    ExpectExit(damaged, 2);
    Process cancelled;
    ASSERT_TRUE(cancelled.Start(Save(work, bytes), L""));
    HWND wizard = WaitTopWindow(cancelled.Id(), L"Refused Product Installer - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr);
    PostClick(FindButtons(wizard).cancel);
    Answer(cancelled.Id(), L"Warning", L"Are you sure you want to cancel this installation?", L"&Yes");
    ExpectExit(cancelled, 2);
}

// A product lives through versions: each installer finds the installed one.
// 2.2 over 2.1 (installed into a folder of the user's choice) goes there
// without /D=, removes what 2.2 no longer carries and keeps the user's own
// file; /D= naming another folder and 2.1 over 2.2 are refused with nothing
// changed; 2.2 again repairs, with /D= naming the folder by its short name;
// 2.3 failing on a file another program holds leaves 2.2 as it was, service
// running, and the wizard's Retry gets past the file once it is let go.
TEST(Update, GoesWhereTheProductIsRemovesWhatItDroppedAndPutsTheInstalledVersionBackOnFailure) {
    ASSERT_EQ(ServiceState(), 0u) << "the sample product is installed already";
    // A long name outside the 8-bit code page: the update still finds it,
    // and it has a short (8.3) name too.
    const std::wstring folder = L"C:\\Apps\\Vantrell Suite \x0421\x0446";
    const auto installer = [](const std::string& version, const std::vector<sacwriter::ArchiveItem>& extra = {}) {
        return Save(WorkFolder(L"update-" + std::wstring(version.begin(), version.end())),
                    SampleInstaller(version, extra));
    };
    const std::wstring v21 = installer("2.1", {Item(u"notes.txt", Noise(500, 71)), [] {
                                                   sacwriter::ArchiveItem plugin = Item(u"old.dll", Noise(900, 72));
                                                   plugin.subfolder = u"\\plugins\\old";
                                                   return plugin;
                                               }()});
    const std::wstring v22 = installer("2.2"), v23 = installer("2.3");
    const std::wstring log = WorkFolder(L"update") + L"\\update.log";
    const auto run = [&](const std::wstring& setup, const std::wstring& arguments) {
        ::DeleteFileW(log.c_str());
        const SilentRun ran = RunSilent(setup, arguments + L" \"/LOG=" + log + L"\"");
        EXPECT_TRUE(ran.ended && !ran.showedwindow);
        return ran.code;
    };
    const auto logged = [&](const std::string& line) {
        EXPECT_NE(LogText(log).find(line), std::string::npos) << "the log lacks: " << line << "\n" << LogText(log);
    };

    ASSERT_EQ(run(v21, L"/S \"/D=" + folder + L"\""), 0u);
    ASSERT_TRUE(Exists(folder + L"\\plugins\\old\\old.dll"));
    std::ofstream((folder + L"\\own.txt").c_str()) << "the user's own";
    EXPECT_EQ(run(v22, L"/S"), 0u);
    logged("destination: " + Utf8(folder) + "\n");
    EXPECT_FALSE(Exists(folder + L"\\plugins")) << "a file 2.2 no longer carries stayed";
    EXPECT_FALSE(Exists(folder + L"\\notes.txt"));
    EXPECT_TRUE(Exists(folder + L"\\own.txt")) << "the user's own file went";
    EXPECT_FALSE(Exists(folder + L"\\~tallowin-update"));
    EXPECT_FALSE(Exists(SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\Vantrell")) << "a second copy";
    EXPECT_EQ(MachineText(kSampleUninstall, L"DisplayVersion"), L"2.2");

    // Refusals: nothing changes.
    const Footprint installed = SampleFootprint(folder);
    EXPECT_EQ(run(v22, L"/S /D=C:\\Apps\\Elsewhere"), 2u);
    logged("outcome: Vantrell is already installed in " + Utf8(folder) +
           ". To install it in another folder, uninstall it first.\nexit code: 2\n");
    EXPECT_EQ(run(v21, L"/S"), 3u);
    logged("outcome: Vantrell 2.2 is already installed. This installer holds the older version 2.1; uninstall 2.2 "
           "first to install it.\nexit code: 3\n");
    Process downgrade;
    ASSERT_TRUE(downgrade.Start(v21, L""));
    Answer(downgrade.Id(), L"Error",
           L"Vantrell 2.2 is already installed. This installer holds the older version 2.1; uninstall 2.2 first to "
           L"install it.",
           L"OK");
    ExpectExit(downgrade, 3);
    EXPECT_FALSE(Exists(L"C:\\Apps\\Elsewhere"));
    EXPECT_EQ(SampleFootprint(folder), installed);

    // The same version again puts back what is missing; /D= naming the
    // installed folder by another spelling (its short name, in other
    // letters, a trailing backslash) is the installed folder, as registered.
    wchar_t shortname[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(folder.c_str(), shortname, MAX_PATH), 0u);
    std::wstring spelled = shortname;
    ASSERT_NE(spelled, folder) << "the folder has no short name here";
    for (wchar_t& c : spelled) c = static_cast<wchar_t>(std::towlower(c));
    ::DeleteFileW((folder + L"\\docs\\guide.txt").c_str());
    EXPECT_EQ(run(v22, L"/S \"/D=" + spelled + L"\\\\\""), 0u);  // "\\" before the quote: one backslash
    logged("destination: " + Utf8(folder) + "\n");
    EXPECT_TRUE(Exists(folder + L"\\docs\\guide.txt"));

    // A file held open: the update gives up after a few seconds, exit 4,
    // and the installed version is back byte for byte.
    const Footprint repaired = SampleFootprint(folder);
    const std::wstring id = MachineText(kSampleUninstall, L"InstallRecordId");
    const std::wstring record = Fingerprint(folder + L"\\uninstall.dat");
    auto held = std::make_unique<HeldFile>(folder + L"\\readme.txt");
    ASSERT_TRUE(held->Held());
    EXPECT_EQ(run(v23, L"/S"), 4u);
    logged("outcome: The installed version was restored.\nexit code: 4\n");
    held.reset();
    EXPECT_EQ(SampleFootprint(folder), repaired);
    EXPECT_EQ(MachineText(kSampleUninstall, L"InstallRecordId"), id);
    EXPECT_EQ(Fingerprint(folder + L"\\uninstall.dat"), record);
    EXPECT_TRUE(Exists(folder + L"\\own.txt"));
    EXPECT_FALSE(Exists(folder + L"\\~tallowin-update"));

    // The wizard proposes the installed folder, refuses another, and asks
    // about the held file: Retry once it is let go.
    held = std::make_unique<HeldFile>(folder + L"\\readme.txt");
    Process process;
    ASSERT_TRUE(process.Start(v23, L""));
    HWND wizard = WaitTopWindow(process.Id(), L"Vantrell Installer - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    Click(b.next);
    Click(FindChild(wizard, L"I have read and agree to the terms of the license agreement.", L"Button"));
    Click(b.next);
    HWND path = ChildrenOfClass(wizard, L"Edit").back();
    EXPECT_EQ(TextOf(path), folder);
    const std::wstring elsewhere = L"C:\\Apps\\Elsewhere";
    ::SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(elsewhere.c_str()));
    PostClick(b.next);
    Answer(process.Id(), L"Error",
           L"Vantrell is already installed in " + folder + L". To install it in another folder, uninstall it first.",
           L"OK");
    ::SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    PostClick(b.next);
    HWND box = WaitMessageBox(process.Id(), L"Error", kWork);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"Unable to replace the file " + folder +
                                       L"\\readme.txt. It is in use by another program. Close that program and click "
                                       L"Retry, or click Cancel to keep the installed version.");
    EXPECT_NE(FindChild(box, L"Cancel", L"Button"), nullptr);
    held.reset();
    PostClick(FindChild(box, L"&Retry", L"Button"));
    ASSERT_TRUE(WaitUntil([&] { return FinishPageShown(wizard); }, kWork));
    Click(FindChild(wizard, L"Run Vantrell.", L"Button"));
    Click(b.finish);
    ExpectExit(process);
    EXPECT_EQ(MachineText(kSampleUninstall, L"DisplayVersion"), L"2.3");

    // Still one product, removed whole by its uninstall.
    const std::wstring command = MachineText(kSampleUninstall, L"QuietUninstallString");
    const std::size_t close = command.find(L"\" ", 1);
    ASSERT_NE(close, std::wstring::npos);
    EXPECT_EQ(RunSilent(command.substr(1, close - 1), command.substr(close + 2)).code, 0u);
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(WaitUntil([] { return ServiceState() == 0; }, kWait)) << "the service is left";
    ::RemoveDirectoryW(L"C:\\Apps");
}

// Unattended, then through the wizard.  Run by tests/e2e/fulldisk.sh, which
// mounts a 1 MB file system as a drive and names it in TALLOWIN_SMALL_DRIVE;
// skipped without it.
TEST(FullDisk, TheWriteFailureIsReportedWithEarlierFilesWholeAndNothingRegistered) {
    const char* drive = std::getenv("TALLOWIN_SMALL_DRIVE");
    if (!drive || !*drive) GTEST_SKIP() << "no small drive (tests/e2e/fulldisk.sh provides one)";
    const std::wstring folder = WorkFolder(L"fulldisk");
    Installer setup{"Full Disk", "fulldisk.exe", {}};
    const std::vector<std::uint8_t> first = Noise(20000, 41), second = Noise(30000, 42);
    setup.items.push_back(Item(u"a-first.bin", first));
    setup.items.push_back(Item(u"b-second.bin", second));
    setup.items.push_back(Item(u"c-big.bin", Noise(3u << 20, 43)));
    setup.items.push_back(Item(u"d-after.bin", Noise(100, 44)));
    const std::wstring installer = Save(folder, InstallerBytes(setup));
    const std::string letters(drive);
    const std::wstring target = std::wstring(letters.begin(), letters.end()) + L"\\Full Disk";
    const std::wstring error =
        L"An error occurred during the installation process. (Error writing to file.  File may be in use by "
        L"another program.)";

    // Unattended first: exit code 1, the wizard's error text in the log.
    const std::wstring log = folder + L"\\fulldisk.log";
    ::DeleteFileW(log.c_str());
    const SilentRun run = RunSilent(installer, L"/S \"/D=" + target + L"\" \"/LOG=" + log + L"\"");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.code, 1u);
    EXPECT_FALSE(run.showedwindow);
    EXPECT_NE(LogText(log).find("outcome: " + Utf8(error) + "\nexit code: 1\n"), std::string::npos) << LogText(log);
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
    for (const auto& item : setup.items)
        ::DeleteFileW((target + L"\\" + std::wstring(item.filename.begin(), item.filename.end())).c_str());

    Process process;
    HWND wizard = OpenAtDestination(process, installer, setup.product, target);
    ASSERT_NE(wizard, nullptr);
    PostClick(FindButtons(wizard).next);
    Answer(process.Id(), L"Error", error, L"OK");
    ExpectExit(process, 1);
    EXPECT_EQ(ReadAll(target + L"\\a-first.bin"), first);
    EXPECT_EQ(ReadAll(target + L"\\b-second.bin"), second);
    EXPECT_FALSE(Exists(target + L"\\d-after.bin"));
    EXPECT_FALSE(MachineKeyExists(AppPathsKey(setup.exename)));
    EXPECT_FALSE(MachineKeyExists(UninstallKey(setup.product)));
}

}  // namespace
