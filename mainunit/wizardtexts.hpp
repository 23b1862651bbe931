// Every text the wizard builds from the product's name and version, and the
// fixed messages of its questions and failures.  Product texts are 8-bit
// (the code page of the registration and the trailer); the wizard converts
// them for display.
#pragma once

#include <string>
#include <vector>

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

// Installing over an installed version (product, versions and folder as
// the registration and the trailer give them).
std::u16string DowngradeRefused(const std::u16string& product, const std::u16string& installed,
                                const std::u16string& version);
std::u16string InstalledElsewhere(const std::u16string& product, const std::u16string& folder);
// The Retry/Cancel question about a file another program holds; `programs`
// are the holders the system names, none when it names none.
std::u16string FileInUse(const std::u16string& file, const std::vector<std::u16string>& programs);
inline constexpr char16_t kUpdateRestored[] = u"The installed version was restored.";
std::u16string UpdateNotRestored(const std::u16string& what);

inline constexpr char16_t kCancelInstallQuestion[] = u"Are you sure you want to cancel this installation?";
inline constexpr char16_t kCancelUninstallQuestion[] = u"Are you sure you want to cancel this uninstall?";
inline constexpr char16_t kCancellingLabel[] = u"Cancelling installation...";
inline constexpr char16_t kNoUninstallInfo[] = u"Could not find uninstall information for this program.";

}  // namespace mainunit
