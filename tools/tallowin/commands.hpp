// The `tallowin` commands.  Each answers the process exit status:
//   0  success
//   1  a bad or damaged installer, or a product that cannot be built
//   2  bad usage (reported by the command-line parser in main.cpp)
// Results go to stdout, errors to stderr; every error names the installer
// file and, where one is involved, the entry, and carries the installer's
// own message text.
#pragma once

#include "tools/sacwriter/sacwriter.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tallowin {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInstaller = 1;
inline constexpr int kExitUsage = 2;

struct BuildOptions {
    std::filesystem::path product;
    std::filesystem::path output;
    std::filesystem::path stub;      // empty: setup.exe beside this program
    int level = lz::kDefaultLevel;
    std::optional<std::int64_t> sourcedateepoch;
};

int RunBuild(const BuildOptions& options);
int RunList(const std::filesystem::path& installer, bool json);
int RunInfo(const std::filesystem::path& installer, bool json);
int RunTest(const std::filesystem::path& installer);
int RunExtract(const std::filesystem::path& installer, const std::filesystem::path& folder);

}  // namespace tallowin
