// The real setup.exe, driven from outside as a user would: start-up errors,
// the install wizard's pages and buttons with and without a license, the
// folder chooser, Cancel with No and Yes on every page, the optional tasks
// (their page, /TASKS=, an update keeping the choices), and the uninstall
// wizard's first page.  With TALLOWIN_SHOTS set to a folder, every page
// reached is also saved there as a screenshot (run under an X server).
#include "tests/e2e/driver.hpp"

#include "payload/texttable.hpp"
#include "payload/trailerwriter.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/textconv.hpp"
#include "setuputil/utf8.hpp"
#include "setuputil/wintext.hpp"
#include "tools/sacwriter/sacwriter.hpp"
#include "setuputil/versioninfo.hpp"
#include "tools/tallowin/productfile.hpp"
#include "tools/tallowin/stubstamp.hpp"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

using namespace e2e;

constexpr DWORD kWait = 15000;

std::wstring StubPath() { return ProgramFolder() + L"\\setup.exe"; }

std::wstring ProgramFiles() {
    wchar_t path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, TRUE);
    return path;
}

std::vector<std::uint8_t> ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh folder below the temporary folder for one test's files.
std::wstring WorkFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"tallowin-e2e-" + name;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// Where screenshots go: TALLOWIN_SHOTS as a Windows path (a POSIX path is
// taken as one on Wine's Z: drive), or nothing.
std::wstring ShotFolder() {
    wchar_t value[1024] = {};
    if (!::GetEnvironmentVariableW(L"TALLOWIN_SHOTS", value, 1024)) return {};
    std::wstring folder = value;
    if (!folder.empty() && folder[0] == L'/') {
        for (auto& c : folder) if (c == L'/') c = L'\\';
        folder = L"Z:" + folder;
    }
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void Shot(HWND window, const std::wstring& name) {
    const std::wstring folder = ShotFolder();
    if (folder.empty()) return;
    EXPECT_TRUE(SaveWindowShot(window, folder + L"\\" + name + L".bmp")) << "screenshot " << name.size();
}

struct Product {
    std::string name = "Vantrell";  // the trailer's 8-bit name
    // A name in any script and its publisher (the names record,
    // payload/productnames.hpp): `name` is then its 8-bit form.
    std::u16string shownname, publisher;
    std::string version = "2.5";
    std::string license;
    payload::Declarations declarations;  // stamped into the stub as the builder stamps them
    std::wstring file = L"vantrell-setup.exe";
};

// An installer made of the real stub, an archive with one small file, and
// the trailer of `product`.
std::wstring MakeInstaller(const std::wstring& folder, const Product& product) {
    sacwriter::InstallerInput input;
    input.stub = ReadAll(StubPath());
    EXPECT_FALSE(input.stub.empty());
    tallowin::StampedStub stamped;
    if (!product.declarations.Empty() || !product.shownname.empty()) {
        tallowin::StubIdentity identity;
        identity.productname = product.shownname.empty() ? setuputil::Utf8ToUtf16Replacing(product.name) : product.shownname;
        identity.publisher = product.publisher;
        if (!product.shownname.empty()) identity.names = {product.shownname, product.publisher, product.name};
        identity.productversion = setuputil::Utf8ToUtf16Replacing(product.version);
        // The stub beside this program is built for its processor.
        identity.architecture = sizeof(void*) == 8 ? tallowin::Architecture::X64 : tallowin::Architecture::X86;
        identity.declarations = product.declarations;
        std::string error;
        EXPECT_TRUE(tallowin::StampStub(input.stub, identity, stamped, error)) << error;
        input.stub = stamped.bytes;
    }
    input.licensetext = product.license;
    input.fields.productname = product.name;
    input.fields.productversion = product.version;
    input.fields.exename = "vantrell.exe";
    input.fields.startmenufolder = u"\\Calderic\\Vantrell";
    input.fields.defaultsubfolder = u"\\Vantrell";
    sacwriter::ArchiveItem item;
    item.filename = u"readme.txt";
    item.data = {'h', 'e', 'l', 'l', 'o'};
    input.items.push_back(item);
    std::ostringstream bytes;
    std::string error;
    EXPECT_TRUE(sacwriter::WriteInstaller(input, bytes, error)) << error;
    const std::wstring path = folder + L"\\" + product.file;
    {
        std::ofstream out(path.c_str(), std::ios::binary);
        out << bytes.str();
    }
    if (!stamped.bytes.empty()) {
        std::string error;
        EXPECT_TRUE(tallowin::SealInstaller(std::filesystem::path(path), stamped, error)) << error;
    }
    return path;
}

// The optional tasks of a product: our desktop shortcut, checked by
// default, and a task of the vendor's, unchecked, captioned in German and
// Japanese besides English.
payload::Declarations TaskDeclarations() {
    payload::TaskDeclaration desktop;
    desktop.name = payload::kDesktopIconTask;
    payload::TaskDeclaration tools;
    tools.name = "cmdtools";
    tools.checked = false;
    tools.text = u"Add the command-line tools to PATH";
    tools.texts = {{"de", u"Befehlszeilenwerkzeuge zu PATH hinzuf\u00fcgen"},
                   {"ja", u"\u30b3\u30de\u30f3\u30c9 \u30e9\u30a4\u30f3 \u30c4\u30fc\u30eb\u3092 PATH \u306b\u8ffd\u52a0\u3059\u308b"}};
    payload::Declarations declarations;
    declarations.tasks = {desktop, tools};
    return declarations;
}

std::wstring ToolsCaption(const std::string& code) {
    const payload::Declarations declarations = TaskDeclarations();
    for (const auto& [language, text] : declarations.tasks[1].texts)
        if (language == code) return std::wstring(text.begin(), text.end());
    return L"Add the command-line tools to PATH";
}

// Answers the open message box of `caption` with the button `answer`,
// after checking its text.
void Answer(const Process& process, const std::wstring& caption, const std::wstring& text, const std::wstring& answer,
            const std::wstring& shot = {}) {
    HWND box = WaitMessageBox(process.Id(), caption);
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(MessageBoxText(box), text);
    if (!shot.empty()) Shot(box, shot);
    HWND button = FindChild(box, answer, L"Button");
    ASSERT_NE(button, nullptr);
    PostClick(button);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box) || !Visible(box); }, kWait));
}

