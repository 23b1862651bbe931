// The vendor's identity stamped into the stub the builder copies: the
// version resource, the program icon, the wizard's side picture, and the
// payload check record (payload/payloadcheck.hpp), whose length and CRC-32
// are filled in once the whole installer is written.
//
// Version resource: file and product version numbers from the leading
// numbers of `productversion`; strings CompanyName (the publisher),
// FileDescription (product name + " Setup"), FileVersion (the numbers),
// LegalCopyright, OriginalFilename, ProductName, ProductVersion -- empty
// ones left out.  The language tables (RCDATA "TEXTS") are the stub's with
// the vendor's applied (stubtexts.hpp).  The icon replaces the stub's first icon group and its
// images; the picture replaces RCDATA "SIDEPICTURE", packed as the stub's
// build packs it.  A per-user product's stub also gets the scope record
// (payload/installscope.hpp) and a manifest that asks for no elevation
// ("asInvoker" in place of "requireAdministrator"); a machine-wide one gets
// neither, so its stub is stamped exactly as before there were scopes.
// A product that declares registry values or start at sign-in gets RCDATA
// "DECLARATIONS" (payload/declarations.hpp); one that declares none, none.
// A solid payload's stub gets the payload kind record
// (payload/payloadkind.hpp); the default kind's gets none.  A product
// named in a script Windows-1252 lacks gets RCDATA "PRODUCTNAMES"
// (payload/productnames.hpp); one whose names fit the code page, none.
#pragma once

#include "payload/declarations.hpp"
#include "payload/installscope.hpp"
#include "payload/payloadkind.hpp"
#include "payload/productnames.hpp"
#include "tools/tallowin/stubtexts.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tallowin {

// The processor a product's programs are built for, and so the stub that
// installs them: "x86" the 32-bit stub, "x64" the 64-bit one.
enum class Architecture { X86, X64 };
inline constexpr std::uint16_t kMachineX86 = 0x014C;  // IMAGE_FILE_MACHINE_I386
inline constexpr std::uint16_t kMachineX64 = 0x8664;  // IMAGE_FILE_MACHINE_AMD64
std::uint16_t MachineOf(Architecture architecture);
// "x86", "x64", or the machine number in hex for any other.
std::string MachineName(std::uint16_t machine);

struct StubIdentity {
    std::u16string productname, productversion, publisher, copyright, originalfilename;
    std::vector<std::uint8_t> icon;         // an .ico file; empty: the stub's own icon stays
    std::vector<std::uint8_t> wizardimage;  // a BMP file; empty: the stub's own picture stays
    Architecture architecture = Architecture::X86;  // the stub must be built for it
    payload::InstallScope scope = payload::InstallScope::Machine;
    payload::PayloadKind kind = payload::PayloadKind::Sac;  // Solid: the kind record is stamped
    VendorTexts texts;  // none given: the stub's language tables stay as they are
    payload::Declarations declarations;  // none: no RCDATA "DECLARATIONS", the stub as before
    // A name the code page lacks: RCDATA "PRODUCTNAMES" (payload/productnames.hpp);
    // an empty `productname` here: none, the stub as before.
    payload::ProductNames names;
};

struct StampedStub {
    std::vector<std::uint8_t> bytes;
    std::size_t checkoffset = 0;     // file offset of the payload check record
    std::size_t checksumoffset = 0;  // file offset of the PE header checksum
};

// False with `error` naming the problem: a stub that is not a PE program
// the resource writer can edit, one built for another processor than
// `identity.architecture`, a bad icon or picture, a per-user product's stub
// whose manifest does not ask for administrator rights, language tables
// that cannot be built (stubtexts.hpp, whose warnings go to `warnings`) or
// whose uninstall shortcut caption, with the product name, is no name
// Windows can create (CheckUninstallLinkNames).
bool StampStub(const std::vector<std::uint8_t>& stub, const StubIdentity& identity, StampedStub& out,
               std::string& error, std::vector<std::string>* warnings = nullptr);

// "" when `bmp` is a picture the wizard can show in place of its own: an
// uncompressed 24-bit BMP of the side picture's size; else why not.
std::string CheckWizardImage(const std::vector<std::uint8_t>& bmp);

// Completes an installer written with `stub` at its start: the payload
// check record gets the length and CRC-32 of everything after the stub,
// then the header checksum is set for the whole file.
bool SealInstaller(const std::filesystem::path& installer, const StampedStub& stub, std::string& error);

}  // namespace tallowin
