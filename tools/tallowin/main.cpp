// tallowin: builds installers from product files and inspects, tests and
// unpacks existing ones.  See docs/product-file.md.
#include "tools/tallowin/commands.hpp"
#include "tools/tallowin/plancommands.hpp"

#include "setuputil/utf8.hpp"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// One line per architecture: the stub a build without --stub uses.
std::string StubLine(const char* label, const std::vector<tallowin::StubPlace>& places) {
    if (const tallowin::StubPlace* stub = tallowin::FindStub(places))
        return std::string(label) + stub->path.string() + " (" + stub->reason + ")\n";
    return std::string(label) + "none found; looked at:\n" + tallowin::DescribePlaces(places);
}

// `tallowin --version`: the version and the stubs.
std::string VersionText(const tallowin::BuildOptions& build) {
    std::string text = "tallowin " TALLOWIN_VERSION "\n" + StubLine("stub: ", build.stubplaces) +
                       StubLine("stub64: ", build.stubplaces64);
    text.pop_back();
    return text;
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

int RunCommand(bool build, bool list, bool info, bool test, tallowin::BuildOptions& options,
               const std::string& installer, const std::string& folder, bool json, unsigned jobs) {
    using namespace tallowin;
    if (build) {
        if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
            char* end = nullptr;
            const long long value = std::strtoll(epoch, &end, 10);
            if (*end != '\0' || value < 0) {
                std::cerr << "tallowin: SOURCE_DATE_EPOCH must be a number of seconds\n";
                return kExitUsage;
            }
            options.sourcedateepoch = value;
        }
        return RunBuild(options);
    }
    if (list) return RunList(installer, json);
    if (info) return RunInfo(installer, json);
    if (test) return RunTest(installer, jobs);
    return RunExtract(installer, folder, jobs);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tallowin;
    // This help text is also the manual page: the build turns the help of
    // the command and of each subcommand into tallowin.1
    // (cmake/manpage.cmake).  Footer sections: a line ending in ":" heads
    // one, its entries are indented "name  text" lines.
    CLI::App app{"tallowin: build, inspect, test and unpack Tallowin installers", "tallowin"};
    app.footer(
        "Exit status:\n"
        "  0                  success\n"
        "  1                  a bad or damaged installer, or a product that cannot be built\n"
        "  2                  bad usage\n"
        "\n"
        "Environment:\n"
        "  TALLOWIN_STUB      the stub a build uses when --stub is not given\n"
        "  SOURCE_DATE_EPOCH  seconds since 1970: the installer's date, and the latest file date it carries\n"
        "\n"
        "See also:\n"
        "  docs/product-file.md  the product file's settings, in tallowin's documentation\n"
        "  docs/cmake.md         find_package(Tallowin) and tallowin_add_installer()");
    app.require_subcommand(1);

    BuildOptions build;
    const std::filesystem::path self = ProgramFile();
    build.stubplaces = StubPlaces(Architecture::X86, Variable(StubVariable(Architecture::X86)), self);
    build.stubplaces64 = StubPlaces(Architecture::X64, Variable(StubVariable(Architecture::X64)), self);
    app.set_version_flag("--version", [&build] { return VersionText(build); });

    auto* buildCmd = app.add_subcommand("build", "Build an installer from a product file");
    buildCmd->add_option("product", build.product, "Product file (TOML)")->required()->check(CLI::ExistingFile);
    buildCmd->add_option("-o,--output", build.output, "Installer to write")->required();
    buildCmd->add_option("--stub", build.stub,
                         "Stub program, built for the product's architecture (default for x86: $TALLOWIN_STUB, "
                         "else setup.exe beside tallowin, else ../share/tallowin/setup.exe; for x64: "
                         "$TALLOWIN_STUB64, else setup64.exe in the same places)")
        ->check(CLI::ExistingFile);
    buildCmd->add_option("--level", build.level, "Compression level: 0 stores plainly, 1..9")
        ->check(CLI::Range(0, 9));
    buildCmd->add_option("--compression", build.compression,
                         "Payload kind, over the product file's: per-file (each file alone, the default) or solid "
                         "(LZMA blocks over many files: smaller, slower to build; needs the Linux tool)")
        ->check(CLI::IsMember({"per-file", "solid"}));
    buildCmd->add_option("-j,--jobs", build.jobs, "Threads compressing the files (default: one per core)")
        ->check(CLI::Range(1, 256));
    const char* signvariable = std::getenv("TALLOWIN_SIGN_COMMAND");
    build.signcommand = signvariable ? signvariable : "";
    buildCmd->add_option("--sign-command", build.signcommand,
                         "Shell command that signs {file} in place, run on the uninstaller and on the installer "
                         "(default: $TALLOWIN_SIGN_COMMAND)");

    std::string installer;
    bool json = false;
    auto* listCmd = app.add_subcommand("list", "List the files of an installer");
    listCmd->add_option("installer", installer, "Installer file")->required();
    listCmd->add_flag("--json", json, "Print JSON");
    auto* infoCmd = app.add_subcommand("info", "Print the setup trailer's fields");
    infoCmd->add_option("installer", installer, "Installer file")->required();
    infoCmd->add_flag("--json", json, "Print JSON");
    auto* testCmd = app.add_subcommand("test", "Decode every file of an installer without writing");
    testCmd->add_option("installer", installer, "Installer file")->required();
    unsigned jobs = 0;
    testCmd->add_option("-j,--jobs", jobs, "Threads decoding (default: one per core)")->check(CLI::Range(1, 256));
    std::string folder;
    auto* extractCmd = app.add_subcommand("extract", "Unpack the files of an installer into a folder");
    extractCmd->add_option("installer", installer, "Installer file")->required();
    extractCmd->add_option("-d,--directory", folder, "Destination folder")->required();
    extractCmd->add_option("-j,--jobs", jobs, "Threads decoding (default: one per core)")->check(CLI::Range(1, 256));

    PlanCommandOptions plan;
    std::string scope, folderoption;
    auto* planCmd = app.add_subcommand("plan", "Show every effect an installer's install would have, and its uninstall");
    planCmd->add_option("installer", plan.installer, "Installer file")->required();
    planCmd->add_option("--scope", scope, "The installer's scope (it is stamped by the builder)")
        ->check(CLI::IsMember({"machine", "user"}));
    planCmd->add_option("--lang", plan.plan.language, "The wizard's language code (default en)");
    planCmd->add_option("--folder", folderoption, "The program folder (default: the one the wizard proposes)");
    planCmd->add_flag("--json", plan.json, "Print JSON");
    DiffCommandOptions diff;
    auto* diffCmd = app.add_subcommand("diff", "Show what installing NEW over OLD changes");
    diffCmd->add_option("old", diff.older, "The installed version's installer")->required();
    diffCmd->add_option("new", diff.newer, "The new version's installer")->required();
    diffCmd->add_flag("--json", diff.json, "Print JSON");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }

    // Every allocation reading a file is bounded by the file's size; one
    // that still fails (a hostile file, a machine short of memory) ends the
    // command as a damaged file rather than as a crash.
    const std::string file = buildCmd->parsed() ? build.product.string()
                             : planCmd->parsed() ? plan.installer.string()
                             : diffCmd->parsed() ? diff.newer.string()
                                                 : installer;
    try {
        if (planCmd->parsed()) {
            if (!scope.empty()) plan.plan.scope = scope == "user" ? payload::InstallScope::User : payload::InstallScope::Machine;
            if (!setuputil::Utf8ToUtf16(folderoption, plan.plan.folder)) {
                std::cerr << "tallowin: --folder is not valid UTF-8\n";
                return kExitUsage;
            }
            return RunPlan(plan);
        }
        if (diffCmd->parsed()) return RunDiff(diff);
        return RunCommand(buildCmd->parsed(), listCmd->parsed(), infoCmd->parsed(), testCmd->parsed(), build, installer,
                          folder, json, jobs);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    std::cerr << "tallowin: " << file << ": damaged: reading it needs more memory than there is\n";
    return kExitBadInstaller;
}
