// Deleting a folder with everything below it, never through a link.
//
// The tree is walked with the plain file calls: files (read-only ones
// too) are deleted, folders emptied and removed, and a link or junction
// found inside (a reparse point, or an entry whose final path lies outside
// the folder being walked) is removed as a link -- its target is never
// entered.  Where the system cannot remove a link as a link, the link
// stays, and so does the folder holding it.
#pragma once

#include <string>

namespace installengine {

// True when the folder is gone afterwards (also when it was missing to
// begin with).  A path holding * or ? is refused (false), and so is a
// folder that is itself a link.  What can be deleted is deleted even when
// something else stays.  A file `last` directly in the folder ("" for
// none) is deleted only once everything else is gone: the install record
// stays for a retry as long as anything of the product does.
bool DeleteFolderTree(const std::u16string& path, const std::u16string& last = u"");

}  // namespace installengine
