#include "installengine/treedelete.hpp"

#include "installengine/protectedfolders.hpp"
#include "installengine/uninstallguard.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace installengine {

namespace {

// Deeper than any folder an install creates; a loop the system reports
// without a link attribute ends here.
constexpr int kMaxDepth = 128;

// True when the entry `name` of a folder whose final path is `finalfolder`
// resolves somewhere else: a link the system does not mark as one (Wine
// shows its links to files as plain files, and deleting one deletes the
// target).  An entry whose final path cannot be told is taken as it is.
bool LeadsOut(const std::u16string& full, const std::u16string& finalfolder, const std::u16string& name) {
    if (finalfolder.empty()) return false;
    const std::u16string final = FinalPath(full);
    return !final.empty() && !IsSamePlace(final, finalfolder + u"\\" + name);
}

bool RemoveLink(const std::u16string& full, DWORD attributes) {
    // The link's own attributes are left alone: setting them through the
    // path could reach the target.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ::RemoveDirectoryW(setuputil::WinStr(full)) != 0;
    return ::DeleteFileW(setuputil::WinStr(full)) != 0;
}

bool Unprotect(const std::u16string& full, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return ::SetFileAttributesW(setuputil::WinStr(full), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
    return true;
}

// Empties `folder` (whose final path is `finalfolder`) but for `keep`; true
// when nothing else is left.
bool EmptyFolder(const std::u16string& folder, const std::u16string& finalfolder, int depth,
                 const std::u16string& keep = u"") {
    if (depth > kMaxDepth) return false;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(setuputil::WinStr(folder + u"\\*"), &found);
    if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        const std::u16string name = setuputil::FromWinStr(found.cFileName);
        if (name == u"." || name == u".." || (!keep.empty() && IsSamePlace(folder + u"\\" + name, folder + u"\\" + keep)))
            continue;
        const std::u16string full = folder + u"\\" + name;
        const DWORD attributes = found.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || LeadsOut(full, finalfolder, name)) {
            ok = RemoveLink(full, attributes) && ok;
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = EmptyFolder(full, FinalPath(full), depth + 1) && Unprotect(full, attributes) &&
                 ::RemoveDirectoryW(setuputil::WinStr(full)) != 0 && ok;
        } else {
            ok = Unprotect(full, attributes) && ::DeleteFileW(setuputil::WinStr(full)) != 0 && ok;
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return ok;
}

}  // namespace

bool DeleteFolderTree(const std::u16string& input, const std::u16string& last) {
    if (input.empty() || input.find_first_of(u"*?") != std::u16string::npos) return false;
    std::u16string path = input;
    while (path.size() > 3 && path.back() == u'\\') path.pop_back();
    const DWORD attributes = ::GetFileAttributesW(setuputil::WinStr(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return !setuputil::FolderExists(path);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    if (EmptyFolder(path, FinalPath(path), 0, last) && !last.empty()) {
        const std::u16string file = path + u"\\" + last;
        const DWORD fileattributes = ::GetFileAttributesW(setuputil::WinStr(file));
        if (fileattributes != INVALID_FILE_ATTRIBUTES && Unprotect(file, fileattributes))
            ::DeleteFileW(setuputil::WinStr(file));
    }
    Unprotect(path, attributes);
    ::RemoveDirectoryW(setuputil::WinStr(path));
    return !setuputil::FolderExists(path);
}

}  // namespace installengine
