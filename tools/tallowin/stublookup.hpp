// Where `tallowin build` finds the stub program when no --stub is given.
#pragma once

#include "tools/tallowin/stubstamp.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace tallowin {

// One place the stub may be, with why it is looked at.
struct StubPlace {
    std::filesystem::path path;
    std::string reason;
};

// The places of the stub for `architecture`, in the order they are tried.
// `environment` is the value of its variable (StubVariable; "" when unset):
// when given, it is the only place, so a wrong value is reported instead of
// quietly building with another stub.  Otherwise the stub's file name
// (StubFileName) beside the program, then in ../share/tallowin/ from the
// program's real location (symbolic links resolved): the build tree and
// the Windows zip keep the stubs beside the tool, an installed tree under
// share/.
//   x86: TALLOWIN_STUB,   setup.exe
//   x64: TALLOWIN_STUB64, setup64.exe
const char* StubVariable(Architecture architecture);
const char* StubFileName(Architecture architecture);
std::vector<StubPlace> StubPlaces(Architecture architecture, const std::string& environment,
                                  const std::filesystem::path& program);

// The running program's own file, symbolic links resolved.
std::filesystem::path ProgramFile();

// The first place that holds a regular file; nullptr when none does.
const StubPlace* FindStub(const std::vector<StubPlace>& places);

// "  <path> (<reason>)" per line, for the error that none was found.
std::string DescribePlaces(const std::vector<StubPlace>& places);

}  // namespace tallowin
