// The English 8-bit forms of the wizard's texts and its two failure texts,
// for tools and tests.  A file of their own so that the stub, which speaks
// through WizardLanguage, does not carry them.
#include "mainunit/wizardtexts.hpp"

#include "mainunit/wizardtextsof.hpp"

namespace mainunit {

using payload::TextId;

namespace {

std::string English(TextId id, const std::string& product, const std::string& version) {
    return payload::FillText<char>(payload::EnglishText(id), {{"product", product}, {"version", version}});
}

std::u16string EnglishWide(TextId id, const std::u16string& error) {
    return WizardLanguage().Text(id, {{u"error", error}});
}

}  // namespace

InstallTexts MakeInstallTexts(const std::string& product, const std::string& version) {
    return detail::InstallTextsOf(English, product, version);
}

UninstallTexts MakeUninstallTexts(const std::string& product) { return detail::UninstallTextsOf(English, product); }

std::u16string SetupDataProblem(const std::u16string& errortext) {
    return EnglishWide(TextId::SetupDataProblem, errortext);
}

std::u16string InstallationError(const std::u16string& errortext) {
    return EnglishWide(TextId::InstallationError, errortext);
}

}  // namespace mainunit
