#include "mainunit/destinationcheck.hpp"

#include "installengine/protectedfolders.hpp"
#include "payload/entrypath.hpp"
#include "payload/pathbounds.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"

namespace mainunit {

std::u16string DestinationRefusal(const std::u16string& folder, const WizardLanguage& language) {
    // A share names a drive by another name than the one the protected
    // folders hold ("\\localhost\c$\Program Files"): never a program folder.
    const auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    const bool share = folder.size() >= 2 && separator(folder[0]) && separator(folder[1]);
    bool usable = setuputil::IsAbsoluteFolder(folder) && !share;
    for (char16_t c : folder) usable = usable && !payload::IsForbiddenNameChar(c);
    // The install record holds the folder in one bounded line: a longer one
    // would fail the install after its files are written.
    usable = usable && folder.size() < payload::kMaxRecordPathUnits;
    if (!usable) return language.Text(payload::TextId::InvalidFolder);
    // The uninstall deletes the program folder as a whole: a folder it
    // would refuse is one the product could never be removed from.
    if (!installengine::IsRemovableFolderHere(folder))
        return language.Text(payload::TextId::FolderNotUsable, {{u"folder", folder}});
    return {};
}

}  // namespace mainunit
