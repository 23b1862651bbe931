// The texts the wizard builds from the product's name and version, in the
// language it speaks (mainunit/wizardlanguage.hpp), and the rules of the
// destination box.  The 8-bit forms are the English texts with the 8-bit
// product texts of the trailer and the registration inserted as they are;
// they and the English failure texts live in englishtexts.cpp, which the
// stub does not link.
#pragma once

#include "mainunit/wizardlanguage.hpp"

#include <string>

namespace mainunit {

template <class String>
struct BasicInstallTexts {
    String caption;
    String welcometitle;
    String welcomelabel;
    String installpathlabel;
    String clicknext2;
    String installinglabel;
    String finishlabel;
    String launch;
};

template <class String>
struct BasicUninstallTexts {
    String caption;
    String welcometitle;
    String welcomelabel;
    String clicknext1;
    String uninstallfinishlabel;
};

using InstallTexts = BasicInstallTexts<std::string>;
using UninstallTexts = BasicUninstallTexts<std::string>;

InstallTexts MakeInstallTexts(const std::string& product, const std::string& version);
UninstallTexts MakeUninstallTexts(const std::string& product);
BasicInstallTexts<std::u16string> MakeInstallTexts(const WizardLanguage& language, const std::u16string& product,
                                                   const std::u16string& version);
BasicUninstallTexts<std::u16string> MakeUninstallTexts(const WizardLanguage& language, const std::u16string& product);

// The destination box: the chosen folder without a trailing backslash,
// then the product's own subfolder (which begins with one).
std::u16string DestinationText(const std::u16string& folder, const std::u16string& defaultsubfolder);

// What Finish opens: a file in the folder the destination box names.
std::u16string FileInFolder(const std::u16string& folder, const std::u16string& name);

// The two installation failures in English, `errortext` in parentheses.
std::u16string SetupDataProblem(const std::u16string& errortext);
std::u16string InstallationError(const std::u16string& errortext);

}  // namespace mainunit
