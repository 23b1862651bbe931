#include "installengine/declaredeffects.hpp"

#include "installengine/registration.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/registry.hpp"

#include <algorithm>

namespace installengine {

using namespace setuputil;

namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

bool Contains(const std::vector<std::u16string>& list, const std::u16string& entry) {
    return std::any_of(list.begin(), list.end(), [&](const std::u16string& e) { return SameName(e, entry); });
}

// The recorded values of `record` that lie under the scope's root, taken apart.
std::vector<RecordedRegistryEntry> OwnEntries(const std::vector<std::u16string>& entries, payload::InstallScope scope,
                                              bool values) {
    std::vector<RecordedRegistryEntry> out;
    for (const std::u16string& entry : entries) {
        RecordedRegistryEntry parsed;
        const bool ok = values ? ParseRecordedValue(entry, parsed) : ParseRecordedKey(entry, parsed);
        if (ok && parsed.root == RootTag(scope)) out.push_back(std::move(parsed));
    }
    return out;
}

// The Run value `name` while it holds `command`, the only state in which it is still ours.
bool RunValueIsOurs(RegRoot root, const std::u16string& name, const std::u16string& command) {
    RegValueCopy value;
    if (name.empty() || !ReadRegValue(root, kRunKey, name, value) || (value.type != kRegSz && value.type != kRegExpandSz))
        return false;
    return RegDataText(value.data) == command;
}

}  // namespace

void RecordDeclared(const DeclaredPlan& plan, payload::InstallScope scope, const InstallRecord* installed,
                    InstallRecord& record) {
    const RegRoot root = RegistrationRoot(scope);
    const std::u16string tag = RootTag(scope);
    record.registryvalues.clear();
    record.createdkeys.clear();
    for (const DeclaredValue& v : plan.values) record.registryvalues.push_back(RecordedValue(tag, v.key, v.name));
    // Keys an earlier install created stay the product's while a value still lies in them.
    if (installed)
        for (const RecordedRegistryEntry& key : OwnEntries(installed->createdkeys, scope, false))
            if (std::any_of(plan.values.begin(), plan.values.end(),
                            [&](const DeclaredValue& v) { return IsKeyOrParent(key.key, v.key); }) &&
                !Contains(record.createdkeys, RecordedKey(tag, key.key)))
                record.createdkeys.push_back(RecordedKey(tag, key.key));
    for (const DeclaredValue& v : plan.values)
        for (const std::string& level : KeyChain(v.key))
            if (!Contains(record.createdkeys, RecordedKey(tag, level)) && !RegKeyExists(root, level))
                record.createdkeys.push_back(RecordedKey(tag, level));
    record.signin = plan.signinname;
    record.signincommand = plan.signincommand;
}

void ApplyDeclared(InstallHost& host, const DeclaredPlan& plan, payload::InstallScope scope,
                   const InstallRecord* installed, UpdateJournal& journal) {
    const RegRoot root = RegistrationRoot(scope);
    const std::u16string tag = RootTag(scope);
    if (installed) {
        // What the installed version wrote and this one no longer declares.
        for (const RecordedRegistryEntry& old : OwnEntries(installed->registryvalues, scope, true)) {
            if (std::any_of(plan.values.begin(), plan.values.end(), [&](const DeclaredValue& v) {
                    return IsKeyOrParent(v.key, old.key) && IsKeyOrParent(old.key, v.key) && SameName(v.name, old.name);
                }))
                continue;
            host.Log(u"delete registry value: " + RecordedValue(tag, old.key, old.name));
            if (journal.Active()) journal.SnapshotValue(root, old.key, old.name);
            DeleteRegValue(root, old.key, old.name);
        }
        const bool samerun = !plan.signinname.empty() && SameName(plan.signinname, installed->signin);
        if (!installed->signin.empty() && !samerun && RunValueIsOurs(root, installed->signin, installed->signincommand)) {
            host.Log(u"delete registry value: " + tag + u"\\" + Ascii(kRunKey) + u"\\" + installed->signin);
            if (journal.Active()) journal.SnapshotValue(root, kRunKey, installed->signin);
            DeleteRegValue(root, kRunKey, installed->signin);
        }
    }
    for (const DeclaredValue& v : plan.values) {
        host.Log(u"registry: " + RecordedValue(tag, v.key, v.name));
        if (journal.Active()) journal.SnapshotValue(root, v.key, v.name);
        if (!WriteKeyValues(root, v.key, {RegValueCopy{v.name, v.type, v.data}}))
            throw RegistryError("Failed to set data for '" + WideToAnsi(v.name) + "'");
    }
    if (!plan.signinname.empty()) {
        host.Log(u"registry: " + tag + u"\\" + Ascii(kRunKey) + u"\\" + plan.signinname);
        if (journal.Active()) journal.SnapshotValue(root, kRunKey, plan.signinname);
        if (!WriteKeyValues(root, kRunKey, {RegValueCopy{plan.signinname, kRegSz, RegTextData(plan.signincommand)}}))
            throw RegistryError("Failed to set data for '" + WideToAnsi(plan.signinname) + "'");
    }
    // Keys the installed version created that no value of this one uses any more.
    if (installed) {
        std::vector<RecordedRegistryEntry> keys = OwnEntries(installed->createdkeys, scope, false);
        for (auto it = keys.rbegin(); it != keys.rend(); ++it)
            if (DeleteEmptyRegKey(root, it->key)) host.Log(u"removed empty registry key: " + RecordedKey(tag, it->key));
    }
}

void UndoDeclared(InstallHost& host, const InstallRecord& record, payload::InstallScope scope) {
    const RegRoot root = RegistrationRoot(scope);
    const std::u16string tag = RootTag(scope);
    for (const RecordedRegistryEntry& value : OwnEntries(record.registryvalues, scope, true)) {
        host.Log(u"delete registry value: " + RecordedValue(tag, value.key, value.name));
        DeleteRegValue(root, value.key, value.name);
    }
    if (RunValueIsOurs(root, record.signin, record.signincommand)) {
        host.Log(u"delete registry value: " + tag + u"\\" + Ascii(kRunKey) + u"\\" + record.signin);
        DeleteRegValue(root, kRunKey, record.signin);
    }
    // Deepest first; a key that holds anything else (a value the program
    // wrote, another product's subkey) stays.
    std::vector<RecordedRegistryEntry> keys = OwnEntries(record.createdkeys, scope, false);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const RecordedRegistryEntry& a, const RecordedRegistryEntry& b) { return a.key.size() > b.key.size(); });
    for (const RecordedRegistryEntry& key : keys)
        if (DeleteEmptyRegKey(root, key.key)) host.Log(u"removed empty registry key: " + RecordedKey(tag, key.key));
}

}  // namespace installengine
