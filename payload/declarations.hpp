// What a product declares beyond its files: its own registry values and
// whether its main program starts when the user signs in.  The builder
// writes the declarations into the stub of a product that has any (RCDATA
// "DECLARATIONS"); the installer reads them at start-up and the install
// sequence carries them out.  A product that declares nothing gets no
// resource, so its stub is stamped exactly as before.
//
// The resource is UTF-8 text of lines ended by LF, one declaration a line,
// its fields separated by a tab.  Every declaration's second field names
// the optional task it belongs to ("" for none): it is carried out only
// when that task is chosen (InstallInputs::tasks).
//
//   Tallowin declarations 2                                the mark and version
//   task <name> <0|1> <text>                              a task, checked by default or not
//   tasktext <name> <language> <text>                     its caption in another language
//   registry <task> <type> <key> <name> <value> [<value>...]
//   startatsignin <task> <arguments>                      at most once
//   path <task> <folder>                                  a folder of the product on PATH
//   environment <task> <name> <value>                     a variable
//   filetype <task> <progid> <description> <icon> <index> <extensions>
//   verb <verb> <program> <arguments>                     of the filetype above it (one or more)
//   protocol <task> <scheme> <description> <program> <arguments>
//   prerequisite <file> <caption> <arguments> <unattended arguments> <codes> <check> <where> <name> <minversion>
//   run <when> <program> <arguments> <codes> <flags>
//   end
//
// A version-1 resource (registry values and startatsignin only) has no
// task fields and is read as well.
//
// <type> is one of string, expandable, dword, qword, multistring, binary.
// <key> lies below "Software\" of the scope's root (HKLM for a machine-wide
// product, HKCU for a per-user one) and is a vendor's key (IsVendorKey).
// <name> is the value's name ("" the key's default value).  A string or
// expandable value is one text, a multi-string value one text per item, a
// number one decimal number, a binary value its bytes in hex (two digits a
// byte, "" for none).  Texts may hold {app} (the installation folder),
// {version} (the product version) and {lang} (the code of the wizard's
// language), filled in at install time (FillPlaceholders).
//
// <folder>, <icon> and <program> are paths relative to the program folder
// ("" for the folder itself, as a PATH entry); <extensions> are separated by
// commas (".vtr,.vtrx"); the first verb of a file type is the one the shell
// opens it with; <arguments> follow the program's quoted path and usually
// hold "%1".
//
// A prerequisite is another installer the product needs first (a compiler's
// runtime, a driver package), carried as an archive entry of its own
// (payload/sacformat.hpp: kEntryRolePrerequisite, named <file>).  <codes>
// are the exit codes that mean success, separated by commas ("0,3010,1638").
// <check> says when it is already there and is skipped: "" never, "registry"
// a value <name> in <where> ("HKLM\..." or "HKCU\..."), "file" the file
// <where> (which may begin with {sys}, {win} or {pf}), either at least the
// dotted version <minversion> when that is not "" (a registry value's text
// with a leading "v" dropped, or its number; the file's version resource).
// <unattended arguments> replace <arguments> under /S ("" for the same).
//
// A run line is a program of the product's (<program> relative to the
// program folder) run at <when>: afterinstall, beforeuninstall or
// afterupdate, with <arguments> (inserts as above), <codes> as a
// prerequisite's, <flags> letters: w to wait for it, f its failure fails
// the step, h hidden, e elevated (afterinstall and afterupdate: with the
// installer's rights instead of as the user who started it).
//
// An older stub meets these lines as unknown ones and refuses the record:
// it could not carry them out.
//
// The resource is untrusted like every part of an installer: it is bounded
// before it is read (kMaxDeclarationsBytes), every line and count is
// bounded, and anything that does not parse -- another mark or version, an
// unknown line or type, a key that is no vendor's key, a number out of
// range, malformed UTF-8, a control character, no "end" or text after it --
// makes the installer a damaged one.  Formatting refuses what parsing would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include <utility>

