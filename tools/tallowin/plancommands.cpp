// `tallowin plan` and `tallowin diff` (docs/plan.md).
#include "tools/tallowin/plancommands.hpp"

#include "installengine/updateplan.hpp"
#include "payload/crc32.hpp"
#include "payload/entrypath.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/utf8.hpp"
#include "tools/sacwriter/textcodec.hpp"
#include "tools/tallowin/commands.hpp"
#include "tools/tallowin/installeffects.hpp"
#include "tools/tallowin/jsontext.hpp"
#include "tools/tallowin/parallelextract.hpp"

#include <fstream>
#include <iostream>
#include <map>
#include <random>

namespace tallowin {

namespace fs = std::filesystem;
using sacwriter::Utf16ToUtf8;

namespace {

// A per-file payload keeps no checksum in its directory: its files are
// decoded into a scratch folder and summed there.  False when one fails.
bool FillChecksums(const fs::path& path, Installer& installer, InstallEffects& effects) {
    if (installer.archive.kind() == payload::PayloadKind::Solid) return true;
    std::random_device random;
    const fs::path scratch = fs::temp_directory_path() / ("tallowin-diff-" + std::to_string(random()));
    std::error_code ec;
    fs::create_directories(scratch, ec);
    installer.archive.SetInstallFolder(scratch.u16string());
    bool ok = true;
    ExtractAll(installer.archive, payload::ExtractTarget::Write, 0, nullptr,
               [&](std::size_t i, bool done, const std::u16string& text) {
                   if (done) return true;
                   Complain(path, "entry \"" + Utf16ToUtf8(payload::EntryDisplayPath(installer.archive.entrylist()[i])) +
                                      "\": " + Utf16ToUtf8(text));
                   ok = false;
                   return false;
               });
    std::map<std::u16string, std::uint32_t> sums;
    for (const payload::DirectoryEntry& entry : installer.archive.entrylist()) {
        if (!ok || entry.uninstaller || entry.prerequisite) continue;
        std::ifstream in(scratch / fs::path(payload::EntryDisplayPath(entry)).lexically_normal(), std::ios::binary);
        std::uint32_t crc = 0;
        char buffer[1 << 16];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
            crc = payload::Crc32(crc, buffer, static_cast<std::size_t>(in.gcount()));
        sums[setuputil::FoldName(payload::EntryDisplayPath(entry))] = crc;
    }
    fs::remove_all(scratch, ec);
    for (Effect& e : effects.install)
        if (e.kind == "file") {
            const std::u16string relative = e.target.substr(effects.folder.size() + 1);
            if (const auto found = sums.find(setuputil::FoldName(relative)); found != sums.end()) e.crc32 = found->second;
        }
    return ok;
}

std::u16string Key(const Effect& e) { return setuputil::FoldName(e.target) + u"|" + std::u16string(e.kind.begin(), e.kind.end()); }

bool Same(const Effect& a, const Effect& b) {
    return a.detail == b.detail && a.size == b.size && a.crc32 == b.crc32 && a.view == b.view;
}

std::string Describe(const Effect& e) {
    std::string text = e.kind + " " + Utf16ToUtf8(e.target);
    if (e.size >= 0) text += "  " + std::to_string(e.size) + " bytes";
    if (e.crc32) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(*e.crc32));
        text += std::string(" crc32 ") + hex;
    }
    if (!e.detail.empty()) text += (e.kind == "registry" ? " = " : "  ") + Utf16ToUtf8(e.detail);
    return text;
}

}  // namespace

int RunPlan(const PlanCommandOptions& options) {
    const auto installer = OpenInstaller(options.installer, true);
    if (!installer) return kExitBadInstaller;
    if (installer->stub.declarationsdamaged || installer->stub.scopedamaged) {
        Complain(options.installer, Utf16ToUtf8(payload::kDamagedInstaller));
        return kExitBadInstaller;
    }
    InstallEffects effects;
    std::string error;
    if (!PlanEffects(*installer, options.plan, effects, error)) {
        std::cerr << "tallowin: " << error << "\n";
        return kExitUsage;
    }
    if (options.json) PrintEffectsJson(std::cout, effects);
    else PrintEffects(std::cout, effects);
    return kExitOk;
}

