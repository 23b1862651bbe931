// What a product declares beyond its files: its own registry values and
// whether its main program starts when the user signs in.  The builder
// writes the declarations into the stub of a product that has any (RCDATA
// "DECLARATIONS"); the installer reads them at start-up and the install
// sequence carries them out.  A product that declares nothing gets no
// resource, so its stub is stamped exactly as before.
//
// The resource is UTF-8 text of lines ended by LF, one declaration a line,
// its fields separated by a tab:
//
//   Tallowin declarations 1                            the mark and version
//   registry <type> <key> <name> <value> [<value>...]  (repeated)
//   startatsignin <arguments>                          at most once
//   end
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

namespace payload {

inline constexpr char16_t kDeclarationsName[] = u"DECLARATIONS";
inline constexpr char kDeclarationsMark[] = "Tallowin declarations";
inline constexpr int kDeclarationsVersion = 1;

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

enum class RegistryType { String, Expandable, Dword, Qword, MultiString, Binary };

struct RegistryDeclaration {
    RegistryType type = RegistryType::String;
    std::string key;     // "Software\Vendor\...", printable ASCII (IsVendorKey)
    std::u16string name;
    std::vector<std::u16string> texts;  // String, Expandable: one; MultiString: each item
    std::uint64_t number = 0;           // Dword (at most 0xFFFFFFFF), Qword
    std::vector<std::uint8_t> bytes;    // Binary
};

struct Declarations {
    std::vector<RegistryDeclaration> registry;
    bool startatsignin = false;
    std::u16string signinarguments;  // after the program's quoted path in the Run value

    bool Empty() const { return registry.empty() && !startatsignin; }
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
