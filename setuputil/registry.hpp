// Registry access: string values (and the few numbers an installation
// records) under key paths below one of the predefined roots.
//
// Key paths, value names and values are 8-bit strings in the system's code
// page; key paths are relative to the root with backslashes between levels (a
// leading backslash is allowed and ignored).  An empty value name is the
// key's default (unnamed) value.  Nothing stays open between calls.
//
// Reads answer the caller's default when the key cannot be opened with full
// access or the value is missing; writes create missing keys.  A read of a
// value that is not a string, a key that cannot be created and a refused
// write raise RegistryError, and no function here catches it.
#pragma once

#include "setuputil/error.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace setuputil {

enum class RegRoot {
    ClassesRoot,   // HKEY_CLASSES_ROOT
    CurrentUser,   // HKEY_CURRENT_USER
    LocalMachine,  // HKEY_LOCAL_MACHINE
    Users,         // HKEY_USERS
};

// The one error type of the registry layer.  what() is the full message:
// "Invalid data type for '<value>'", "Failed to create key <key>" or
// "Failed to set data for '<value>'".
class RegistryError : public Error {
public:
    using Error::Error;
};

// A registry accessor for one root: every call opens the key it needs and
// closes it again.  The install sequence writes its registration through it.
class tregistry {
public:
    explicit tregistry(RegRoot root) : root_(root) {}

    RegRoot root() const { return root_; }

    // The string value, up to its first zero byte; REG_EXPAND_SZ comes back
    // unexpanded and a zero-length value as "".  `fallback` when the key
    // cannot be opened with full access or the value is missing.  Any other
    // value type raises "Invalid data type for '<name>'".
    std::string ReadString(const std::string& keypath, const std::string& name,
                           const std::string& fallback) const;

    // Creates the key with every missing level ("Failed to create key <key>"
    // when refused) and stores `value` as REG_SZ with its terminating zero,
    // replacing an existing value ("Failed to set data for '<name>'").
    void WriteString(const std::string& keypath, const std::string& name, const std::string& value) const;

    // The same in UTF-16, the registry's own form: for paths and names a
    // person chose, which the 8-bit code page may not hold.  A value an
    // 8-bit write stored reads back the same.
    std::u16string ReadWideString(const std::string& keypath, const std::string& name,
                                  const std::u16string& fallback) const;
    void WriteWideString(const std::string& keypath, const std::string& name, const std::u16string& value) const;

    // The same for a 32-bit number stored as REG_DWORD.
    void WriteDword(const std::string& keypath, const std::string& name, std::uint32_t value) const;

private:
    RegRoot root_;
};

std::string ReadUserRegString(const std::string& keypath, const std::string& name, const std::string& fallback);
std::string ReadClassesRegString(const std::string& keypath, const std::string& name, const std::string& fallback);
std::string ReadMachineRegString(const std::string& keypath, const std::string& name, const std::string& fallback);
void WriteUserRegString(const std::string& keypath, const std::string& name, const std::string& value);

// One value as the registry holds it, whatever its type: what an update
// reads before it rewrites a key, to put the key back should it fail.
struct RegValueCopy {
    std::u16string name;  // read and written in UTF-16: the data of a string value is UTF-16 too
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};
// The key's values; false (and none) when the key cannot be opened.  A
// value that vanishes while it is read is left out.
bool ReadKeyValues(RegRoot root, const std::string& keypath, std::vector<RegValueCopy>& values);
// Creates the key with every missing level and stores the values; false
// when the key or a value could not be written.
bool WriteKeyValues(RegRoot root, const std::string& keypath, const std::vector<RegValueCopy>& values);

// One value by its name: false (and `value` empty) when the key or the
// value is missing.  Read whole, whatever its size.
bool ReadRegValue(RegRoot root, const std::string& keypath, const std::u16string& name, RegValueCopy& value);
// Deletes one value; true when it is gone (also when it was never there).
bool DeleteRegValue(RegRoot root, const std::string& keypath, const std::u16string& name);
bool RegKeyExists(RegRoot root, const std::string& keypath);
// Deletes the key only while it holds no value and no subkey, and never a
// path IsProtectedRegPath names; true when it went.
bool DeleteEmptyRegKey(RegRoot root, const std::string& keypath);

// Deletes the key and everything below it, depth first.  A key that is
// missing or cannot be opened or deleted is passed over silently.  Paths that
// IsProtectedRegPath (setuputil/regpath.hpp) names -- the root, "software",
// the fixed parents and the shared keys -- are refused silently: deleting
// one would take every sibling with it.
void DeleteRegTree(RegRoot root, const std::string& keypath);

}  // namespace setuputil