// The wizard's four buttons.
struct Buttons {
    HWND back, next, cancel, finish;
};

Buttons FindButtons(HWND wizard) {
    return {FindChild(wizard, L"<  &Back", L"Button"), FindChild(wizard, L"&Next  >", L"Button"),
            FindChild(wizard, L"&Cancel", L"Button"), FindChild(wizard, L"&Finish", L"Button")};
}

// Cancel, then No: the same page stays with the same buttons.
void CancelNo(const Process& process, HWND wizard, HWND pageMarker, const std::wstring& question) {
    const Buttons b = FindButtons(wizard);
    const bool backOn = Enabled(b.back), nextOn = Enabled(b.next);
    PostClick(b.cancel);
    Answer(process, L"Warning", question, L"&No");
    EXPECT_TRUE(Visible(wizard));
    EXPECT_TRUE(Visible(pageMarker));
    EXPECT_EQ(Enabled(b.back), backOn);
    EXPECT_EQ(Enabled(b.next), nextOn);
}

// Exit codes: 0 installed or uninstalled, 2 nothing was changed (a
// start-up error, a cancel before any write).
void ExpectExit(Process& process, DWORD expected = 0) {
    DWORD code = 99;
    EXPECT_TRUE(process.WaitExit(kWait, code)) << "the program did not end";
    EXPECT_EQ(code, expected) << "exit code";
}

TEST(StartupErrors, StubWithoutPayloadSaysNoInstallFiles) {
    const std::wstring folder = WorkFolder(L"nopayload");
    const std::wstring copy = folder + L"\\plain-setup.exe";
    ASSERT_TRUE(::CopyFileW(StubPath().c_str(), copy.c_str(), FALSE));
    Process process;
    ASSERT_TRUE(process.Start(copy, L""));
    Answer(process, L"Error", L"No install files attached!", L"OK", L"error-no-payload");
    EXPECT_TRUE(NoTopWindow(process.Id(), L" Installer - Tallowin", 300));
    ExpectExit(process, 2);
}

TEST(StartupErrors, UnknownProgramHasNoUninstallInformation) {
    Process process;
    ASSERT_TRUE(process.Start(StubPath(), L"-ui NoSuchProgram.exe"));
    Answer(process, L"Error", L"Could not find uninstall information for this program.", L"OK");
    ExpectExit(process, 2);
}

TEST(StartupErrors, SwitchInOtherCaseMeansInstallMode) {
    // "-UI" is not the uninstall switch: the plain stub then reports its
    // missing payload, the install mode's start-up error.
    const std::wstring folder = WorkFolder(L"upper");
    const std::wstring copy = folder + L"\\plain-setup.exe";
    ASSERT_TRUE(::CopyFileW(StubPath().c_str(), copy.c_str(), FALSE));
    Process process;
    ASSERT_TRUE(process.Start(copy, L"-UI NoSuchProgram.exe"));
    Answer(process, L"Error", L"No install files attached!", L"OK");
    ExpectExit(process, 2);
}

