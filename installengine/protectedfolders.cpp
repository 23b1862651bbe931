#include "installengine/protectedfolders.hpp"

#include "installengine/uninstallguard.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

#include <cstring>
#include <vector>
#include <shlobj.h>

namespace installengine {

namespace {

using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// The path with its short (8.3) names spelled out; empty when the system
// cannot tell.
std::u16string LongForm(const std::u16string& path) {
    if (path.find(u'~') == std::u16string::npos) return u"";
    wchar_t buffer[MAX_PATH * 4] = {};
    const DWORD n = ::GetLongPathNameW(setuputil::WinStr(path), buffer, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4) return u"";
    return setuputil::FromWinStr(buffer);
}

void Add(std::vector<std::u16string>& list, const std::u16string& path) {
    if (path.empty()) return;
    list.push_back(path);
    const std::u16string final = FinalPath(path);
    if (!final.empty() && final != path) list.push_back(final);
    const std::u16string full = LongForm(path);
    if (!full.empty() && full != path && full != final) list.push_back(full);
}

// A string value of HKEY_LOCAL_MACHINE in the 64-bit view (the only view
// on 32-bit Windows), with environment references expanded; empty when
// missing.
std::u16string MachineValue64(const wchar_t* key, const wchar_t* name) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY,
                        &handle) != ERROR_SUCCESS)
        return u"";
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    const LONG result = ::RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(handle);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return u"";
    wchar_t expanded[MAX_PATH * 2] = {};
    const DWORD n = ::ExpandEnvironmentStringsW(value, expanded, MAX_PATH * 2);
    if (n == 0 || n > MAX_PATH * 2) return u"";
    return setuputil::FromWinStr(expanded);
}

std::u16string EnvironmentValue(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return u"";
    return setuputil::FromWinStr(value);
}

std::u16string ParentOf(std::u16string path) {
    while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? u"" : path.substr(0, slash);
}

std::u16string Joined(const std::u16string& folder, const std::u16string& name) {
    if (folder.empty()) return u"";
    return (folder.back() == u'\\' ? folder : folder + u"\\") + name;
}

// The folders directly inside `folder` (links among them too), at most 256.
std::vector<std::u16string> Subfolders(const std::u16string& folder) {
    std::vector<std::u16string> out;
    if (folder.empty()) return out;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(setuputil::WinStr(Joined(folder, u"*")), &found);
    if (search == INVALID_HANDLE_VALUE) return out;
    do {
        const std::u16string name = setuputil::FromWinStr(found.cFileName);
        if (name == u"." || name == u".." || !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        out.push_back(Joined(folder, name));
    } while (out.size() < 256 && ::FindNextFileW(search, &found));
    ::FindClose(search);
    return out;
}

// Every profile the registry lists, with the Default and Public profiles.
std::vector<std::u16string> Profiles() {
    constexpr wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    std::vector<std::u16string> out;
    for (const wchar_t* name : {L"Default", L"Public", L"AllUsersProfile"}) {
        const std::u16string value = MachineValue64(kProfileList, name);
        if (!value.empty()) out.push_back(value);
    }
    HKEY list = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, &list) !=
        ERROR_SUCCESS)
        return out;
    for (DWORD i = 0; i < 1024; ++i) {
        wchar_t sid[256] = {};
        DWORD size = 256;
        if (::RegEnumKeyExW(list, i, sid, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring key = std::wstring(kProfileList) + L"\\" + sid;
        const std::u16string path = MachineValue64(key.c_str(), L"ProfileImagePath");
        if (!path.empty()) out.push_back(path);
    }
    ::RegCloseKey(list);
    return out;
}

// What the system ships inside each Program Files folder.
constexpr const char16_t* kSystemApplications[] = {
    u"Common Files",        u"Internet Explorer",   u"Microsoft.NET",        u"ModifiableWindowsApps",
    u"MSBuild",             u"Reference Assemblies", u"Uninstall Information", u"Windows Defender",
    u"Windows Defender Advanced Threat Protection", u"Windows Mail", u"Windows Media Player",
    u"Windows Multimedia Platform", u"Windows NT", u"Windows Photo Viewer", u"Windows Portable Devices",
    u"Windows Security",    u"Windows Sidebar",     u"WindowsApps",          u"WindowsPowerShell"};

}  // namespace

