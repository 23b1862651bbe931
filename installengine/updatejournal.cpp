#include "installengine/updatejournal.hpp"

#include "installengine/declaredplan.hpp"

#include "installengine/protectedfolders.hpp"
#include "installengine/treedelete.hpp"
#include "installengine/uninstallerfile.hpp"
#include "installengine/uninstallguard.hpp"
#include "installengine/updateplan.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/fileaccess.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/services.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace installengine {

using namespace setuputil;

namespace {

// A service marked for deletion keeps its name until its handles close and
// its process has ended.
constexpr DWORD kServiceWaitMs = 15000;

template <class Condition>
bool WaitFor(const Condition& condition, DWORD ms) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= ms) return false;
        ::Sleep(50);
    }
    return true;
}

bool IsInUse(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// A file replaces what has its new name; a folder (one the installed
// version made, where the update puts a file) moves whole, to a free name.
bool Rename(const std::u16string& from, const std::u16string& to) {
    const DWORD attributes = ::GetFileAttributesW(WinStr(from));
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return ::MoveFileExW(WinStr(from), WinStr(to), folder ? 0 : MOVEFILE_REPLACE_EXISTING) != 0;
}

void Append(std::u16string& list, const std::u16string& item) { list += (list.empty() ? u"" : u"; ") + item; }

}  // namespace

std::u16string UpdateJournal::BackupFolder() const { return AddBackslash(folder_) + kUpdateBackupFolder; }

std::u16string UpdateJournal::Full(const std::u16string& path) const {
    const bool absolute = (path.size() > 1 && path[1] == u':') || (path.size() > 1 && path[0] == u'\\');
    return absolute ? path : AddBackslash(folder_) + path;
}

bool UpdateJournal::Begin(const std::u16string& folder) {
    folder_ = RemoveBackslash(folder);
    const std::u16string backup = BackupFolder();
    // What an update that never ended left: the installed files are past
    // saving by now, and the folder is ours.
    if (!DeleteFolderTree(backup)) return false;
    if (!ForceFolders(backup)) return false;
    ::SetFileAttributesW(WinStr(backup), FILE_ATTRIBUTE_HIDDEN);
    // Resolved once: every file moved aside is checked against it.
    finalfolder_ = FinalPath(folder_);
    active_ = true;
    return true;
}

UpdateJournal::Move UpdateJournal::MoveAside(const std::u16string& relative) {
    const std::u16string original = Full(relative);
    const DWORD attributes = ::GetFileAttributesW(WinStr(original));
    if (attributes == INVALID_FILE_ATTRIBUTES) return Move::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Move::Failed;
    // Only the entry the name says, never one a link on the way leads to.
    const std::u16string finalfile = FinalPath(original);
    if (finalfolder_.empty() || finalfile.empty() || !IsSamePlace(finalfile, finalfolder_ + u"\\" + relative))
        return Move::Failed;
    const std::u16string aside = BackupFolder() + u"\\" + relative;
    if (!ForceFolders(ParentFolder(aside))) return Move::Failed;
    if (!Rename(original, aside)) return IsInUse(::GetLastError()) ? Move::InUse : Move::Failed;
    moved_.push_back({original, aside});
    return Move::Done;
}

UpdateJournal::Move UpdateJournal::MoveAsideInPlace(const std::u16string& path) {
    if (!IsPlainFile(path)) return Move::Missing;
    const std::u16string aside = NewTemporaryFile(ParentFolder(path));
    if (aside.empty()) return Move::Failed;
    if (!Rename(path, aside)) {
        const DWORD error = ::GetLastError();
        RemoveFile(aside);
        return IsInUse(error) ? Move::InUse : Move::Failed;
    }
    moved_.push_back({path, aside});
    return Move::Done;
}

void UpdateJournal::NoteNewFile(const std::u16string& path) { newfiles_.push_back(Full(path)); }

void UpdateJournal::NoteNewFolder(const std::u16string& path) { newfolders_.push_back(Full(path)); }

void UpdateJournal::SnapshotKey(RegRoot root, const std::string& key) {
    KeyCopy copy{root, key, false, {}};
    copy.existed = ReadKeyValues(root, key, copy.values);
    keys_.push_back(std::move(copy));
}

void UpdateJournal::SnapshotValue(RegRoot root, const std::string& key, const std::u16string& name) {
    ValueCopy copy{root, key, false, {}, {}};
    copy.existed = ReadRegValue(root, key, name, copy.value);
    copy.value.name = name;
    for (const std::string& level : KeyChain(key))
        if (!RegKeyExists(root, level)) copy.missingkeys.push_back(level);
    values_.push_back(std::move(copy));
}

