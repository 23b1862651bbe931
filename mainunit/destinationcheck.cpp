#include "mainunit/destinationcheck.hpp"

#include "choosedir/tdir.hpp"
#include "installengine/protectedfolders.hpp"
#include "payload/entrypath.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"

namespace mainunit {

std::u16string DestinationRefusal(const std::u16string& folder) {
    bool usable = setuputil::IsAbsoluteFolder(folder);
    for (char16_t c : folder) usable = usable && !payload::IsForbiddenNameChar(c);
    if (!usable) return setuputil::AnsiToWide(choosedir::kInvalidFolderMessage);
    // The uninstall deletes the program folder as a whole: a folder it
    // would refuse is one the product could never be removed from.
    if (!installengine::IsRemovableFolderHere(folder))
        return u"The folder " + folder +
               u" cannot hold the program: it is a folder of the system or contains one. "
               u"Please choose a folder of the program's own.";
    return {};
}

}  // namespace mainunit
