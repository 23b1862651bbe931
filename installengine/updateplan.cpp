#include "installengine/updateplan.hpp"

#include "setuputil/namefold.hpp"

#include <algorithm>
#include <cctype>
#include <set>

namespace installengine {

namespace {

// The leading dot-separated numbers, each without its leading zeros.
std::vector<std::string> LeadingNumbers(const std::string& version) {
    std::vector<std::string> numbers;
    std::size_t at = 0;
    while (at < version.size() && std::isdigit(static_cast<unsigned char>(version[at]))) {
        std::size_t end = at;
        while (end < version.size() && std::isdigit(static_cast<unsigned char>(version[end]))) ++end;
        std::string number = version.substr(at, end - at);
        number.erase(0, std::min(number.find_first_not_of('0'), number.size()));
        numbers.push_back(number);
        if (end >= version.size() || version[end] != '.') break;
        at = end + 1;
    }
    return numbers;
}

int CompareNumbers(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

// Names as the file system matches them.
std::u16string Folded(const std::u16string& text) { return setuputil::FoldName(text); }

}  // namespace

int CompareProductVersions(const std::string& version, const std::string& installed) {
    const std::vector<std::string> mine = LeadingNumbers(version), theirs = LeadingNumbers(installed);
    if (mine.empty() || theirs.empty()) return version == installed ? 0 : 1;
    for (std::size_t i = 0; i < std::max(mine.size(), theirs.size()); ++i) {
        const std::string a = i < mine.size() ? mine[i] : std::string();
        const std::string b = i < theirs.size() ? theirs[i] : std::string();
        if (const int order = CompareNumbers(a, b); order != 0) return order;
    }
    return 0;
}

InstallKind KindOfInstall(bool installed, const std::string& installedversion, const std::string& version) {
    if (!installed) return InstallKind::FirstInstall;
    const int order = CompareProductVersions(version, installedversion);
    if (order < 0) return InstallKind::Downgrade;
    return order == 0 ? InstallKind::Repair : InstallKind::Update;
}

bool IsInUpdateBackup(const std::u16string& relative) {
    const std::u16string folded = Folded(relative), backup = Folded(kUpdateBackupFolder);
    return folded.compare(0, backup.size(), backup) == 0 &&
           (folded.size() == backup.size() || folded[backup.size()] == u'\\');
}

DroppedEntries DroppedByUpdate(const InstallRecord& installed, const std::vector<std::u16string>& newfiles,
                               const std::vector<std::u16string>& newfolders) {
    std::set<std::u16string> keep{Folded(kInstallRecordName)};
    for (const std::u16string& file : newfiles) keep.insert(Folded(file));
    std::set<std::u16string> keepfolders;
    for (const std::u16string& folder : newfolders) keepfolders.insert(Folded(folder));
    // A folder that holds a new file stays as well.
    for (const std::u16string& file : newfiles)
        for (std::size_t slash = file.find(u'\\'); slash != std::u16string::npos; slash = file.find(u'\\', slash + 1))
            keepfolders.insert(Folded(file.substr(0, slash)));
    DroppedEntries dropped;
    // A file whose name is now one of the new version's folders went aside
    // when that folder was made.
    for (const std::u16string& file : installed.files) {
        const std::u16string folded = Folded(file);
        if (!keep.count(folded) && !keepfolders.count(folded) && !IsInUpdateBackup(file)) dropped.files.push_back(file);
    }
    for (auto it = installed.folders.rbegin(); it != installed.folders.rend(); ++it)
        if (!keepfolders.count(Folded(*it)) && !IsInUpdateBackup(*it))
            dropped.folders.push_back(*it);
    return dropped;
}

}  // namespace installengine
