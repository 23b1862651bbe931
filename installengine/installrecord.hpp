// The install record: what an installation did, kept in its program folder
// as "uninstall.dat", so that the uninstall removes what the install made
// rather than whatever registry values happen to name.
//
// The install writes it after the files and before the registration; its
// identifier, random per install, also goes into the uninstall key
// ("InstallRecordId", registration.hpp).  The uninstall deletes the program
// folder only when the folder holds a record that parses, whose identifier
// equals the registered one and whose program folder is the registered
// folder (docs/uninstall.md).
//
// The file is UTF-8 text of named lines, one value per line, so an admin can
// read it and a later version can add lines that this one skips:
//
//   Tallowin install record 1          the mark and the format version
//   id 0f3a...                         32 lower-case hex digits
//   product Vantrell                   product and program names (the
//                                      product's 8-bit name, which keys it)
//   program vantrell.exe
//   version 2.1                        the product version installed
//   folder C:\Program Files\Vantrell   the program folder as installed
//   foldercreated yes                  whether the first install created it
//   startmenu \Calderic\Vantrell       the Start-menu folder below Programs
//   group C:\...\Programs\Calderic\Vantrell
//   shortcut C:\...\Vantrell.lnk       each Start-menu shortcut (repeated)
//   desktop C:\...\Desktop\Vantrell.lnk
//   settingsfolder Vantrell            below the user's application data
//   settingskey software\Calderic\Vantrell   below HKEY_CURRENT_USER
//   service VantrellService            (repeated)
//   key HKLM\SOFTWARE\...\App Paths\vantrell.exe   each key written (repeated)
//   regvalue HKLM\Software\Calderic\Vantrell\Server   each value of the
//                                      product's own it wrote: root, key, a
//                                      backslash and the value's name (repeated)
//   regkey HKLM\Software\Calderic       each such key it created (repeated)
//   signin Vantrell                    the Run value it wrote, and the
//   signincommand "C:\...\vantrell.exe" /tray   command it holds (once each)
//   task desktopicon yes               each optional task and whether it was chosen
//   pathentry C:\...\Vantrell\bin       a folder the install added to PATH
//   variable VANTRELL_HOME=C:\...       a variable it set, and the value a
//   variablebefore VANTRELL_HOME=...   variable held before the first install
//   progid Calderic.Vantrell.Document.1|"C:\...\vantrell.exe" "%1"
//                                      a file type's class key it made, and
//                                      the open command that marks it ours
//   extension .vtr|Calderic.Vantrell.Document.1|dk   an extension it linked
//                                      to the class; d: it set the default
//                                      (there was none), k: it made the key
//   protocol vantrell|"C:\...\vantrell.exe" "%1"   a link scheme's key it
//                                      made and its open command
//   prerequisite cxxruntime-x64.exe|3010   a prerequisite the install ran and
//                                      its exit code, or "skipped" when its
//                                      check found it there (never undone)
//   beforeuninstall wf|0|bin\reg.exe|--unregister   a program of the
//                                      product's the uninstall runs first:
//                                      flags, exit codes of success, the
//                                      program relative to the program
//                                      folder, its arguments (filled in)
//   dir docs                           each folder the install created in the
//   file docs\guide.txt                program folder, and each file, relative
//   end                                (repeated; parents before children)
//
// A product named in a script the 8-bit code page lacks
// (payload/productnames.hpp) also gets, after the single-valued lines,
//   displayname ヴァントレル            the name a person sees
//
// "regvalue", "regkey", "signin", "signincommand" and the lines from
// "task" to "beforeuninstall" are written only when the product declares such
// effects (payload/declarations.hpp): a record of a product that declares
// none reads as before they existed.
//
// Lines end in LF (a CR before it is dropped).  The record is untrusted
// input like any file: the whole text is bounded before it is read, every
// line and count is bounded, a line name that is not known is skipped, and
// a "dir" or "file" entry that is not a plain relative path inside the
// program folder is skipped (counted in `skipped`).  What does not parse --
// another mark or version, a missing or repeated single line, a bad
// identifier, a count past its bound, malformed UTF-8, a control
// character, no "end" or text after it -- is no record at all.
#pragma once

#include "payload/declarations.hpp"
#include "payload/pathbounds.hpp"
#include "payload/reservednames.hpp"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace installengine {

using payload::kInstallRecordName;
inline constexpr char kInstallRecordMark[] = "Tallowin install record";
inline constexpr int kInstallRecordVersion = 1;