void UpdateJournal::SnapshotService(const std::string& name, const std::u16string& programpath, bool running) {
    services_.push_back({name, programpath, running});
}

void UpdateJournal::NoteServiceInstalled(const std::string& name) { installedservices_.push_back(name); }

void UpdateJournal::SnapshotFile(const std::u16string& path) {
    FileCopy copy{path, false, {}};
    ScopedFileAccess access;
    if (IsPlainFile(path) && OpenForRead(access.file, path)) {
        const std::int64_t size = GetFileSize64(access.file);
        if (size < 0 || size > kMaxSnapshotFile) return;  // not a shortcut of ours: left alone
        copy.bytes.resize(static_cast<std::size_t>(size));
        std::uint32_t count = static_cast<std::uint32_t>(size);
        if (size > 0) ReadBlock(access.file, copy.bytes.data(), count);
        if (count != static_cast<std::uint32_t>(size)) return;
        copy.existed = true;
    }
    files_.push_back(std::move(copy));
}

std::u16string UpdateJournal::Rollback() {
    std::u16string lost;
    if (!active_) return lost;
    for (auto it = files_.rbegin(); it != files_.rend(); ++it) {
        if (!it->existed) {
            RemoveFile(it->path);
            continue;
        }
        ScopedFileAccess access;
        bool ok = ForceFolders(ParentFolder(it->path)) && OpenForWrite(access.file, it->path) &&
                  WriteBlock(access.file, it->bytes.data(), static_cast<std::int32_t>(it->bytes.size()));
        ok = CloseAccess(access.file) && ok;
        if (!ok) Append(lost, u"the shortcut " + it->path);
    }
    for (auto it = values_.rbegin(); it != values_.rend(); ++it) {
        if (it->existed) {
            if (!WriteKeyValues(it->root, it->key, {it->value}))
                Append(lost, u"the registry value " + it->value.name + u" of " + AnsiToWide(it->key));
            continue;
        }
        DeleteRegValue(it->root, it->key, it->value.name);
        for (auto key = it->missingkeys.rbegin(); key != it->missingkeys.rend(); ++key)
            DeleteEmptyRegKey(it->root, *key);
    }
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) {
        DeleteRegTree(it->root, it->key);
        if (!it->existed) continue;
        if (!WriteKeyValues(it->root, it->key, it->values)) Append(lost, u"the registry key " + AnsiToWide(it->key));
    }
    for (const std::string& name : installedservices_) {
        if (StopServiceNamed(name)) WaitFor([&] { return !IsServiceRunning(name); }, kServiceWaitMs);
        DeleteServiceNamed(name);
    }
    for (const std::u16string& file : newfiles_) {
        const DWORD attributes = ::GetFileAttributesW(WinStr(file));
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) && !RemoveFile(file))
            Append(lost, u"the new file " + file + u" stays");
    }
    // The folders the update made go before what it moved aside comes
    // back: a file of the installed version may take such a folder's name.
    for (auto it = newfolders_.rbegin(); it != newfolders_.rend(); ++it) RemoveFolder(*it);
    bool allback = true;
    for (auto it = moved_.rbegin(); it != moved_.rend(); ++it) {
        ForceFolders(ParentFolder(it->original));
        if (!Rename(it->aside, it->original)) {
            allback = false;
            Append(lost, it->original + u" (kept as " + it->aside + u")");
        }
    }
    for (const ServiceCopy& service : services_) {
        if (!WaitFor([&] { return !ServiceExists(service.name); }, kServiceWaitMs) ||
            !InstallService(service.name, service.programpath)) {
            Append(lost, u"the service " + AnsiToWide(service.name));
            continue;
        }
        if (service.running && !StartServiceNamed(service.name))
            Append(lost, u"the service " + AnsiToWide(service.name) + u" is not running");
    }
    // What could not be moved back stays in the backup folder, not lost.
    if (allback) DeleteFolderTree(BackupFolder());
    active_ = false;
    return lost;
}

std::u16string UpdateJournal::Commit() {
    std::u16string left;
    if (!active_) return left;
    for (const Moved& moved : moved_)
        if (!IsInside(moved.aside, BackupFolder()) && !RemoveFile(moved.aside)) Append(left, moved.aside);
    if (!DeleteFolderTree(BackupFolder())) Append(left, BackupFolder());
    active_ = false;
    return left;
}

}  // namespace installengine
