// The product's names in any script: a resource the builder writes into
// the stub of a product whose `productname` or `publisher` the
// Windows-1252 code page cannot hold.
//
// The trailer's `productname` stays an 8-bit text: for such a product it
// is a form the builder derives (`EightBitProductName`, tools/tallowin/productfile.hpp), and it
// keeps naming what identifies the product -- the uninstall key, the App
// Paths "Displayname", the install record's "product" line -- so those stay
// stable from one version to the next.  The names here are what a person
// sees: the wizard's title and texts, message boxes, the uninstall entry's
// "DisplayName" and "Publisher", the shortcut names.  The uninstaller is a
// copy of the stub and carries the record too.
//
// Resource RCDATA "PRODUCTNAMES", little-endian:
//   offset 0   4 bytes   the mark "TPN1"
//   offset 4   2 bytes   n: the product name's length in UTF-16 units (1..255)
//   offset 6   2 bytes   p: the publisher's length in UTF-16 units (0..255)
//   offset 8   2 bytes   e: the 8-bit form's length in bytes (1..255)
//   offset 10  2 bytes   zero
//   offset 12            n units of the product name, p units of the
//                        publisher, e bytes of the 8-bit form: the trailer's
//                        `productname` exactly
// The record is exactly 12 + 2n + 2p + e bytes.
//
// A stub without the record shows the trailer's 8-bit name, as before the
// record existed: a product whose names fit the code page is built without
// it, byte for byte as before.  A record that is present but malformed, or
// whose 8-bit form is not the trailer's, is a damaged installer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace payload {

inline constexpr char16_t kProductNamesName[] = u"PRODUCTNAMES";
inline constexpr char kProductNamesMark[4] = {'T', 'P', 'N', '1'};
// The bound of each text: the trailer's 8-bit field holds 255 bytes, and a
// name longer than that could not be a link file's name either.
inline constexpr std::size_t kMaxProductNameUnits = 255;

struct tproductnamesheader {
    char mark[4];
    std::uint16_t namelength;       // UTF-16 units
    std::uint16_t publisherlength;  // UTF-16 units
    std::uint16_t eightbitlength;   // bytes
    std::uint16_t reserved;
};
static_assert(sizeof(tproductnamesheader) == 12);
static_assert(offsetof(tproductnamesheader, namelength) == 4);
static_assert(offsetof(tproductnamesheader, publisherlength) == 6);
static_assert(offsetof(tproductnamesheader, eightbitlength) == 8);

struct ProductNames {
    std::u16string productname;  // as the vendor wrote it
    std::u16string publisher;    // "" when the product names none
    std::string eightbit;        // the trailer's `productname`
};

// True for a text a name may be: no control character (below U+0020,
// U+007F..U+009F) and no unpaired surrogate.
bool IsShowableName(const std::u16string& text);

// False unless the record is well formed: the mark, lengths within their
// bounds that add up to `size`, a non-empty name and 8-bit form, showable
// texts, no zero byte in the 8-bit form.
bool ParseProductNames(const void* data, std::size_t size, ProductNames& names);

// The name to show: the record's, or the 8-bit `eightbit` as the system's
// code page reads it when there is none.
std::u16string ShownName(const ProductNames& names, const std::string& eightbit);

// The record for `names`; empty when it could not be parsed back.
std::vector<std::uint8_t> MakeProductNames(const ProductNames& names);

}  // namespace payload
