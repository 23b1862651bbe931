#include "installengine/prerequisites.hpp"

#include "installengine/protectedfolders.hpp"
#include "installengine/uninstallguard.hpp"
#include "installengine/vendorprograms.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/shellopen.hpp"
#include "setuputil/versioninfo.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

#include <vector>

namespace installengine {

using namespace setuputil;

namespace {

constexpr DWORD kMaxCheckValueBytes = 4096;

std::u16string Decimal(std::uint64_t value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

// The value's text (a string's, or a number's in decimal) in one view of
// the registry; false when the key or the value is not there.
bool ReadCheckValue(HKEY root, const std::u16string& key, const std::u16string& name, REGSAM view,
                    std::u16string& text) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(root, WinStr(key), 0, KEY_QUERY_VALUE | view, &handle) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    bool ok = ::RegQueryValueExW(handle, WinStr(name), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
              size <= kMaxCheckValueBytes;
    std::vector<BYTE> data(size + 2, 0);
    if (ok) ok = ::RegQueryValueExW(handle, WinStr(name), nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
    ::RegCloseKey(handle);
    if (!ok) return false;
    text.clear();
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && size >= 2) {
        for (DWORD i = 0; i + 1 < size; i += 2) {
            const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (c == 0) break;
            text += c;
        }
    } else if (type == REG_DWORD && size == 4) {
        text = Decimal(data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24));
    } else if (type == REG_QWORD && size == 8) {
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i) value = (value << 8) | data[i];
        text = Decimal(value);
    }
    return true;
}

}  // namespace

bool PrerequisitePresent(const payload::PrerequisiteDeclaration& p, std::u16string& found) {
    found.clear();
    switch (p.check) {
        case payload::PrerequisiteCheck::None:
            return false;
        case payload::PrerequisiteCheck::Registry: {
            HKEY root = p.where.compare(0, 4, u"HKCU") == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            const std::u16string key = p.where.substr(5);
            for (const REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}}) {
                std::u16string text;
                if (!ReadCheckValue(root, key, p.name, view, text)) continue;
                if (CheckSatisfied(true, text, p.minversion)) {
                    found = p.where + u"\\" + (p.name.empty() ? u"(default)" : p.name) + u" = " + text;
                    return true;
                }
            }
            return false;
        }
        case payload::PrerequisiteCheck::File: {
            wchar_t system[MAX_PATH] = {};
            const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
            const std::u16string file =
                CheckFilePath(p.where, length > 0 && length < MAX_PATH ? FromWinStr(system) : u"", GetWindowsFolder(),
                              GetProgramFilesFolder());
            if (!IsAbsoluteFilePath(file) || !IsPlainFile(file)) return false;
            const std::u16string version = ReadFileVersion(file);
            if (!CheckSatisfied(true, version, p.minversion)) return false;
            found = file + (version.empty() ? u"" : u" " + version);
            return true;
        }
    }
    return false;
}

void PrerequisiteCommand(const std::u16string& installer, const std::u16string& arguments, std::u16string& program,
                         std::u16string& commandarguments) {
    const std::size_t dot = installer.rfind(u'.');
    if (dot != std::u16string::npos && SameName(installer.substr(dot), u".msi")) {
        wchar_t system[MAX_PATH] = {};
        const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            program = AddBackslash(FromWinStr(system)) + u"msiexec.exe";
            commandarguments = u"/i \"" + installer + u"\"" + (arguments.empty() ? u"" : u" " + arguments);
            return;
        }
    }
    program = installer;
    commandarguments = arguments;
}

std::u16string NewPrivateTempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    const std::u16string parent = AddBackslash(FromWinStr(temp));
    // A name nobody made before: the folder must be new, so no one else
    // can have put a file into it.
    DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 32; ++attempt) {
        seed = seed * 1103515245u + 12345u;
        std::u16string name = u"tallowin-";
        for (int shift = 28; shift >= 0; shift -= 4) name += u"0123456789abcdef"[(seed >> shift) & 15];
        const std::u16string folder = parent + name;
        if (::CreateDirectoryW(WinStr(folder), nullptr)) return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

bool RemovePrivateTempFolder(const std::u16string& folder, const std::u16string& file) {
    RemoveFile(AddBackslash(folder) + file);
    return ::RemoveDirectoryW(WinStr(folder)) != 0;
}

ProgramRun RunVendorProgram(const payload::RunDeclaration& run, const std::u16string& program,
                            const std::u16string& arguments, const std::u16string& folder, bool asuser) {
    ProgramRun result;
    const bool elevated = IsProcessElevated();
    if (asuser && elevated) {
        if (ShellExecuteAsDesktopUser(program, arguments, folder, run.hidden)) {
            result.started = true;
            result.how = u"started as the signed-in user through the desktop shell; not waited for";
            return result;
        }
    }
    unsigned long code = 0;
    result.started = RunProgram(program, arguments, folder, run.hidden, run.wait, &code);
    result.waited = result.started && run.wait;
    result.exitcode = static_cast<std::uint32_t>(code);
    result.how = !result.started      ? u"could not be started"
                 : !asuser            ? u"started with the installer's rights"
                 : !elevated          ? u"started as the user who started the installer (not elevated)"
                                      : u"the desktop shell could not be reached: started with the installer's rights";
    return result;
}

bool IsPlainFileInFolder(const std::u16string& folder, const std::u16string& relative) {
    const std::u16string path = AddBackslash(folder) + relative;
    const std::u16string finalfolder = FinalPath(RemoveBackslash(folder));
    const std::u16string finalfile = FinalPath(path);
    return IsPlainFile(path) && !finalfolder.empty() && !finalfile.empty() &&
           IsSamePlace(finalfile, finalfolder + u"\\" + relative);
}

}  // namespace installengine