int RunDiff(const DiffCommandOptions& options) {
    const auto older = OpenInstaller(options.older, true);
    if (!older) return kExitBadInstaller;
    const auto newer = OpenInstaller(options.newer, true);
    if (!newer) return kExitBadInstaller;
    for (const auto& [installer, path] : {std::pair{older.get(), options.older}, std::pair{newer.get(), options.newer}})
        if (installer->stub.declarationsdamaged || installer->stub.scopedamaged) {
            Complain(path, Utf16ToUtf8(payload::kDamagedInstaller));
            return kExitBadInstaller;
        }
    InstallEffects before, after;
    std::string error;
    PlanOptions plan;
    if (!PlanEffects(*older, plan, before, error)) return kExitUsage;
    // The update goes where the installed version is.
    plan.folder = before.folder;
    if (!PlanEffects(*newer, plan, after, error)) {
        std::cerr << "tallowin: " << error << "\n";
        return kExitUsage;
    }
    if (!FillChecksums(options.older, *older, before) || !FillChecksums(options.newer, *newer, after))
        return kExitBadInstaller;

    std::string kind;
    // The same product is the same uninstall key: the 8-bit name.
    const auto key = [](const InstallEffects& e) {
        return setuputil::Utf8ToUtf16Replacing(e.productkey.empty() ? e.product : e.productkey);
    };
    const bool sameproduct = setuputil::SameName(key(before), key(after)) &&
                             before.scope == after.scope;
    if (!sameproduct) {
        kind = "another product: installed beside the first";
    } else {
        switch (installengine::KindOfInstall(true, before.version, after.version)) {
            case installengine::InstallKind::Update: kind = "update"; break;
            case installengine::InstallKind::Repair: kind = "repair (the same version: every file written again)"; break;
            case installengine::InstallKind::Downgrade: kind = "downgrade: refused, nothing changes"; break;
            case installengine::InstallKind::FirstInstall: kind = "first install"; break;
        }
    }
    std::map<std::u16string, const Effect*> old, now;
    for (const Effect& e : before.install) old.emplace(Key(e), &e);
    for (const Effect& e : after.install) now.emplace(Key(e), &e);
    std::vector<const Effect*> added, removed;
    std::vector<std::pair<const Effect*, const Effect*>> changed;
    for (const Effect& e : after.install) {
        const auto found = old.find(Key(e));
        if (found == old.end()) added.push_back(&e);
        else if (!Same(*found->second, e)) changed.emplace_back(found->second, &e);
    }
    for (const Effect& e : before.install)
        if (!now.count(Key(e))) removed.push_back(&e);

    if (options.json) {
        std::cout << "{\n \"diff\": 1,\n \"old\": {\"product\": " << JsonString(before.product)
                  << ", \"productversion\": " << JsonString(before.version) << "},\n \"new\": {\"product\": "
                  << JsonString(after.product) << ", \"productversion\": " << JsonString(after.version)
                  << "},\n \"install\": " << JsonString(kind) << ",\n \"folder\": " << JsonString(Utf16ToUtf8(before.folder));
        const auto list = [&](const char* name, const std::vector<const Effect*>& effects) {
            std::cout << ",\n \"" << name << "\": [";
            for (std::size_t i = 0; i < effects.size(); ++i) {
                std::cout << (i ? ",\n  " : "\n  ");
                PrintEffectJson(std::cout, *effects[i]);
            }
            std::cout << "]";
        };
        list("added", added);
        list("removed", removed);
        std::cout << ",\n \"changed\": [";
        for (std::size_t i = 0; i < changed.size(); ++i) {
            std::cout << (i ? ",\n  " : "\n  ") << "{\"old\": ";
            PrintEffectJson(std::cout, *changed[i].first);
            std::cout << ", \"new\": ";
            PrintEffectJson(std::cout, *changed[i].second);
            std::cout << "}";
        }
        std::cout << "]\n}\n";
        return kExitOk;
    }
    std::cout << before.product << " " << before.version << " -> " << after.product << " " << after.version << ": "
              << kind << "\nprogram folder: " << Utf16ToUtf8(before.folder) << "\n";
    std::cout << "\nadded:\n";
    for (const Effect* e : added) std::cout << "  " << Describe(*e) << "\n";
    std::cout << "\nremoved by the update:\n";
    for (const Effect* e : removed) std::cout << "  " << Describe(*e) << "\n";
    std::cout << "\nchanged:\n";
    for (const auto& [was, is] : changed) std::cout << "  " << Describe(*was) << "\n    -> " << Describe(*is) << "\n";
    return kExitOk;
}

}  // namespace tallowin
