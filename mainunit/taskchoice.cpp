#include "mainunit/taskchoice.hpp"

#include "payload/texttable.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/utf8.hpp"

#include <algorithm>

namespace mainunit {

namespace {

bool SameTask(const std::string& declared, const std::u16string& name) {
    return setuputil::SameName(setuputil::Utf8ToUtf16Replacing(declared), name);
}

}  // namespace

bool ChooseTasks(const std::vector<payload::TaskDeclaration>& tasks,
                 const std::vector<std::pair<std::string, bool>>& earlier, const std::vector<TaskChange>& changes,
                 std::vector<std::string>& chosen, std::u16string& unknown) {
    std::vector<bool> on;
    for (const payload::TaskDeclaration& task : tasks) {
        bool choice = task.checked;
        for (const auto& [name, was] : earlier)
            if (SameTask(task.name, setuputil::Utf8ToUtf16Replacing(name))) choice = was;
        on.push_back(choice);
    }
    for (const TaskChange& change : changes) {
        const auto found = std::find_if(tasks.begin(), tasks.end(),
                                        [&](const payload::TaskDeclaration& t) { return SameTask(t.name, change.name); });
        if (found == tasks.end()) {
            unknown = (change.chosen ? u"" : u"!") + change.name;
            return false;
        }
        on[static_cast<std::size_t>(found - tasks.begin())] = change.chosen;
    }
    chosen.clear();
    for (std::size_t i = 0; i < tasks.size(); ++i)
        if (on[i]) chosen.push_back(tasks[i].name);
    return true;
}

std::u16string TaskCaption(const payload::TaskDeclaration& task, const WizardLanguage& language) {
    std::vector<std::string> codes;
    for (const auto& [code, text] : task.texts) codes.push_back(payload::CanonicalLanguageCode(code));
    if (const auto picked = payload::PickLanguage(codes, language.Code()); picked && !task.texts[*picked].second.empty())
        return task.texts[*picked].second;
    if (!task.text.empty()) return task.text;
    if (task.name == payload::kDesktopIconTask) return language.Text(payload::TextId::DesktopIconTask);
    return setuputil::Utf8ToUtf16Replacing(task.name);
}

}  // namespace mainunit
