// Deleting what an install made, never through a link.
//
// The tree is walked with the plain file calls: files (read-only ones
// too) are deleted, folders emptied and removed.  An entry the system marks
// as a link or junction is removed as a link -- its target is never
// entered -- where the system removes links as links (Windows); where
// removing one would remove its target (Wine removes what a Unix link
// points to), it stays.  An entry whose final path lies outside the folder
// being walked (a link the system does not mark) or cannot be told at all
// (a path the system cannot resolve) stays too: nothing is deleted on
// trust.  What stays keeps the folders above it, and the caller's record.
//
// Paths of any length: past the classic limit they are handed to the
// system in their extended-length form.
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

// The entry `relative` of the folder `folder` whose final path is
// `finalfolder` -- a file, or with `isfolder` a folder with everything in
// it -- deleted when its own final path is where its name says, or removed
// as a link as above.  An entry of the other kind there now is not the one
// recorded: it stays, and counts as gone.  True when it is gone afterwards
// (also when it was missing).
bool DeleteEntryOf(const std::u16string& folder, const std::u16string& finalfolder, const std::u16string& relative,
                   bool isfolder);

}  // namespace installengine