namespace payload {

inline constexpr char16_t kDeclarationsName[] = u"DECLARATIONS";
inline constexpr char kDeclarationsMark[] = "Tallowin declarations";
inline constexpr int kDeclarationsVersion = 2;

inline constexpr std::size_t kMaxDeclarationsBytes = 1u << 20;
inline constexpr std::size_t kMaxRegistryDeclarations = 256;
inline constexpr std::size_t kMaxMultiStringItems = 64;
inline constexpr std::size_t kMaxDeclarationText = 2048;    // UTF-16 units of one text or value name
inline constexpr std::size_t kMaxDeclarationBinary = 2048;  // bytes of a binary value
inline constexpr std::size_t kMaxRegistryKeyName = 255;     // one name of a key path, as the registry allows
inline constexpr std::size_t kMaxRegistryKeyPath = 512;
// Keys the values lie in, with every parent below "Software": the install
// record lists those it creates, so their number is bounded here.
inline constexpr std::size_t kMaxDeclaredKeys = 256;
inline constexpr std::size_t kMaxTasks = 16;
inline constexpr std::size_t kMaxTaskName = 32;
inline constexpr std::size_t kMaxTaskTexts = 64;  // languages of one task
inline constexpr std::size_t kMaxPathDeclarations = 16;
inline constexpr std::size_t kMaxEnvironmentDeclarations = 32;
inline constexpr std::size_t kMaxEnvironmentName = 64;
inline constexpr std::size_t kMaxFileTypes = 32;
inline constexpr std::size_t kMaxExtensionsPerType = 16;
inline constexpr std::size_t kMaxVerbsPerType = 8;
inline constexpr std::size_t kMaxProtocols = 16;
inline constexpr std::size_t kMaxProgIdLength = 39;   // the length COM allows a ProgID
inline constexpr std::size_t kMaxExtensionLength = 16;  // with its dot
inline constexpr std::size_t kMaxSchemeLength = 32;
inline constexpr std::size_t kMaxVerbLength = 32;
inline constexpr std::size_t kMaxPrerequisites = 16;
inline constexpr std::size_t kMaxRunDeclarations = 16;
inline constexpr std::size_t kMaxSuccessCodes = 16;
// The exit codes of Windows' own installers that mean success with a
// remark: "installed, restart needed" and "a newer version is there".
inline constexpr std::uint32_t kExitCodeRestartNeeded = 3010;
inline constexpr std::uint32_t kExitCodeNewerInstalled = 1638;
// The task that makes the desktop shortcut optional; its caption is ours
// (a text of every language table) unless the vendor gives one.
inline constexpr char kDesktopIconTask[] = "desktopicon";

enum class RegistryType { String, Expandable, Dword, Qword, MultiString, Binary };

struct RegistryDeclaration {
    RegistryType type = RegistryType::String;
    std::string key;     // "Software\Vendor\...", printable ASCII (IsVendorKey)
    std::u16string name;
    std::vector<std::u16string> texts;  // String, Expandable: one; MultiString: each item
    std::uint64_t number = 0;           // Dword (at most 0xFFFFFFFF), Qword
    std::vector<std::uint8_t> bytes;    // Binary
    std::string task;                   // "" always
};

struct TaskDeclaration {
    std::string name;     // IsTaskName
    bool checked = true;  // the default choice
    std::u16string text;  // the caption; "" for our own desktopicon task's
    std::vector<std::pair<std::string, std::u16string>> texts;  // language code, caption
};

struct PathDeclaration {
    std::u16string folder;  // relative to the program folder, "" the folder itself
    std::string task;
};

struct EnvironmentDeclaration {
    std::u16string name;  // IsEnvironmentName
    std::u16string value;
    std::string task;
};

struct VerbDeclaration {
    std::string verb;            // "open", "print", "edit" ... (IsVerbName)
    std::u16string program;      // a packed file, relative to the program folder
    std::u16string arguments;    // after the program's quoted path; "\"%1\"" usually
};

struct FileTypeDeclaration {
    std::string progid;                   // IsProgId: "Calderic.Vantrell.Document.1"
    std::u16string description;
    std::vector<std::string> extensions;  // IsExtension, lower case: ".vtr"
    std::u16string icon;                  // a packed file, relative; "" none
    std::int32_t iconindex = 0;
    std::vector<VerbDeclaration> verbs;   // at least one; the first is the default
    std::string task;
};

struct ProtocolDeclaration {
    std::string scheme;  // IsScheme, lower case: "vantrell"
    std::u16string description;
    std::u16string program;
    std::u16string arguments;
    std::string task;
};

enum class PrerequisiteCheck { None, Registry, File };

struct PrerequisiteDeclaration {
    std::u16string file;                  // the entry's name: a plain file name
    std::u16string caption;               // for the progress page and the error box
    std::u16string arguments;
    std::u16string unattendedarguments;   // "" the same as `arguments`
    std::vector<std::uint32_t> successcodes;  // at least one
    PrerequisiteCheck check = PrerequisiteCheck::None;
    std::u16string where;                 // Registry: "HKLM\key" or "HKCU\key"; File: its path
    std::u16string name;                  // Registry: the value's name
    std::string minversion;               // "" any; else digits and dots: "14.38"
};

enum class RunWhen { AfterInstall, BeforeUninstall, AfterUpdate };

struct RunDeclaration {
    RunWhen when = RunWhen::AfterInstall;
    std::u16string program;               // a packed file, relative to the program folder
    std::u16string arguments;
    std::vector<std::uint32_t> successcodes;  // at least one
    bool wait = true;
    bool failonerror = false;             // a failure fails the step (only when waited for)
    bool hidden = false;
    bool elevated = false;                // with the installer's rights, not as the user
};

struct Declarations {
    std::vector<RegistryDeclaration> registry;
    bool startatsignin = false;
    std::u16string signinarguments;  // after the program's quoted path in the Run value
    std::string signintask;
    std::vector<TaskDeclaration> tasks;
    std::vector<PathDeclaration> path;
    std::vector<EnvironmentDeclaration> environment;
    std::vector<FileTypeDeclaration> filetypes;
    std::vector<ProtocolDeclaration> protocols;
    std::vector<PrerequisiteDeclaration> prerequisites;
    std::vector<RunDeclaration> runs;