TEST(InstallWizard, LicensePagesButtonsAndChooser) {
    const std::wstring folder = WorkFolder(L"license");
    Product product;
    product.license = "Terms of use\nLine two of the terms.";
    const std::wstring installer = MakeInstaller(folder, product);
    Process process;
    ASSERT_TRUE(process.Start(installer, L""));
    HWND wizard = WaitTopWindow(process.Id(), L"Vantrell Installer - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr);
    Buttons b = FindButtons(wizard);
    ASSERT_TRUE(b.back && b.next && b.cancel && b.finish);

    // Welcome.
    HWND title = FindChild(wizard, L"Welcome to the... \n            Vantrell installer!");
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(Visible(title));
    EXPECT_NE(FindChild(wizard, L"Tallowin will install Vantrell 2.5 on your computer.  It is recommended that you "
                                L"close all other applications before continuing."),
              nullptr);
    HWND clicknext1 = FindChild(wizard, L"Click 'Next' to continue.");
    EXPECT_TRUE(Visible(clicknext1));
    EXPECT_FALSE(Enabled(b.back));
    EXPECT_TRUE(Enabled(b.next));
    EXPECT_TRUE(Enabled(b.cancel));
    EXPECT_FALSE(Visible(b.finish));
    Shot(wizard, L"install-1-welcome");
    CancelNo(process, wizard, title, L"Are you sure you want to cancel this installation?");

    // License: Next waits for the agreement.
    Click(b.next);
    HWND licensetitle = FindChild(wizard, L"License Agreement");
    ASSERT_TRUE(Visible(licensetitle));
    EXPECT_FALSE(Visible(title));
    HWND memo = ChildrenOfClass(wizard, L"Edit").front();
    EXPECT_EQ(TextOf(memo), L"Terms of use\r\nLine two of the terms.");
    HWND agree = FindChild(wizard, L"I have read and agree to the terms of the license agreement.", L"Button");
    ASSERT_NE(agree, nullptr);
    EXPECT_FALSE(Checked(agree));
    EXPECT_FALSE(Enabled(b.next));
    EXPECT_TRUE(Enabled(b.back));
    Shot(wizard, L"install-2-license");
    CancelNo(process, wizard, licensetitle, L"Are you sure you want to cancel this installation?");
    Click(agree);
    EXPECT_TRUE(Checked(agree));
    EXPECT_TRUE(Enabled(b.next));
    Click(agree);
    EXPECT_FALSE(Enabled(b.next));
    Click(agree);
    EXPECT_TRUE(Enabled(b.next));

    // Back to the welcome page and forth: the box stays ticked.
    Click(b.back);
    EXPECT_TRUE(Visible(title));
    EXPECT_FALSE(Enabled(b.back));
    EXPECT_TRUE(Enabled(b.next));
    Click(b.next);
    EXPECT_TRUE(Visible(licensetitle));
    EXPECT_TRUE(Checked(agree));
    EXPECT_TRUE(Enabled(b.next));

    // Destination.
    Click(b.next);
    HWND pathlabel = FindChild(wizard, L"Install Vantrell to:");
    ASSERT_TRUE(Visible(pathlabel));
    EXPECT_TRUE(Visible(FindChild(wizard, L"Click 'Next' to begin installing Vantrell.")));
    HWND installpath = nullptr;
    for (HWND edit : ChildrenOfClass(wizard, L"Edit"))
        if (edit != memo) installpath = edit;
    ASSERT_NE(installpath, nullptr);
    EXPECT_EQ(TextOf(installpath), ProgramFiles() + L"\\Vantrell");
    EXPECT_TRUE(Enabled(b.back));
    EXPECT_TRUE(Enabled(b.next));
    Shot(wizard, L"install-3-destination");
    CancelNo(process, wizard, pathlabel, L"Are you sure you want to cancel this installation?");

    // Back to the license page keeps the agreement; forth again.
    Click(b.back);
    EXPECT_TRUE(Visible(licensetitle));
    EXPECT_TRUE(Checked(agree));
    EXPECT_TRUE(Enabled(b.next));
    EXPECT_TRUE(Enabled(b.back));
    Click(b.next);
    ASSERT_TRUE(Visible(pathlabel));

    // The chooser opens at the Program Files folder.
    HWND change = FindChild(wizard, L"Change...", L"Button");
    PostClick(change);
    HWND chooser = WaitTopWindow(process.Id(), L"Select Folder", kWait);
    ASSERT_NE(chooser, nullptr);
    HWND tree = ChildrenOfClass(chooser, WC_TREEVIEWW).front();
    HTREEITEM selected = TreeSelection(tree);
    ASSERT_NE(selected, nullptr);
    const std::wstring programFiles = ProgramFiles();
    EXPECT_EQ(TreeItemText(tree, selected), programFiles.substr(programFiles.find_last_of(L'\\') + 1));
    Shot(chooser, L"install-4-chooser");

    // A virtual folder (the root's children include "My Computer"): OK
    // explains and the dialog stays.
    HTREEITEM computer = nullptr;
    for (HTREEITEM item : TreeChildren(tree, TreeRoot(tree)))
        if (TreeItemText(tree, item).find(L"Computer") != std::wstring::npos) computer = item;
    ASSERT_NE(computer, nullptr);
    TreeSelect(tree, computer);
    HWND ok = FindChild(chooser, L"OK", L"Button");
    PostClick(ok);
    Answer(process, L"Error", L"You have not specified a valid folder.\nPlease select a folder and click OK.", L"OK",
           L"install-5-chooser-error");
    EXPECT_TRUE(Visible(chooser));
    EXPECT_EQ(TreeSelection(tree), computer);
    // Enter acts as OK, the check included.
    ::SetForegroundWindow(chooser);
    ::PostMessageW(tree, WM_KEYDOWN, VK_RETURN, 0);
    Answer(process, L"Error", L"You have not specified a valid folder.\nPlease select a folder and click OK.", L"OK");
    EXPECT_TRUE(Visible(chooser));

    // The drive root: the destination is the drive and the subfolder.
    HWND drive = nullptr;
    (void)drive;
    HTREEITEM root = TreeParent(tree, selected);
    ASSERT_NE(root, nullptr);
    TreeSelect(tree, root);
    ::PostMessageW(tree, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(WaitUntil([&] { return !Visible(chooser); }, kWait)) << "Enter did not close the chooser";
    const std::wstring driveRoot = programFiles.substr(0, programFiles.find_last_of(L'\\'));
    EXPECT_EQ(TextOf(installpath), driveRoot + L"\\Vantrell");

    // Cancel after browsing changes nothing; the chooser reopens at the
    // folder chosen last.
    PostClick(change);
    ASSERT_TRUE(WaitUntil([&] { return Visible(chooser); }, kWait));
    EXPECT_EQ(TreeSelection(tree), root);
    TreeSelect(tree, computer);
    Click(FindChild(chooser, L"Cancel", L"Button"));
    ASSERT_TRUE(WaitUntil([&] { return !Visible(chooser); }, kWait));
    EXPECT_EQ(TextOf(installpath), driveRoot + L"\\Vantrell");

    // Cancel with Yes ends the program.
    PostClick(b.cancel);
    Answer(process, L"Warning", L"Are you sure you want to cancel this installation?", L"&Yes");
    ExpectExit(process, 2);
}

TEST(InstallWizard, WithoutLicenseNextGoesToDestination) {
    const std::wstring folder = WorkFolder(L"nolicense");
    const std::wstring installer = MakeInstaller(folder, Product{});
    Process process;
    ASSERT_TRUE(process.Start(installer, L""));
    HWND wizard = WaitTopWindow(process.Id(), L"Vantrell Installer - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    HWND title = FindChild(wizard, L"Welcome to the... \n            Vantrell installer!");
    Click(b.next);
    HWND pathlabel = FindChild(wizard, L"Install Vantrell to:");
    EXPECT_TRUE(Visible(pathlabel));
    EXPECT_FALSE(Visible(FindChild(wizard, L"License Agreement")));
    // A typed destination must be an absolute folder: anything else is
    // explained, and the page stays with the text as typed.
    HWND installpath = ChildrenOfClass(wizard, L"Edit").back();
    for (const wchar_t* typed : {L"Vantrell", L"\\Vantrell", L"D:Vantrell", L"", L"C:\\Program Files\\V*"}) {
        ::SendMessageW(installpath, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
        PostClick(b.next);
        Answer(process, L"Error", L"You have not specified a valid folder.\nPlease select a folder and click OK.", L"OK");
        EXPECT_TRUE(Visible(pathlabel)) << typed;
        EXPECT_EQ(TextOf(installpath), typed);
        EXPECT_TRUE(Enabled(b.next));
    }
    // A folder the uninstall could never delete: named in the refusal.
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    for (const std::wstring& typed : {std::wstring(windows), std::wstring(L"C:\\"), std::wstring(L"C:\\users\\"),
                                     std::wstring(L"C:\\Program Files")}) {
        ::SendMessageW(installpath, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        PostClick(b.next);
        Answer(process, L"Error",
               L"The folder " + typed +
                   L" cannot hold the program: it is a folder of the system or contains one. "
                   L"Please choose a folder of the program's own.",
               L"OK");
        EXPECT_TRUE(Visible(pathlabel)) << typed;
        EXPECT_EQ(TextOf(installpath), typed);
    }
    EXPECT_TRUE(Enabled(b.back));
    Click(b.back);
    EXPECT_TRUE(Visible(title));
    EXPECT_FALSE(Enabled(b.back));
    EXPECT_TRUE(Enabled(b.next));
    // Cancel with Yes on the welcome page.
    PostClick(b.cancel);
    Answer(process, L"Warning", L"Are you sure you want to cancel this installation?", L"&Yes");
    ExpectExit(process, 2);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Runs `installer` with `arguments` to its end; its exit code.
DWORD RunToEnd(const std::wstring& installer, const std::wstring& arguments) {
    Process process;
    EXPECT_TRUE(process.Start(installer, arguments, false));
    DWORD code = 99;
    EXPECT_TRUE(process.WaitExit(60000, code)) << "the program did not end";
    return code;
}

// The optional tasks unattended: an unknown name in /TASKS= is refused
// before anything is written; "!desktopicon" leaves no desktop shortcut;
// an update without the switch keeps the recorded choice (and its wizard
// shows it), one that chooses the task makes the shortcut, one that
// unchooses it again removes it.
TEST(Tasks, UnattendedChoicesAndAnUpdateKeepingThem) {
    const std::wstring folder = WorkFolder(L"tasks");
    Product product;
    product.declarations = TaskDeclarations();
    const std::wstring first = MakeInstaller(folder, product);
    product.version = "2.6";
    product.file = L"vantrell-setup-2.6.exe";
    const std::wstring next = MakeInstaller(folder, product);
    const std::wstring target = folder + L"\\Vantrell Tasks";
    wchar_t desktopfolder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, desktopfolder, CSIDL_DESKTOPDIRECTORY, TRUE);
    const std::wstring desktop = std::wstring(desktopfolder) + L"\\Vantrell.lnk";
    const auto registered = [] {
        HKEY key = nullptr;
        const bool found = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                           L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrell", 0,
                                           KEY_READ, &key) == ERROR_SUCCESS;
        if (found) ::RegCloseKey(key);
        return found;
    };
    ASSERT_FALSE(registered()) << "an earlier test left Vantrell installed";
    ASSERT_FALSE(Exists(desktop));
    const std::wstring into = L" \"/D=" + target + L"\"";

    EXPECT_EQ(RunToEnd(first, L"/S /TASKS=desktopicon,!nosuch" + into), 2u);
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(registered());
    EXPECT_FALSE(Exists(desktop));

    EXPECT_EQ(RunToEnd(first, L"/S /TASKS=!DesktopIcon" + into), 0u);
    EXPECT_TRUE(Exists(target + L"\\readme.txt"));
    EXPECT_FALSE(Exists(desktop)) << "the unchosen desktop shortcut was made";

    {
        Process process;
        ASSERT_TRUE(process.Start(next, L""));
        HWND wizard = WaitTopWindow(process.Id(), L"Vantrell Installer - Tallowin", kWait);
        ASSERT_NE(wizard, nullptr);
        const Buttons b = FindButtons(wizard);
        Click(b.next);
        Click(b.next);
        HWND box = FindChild(wizard, L"Create a desktop shortcut", L"Button");
        ASSERT_TRUE(WaitUntil([&] { return Visible(box); }, kWait));
        EXPECT_FALSE(Checked(box)) << "the update does not show the earlier choice";
        process.Kill();
    }
    EXPECT_EQ(RunToEnd(next, L"/S"), 0u);
    EXPECT_FALSE(Exists(desktop)) << "the update did not keep the earlier choice";
    EXPECT_EQ(RunToEnd(next, L"/S /TASKS=desktopicon"), 0u);
    EXPECT_TRUE(Exists(desktop));
    EXPECT_EQ(RunToEnd(next, L"/S /TASKS=!desktopicon"), 0u);
    EXPECT_FALSE(Exists(desktop)) << "the update left the unchosen desktop shortcut";

    EXPECT_EQ(RunToEnd(ProductUninstaller(L"vantrell.exe"), L"-ui vantrell.exe /S"), 0u);
    EXPECT_TRUE(WaitUntil([&] { return !Exists(target); }, kWait));
    EXPECT_FALSE(registered());
}

// A wide registry value, or "" when there is none.
std::wstring WideValue(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t value[512] = {};
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return {};
    const LONG read = ::RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(handle);
    return read == ERROR_SUCCESS && type == REG_SZ ? value : L"";
}

// A product named in Japanese by a Russian publisher: the wizard's title
// and texts, the list of installed programs, the Start menu and the
// uninstaller's version information show the names themselves; the keys
// that identify the product carry the 8-bit form, so the next version
// finds the installed one and updates it, and the uninstall removes it.
TEST(NamesInAnyScript, TitleRegistrationStartMenuUpdateAndUninstall) {
    const std::wstring folder = WorkFolder(L"names");
    Product product;
    product.shownname = u"\u30f4\u30a1\u30f3\u30c8\u30ec\u30eb";
    product.publisher = u"\u041a\u0430\u043b\u0435\u0434\u0440\u0438\u043a";
    product.name = tallowin::EightBitProductName(product.shownname);
    product.file = L"names-setup.exe";
    const std::wstring first = MakeInstaller(folder, product);
    product.version = "2.6";
    product.file = L"names-setup-2.6.exe";
    const std::wstring next = MakeInstaller(folder, product);
    const std::wstring shown(product.shownname.begin(), product.shownname.end());
    const std::wstring uninstallkey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::wstring(product.name.begin(), product.name.end());
    const std::wstring apppaths = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vantrell.exe";
    ASSERT_EQ(WideValue(HKEY_LOCAL_MACHINE, apppaths, L"Displayname"), L"") << "an earlier test left vantrell.exe installed";
    const std::wstring target = folder + L"\\Names";

    {
        Process process;
        ASSERT_TRUE(process.Start(first, L""));
        HWND wizard = WaitTopWindow(process.Id(), shown + L" Installer - Tallowin", kWait);
        ASSERT_NE(wizard, nullptr) << "no wizard with the product's name in its title";
        EXPECT_TRUE(Visible(FindChild(wizard, L"Tallowin will install " + shown + L" 2.5 on your computer.  "
                                              L"It is recommended that you close all other applications before continuing.")));
        Shot(wizard, L"names-1-welcome");
        process.Kill();
    }
    EXPECT_EQ(RunToEnd(first, L"/S \"/D=" + target + L"\""), 0u);
    EXPECT_TRUE(Exists(target + L"\\readme.txt"));
    EXPECT_EQ(WideValue(HKEY_LOCAL_MACHINE, uninstallkey, L"DisplayName"), shown);
    EXPECT_EQ(WideValue(HKEY_LOCAL_MACHINE, uninstallkey, L"Publisher"), std::wstring(product.publisher.begin(), product.publisher.end()));
    EXPECT_EQ(WideValue(HKEY_LOCAL_MACHINE, apppaths, L"Displayname"), std::wstring(product.name.begin(), product.name.end()));
    wchar_t programs[MAX_PATH] = {}, desktopfolder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, programs, CSIDL_PROGRAMS, TRUE);
    ::SHGetSpecialFolderPathW(nullptr, desktopfolder, CSIDL_DESKTOPDIRECTORY, TRUE);
    const std::wstring group = std::wstring(programs) + L"\\Calderic\\Vantrell\\";
    const std::wstring desktop = std::wstring(desktopfolder) + L"\\" + shown + L".lnk";
    EXPECT_TRUE(Exists(group + shown + L".lnk"));
    EXPECT_TRUE(Exists(group + L"Uninstall " + shown + L".lnk"));
    EXPECT_TRUE(Exists(desktop));
    const std::u16string uninstaller = setuputil::FromWinStr(ProductUninstaller(L"vantrell.exe").c_str());
    EXPECT_EQ(setuputil::ReadVersionString(uninstaller, u"ProductName"), product.shownname);

    // The next version finds the installed one by its 8-bit key.
    EXPECT_EQ(RunToEnd(next, L"/S"), 0u);
    EXPECT_EQ(WideValue(HKEY_LOCAL_MACHINE, uninstallkey, L"DisplayVersion"), L"2.6");
    const std::string path = setuputil::EncodeLetterHex(setuputil::FromWinStr(target.c_str()));
    EXPECT_EQ(WideValue(HKEY_LOCAL_MACHINE, apppaths, L"Path"), std::wstring(path.begin(), path.end()))
        << "the update did not go into the installed folder";

    Process process;
    ASSERT_TRUE(process.Start(ProductUninstaller(L"vantrell.exe"), L"-ui vantrell.exe"));
    HWND wizard = WaitTopWindow(process.Id(), shown + L" Uninstaller - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr) << "no uninstaller with the product's name in its title";
    EXPECT_TRUE(Visible(FindChild(wizard, L"Welcome to the " + shown + L" Uninstaller!")));
    Click(FindButtons(wizard).next);
    HWND done = FindChild(wizard, shown + L" was successfully removed from your computer.");
    ASSERT_TRUE(WaitUntil([&] { return done && Visible(done); }, 60000)) << "no uninstall finish page";
    Click(FindButtons(wizard).finish);
    ExpectExit(process);
    EXPECT_FALSE(Exists(target));
    EXPECT_EQ(WideValue(HKEY_LOCAL_MACHINE, uninstallkey, L"DisplayName"), L"");
    EXPECT_EQ(WideValue(HKEY_LOCAL_MACHINE, apppaths, L"Displayname"), L"");
    EXPECT_FALSE(Exists(group + shown + L".lnk"));
    EXPECT_FALSE(Exists(desktop));
}

// A registration as the install writes it, for a product that is not
// really there: the uninstall wizard's first page, Cancel with No and Yes.
TEST(UninstallWizard, WelcomePageAndCancel) {
    const std::wstring folder = WorkFolder(L"uninstall");
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\e2eproduct.exe";
    HKEY handle = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                nullptr),
              ERROR_SUCCESS);
    auto set = [&](const char* name, const std::string& value) {
        ::RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
    };
    set("Displayname", "Orrin Tools");
    set("Path", setuputil::EncodeLetterHex(std::u16string(folder.begin(), folder.end())));
    ::RegCloseKey(handle);

    Process process;
    ASSERT_TRUE(process.Start(StubPath(), L"-ui e2eproduct.exe"));
    HWND wizard = WaitTopWindow(process.Id(), L"Orrin Tools Uninstaller - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr);
    HWND title = FindChild(wizard, L"Welcome to the Orrin Tools Uninstaller!");
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(Visible(title));
    EXPECT_TRUE(Visible(FindChild(wizard, L"Tallowin will uninstall Orrin Tools from your computer.")));
    EXPECT_TRUE(Visible(FindChild(wizard, L"Click 'Next' to begin uninstalling Orrin Tools.")));
    const Buttons b = FindButtons(wizard);
    EXPECT_FALSE(Enabled(b.back));
    EXPECT_TRUE(Enabled(b.next));
    EXPECT_FALSE(Visible(b.finish));
    Shot(wizard, L"uninstall-1-welcome");
    CancelNo(process, wizard, title, L"Are you sure you want to cancel this uninstall?");
    PostClick(b.cancel);
    Answer(process, L"Warning", L"Are you sure you want to cancel this uninstall?", L"&Yes");
    ExpectExit(process, 2);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    // Nothing was removed.
    EXPECT_NE(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A whole installation into a folder typed by hand, the finish page, then
// the uninstaller from the registration removing it again.
TEST(FullRun, InstallThenUninstall) {
    const std::wstring folder = WorkFolder(L"fullrun");
    const std::wstring installer = MakeInstaller(folder, Product{});
    const std::wstring target = folder + L"\\Installed Vantrell";
    {
        Process process;
        ASSERT_TRUE(process.Start(installer, L""));
        HWND wizard = WaitTopWindow(process.Id(), L"Vantrell Installer - Tallowin", kWait);
        ASSERT_NE(wizard, nullptr);
        const Buttons b = FindButtons(wizard);
        Click(b.next);
        HWND installpath = ChildrenOfClass(wizard, L"Edit").back();
        ::SendMessageW(installpath, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
        Click(b.next);
        HWND finishtitle = FindChild(wizard, L"Installation Completed!");
        ASSERT_NE(finishtitle, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return Visible(finishtitle); }, 60000)) << "no finish page";
        EXPECT_TRUE(Visible(FindChild(wizard, L"Vantrell was successfully installed on your computer.")));
        HWND launch = FindChild(wizard, L"Run Vantrell.", L"Button");
        HWND readme = FindChild(wizard, L"View the readme file.", L"Button");
        ASSERT_TRUE(launch && readme);
        EXPECT_TRUE(Checked(launch));
        EXPECT_FALSE(Checked(readme));
        EXPECT_TRUE(Visible(b.finish));
        EXPECT_FALSE(Visible(b.next));
        EXPECT_FALSE(Enabled(b.back));
        EXPECT_FALSE(Enabled(b.cancel));
        Shot(wizard, L"install-6-finish");
        Click(launch);  // the program does not exist: nothing to start
        Click(b.finish);
        ExpectExit(process);
    }
    EXPECT_EQ(ReadAll(target + L"\\readme.txt"), (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}));

    // The product's own uninstaller, as the registration names it.
    const std::wstring uninstaller = ProductUninstaller(L"vantrell.exe");
    ASSERT_NE(::GetFileAttributesW(uninstaller.c_str()), INVALID_FILE_ATTRIBUTES);
    Process process;
    ASSERT_TRUE(process.Start(uninstaller, L"-ui vantrell.exe"));
    HWND wizard = WaitTopWindow(process.Id(), L"Vantrell Uninstaller - Tallowin", kWait);
    ASSERT_NE(wizard, nullptr);
    const Buttons b = FindButtons(wizard);
    Click(b.next);
    HWND donetitle = FindChild(wizard, L"Uninstall Complete!");
    ASSERT_TRUE(WaitUntil([&] { return Visible(donetitle); }, 60000)) << "no uninstall finish page";
    EXPECT_TRUE(Visible(FindChild(wizard, L"Vantrell was successfully removed from your computer.")));
    EXPECT_TRUE(Visible(b.finish));
    EXPECT_FALSE(Visible(b.next));
    EXPECT_FALSE(Enabled(b.cancel));
    Shot(wizard, L"uninstall-2-finish");
    Click(b.finish);
    ExpectExit(process);
    EXPECT_EQ(::GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
}

// --- the wizard in other languages ---

// A shipped table read from the sources, filled as the wizard fills it.
class Table {
public:
    explicit Table(const std::string& code) {
        if (code == "en") {
            for (std::size_t i = 0; i < payload::kTextCount; ++i)
                texts_[std::string(payload::kTextNames[i])] = setuputil::Utf8ToUtf16Replacing(std::string(payload::kEnglishTexts[i]));
            return;
        }
        std::ifstream in(std::string(TALLOWIN_SOURCE_DIR) + "/mainunit/languages/" + code + ".txt", std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto tables = payload::ReadTextTables(file);
        EXPECT_EQ(tables.size(), 1u) << code;
        if (!tables.empty())
            for (const auto& [name, text] : tables[0].texts) texts_[name] = setuputil::Utf8ToUtf16Replacing(text);
    }
    std::wstring operator()(const char* name, const std::u16string& product = u"Vantrell") const {
        const auto found = texts_.find(name);
        EXPECT_NE(found, texts_.end()) << name;
        if (found == texts_.end()) return {};
        const std::u16string text = payload::FillText<char16_t>(found->second, {{u"product", product}, {u"version", u"2.5"}});
        return std::wstring(text.begin(), text.end());
    }

private:
    std::map<std::string, std::u16string> texts_;
};

// The DPI the wizard was made for, from its client width (502 design pixels).
int WizardDpi(HWND wizard) {
    RECT client{};
    ::GetClientRect(wizard, &client);
    return (client.right * 96 + 251) / 502;
}

// Every visible label, button and check box of the wizard's current page
// and buttons shows its whole text: measured with the wizard's font (the
// table's face, bold for the titles) at the wizard's DPI, inside the
// control and the control inside its parent.
void ExpectTextsFit(HWND wizard, const Table& table, const std::string& code) {
    const int dpi = WizardDpi(wizard);
    const std::wstring face = table("DialogFont");
    std::vector<std::wstring> titles;
    for (const char* name : {"InstallWelcomeTitle", "LicenseTitle", "DestinationTitle", "TasksTitle", "InstallingTitle",
                             "FinishTitle",
                             "UninstallWelcomeTitle", "UninstallingTitle", "UninstallFinishTitle"})
        titles.push_back(table(name));
    HDC dc = ::CreateCompatibleDC(nullptr);
    std::vector<HWND> controls = ChildrenOfClass(wizard, L"Static");
    for (HWND button : ChildrenOfClass(wizard, L"Button")) controls.push_back(button);
    int measured = 0;
    for (HWND control : controls) {
        const std::wstring text = TextOf(control);
        if (!Visible(control) || text.empty()) continue;
        const bool bold = std::find(titles.begin(), titles.end(), text) != titles.end();
        HFONT font = ::CreateFontW(-((11 * dpi + 48) / 96), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, face.c_str());
        HGDIOBJ old = ::SelectObject(dc, font);
        RECT client{}, box{};
        ::GetClientRect(control, &client);
        wchar_t classname[16] = {};
        ::GetClassNameW(control, classname, 16);
        const LONG style = ::GetWindowLongW(control, GWL_STYLE);
        int room = client.right;
        UINT format = DT_CALCRECT | DT_EXPANDTABS;
        if (std::wstring(classname) == L"Static") {
            format |= DT_NOPREFIX;
            if ((style & SS_TYPEMASK) == SS_LEFT) {
                format |= DT_WORDBREAK;
                box.right = client.right;
            }
        } else {
            format |= DT_SINGLELINE;
            const LONG type = style & BS_TYPEMASK;
            room -= (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) ? (13 * dpi + 48) / 96 + 4 : 6;
        }
        ::DrawTextW(dc, text.c_str(), -1, &box, format);
        EXPECT_LE(box.right, room) << code << " at " << dpi << " dpi: too wide: " << setuputil::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
        EXPECT_LE(box.bottom, client.bottom) << code << " at " << dpi << " dpi: too high: " << setuputil::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
        // Nothing of the control lies outside its parent.
        RECT rect{}, parent{};
        ::GetWindowRect(control, &rect);
        ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
        ::GetClientRect(::GetParent(control), &parent);
        EXPECT_LE(rect.right, parent.right) << code << " at " << dpi << " dpi: beyond its page: " << setuputil::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
        EXPECT_LE(rect.bottom, parent.bottom) << code << " at " << dpi << " dpi: below its page: " << setuputil::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
        ::SelectObject(dc, old);
        ::DeleteObject(font);
        ++measured;
    }
    ::DeleteDC(dc);
    EXPECT_GE(measured, 6) << code;
}

// The DPI of programs started from now on (Wine reads it at a program's
// start); restored by the destructor.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                          nullptr);
        DWORD size = sizeof old_;
        had_ = ::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) ==
               ERROR_SUCCESS;
        ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~ScreenDpi() {
        if (had_) ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        else ::RegDeleteValueW(key_, L"LogPixels");
        ::RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
};

// The language of the user running this test, as CTest's locale runs name
// it (e2e.languages_de: LANG=de_DE.UTF-8 and TALLOWIN_E2E_LANGUAGE=de; under
// Wine the user's UI language follows LANG, and programs started from here
// inherit it); English without one.
std::string UsersLanguage() {
    wchar_t value[16] = {};
    if (!::GetEnvironmentVariableW(L"TALLOWIN_E2E_LANGUAGE", value, 16)) return "en";
    return setuputil::WideToAnsi(setuputil::FromWinStr(value));
}

// The user gets the wizard's pages in the user's language (German and
// Japanese users in the locale runs); /LANG= wins over it.  In the English
// run every shipped language is shown through /LANG=, every text fitting
// its control at 100 % and 150 %, and the destination page of each is
// saved as a screenshot (docs/languages).  The product declares optional
// tasks: their page follows the destination page, our own caption and the
// vendor's in the language, the defaults checked, the choices kept over
// Back and Next.
TEST(Languages, PagesInTheUsersLanguageFitAtEveryScale) {
    const std::wstring folder = WorkFolder(L"languages");
    Product product;
    product.license = "Terms.";
    product.declarations = TaskDeclarations();
    const std::wstring installer = MakeInstaller(folder, product);
    struct Run {
        std::wstring arguments;
        std::string code;
    };
    const std::string users = UsersLanguage();
    std::vector<Run> runs{{L"", users}, {L"/LANG=fr", "fr"}};
    if (users == "en")
        for (const char* code : {"de", "es", "it", "pt-BR", "nl", "pl", "ru", "ja", "zh-CN"})
            runs.push_back({L"/LANG=" + std::wstring(code, code + std::strlen(code)), code});
    for (const Run& run : runs) {
        const Table t(run.code);
        for (DWORD dpi : {96u, 144u}) {
            SCOPED_TRACE(run.code + " at " + std::to_string(dpi));
            const ScreenDpi scale(dpi);
            Process process;
            ASSERT_TRUE(process.Start(installer, run.arguments));
            HWND wizard = WaitTopWindow(process.Id(), t("InstallerCaption"), kWait);
            ASSERT_NE(wizard, nullptr);
            EXPECT_EQ(WizardDpi(wizard), static_cast<int>(dpi));
            HWND next = FindChild(wizard, t("NextButton"), L"Button");
            ASSERT_NE(next, nullptr);
            EXPECT_TRUE(Visible(FindChild(wizard, t("InstallWelcomeTitle"))));
            EXPECT_TRUE(Visible(FindChild(wizard, t("ClickNextToContinue"))));
            ExpectTextsFit(wizard, t, run.code);
            Click(next);
            HWND agree = FindChild(wizard, t("LicenseAgree"), L"Button");
            ASSERT_TRUE(WaitUntil([&] { return Visible(agree); }, kWait));
            EXPECT_TRUE(Visible(FindChild(wizard, t("LicenseTitle"))));
            ExpectTextsFit(wizard, t, run.code);
            Click(agree);
            Click(next);
            HWND pathlabel = FindChild(wizard, t("InstallPathLabel"));
            ASSERT_TRUE(WaitUntil([&] { return Visible(pathlabel); }, kWait));
            // The tasks page comes before the install begins.
            EXPECT_FALSE(Visible(FindChild(wizard, t("ClickNextToInstall"))));
            EXPECT_TRUE(Visible(FindChild(wizard, t("ChangeButton"), L"Button")));
            ExpectTextsFit(wizard, t, run.code);
            if (dpi == 96) Shot(wizard, L"destination-" + std::wstring(run.code.begin(), run.code.end()));
            Click(next);
            HWND desktop = FindChild(wizard, t("DesktopIconTask"), L"Button");
            HWND tools = FindChild(wizard, ToolsCaption(run.code), L"Button");
            ASSERT_NE(desktop, nullptr);
            ASSERT_NE(tools, nullptr);
            ASSERT_TRUE(WaitUntil([&] { return Visible(desktop); }, kWait));
            EXPECT_TRUE(Visible(tools));
            EXPECT_TRUE(Visible(FindChild(wizard, t("TasksTitle"))));
            EXPECT_TRUE(Visible(FindChild(wizard, t("TasksLabel"))));
            EXPECT_TRUE(Visible(FindChild(wizard, t("ClickNextToInstall"))));
            EXPECT_TRUE(Checked(desktop));
            EXPECT_FALSE(Checked(tools));
            ExpectTextsFit(wizard, t, run.code);
            Click(desktop);
            Click(tools);
            Click(FindChild(wizard, t("BackButton"), L"Button"));
            EXPECT_TRUE(Visible(pathlabel));
            EXPECT_FALSE(Visible(desktop));
            Click(next);
            EXPECT_TRUE(Visible(desktop));
            EXPECT_FALSE(Checked(desktop));
            EXPECT_TRUE(Checked(tools));
            if (dpi == 96) {
                Shot(wizard, L"tasks-" + std::wstring(run.code.begin(), run.code.end()));
                // The question's box is captioned in the same language.
                PostClick(FindChild(wizard, t("CancelButton"), L"Button"));
                EXPECT_NE(WaitMessageBox(process.Id(), t("WarningCaption")), nullptr);
            }
            process.Kill();
        }
    }
}

// The uninstaller of an install made in German speaks German, whatever the
// language of the user who runs it (the English run's).
TEST(Languages, UninstallerSpeaksTheLanguageOfItsInstall) {
    const std::wstring folder = WorkFolder(L"german");
    const std::wstring installer = MakeInstaller(folder, Product{});
    const std::wstring target = folder + L"\\Vantrell DE";
    {
        Process process;
        ASSERT_TRUE(process.Start(installer, L"/S /LANG=de \"/D=" + target + L"\"", false));
        ExpectExit(process);
    }
    const Table t("de");
    Process process;
    ASSERT_TRUE(process.Start(ProductUninstaller(L"vantrell.exe"), L"-ui vantrell.exe"));
    HWND wizard = WaitTopWindow(process.Id(), t("UninstallerCaption"), kWait);
    ASSERT_NE(wizard, nullptr);
    EXPECT_TRUE(Visible(FindChild(wizard, t("UninstallWelcomeTitle"))));
    ExpectTextsFit(wizard, t, "de");
    Click(FindChild(wizard, t("NextButton"), L"Button"));
    HWND donetitle = FindChild(wizard, t("UninstallFinishTitle"));
    ASSERT_TRUE(WaitUntil([&] { return Visible(donetitle); }, 60000)) << "no uninstall finish page";
    EXPECT_TRUE(Visible(FindChild(wizard, t("UninstallFinishLabel"))));
    ExpectTextsFit(wizard, t, "de");
    Click(FindChild(wizard, t("FinishButton"), L"Button"));
    ExpectExit(process);
    EXPECT_EQ(::GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
