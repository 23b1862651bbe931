// Every text the wizard builds from the product's name and version, and the
// fixed messages of its questions and failures.  Product texts are 8-bit
// (the code page of the registration and the trailer); the wizard converts
// them for display.
#pragma once

#include <string>

namespace mainunit {

struct InstallTexts {
    std::string caption;
    std::string welcometitle;
    std::string welcomelabel;
    std::string installpathlabel;
    std::string clicknext2;
    std::string installinglabel;
    std::string finishlabel;
    std::string launch;
};

struct UninstallTexts {
    std::string caption;
    std::string welcometitle;
    std::string welcomelabel;
    std::string clicknext1;
    std::string uninstallfinishlabel;
};

InstallTexts MakeInstallTexts(const std::string& product, const std::string& version);
UninstallTexts MakeUninstallTexts(const std::string& product);

// The destination box: the chosen folder without a trailing backslash,
// then the product's own subfolder (which begins with one).
std::u16string DestinationText(const std::u16string& folder, const std::u16string& defaultsubfolder);

// What Finish opens: a file in the folder the destination box names.
std::u16string FileInFolder(const std::u16string& folder, const std::u16string& name);

// "(" + text + ")" wrapped messages of the two installation failures.
std::u16string SetupDataProblem(const std::u16string& errortext);
std::u16string InstallationError(const std::u16string& errortext);

inline constexpr char16_t kCancelInstallQuestion[] = u"Are you sure you want to cancel this installation?";
inline constexpr char16_t kCancelUninstallQuestion[] = u"Are you sure you want to cancel this uninstall?";
inline constexpr char16_t kCancellingLabel[] = u"Cancelling installation...";
inline constexpr char16_t kNoUninstallInfo[] = u"Could not find uninstall information for this program.";

}  // namespace mainunit
