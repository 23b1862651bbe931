// What the product's declarations (payload/declarations.hpp) write, as data:
// each registry value of its own with its type and bytes as the registry
// takes them, placeholders filled, and the Run value that starts its main
// program at sign-in.  The worker writes them (declaredeffects.hpp) and the
// install record lists them (installrecord.hpp), so that the uninstall and
// an update undo exactly these.
#pragma once

#include "installengine/installplan.hpp"
#include "payload/declarations.hpp"
#include "payload/installscope.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace installengine {

// The registry's value types, as RegSetValueEx takes them.
inline constexpr std::uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7,
                               kRegQword = 11;

struct DeclaredValue {
    std::string key;  // below the scope's root (payload::IsVendorKey)
    std::u16string name;
    std::uint32_t type = kRegSz;
    std::vector<std::uint8_t> data;  // strings in UTF-16 with their ending zero(s), numbers little-endian
};

// A string value's data as the registry keeps it (UTF-16, little-endian,
// with its ending zero), and its text back (ending zeros dropped).
std::vector<std::uint8_t> RegTextData(const std::u16string& text);
std::u16string RegDataText(const std::vector<std::uint8_t>& data);

// The Run key the sign-in value goes in, under the scope's root.
inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct PlannedFileType {
    std::string progid;
    std::u16string description;
    std::u16string icon;                  // "C:\...\vantrell.exe,0"; "" none
    std::vector<std::string> extensions;
    std::vector<std::pair<std::string, std::u16string>> verbs;  // verb, command; the first is the default
};

struct PlannedProtocol {
    std::string scheme;
    std::u16string description;
    std::u16string icon;
    std::u16string command;
};

struct DeclaredPlan {
    std::vector<DeclaredValue> values;  // in declaration order; a later one of the same key and name wins
    std::u16string signinname;          // the Run value's name (the product's name); "" for none
    std::u16string signincommand;       // the main program's path in quotes, then the arguments
    std::vector<std::u16string> pathentries;  // whole folders: "C:\Program Files\Vantrell\bin"
    std::vector<std::pair<std::u16string, std::u16string>> variables;  // name, value
    std::vector<PlannedFileType> filetypes;
    std::vector<PlannedProtocol> protocols;
};

// A program of the product and its arguments as the shell runs it.
std::u16string CommandLine(const InstallInputs& in, const std::u16string& program, const std::u16string& arguments);
// Only the declarations whose task is chosen (TaskChosen) are planned.
DeclaredPlan PlanDeclared(const payload::Declarations& declarations, const InstallInputs& in);

// True for a declaration of no task ("") or of a task `in.tasks` chooses.
bool TaskChosen(const InstallInputs& in, const std::string& task);
// The desktop shortcut is made unless the product declares the desktopicon
// task and it is not chosen.
bool WantsDesktopShortcut(const payload::Declarations& declarations, const InstallInputs& in);
// The record's task lines: each declared task and whether it is chosen.
std::vector<std::pair<std::string, bool>> TaskChoices(const payload::Declarations& declarations,
                                                      const InstallInputs& in);

// "HKLM" or "HKCU": how the record names the scope's root.
std::u16string RootTag(payload::InstallScope scope);

// The keys from "Software\<Vendor>" down to `key`, parents first: those a
// value at `key` makes when they are missing.
std::vector<std::string> KeyChain(const std::string& key);

// True when `key` is `other` or one of its parents (registry names compare
// without letter case).
bool IsKeyOrParent(const std::string& key, const std::string& other);

}  // namespace installengine
