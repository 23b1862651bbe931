#include "mainunit/wizardtexts.hpp"

#include "mainunit/wizardtextsof.hpp"
#include "setuputil/pathrules.hpp"

namespace mainunit {

using payload::TextId;
using detail::InstallTextsOf;
using detail::UninstallTextsOf;

BasicInstallTexts<std::u16string> MakeInstallTexts(const WizardLanguage& language, const std::u16string& product,
                                                   const std::u16string& version) {
    const auto text = [&](TextId id, const std::u16string& p, const std::u16string& v) {
        return language.Text(id, {{u"product", p}, {u"version", v}});
    };
    return InstallTextsOf(text, product, version);
}

BasicUninstallTexts<std::u16string> MakeUninstallTexts(const WizardLanguage& language, const std::u16string& product) {
    const auto text = [&](TextId id, const std::u16string& p, const std::u16string&) {
        return language.Text(id, {{u"product", p}});
    };
    return UninstallTextsOf(text, product);
}

std::u16string DestinationText(const std::u16string& folder, const std::u16string& defaultsubfolder) {
    return setuputil::RemoveBackslash(folder) + defaultsubfolder;
}

std::u16string FileInFolder(const std::u16string& folder, const std::u16string& name) {
    return setuputil::AddBackslash(folder) + name;
}

}  // namespace mainunit
