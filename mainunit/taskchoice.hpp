// The optional tasks of an install (payload::TaskDeclaration): which are
// chosen before the tasks page or an unattended run, and what the page
// calls each.
//
// The chosen set starts from each task's default; an update (or a repair)
// starts instead from the choices the installed version's install record
// holds (installengine/installrecord.hpp, "task <name> yes|no") for the
// tasks it lists, so that the user's earlier choices stay; then the
// changes of /TASKS= (startoptions.hpp) apply, in their order.  Names
// compare as Windows compares them, letter case aside; the chosen names
// are spelled as the product declares them.
#pragma once

#include "mainunit/startoptions.hpp"
#include "mainunit/wizardlanguage.hpp"
#include "payload/declarations.hpp"

#include <string>
#include <utility>
#include <vector>

namespace mainunit {

// The names of the chosen tasks, in the order of `tasks`.  False when a
// change names no task of `tasks`: `unknown` is then that name as given
// ("!" before it when it unchooses), and `chosen` is left as it was.
bool ChooseTasks(const std::vector<payload::TaskDeclaration>& tasks,
                 const std::vector<std::pair<std::string, bool>>& earlier, const std::vector<TaskChange>& changes,
                 std::vector<std::string>& chosen, std::u16string& unknown);

// The caption of `task` in `language`: the vendor's caption of that
// language (by its code, else of the same language, as tables are
// chosen), else the vendor's `text`, else -- for the desktopicon task --
// our own text.
std::u16string TaskCaption(const payload::TaskDeclaration& task, const WizardLanguage& language);

}  // namespace mainunit
