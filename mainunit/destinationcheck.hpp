// The one check of an installation folder before anything is written to
// it, made by the destination page's Next and by the unattended run's /D=.
#pragma once

#include <string>

namespace mainunit {

// The message that refuses `folder`, or "" when it is accepted.  Refused:
// a folder that is not absolute (it would depend on the current folder,
// and its registered "Path" could never be removed).
std::u16string DestinationRefusal(const std::u16string& folder);

}  // namespace mainunit
