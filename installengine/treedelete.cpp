#include "installengine/treedelete.hpp"

#include "installengine/protectedfolders.hpp"
#include "installengine/uninstallguard.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace installengine {

namespace {

// Deeper than any folder an install creates; a loop the system reports
// without a link attribute ends here.
constexpr int kMaxDepth = 128;

// The form the file calls take: past the classic limit a drive path goes
// in its extended-length form, which the system takes as it is.
std::u16string Api(const std::u16string& path) {
    if (path.size() < MAX_PATH - 12 || path.size() < 3 || path[1] != u':' || path[2] != u'\\') return path;
    return u"\\\\?\\" + path;
}

DWORD Attributes(const std::u16string& path) { return ::GetFileAttributesW(setuputil::WinStr(Api(path))); }

// Wine hands a delete of a Unix link on to the link's target; Windows
// removes the link itself.
bool RemovingALinkRemovesItsTarget() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// True unless the entry `name` of a folder whose final path is
// `finalfolder` resolves where its name says: a link the system does not
// mark as one (Wine shows its links to files as plain files), or an entry
// whose final path cannot be told.
bool LeadsOut(const std::u16string& full, const std::u16string& finalfolder, const std::u16string& name) {
    if (finalfolder.empty()) return true;
    const std::u16string final = FinalPath(full);
    return final.empty() || !IsSamePlace(final, finalfolder + u"\\" + name);
}

bool RemoveLink(const std::u16string& full, DWORD attributes) {
    if (RemovingALinkRemovesItsTarget()) return false;
    // The link's own attributes are left alone: setting them through the
    // path could reach the target.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ::RemoveDirectoryW(setuputil::WinStr(Api(full))) != 0;
    return ::DeleteFileW(setuputil::WinStr(Api(full))) != 0;
}

bool Unprotect(const std::u16string& full, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return ::SetFileAttributesW(setuputil::WinStr(Api(full)), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
    return true;
}

bool EmptyFolder(const std::u16string& folder, const std::u16string& finalfolder, int depth,
                 const std::u16string& keep = u"");

// One entry of a folder whose final path is `finalfolder`, with what the
// find calls told of it.
bool DeleteEntry(const std::u16string& full, const std::u16string& finalfolder, const std::u16string& name,
                 DWORD attributes, int depth) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLink(full, attributes);
    if (LeadsOut(full, finalfolder, name)) return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EmptyFolder(full, finalfolder + u"\\" + name, depth + 1) && Unprotect(full, attributes) &&
               ::RemoveDirectoryW(setuputil::WinStr(Api(full))) != 0;
    return Unprotect(full, attributes) && ::DeleteFileW(setuputil::WinStr(Api(full))) != 0;
}

// Empties `folder` (whose final path is `finalfolder`) but for `keep`; true
// when nothing else is left.
bool EmptyFolder(const std::u16string& folder, const std::u16string& finalfolder, int depth,
                 const std::u16string& keep) {
    if (depth > kMaxDepth) return false;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(setuputil::WinStr(Api(folder + u"\\*")), &found);
    if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        const std::u16string name = setuputil::FromWinStr(found.cFileName);
        if (name == u"." || name == u".." || (!keep.empty() && IsSamePlace(folder + u"\\" + name, folder + u"\\" + keep)))
            continue;
        ok = DeleteEntry(folder + u"\\" + name, finalfolder, name, found.dwFileAttributes, depth) && ok;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return ok;
}

}  // namespace

bool DeleteFolderTree(const std::u16string& input, const std::u16string& last) {
    if (input.empty() || input.find_first_of(u"*?") != std::u16string::npos) return false;
    std::u16string path = input;
    while (path.size() > 3 && path.back() == u'\\') path.pop_back();
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return !setuputil::FolderExists(path);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    const std::u16string finalpath = FinalPath(path);
    if (finalpath.empty()) return false;
    if (EmptyFolder(path, finalpath, 0, last) && !last.empty()) {
        const std::u16string file = path + u"\\" + last;
        const DWORD fileattributes = Attributes(file);
        if (fileattributes != INVALID_FILE_ATTRIBUTES) DeleteEntry(file, finalpath, last, fileattributes, 0);
    }
    Unprotect(path, attributes);
    ::RemoveDirectoryW(setuputil::WinStr(Api(path)));
    return Attributes(path) == INVALID_FILE_ATTRIBUTES;
}

bool DeleteEntryOf(const std::u16string& folder, const std::u16string& finalfolder, const std::u16string& relative,
                   bool isfolder) {
    if (relative.empty() || relative.find_first_of(u"*?") != std::u16string::npos) return false;
    const std::u16string full = setuputil::AddBackslash(folder) + relative;
    const DWORD attributes = Attributes(full);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    const bool foundfolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (foundfolder != isfolder) return true;
    // The entry's own name is its last part; the parts above it must lead
    // where their names say as well, which its final path shows.
    if (finalfolder.empty()) return false;
    const std::size_t slash = relative.find_last_of(u'\\');
    const std::u16string parent = slash == std::u16string::npos ? u"" : relative.substr(0, slash);
    const std::u16string finalparent = parent.empty() ? finalfolder : finalfolder + u"\\" + parent;
    const std::u16string name = slash == std::u16string::npos ? relative : relative.substr(slash + 1);
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !parent.empty()) {
        const std::u16string finalofparent = FinalPath(setuputil::AddBackslash(folder) + parent);
        if (finalofparent.empty() || !IsSamePlace(finalofparent, finalparent)) return false;
    }
    if (!DeleteEntry(full, finalparent, name, attributes, 0)) return false;
    return Attributes(full) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace installengine
