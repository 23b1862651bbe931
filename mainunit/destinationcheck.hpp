// Whether a destination folder may take the product, asked by the
// destination page's Next and by the unattended run's /D=.
#pragma once

#include "mainunit/wizardlanguage.hpp"

#include <string>

namespace mainunit {

// The message to show for `folder`, or "" when it is accepted.  Refused
// with the text InvalidFolder: a folder that is not absolute (it
// would depend on the current folder and register a "Path" the uninstall
// cannot remove), one longer than the install record holds
// (payload/pathbounds.hpp), a UNC or device path ("\\server\share\...") or one that holds a character no name may (* ? " < > | or a
// control character).  Refused with a message naming the folder: one the
// uninstall would refuse to delete, a protected folder of this machine
// (Windows, Program Files of either kind, a user's profile or the folder
// holding them, a drive's root, ...) or a parent of one.
std::u16string DestinationRefusal(const std::u16string& folder, const WizardLanguage& language);

}  // namespace mainunit
