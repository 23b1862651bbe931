#include "tools/tallowin/stublookup.hpp"

#include "setuputil/platform.hpp"

#include <system_error>

namespace tallowin {

namespace fs = std::filesystem;

const char* StubVariable(Architecture architecture) {
    return architecture == Architecture::X64 ? "TALLOWIN_STUB64" : "TALLOWIN_STUB";
}

const char* StubFileName(Architecture architecture) {
    return architecture == Architecture::X64 ? "setup64.exe" : "setup.exe";
}

std::vector<StubPlace> StubPlaces(Architecture architecture, const std::string& environment, const fs::path& program) {
    if (!environment.empty()) return {{fs::path(environment), StubVariable(architecture)}};
    const fs::path folder = program.parent_path();
    const char* name = StubFileName(architecture);
    return {{folder / name, "beside tallowin"},
            {(folder / ".." / "share" / "tallowin" / name).lexically_normal(), "tallowin's installed share folder"}};
}

fs::path ProgramFile() {
    const fs::path self(setuputil::GetParamW(0));
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(self, ec);
    return ec ? self : real;
}

const StubPlace* FindStub(const std::vector<StubPlace>& places) {
    for (const StubPlace& place : places) {
        std::error_code ec;
        if (fs::is_regular_file(place.path, ec)) return &place;
    }
    return nullptr;
}

std::string DescribePlaces(const std::vector<StubPlace>& places) {
    std::string text;
    for (const StubPlace& place : places) text += "  " + place.path.string() + " (" + place.reason + ")\n";
    return text;
}

}  // namespace tallowin
