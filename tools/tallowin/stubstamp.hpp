// The vendor's identity stamped into the stub the builder copies: the
// version resource, the program icon, the wizard's side picture, and the
// payload check record (payload/payloadcheck.hpp), whose length and CRC-32
// are filled in once the whole installer is written.
//
// Version resource: file and product version numbers from the leading
// numbers of `productversion`; strings CompanyName (the publisher),
// FileDescription (product name + " Setup"), FileVersion (the numbers),
// LegalCopyright, OriginalFilename, ProductName, ProductVersion -- empty
// ones left out.  The icon replaces the stub's first icon group and its
// images; the picture replaces RCDATA "SIDEPICTURE", packed as the stub's
// build packs it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tallowin {

struct StubIdentity {
    std::u16string productname, productversion, publisher, copyright, originalfilename;
    std::vector<std::uint8_t> icon;         // an .ico file; empty: the stub's own icon stays
    std::vector<std::uint8_t> wizardimage;  // a BMP file; empty: the stub's own picture stays
};

struct StampedStub {
    std::vector<std::uint8_t> bytes;
    std::size_t checkoffset = 0;     // file offset of the payload check record
    std::size_t checksumoffset = 0;  // file offset of the PE header checksum
};

// False with `error` naming the problem: a stub that is not a PE program
// the resource writer can edit, a bad icon or picture.
bool StampStub(const std::vector<std::uint8_t>& stub, const StubIdentity& identity, StampedStub& out,
               std::string& error);

// "" when `bmp` is a picture the wizard can show in place of its own: an
// uncompressed 24-bit BMP of the side picture's size; else why not.
std::string CheckWizardImage(const std::vector<std::uint8_t>& bmp);

// Completes an installer written with `stub` at its start: the payload
// check record gets the length and CRC-32 of everything after the stub,
// then the header checksum is set for the whole file.
bool SealInstaller(const std::filesystem::path& installer, const StampedStub& stub, std::string& error);

}  // namespace tallowin
