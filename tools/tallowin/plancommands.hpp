// `tallowin plan SETUP.exe` (every effect the install would have, and what
// its uninstall would remove) and `tallowin diff OLD.exe NEW.exe` (what
// installing NEW over OLD changes), as text or JSON (docs/plan.md).  Exit
// status as every command: 0, 1 a bad or damaged installer, 2 bad usage.
#pragma once

#include "tools/tallowin/installeffects.hpp"

#include <filesystem>

namespace tallowin {

struct PlanCommandOptions {
    std::filesystem::path installer;
    PlanOptions plan;
    bool json = false;
};
int RunPlan(const PlanCommandOptions& options);

struct DiffCommandOptions {
    std::filesystem::path older, newer;
    bool json = false;
};
int RunDiff(const DiffCommandOptions& options);

}  // namespace tallowin