    bool Empty() const {
        return registry.empty() && !startatsignin && tasks.empty() && path.empty() && environment.empty() &&
               filetypes.empty() && protocols.empty() && prerequisites.empty() && runs.empty();
    }
};

// The type's word in the resource and the product file ("dword"); false
// for an unknown word.
const char* RegistryTypeName(RegistryType type);
bool RegistryTypeFromName(const std::string& name, RegistryType& type);

// True for a key path a product may write its own values under:
// "Software\" followed by at least one more name, the first of them none of
// the keys every program shares (Microsoft, Classes, Policies,
// Wow6432Node, Clients, RegisteredApplications), each name printable ASCII
// without a leading or trailing blank, at most kMaxRegistryKeyName long,
// and the whole at most kMaxRegistryKeyPath.  Letter case aside, as the
// registry compares names.  `why` (when given) says what is wrong.
bool IsVendorKey(const std::string& key, std::string* why = nullptr);

// The naming rules of the other declarations, shared by the builder and
// the resource's reader.  A task: a lower-case letter, then lower-case
// letters, digits or "_", at most kMaxTaskName.  A ProgID: ASCII letters,
// digits and dots, at least one dot, neither first nor last nor doubled,
// not beginning with a digit, at most kMaxProgIdLength (a dot keeps it
// clear of the shell's own classes: exefile, txtfile).  An extension: a dot
// and 1 to 15 lower-case letters, digits, "_" or "-", and none of those the
// system itself runs or opens (.exe, .lnk, .bat, .msi ...).  A scheme: a
// lower-case letter, then lower-case letters, digits, "+", "-" or ".", at
// least two characters, at most kMaxSchemeLength, and none the system or
// the web owns (http, file, mailto, ms-...).  A verb: ASCII letters and
// digits.  A variable: letters, digits and "_", not beginning with a digit,
// none of those the system sets (PATH, PATHEXT, SystemRoot, TEMP ...).
bool IsTaskName(const std::string& name);
bool IsProgId(const std::string& progid);
bool IsExtension(const std::string& extension);
bool IsScheme(const std::string& scheme);
bool IsVerbName(const std::string& verb);
bool IsEnvironmentName(const std::u16string& name);
// A relative path of the product's: names separated by single
// backslashes, none empty, "." or "..", no drive or stream colon, no
// character a name may not hold; "" (the folder itself) only when
// `allowempty`.
bool IsProductRelativePath(const std::u16string& path, bool allowempty);

// "afterinstall", "beforeuninstall", "afterupdate"; false for another word.
const char* RunWhenName(RunWhen when);
bool RunWhenFromName(const std::string& name, RunWhen& when);
// Exit codes as the record and the install record hold them ("0,3010"),
// 1 to kMaxSuccessCodes of them; a run's flags ("wfhe", each letter when
// set, in that order).
std::string CodesText(const std::vector<std::uint32_t>& codes);
bool ParseCodes(const std::string& text, std::vector<std::uint32_t>& codes);
std::string RunFlagsText(const RunDeclaration& run);
bool ParseRunFlags(const std::string& text, RunDeclaration& run);
// A minimum version: numbers separated by single dots, at most 4 of them.
bool IsVersionText(const std::string& text);
// Compares dotted versions by their numbers (missing parts are 0, text
// after the numbers ignored, a leading "v" dropped): <0, 0 or >0.
int CompareDottedVersions(const std::u16string& a, const std::u16string& b);
// A registry check's place: "HKLM\" or "HKCU\", then a key of printable
// ASCII names (no empty one), at most kMaxRegistryKeyPath.
bool IsCheckKey(const std::u16string& where);

// True for a value name the resource and the install record carry: no
// control character, no backslash, at most kMaxDeclarationText units.
bool IsDeclarableValueName(const std::u16string& name);

// The resource's text; empty when `declarations` cannot be written as one
// ParseDeclarations takes back whole (`error` says why).
std::string FormatDeclarations(const Declarations& declarations, std::string* error = nullptr);
// False (with `error`) unless `data` is a whole, well-formed resource.
bool ParseDeclarations(const void* data, std::size_t size, Declarations& out, std::string& error);

// `text` with {app}, {version} and {lang} replaced; any other brace stays.
std::u16string FillPlaceholders(const std::u16string& text, const std::u16string& app, const std::u16string& version,
                                const std::u16string& lang);

}  // namespace payload
