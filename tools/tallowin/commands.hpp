// The `tallowin` commands.  Each answers the process exit status:
//   0  success
//   1  a bad or damaged installer, or a product that cannot be built
//   2  bad usage (reported by the command-line parser in main.cpp)
// Results go to stdout, errors to stderr; every error names the installer
// file and, where one is involved, the entry, and carries the installer's
// own message text.
#pragma once

#include "tools/sacwriter/sacwriter.hpp"
#include "tools/tallowin/stublookup.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tallowin {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInstaller = 1;
inline constexpr int kExitUsage = 2;

struct BuildOptions {
    std::filesystem::path product;
    std::filesystem::path output;
    std::filesystem::path stub;      // empty: the first of the product's architecture's places that exists
    std::vector<StubPlace> stubplaces;    // the 32-bit stub's
    std::vector<StubPlace> stubplaces64;  // the 64-bit stub's
    int level = lz::kDefaultLevel;
    std::string compression;         // "per-file" or "solid"; empty: the product file's
    unsigned jobs = 0;               // compressing threads; 0: one per core
    std::optional<std::int64_t> sourcedateepoch;
    // The vendor's signing command (tools/tallowin/signcommand.hpp); empty:
    // nothing is signed.  Run on the stamped uninstaller, which the
    // installer then carries, and on the finished installer.
    std::string signcommand;
};

int RunBuild(const BuildOptions& options);
int RunList(const std::filesystem::path& installer, bool json);
int RunInfo(const std::filesystem::path& installer, bool json);
// `jobs`: threads decoding; 0: one per core.
int RunTest(const std::filesystem::path& installer, unsigned jobs = 0);
int RunExtract(const std::filesystem::path& installer, const std::filesystem::path& folder, unsigned jobs = 0);

}  // namespace tallowin
