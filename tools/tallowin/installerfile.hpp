// An installer file opened as the installer's own start-up opens it: the
// stub's resources (the builder's stamp, scope, declarations, payload
// kind), the trailer and license text, the archive's directory, and
// whether the payload matches its check record.  Every command that reads
// an installer starts here; what fails is told on stderr with the
// installer's own text.
#pragma once

#include "payload/declarations.hpp"
#include "payload/installscope.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/payloadkind.hpp"
#include "payload/productnames.hpp"
#include "payload/sacarchive.hpp"
#include "payload/setuptrailer.hpp"
#include "tools/peres/versionblock.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tallowin {

// What the stub of an installer carries besides its code: the builder's
// stamp (version resource, icon, picture, payload check record).
struct StubResources {
    bool readable = false;  // a PE image whose resources could be read
    peres::VersionInfo version;
    bool hasversion = false, hasicon = false, haspicture = false, hascheck = false;
    payload::tpayloadcheck check{};
    std::uint16_t machine = 0;  // the PE file header's processor
    payload::InstallScope scope = payload::InstallScope::Machine;
    bool scopedamaged = false;  // a scope record that does not parse
    payload::Declarations declarations;
    bool declarationsdamaged = false;  // a declarations record that does not parse
    payload::PayloadKind kind = payload::PayloadKind::Sac;
    bool kinddamaged = false;   // a payload kind record that does not parse
    payload::ProductNames names;  // the names record; an empty productname: none
    bool namesdamaged = false;  // a names record that does not parse
};

StubResources ReadStubResources(const std::filesystem::path& path);

// An installer with its trailer, license text and archive directory read,
// exactly as the installer's own start-up and worker read them.
struct Installer {
    payload::tsetuptrailer trailer{};
    std::string licensetext;
    payload::tsacarchive archive;
    std::int64_t certificatetable = 0;  // size of a signed installer's certificate table; 0: not signed
    StubResources stub;
    bool intact = true;                 // the payload matches the stub's check record (or there is none)
};

// `refusedamage`: like the installer's start-up, a payload that fails its
// check record ends here with the installer's own text.
std::unique_ptr<Installer> OpenInstaller(const std::filesystem::path& path, bool refusedamage = false);

// "tallowin: FILE: message" on stderr.
void Complain(const std::filesystem::path& file, const std::string& message);

}  // namespace tallowin
