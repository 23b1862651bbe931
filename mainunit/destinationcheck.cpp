#include "mainunit/destinationcheck.hpp"

#include "choosedir/tdir.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"

namespace mainunit {

std::u16string DestinationRefusal(const std::u16string& folder) {
    if (!setuputil::IsAbsoluteFolder(folder)) return setuputil::AnsiToWide(choosedir::kInvalidFolderMessage);
    return {};
}

}  // namespace mainunit
