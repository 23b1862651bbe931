#include "mainunit/startoptions.hpp"

#include "installengine/registration.hpp"
#include "payload/texttable.hpp"
#include "setuputil/utf8.hpp"

#include <iterator>

namespace mainunit {

namespace {

constexpr char16_t kDestinationSwitch[] = u"/D=";
constexpr char16_t kLogSwitch[] = u"/LOG=";

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

// True when `param` begins with `prefix` in any letter case.
bool StartsWithSwitch(const std::u16string& param, const std::u16string& prefix) {
    if (param.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Upper(param[i]) != Upper(prefix[i])) return false;
    return true;
}

bool IsSwitch(const std::u16string& param, const std::u16string& name) {
    return param.size() == name.size() && StartsWithSwitch(param, name);
}

// The names of a /TASKS= value, in order: split at commas, blanks around
// each dropped, empty items skipped.
std::vector<TaskChange> ReadTaskChanges(const std::u16string& value) {
    std::vector<TaskChange> changes;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(u',', start);
        if (end == std::u16string::npos) end = value.size();
        std::u16string item = value.substr(start, end - start);
        const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
        while (!item.empty() && blank(item.back())) item.pop_back();
        std::size_t first = 0;
        while (first < item.size() && blank(item[first])) ++first;
        item.erase(0, first);
        if (!item.empty()) {
            TaskChange change;
            change.chosen = item[0] != u'!';
            change.name = change.chosen ? item : item.substr(1);
            changes.push_back(change);
        }
        start = end + 1;
    }
    return changes;
}

}  // namespace

StartOptions ParseStartOptions(const std::vector<std::u16string>& params) {
    StartOptions options;
    options.uninstallmode = params.size() > 1 && params[1] == installengine::kUninstallSwitch;
    if (options.uninstallmode && params.size() > 2) options.programname = params[2];
    const std::size_t first = options.uninstallmode ? 3 : 1;

    std::u16string refusal;
    payload::TextId refusalid = payload::TextId::UnknownSwitch;
    std::u16string refusedswitch;
    const auto refuse = [&](payload::TextId id, const std::u16string& what) {
        if (!refusal.empty()) return;
        refusalid = id;
        refusedswitch = what;
        refusal = payload::FillText<char16_t>(
            setuputil::Utf8ToUtf16Replacing(std::string(payload::EnglishText(id))), {{u"switch", what}});
    };
    bool haslog = false, haslanguage = false, hastasks = false;
    for (std::size_t i = first; i < params.size(); ++i) {
        const std::u16string& param = params[i];
        const std::u16string destswitch = kDestinationSwitch, logswitch = kLogSwitch;
        if (IsSwitch(param, installengine::kUnattendedSwitch)) {
            options.unattended = true;
        } else if (!options.uninstallmode && StartsWithSwitch(param, destswitch)) {
            if (options.destination) refuse(payload::TextId::RepeatedSwitch, destswitch);
            options.destination = param.substr(destswitch.size());
        } else if (StartsWithSwitch(param, logswitch) && param.size() > logswitch.size()) {
            if (haslog) refuse(payload::TextId::RepeatedSwitch, logswitch);
            haslog = true;
            options.logfile = param.substr(logswitch.size());
        } else if (StartsWithSwitch(param, kLanguageSwitch)) {
            // Checked against the tables the wizard carries; a malformed code
            // is refused here already.
            const std::string code = payload::CanonicalLanguageCode(setuputil::Utf16ToUtf8(param.substr(6)));
            if (haslanguage) refuse(payload::TextId::RepeatedSwitch, kLanguageSwitch);
            else if (code.empty()) refuse(payload::TextId::UnknownSwitch, param);
            haslanguage = true;
            options.language = code;
        } else if (!options.uninstallmode && StartsWithSwitch(param, kTasksSwitch)) {
            if (hastasks) refuse(payload::TextId::RepeatedSwitch, kTasksSwitch);
            hastasks = true;
            const std::vector<TaskChange> changes = ReadTaskChanges(param.substr(std::size(kTasksSwitch) - 1));
            options.taskchanges.insert(options.taskchanges.end(), changes.begin(), changes.end());
        } else {
            refuse(payload::TextId::UnknownSwitch, param);
        }
    }
    // Without /S every command line keeps its old meaning: nothing is
    // refused and no destination is taken from it.
    if (options.unattended) {
        options.refusal = refusal;
        options.refusalid = refusalid;
        options.refusedswitch = refusedswitch;
    } else {
        options.destination.reset();
    }
    return options;
}

}  // namespace mainunit
