// What an installer would do, before anyone runs it: every effect of its
// install in the order the install sequence has them, and what its
// uninstall would remove.  Built from the same plans the installer's worker
// carries out (installengine's InputsFromInstaller, PlanRegistration,
// PlanShortcuts, PlanInstallRecord, PlanDeclared), with the folders of a
// typical machine where the installer would ask the running one: so the
// list cannot drift from what the install does.  `tallowin plan` shows it,
// `tallowin diff` compares two (docs/plan.md).
#pragma once

#include "tools/tallowin/installerfile.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallowin {

struct PlanOptions {
    std::optional<payload::InstallScope> scope;  // must be the installer's own when given
    std::string language = "en";                 // the wizard's language: the "Language" value
    std::u16string folder;                       // the program folder; "" the one the wizard proposes
};

struct Effect {
    std::string kind;       // folder, file, uninstaller, record, registry, service, shortcut, path,
                            // variable, filetype, protocol; for the uninstall also: remove
    std::u16string target;  // a path, a registry value ("HKLM\...\Name"), a name
    std::u16string detail;  // the value, the command, the link's target ...
    std::u16string view;    // where a 32-bit installer's value lands on 64-bit Windows, when elsewhere
    std::int64_t size = -1; // a file's
    std::optional<std::uint32_t> crc32;  // a file's, when known
};

struct InstallEffects {
    std::string product, version, scope, architecture;
    // The trailer's 8-bit name (UTF-8 here), which names the uninstall key;
    // "" when it is the product name itself.
    std::string productkey;
    std::u16string folder;
    std::vector<std::pair<std::string, bool>> tasks;  // declared, with their defaults (all shown as chosen)
    std::vector<Effect> install;
    std::vector<Effect> uninstall;
};

// False (with `error`, a usage fault) when the options do not fit the installer.
bool PlanEffects(const Installer& installer, const PlanOptions& options, InstallEffects& out, std::string& error);

// The text a person reads and the JSON shape (version 1) of docs/plan.md.
void PrintEffects(std::ostream& out, const InstallEffects& effects);
void PrintEffectsJson(std::ostream& out, const InstallEffects& effects);
void PrintEffectJson(std::ostream& out, const Effect& effect);

}  // namespace tallowin