namespace {

// The path the system's object manager holds for an open file, when it is
// a drive or share path ("\\??\\C:\\..."): where GetFinalPathNameByHandleW
// cannot say (Wine answers nothing past about 263 characters), this name
// is the same final path.  Windows names a device instead ("\\Device\\..."):
// then "", and its GetFinalPathNameByHandleW has answered already.
std::u16string ObjectManagerPath(HANDLE handle) {
    using QueryObjectFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const QueryObjectFn query = reinterpret_cast<QueryObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    if (!query) return u"";
    struct CountedName {
        USHORT length, capacity;
        wchar_t* buffer;
    };
    // A counted name holds at most 32,767 units: the buffer is bounded by that.
    std::vector<unsigned char> info(sizeof(CountedName) + 65536 + 16);
    ULONG got = 0;
    constexpr int kObjectNameInformation = 1;
    if (query(handle, kObjectNameInformation, info.data(), static_cast<ULONG>(info.size()), &got) != 0) return u"";
    CountedName name;
    std::memcpy(&name, info.data(), sizeof name);
    const auto* begin = reinterpret_cast<const unsigned char*>(name.buffer);
    if (!begin || begin < info.data() || begin + name.length > info.data() + info.size()) return u"";
    std::u16string text(name.length / 2, u'\0');
    std::memcpy(text.data(), begin, text.size() * 2);
    if (text.rfind(u"\\??\\UNC\\", 0) == 0) return u"\\\\" + text.substr(8);
    if (text.size() >= 7 && text.rfind(u"\\??\\", 0) == 0 && text[5] == u':') return text.substr(4);
    return u"";
}

}  // namespace

