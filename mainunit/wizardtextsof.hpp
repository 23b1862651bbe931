// How the wizard's install and uninstall texts are made from one text
// function, shared by the forms in the user's language (wizardtexts.cpp)
// and the English 8-bit forms (englishtexts.cpp).
#pragma once

#include "mainunit/wizardtexts.hpp"

namespace mainunit::detail {

using payload::TextId;

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

}  // namespace mainunit::detail
