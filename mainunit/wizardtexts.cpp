#include "mainunit/wizardtexts.hpp"

#include "setuputil/pathrules.hpp"

namespace mainunit {

using payload::TextId;

namespace {

// `text(id, inserts)` gives one filled text, of the String kind.
template <class String, class Text>
BasicInstallTexts<String> InstallTextsOf(const Text& text, const String& product, const String& version) {
    BasicInstallTexts<String> t;
    t.caption = text(TextId::InstallerCaption, product, version);
    t.welcometitle = text(TextId::InstallWelcomeTitle, product, version);
    t.welcomelabel = text(TextId::InstallWelcomeLabel, product, version);
    t.installpathlabel = text(TextId::InstallPathLabel, product, version);
    t.clicknext2 = text(TextId::ClickNextToInstall, product, version);
    t.installinglabel = text(TextId::InstallingLabel, product, version);
    t.finishlabel = text(TextId::FinishLabel, product, version);
    t.launch = text(TextId::RunProgram, product, version);
    return t;
}

template <class String, class Text>
BasicUninstallTexts<String> UninstallTextsOf(const Text& text, const String& product) {
    BasicUninstallTexts<String> t;
    t.caption = text(TextId::UninstallerCaption, product, String());
    t.welcometitle = text(TextId::UninstallWelcomeTitle, product, String());
    t.welcomelabel = text(TextId::UninstallWelcomeLabel, product, String());
    t.clicknext1 = text(TextId::ClickNextToUninstall, product, String());
    t.uninstallfinishlabel = text(TextId::UninstallFinishLabel, product, String());
    return t;
}

std::string English(TextId id, const std::string& product, const std::string& version) {
    return payload::FillText<char>(payload::EnglishText(id), {{"product", product}, {"version", version}});
}

std::u16string EnglishWide(TextId id, const std::u16string& error) {
    return WizardLanguage().Text(id, {{u"error", error}});
}

}  // namespace

InstallTexts MakeInstallTexts(const std::string& product, const std::string& version) {
    return InstallTextsOf(English, product, version);
}

UninstallTexts MakeUninstallTexts(const std::string& product) { return UninstallTextsOf(English, product); }

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

std::u16string SetupDataProblem(const std::u16string& errortext) {
    return EnglishWide(TextId::SetupDataProblem, errortext);
}

std::u16string InstallationError(const std::u16string& errortext) {
    return EnglishWide(TextId::InstallationError, errortext);
}

}  // namespace mainunit