std::u16string FinalPath(const std::u16string& path) {
    if (path.empty() || path.find_first_of(u"*?") != std::u16string::npos) return u"";
    // Windows Vista and later; older systems have no links to resolve but
    // short names.  Looked up on each call: a cached pointer would need a
    // thread-safe static, whose guard links the library's guard code
    // into the stub.
    const GetFinalPathFn getfinal = reinterpret_cast<GetFinalPathFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    if (!getfinal) return LongForm(path);
    HANDLE handle = ::CreateFileW(setuputil::WinStr(setuputil::ExtendedPath(path)), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return u"";
    std::vector<wchar_t> buffer(MAX_PATH * 4);
    DWORD n = getfinal(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0 /* FILE_NAME_NORMALIZED | VOLUME_NAME_DOS */);
    if (n >= buffer.size() && n < 32768) {  // the size it needs, the end included
        buffer.assign(n + 1, L'\0');
        n = getfinal(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    std::u16string final;
    if (n != 0 && n < buffer.size()) final = setuputil::FromWinStr(buffer.data());
    else final = ObjectManagerPath(handle);
    ::CloseHandle(handle);
    if (final.rfind(u"\\\\?\\UNC\\", 0) == 0) return u"\\\\" + final.substr(8);
    if (final.rfind(u"\\\\?\\", 0) == 0) return final.substr(4);
    return final;
}

ProtectedPlaces ProtectedFolders() {
    ProtectedPlaces places;
    std::vector<std::u16string>& list = places.folders;
    std::vector<std::u16string>& trees = places.trees;
    // Every CSIDL the shell knows lies below 0x40; ids it does not know, or
    // folders that do not exist, simply answer nothing.
    for (int csidl = 0; csidl < 0x40; ++csidl) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) && buffer[0] != 0)
            Add(list, setuputil::FromWinStr(buffer));
    }
    wchar_t buffer[MAX_PATH] = {};
    if (::GetWindowsDirectoryW(buffer, MAX_PATH) != 0) Add(trees, setuputil::FromWinStr(buffer));
    buffer[0] = 0;
    if (::GetSystemDirectoryW(buffer, MAX_PATH) != 0) Add(trees, setuputil::FromWinStr(buffer));
    buffer[0] = 0;
    if (::GetTempPathW(MAX_PATH, buffer) != 0) Add(list, setuputil::FromWinStr(buffer));
    Add(trees, EnvironmentValue(L"SystemRoot"));
    // The user's own Programs folder as the known-folders API names it (no
    // CSIDL does; it may be redirected away from the profile), which holds
    // every per-user product's folder.
    Add(list, setuputil::GetUserProgramsFolder());

    // A 32-bit program on 64-bit Windows gets "Program Files (x86)" for
    // every Program Files folder above; the 64-bit ones come from the
    // registry's 64-bit view and the environment.
    constexpr wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    std::vector<std::u16string> programfiles;
    for (const wchar_t* name : {L"ProgramFilesDir", L"ProgramW6432Dir", L"ProgramFilesDir (x86)"})
        programfiles.push_back(MachineValue64(kCurrentVersion, name));
    for (const wchar_t* name : {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)"})
        programfiles.push_back(EnvironmentValue(name));
    for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86}) {
        wchar_t folder[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) programfiles.push_back(setuputil::FromWinStr(folder));
    }
    for (const std::u16string& folder : programfiles) {
        if (folder.empty()) continue;
        Add(list, folder);
        for (const char16_t* name : kSystemApplications) Add(trees, Joined(folder, name));
    }
    for (const wchar_t* name : {L"CommonFilesDir", L"CommonW6432Dir", L"CommonFilesDir (x86)"})
        Add(trees, MachineValue64(kCurrentVersion, name));
    for (const wchar_t* name : {L"CommonProgramW6432", L"CommonProgramFiles", L"CommonProgramFiles(x86)"})
        Add(trees, EnvironmentValue(name));
    const std::u16string programdata = EnvironmentValue(L"ProgramData");
    Add(list, programdata);
    Add(trees, Joined(programdata, u"Microsoft"));

    // The folder that holds every user's profile, each folder in it, every
    // profile the system lists and the folders a profile is made of.
    std::vector<std::u16string> profiles = Profiles();
    std::u16string profilesroot =
        MachineValue64(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", L"ProfilesDirectory");
    buffer[0] = 0;
    if (::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROFILE, FALSE) && buffer[0] != 0) {
        const std::u16string mine = setuputil::FromWinStr(buffer);
        profiles.push_back(mine);
        if (profilesroot.empty()) profilesroot = ParentOf(mine);
        Add(list, ParentOf(mine));
    }
    Add(list, profilesroot);
    for (const std::u16string& folder : Subfolders(profilesroot)) profiles.push_back(folder);
    // The system's own profiles, also before they exist.
    Add(trees, MachineValue64(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", L"Default"));
    for (const char16_t* name : {u"Default", u"Default User"}) Add(trees, Joined(profilesroot, name));
    for (const char16_t* name : {u"Public", u"All Users"}) profiles.push_back(Joined(profilesroot, name));
    for (const std::u16string& profile : profiles) {
        Add(list, profile);
        for (const std::u16string& folder : Subfolders(profile)) Add(list, folder);
        for (const char16_t* name : {u"AppData\\Roaming", u"AppData\\Local", u"AppData\\LocalLow",
                                     u"AppData\\Local\\Programs"})
            Add(list, Joined(profile, name));
    }

    // Every drive's root.
    wchar_t drives[26 * 4 + 1] = {};
    const DWORD n = ::GetLogicalDriveStringsW(26 * 4, drives);
    if (n != 0 && n <= 26 * 4)
        for (const wchar_t* drive = drives; *drive != 0; drive += ::lstrlenW(drive) + 1)
            list.push_back(setuputil::FromWinStr(drive));
    return places;
}

bool IsSameFolderHere(const std::u16string& a, const std::u16string& b) {
    if (!IsAbsoluteFilePath(a) || !IsAbsoluteFilePath(b)) return false;
    if (IsSamePlace(a, b)) return true;
    const std::u16string x = FinalPath(a), y = FinalPath(b);
    return !x.empty() && !y.empty() && IsSamePlace(x, y);
}

bool IsRemovableFolderHere(const std::u16string& path) {
    const ProtectedPlaces places = ProtectedFolders();
    if (!IsRemovableFolder(path, places.folders, places.trees)) return false;
    for (const std::u16string& form : {LongForm(path), FinalPath(path)})
        if (!form.empty() && !IsRemovableFolder(form, places.folders, places.trees)) return false;
    return true;
}

}  // namespace installengine
