// ForceFolders is the same on every platform; only what counts as a
// separator differs (see fileops_backend.hpp).
#include "setuputil/fileops.hpp"

#include "setuputil/fileops_backend.hpp"
#include "setuputil/widestr.hpp"

namespace setuputil {

bool ForceFolders(const std::u16string& path) {
    if (path.empty()) return false;
    // Most folders are made below one that exists: one call to the system
    // then, where testing each level first would cost a directory search
    // per level (under Wine several server round trips each).
    if (detail::CreateOneFolder(path) || FolderExists(path)) return true;
    const std::int64_t cut = detail::LastSeparatorPos(path);
    if (cut <= 0) return false;
    // The chain is built top-down; a parent that cannot be made shows up as
    // the failure of the folder below it.  With a trailing separator the
    // parent is the folder itself, so it may be there by now.
    const std::u16string parent = CopyLeftW(path, cut - 1);
    if (!parent.empty()) ForceFolders(parent);
    return detail::CreateOneFolder(path) || FolderExists(path);
}

}  // namespace setuputil
