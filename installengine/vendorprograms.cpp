#include "installengine/vendorprograms.hpp"

#include "setuputil/utf8.hpp"

#include <algorithm>

namespace installengine {

bool IsSuccessCode(const std::vector<std::uint32_t>& codes, std::uint32_t code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

std::u16string PrerequisiteArguments(const payload::PrerequisiteDeclaration& p, bool unattended) {
    return unattended && !p.unattendedarguments.empty() ? p.unattendedarguments : p.arguments;
}

std::u16string CheckFilePath(const std::u16string& path, const std::u16string& system, const std::u16string& windows,
                             const std::u16string& programs) {
    const std::pair<std::u16string, const std::u16string*> inserts[] = {
        {u"{sys}", &system}, {u"{win}", &windows}, {u"{pf}", &programs}};
    for (const auto& [insert, folder] : inserts)
        if (path.compare(0, insert.size(), insert) == 0) return *folder + path.substr(insert.size());
    return path;
}

bool CheckSatisfied(bool present, const std::u16string& found, const std::string& minversion) {
    if (!present) return false;
    if (minversion.empty()) return true;
    // A value or a file without a version number is no proof of one.
    std::u16string number = found;
    if (!number.empty() && (number[0] == u'v' || number[0] == u'V')) number.erase(0, 1);
    if (number.empty() || number[0] < u'0' || number[0] > u'9') return false;
    return payload::CompareDottedVersions(found, std::u16string(minversion.begin(), minversion.end())) >= 0;
}

std::u16string RecordedPrerequisite(const std::u16string& file, bool skipped, std::uint32_t exitcode) {
    const std::string code = std::to_string(exitcode);
    return file + u"|" + (skipped ? u"skipped" : std::u16string(code.begin(), code.end()));
}

std::u16string RecordedRun(const payload::RunDeclaration& run, const std::u16string& arguments) {
    const std::string flags = payload::RunFlagsText(run), codes = payload::CodesText(run.successcodes);
    return std::u16string(flags.begin(), flags.end()) + u"|" + std::u16string(codes.begin(), codes.end()) + u"|" +
           run.program + u"|" + arguments;
}

bool ParseRecordedRun(const std::u16string& entry, payload::RunDeclaration& run) {
    run = {};
    run.when = payload::RunWhen::BeforeUninstall;
    const std::size_t first = entry.find(u'|');
    const std::size_t second = first == std::u16string::npos ? first : entry.find(u'|', first + 1);
    const std::size_t third = second == std::u16string::npos ? second : entry.find(u'|', second + 1);
    if (third == std::u16string::npos) return false;
    const std::string flags = setuputil::Utf16ToUtf8(entry.substr(0, first));
    const std::string codes = setuputil::Utf16ToUtf8(entry.substr(first + 1, second - first - 1));
    run.program = entry.substr(second + 1, third - second - 1);
    run.arguments = entry.substr(third + 1);
    return payload::ParseRunFlags(flags, run) && payload::ParseCodes(codes, run.successcodes) &&
           payload::IsProductRelativePath(run.program, false);
}

std::vector<payload::RunDeclaration> RunsAt(const payload::Declarations& declarations, payload::RunWhen when) {
    std::vector<payload::RunDeclaration> runs;
    for (const payload::RunDeclaration& run : declarations.runs)
        if (run.when == when) runs.push_back(run);
    return runs;
}

}  // namespace installengine
