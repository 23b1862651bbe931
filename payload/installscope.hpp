// The install scope: a resource the builder writes into the stub of a
// per-user product, beside the payload check record (payloadcheck.hpp).
// The installer and the uninstaller made from it (the stub copy, or the
// signed one the installer carries) both learn from it whether they work
// for the machine or for the current user; nothing on the command line
// can change it.
//
// Resource RCDATA "INSTALLSCOPE", 8 bytes, little-endian:
//   offset 0   4 bytes   the mark "TIS1"
//   offset 4   4 bytes   `scope`: 0 the machine, 1 the current user
//
// A stub without the record installs for the machine: machine-wide
// products are built without it, byte for byte as before the record
// existed.  A record that is present but malformed is a damaged installer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace payload {

enum class InstallScope : std::uint32_t {
    Machine = 0,  // HKEY_LOCAL_MACHINE, Program Files, administrator rights
    User = 1,     // HKEY_CURRENT_USER, the user's own Programs folder, no elevation
};

inline constexpr char16_t kInstallScopeName[] = u"INSTALLSCOPE";
inline constexpr char kInstallScopeMark[4] = {'T', 'I', 'S', '1'};

struct tscoperecord {
    char mark[4];
    std::uint32_t scope;
};
static_assert(sizeof(tscoperecord) == 8);
static_assert(offsetof(tscoperecord, scope) == 4);

// False unless `size` is the record's size, it starts with the mark and
// names a known scope.
bool ParseScopeRecord(const void* data, std::size_t size, InstallScope& scope);

// The record for `scope`.
tscoperecord MakeScopeRecord(InstallScope scope);

}  // namespace payload
