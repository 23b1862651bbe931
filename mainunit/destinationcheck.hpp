// Whether a destination folder may take the product, asked by the
// destination page's Next and by every other way a destination is given.
#pragma once

#include <string>

namespace mainunit {

// The message to show for `folder`, or "" when it is accepted.  Refused:
// a folder that is not absolute (it would depend on the current folder and
// register a "Path" the uninstall cannot remove), and one the uninstall
// would refuse to delete: a protected folder of this machine (Windows,
// Program Files of either kind, a user's profile or the folder holding
// them, a drive's root, ...) or a parent of one, or a name the platform
// would read as a pattern.  The second message names the folder.
std::u16string DestinationRefusal(const std::u16string& folder);

}  // namespace mainunit
