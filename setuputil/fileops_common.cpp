// ForceFolders is the same on every platform; only what counts as a
// separator differs (see fileops_backend.hpp).
#include "setuputil/fileops.hpp"

#include "setuputil/fileops_backend.hpp"
#include "setuputil/widestr.hpp"

namespace setuputil {

bool ForceFolders(const std::u16string& path) {
    if (path.empty()) return false;
    const std::int64_t cut = detail::LastSeparatorPos(path);
    if (cut > 0) {
        const std::u16string parent = CopyLeftW(path, cut - 1);
        // The chain is built top-down; a parent that cannot be made shows up
        // as the failure of the folder below it.
        if (!parent.empty() && !FolderExists(parent)) ForceFolders(parent);
    }
    if (FolderExists(path)) return true;
    return detail::CreateOneFolder(path);
}

}  // namespace setuputil