// Bounds: the whole file, one line, and the counts of the repeated lines.
inline constexpr std::size_t kMaxInstallRecordBytes = 16u << 20;
inline constexpr std::size_t kMaxInstallRecordLine = 8192;
// A value, in UTF-16 units: its home is payload/pathbounds.hpp, where the
// builder's name bounds are pinned below it.  Three UTF-8 bytes a unit at most.
using payload::kMaxRecordPathUnits;
static_assert(kMaxRecordPathUnits * 3 + 32 <= kMaxInstallRecordLine, "a recorded path must fit a line");
inline constexpr std::size_t kMaxRecordEntries = 200000;  // "file" and "dir" lines together
inline constexpr std::size_t kMaxRecordShortcuts = 32;
inline constexpr std::size_t kMaxRecordServices = 16;
inline constexpr std::size_t kMaxRecordKeys = 16;
inline constexpr std::size_t kMaxRecordValues = payload::kMaxRegistryDeclarations;  // "regvalue" lines
inline constexpr std::size_t kMaxRecordCreatedKeys = payload::kMaxDeclaredKeys;     // "regkey" lines
inline constexpr std::size_t kMaxRecordTasks = payload::kMaxTasks;
inline constexpr std::size_t kMaxRecordPathEntries = payload::kMaxPathDeclarations;
inline constexpr std::size_t kMaxRecordVariables = payload::kMaxEnvironmentDeclarations;  // each of the two lines
inline constexpr std::size_t kMaxRecordProgIds = payload::kMaxFileTypes;
inline constexpr std::size_t kMaxRecordExtensions = payload::kMaxFileTypes * payload::kMaxExtensionsPerType;
inline constexpr std::size_t kMaxRecordProtocols = payload::kMaxProtocols;
inline constexpr std::size_t kMaxRecordPrerequisites = payload::kMaxPrerequisites;
inline constexpr std::size_t kMaxRecordUninstallRuns = payload::kMaxRunDeclarations;
inline constexpr std::size_t kInstallRecordIdDigits = 32;

struct InstallRecord {
    std::string id;  // kInstallRecordIdDigits lower-case hex digits
    std::u16string productname;
    std::u16string displayname;  // "" unless the product is named in a script the 8-bit name lacks
    std::u16string exename;
    std::u16string productversion;
    std::u16string programfolder;
    // True when the program folder did not exist before the product's first
    // install: the folder is then the product's, with everything in it.  A
    // record without the line (an earlier version's) says false, and the
    // uninstall then deletes file by file.
    bool foldercreated = false;
    std::u16string startmenufolder;  // "\Vendor\Product", or ""
    std::u16string groupfolder;      // Programs folder + startmenufolder, or ""
    std::vector<std::u16string> shortcuts;
    std::u16string desktopshortcut;
    std::u16string settingsfolder;   // a name below the application-data folder, or ""
    std::u16string settingskey;      // below HKEY_CURRENT_USER, or ""
    std::vector<std::u16string> services;
    std::vector<std::u16string> registrykeys;  // "HKLM\..." or "HKCU\..."
    // The product's own registry values ("HKLM\Software\Vendor\Key\Name",
    // RecordedValue) and the keys the install created for them, parents first.
    std::vector<std::u16string> registryvalues;
    std::vector<std::u16string> createdkeys;
    // The Run value that starts the program at sign-in (its name under the
    // scope's Run key) and the command it was given; both "" for none.
    std::u16string signin;
    std::u16string signincommand;
    // The optional tasks the product declares and whether each was chosen.
    std::vector<std::pair<std::string, bool>> tasks;
    // Shell and environment effects (shellintegration.hpp), in the lines'
    // forms above; each is undone only while it is still the product's.
    std::vector<std::u16string> pathentries;
    std::vector<std::u16string> variables;
    std::vector<std::u16string> variablesbefore;
    std::vector<std::u16string> progids;
    std::vector<std::u16string> extensions;
    std::vector<std::u16string> protocols;
    // The prerequisites the install met ("file|exit code" or "file|skipped")
    // and the programs the uninstall runs before it removes anything
    // (RecordedRun, vendorprograms.hpp).
    std::vector<std::u16string> prerequisites;
    std::vector<std::u16string> uninstallruns;
    // Relative to the program folder: the folders the install created
    // (parents first) and the files it wrote.
    std::vector<std::u16string> folders;
    std::vector<std::u16string> files;
};

// True for a plain relative path inside a folder: names separated by single
// backslashes, each one a name extraction would create (no "." or "..", no
// drive or stream colon, no pattern or control character, no device name,
// no trailing dot or blank), at most kMaxRecordPathUnits long.
bool IsPlainRelativePath(const std::u16string& path);

// The record's text.  Empty when the record cannot be written as one that
// ParseInstallRecord takes back whole: a bad identifier, a text with a
// control character or past its bound, a count past its bound, or an entry
// that is not IsPlainRelativePath.
std::string FormatInstallRecord(const InstallRecord& record);

struct ParsedInstallRecord {
    bool ok = false;
    std::string error;        // why it is no record, when !ok
    InstallRecord record;
    std::size_t skipped = 0;  // "dir" and "file" entries left out
};
ParsedInstallRecord ParseInstallRecord(const std::string& text);

// A "regvalue" or "regkey" entry taken apart: the root ("HKLM" or "HKCU"),
// a key that payload::IsVendorKey accepts and, for a value, its name (the
// text after the last backslash; "" the default value).  False for anything
// else: such an entry is never acted on.
struct RecordedRegistryEntry {
    std::u16string root;
    std::string key;
    std::u16string name;
};
bool ParseRecordedValue(const std::u16string& entry, RecordedRegistryEntry& out);
bool ParseRecordedKey(const std::u16string& entry, RecordedRegistryEntry& out);
std::u16string RecordedValue(const std::u16string& root, const std::string& key, const std::u16string& name);
std::u16string RecordedKey(const std::u16string& root, const std::string& key);

// True for 32 lower-case hex digits.
bool IsInstallRecordId(const std::string& id);
// The identifier made from 16 random bytes.
std::string InstallRecordIdFrom(const unsigned char (&random)[16]);

}  // namespace installengine
