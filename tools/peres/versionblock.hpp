// The version resource (RT_VERSION): the block Explorer's Properties, the
// administrator prompt and GetFileVersionInfo read.  One string table for
// one language and code page, and the Translation value naming it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace peres {

struct VersionInfo {
    std::array<std::uint16_t, 4> fileversion{};
    std::array<std::uint16_t, 4> productversion{};
    std::uint16_t language = 0x0409;  // US English
    std::uint16_t codepage = 1200;    // UTF-16
    // In this order; empty values are left out.
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

// The leading numbers of a version text: "2.1" -> 2.1.0.0, "3.0 beta 2" ->
// 3.0.0.0, "1.2.3.4.5" -> 1.2.3.4, no leading digit -> 0.0.0.0.  A number
// above 65535 is taken as 65535.
std::array<std::uint16_t, 4> VersionNumbers(const std::string& text);

std::vector<std::uint8_t> BuildVersionBlock(const VersionInfo& info);

// Reads a block back (the first string table); false when it is not a
// well-formed version block.
bool ParseVersionBlock(const std::vector<std::uint8_t>& block, VersionInfo& info);

// The value of `key` in `info.strings`, empty when missing.
std::u16string VersionString(const VersionInfo& info, const std::u16string& key);

}  // namespace peres
