// The setup trailer: the installer's whole configuration, the last 11,384
// bytes of every installer file.
//
// This header is the one definition of the record's layout, shared by the
// stub that reads it and by the builder that writes it.  The record is
// little-endian with fixed field positions and no padding beyond what is
// listed; the static_asserts below pin every offset.
//
// Text fields come in two kinds:
//   ShortString<N> - a length byte n (0..N) and n characters of the 8-bit
//                    code page, the rest zero; readers take exactly n bytes.
//   WideField      - 1,024 UTF-16 units, ended by the first zero unit when
//                    shorter; readers take up to that unit or all 1,024.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the on-disk records are little-endian");

namespace payload {

template <std::size_t Capacity>
struct ShortString {
    static_assert(Capacity <= 255);
    static constexpr std::size_t capacity = Capacity;
    std::uint8_t length;
    char text[Capacity];
};

inline constexpr std::size_t kWideFieldUnits = 1024;
using WideField = char16_t[kWideFieldUnits];

inline constexpr std::size_t kServiceSlots = 5;
inline constexpr std::size_t kShortcutSlots = 6;

#pragma pack(push, 1)
struct tsetuptrailer {
    ShortString<23> filesmark;                         // "Install Files Present"
    std::int32_t reserved24;
    std::int32_t archiveoffset;                        // = size of the stub
    WideField startmenufolder;                         // "\Vendor\Product"
    ShortString<255> exename;                          // main program file name
    ShortString<64> productversion;
    std::uint8_t reserved2401;
    ShortString<255> productname;
    std::uint8_t reserved2658;
    std::uint8_t padding2659;
    WideField defaultsubfolder;                        // "\Product", under Program Files
    ShortString<255> appdatafolder;                    // settings folder name, may be empty
    ShortString<255> serviceprograms[kServiceSlots];   // relative to the install folder
    ShortString<255> servicenames[kServiceSlots];
    ShortString<255> shortcuttargets[kShortcutSlots];  // "target-arguments"
    ShortString<255> shortcutcaptions[kShortcutSlots];
    std::uint8_t haslicense;
    std::uint8_t padding10597[3];
    std::int32_t licenseoffset;                        // license text start; archive footer end
    std::uint8_t reserved10604[780];
};
#pragma pack(pop)

inline constexpr std::size_t kTrailerSize = 11384;
inline constexpr char kFilesMark[] = "Install Files Present";
inline constexpr std::size_t kFilesMarkLength = sizeof(kFilesMark) - 1;  // 21

static_assert(sizeof(tsetuptrailer) == kTrailerSize);
static_assert(offsetof(tsetuptrailer, filesmark) == 0);
static_assert(offsetof(tsetuptrailer, reserved24) == 24);
static_assert(offsetof(tsetuptrailer, archiveoffset) == 28);
static_assert(offsetof(tsetuptrailer, startmenufolder) == 32);
static_assert(offsetof(tsetuptrailer, exename) == 2080);
static_assert(offsetof(tsetuptrailer, productversion) == 2336);
static_assert(offsetof(tsetuptrailer, reserved2401) == 2401);
static_assert(offsetof(tsetuptrailer, productname) == 2402);
static_assert(offsetof(tsetuptrailer, reserved2658) == 2658);
static_assert(offsetof(tsetuptrailer, defaultsubfolder) == 2660);
static_assert(offsetof(tsetuptrailer, appdatafolder) == 4708);
static_assert(offsetof(tsetuptrailer, serviceprograms) == 4964);
static_assert(offsetof(tsetuptrailer, servicenames) == 6244);
static_assert(offsetof(tsetuptrailer, shortcuttargets) == 7524);
static_assert(offsetof(tsetuptrailer, shortcutcaptions) == 9060);
static_assert(offsetof(tsetuptrailer, haslicense) == 10596);
static_assert(offsetof(tsetuptrailer, licenseoffset) == 10600);
static_assert(offsetof(tsetuptrailer, reserved10604) == 10604);

// Field access.  Readers never look past the capacity, whatever the length
// byte says; writers refuse a text that does not fit.
template <std::size_t N>
std::string ReadShortString(const ShortString<N>& field) {
    const std::size_t n = field.length <= N ? field.length : N;
    return std::string(field.text, n);
}

template <std::size_t N>
bool WriteShortString(ShortString<N>& field, const std::string& text) {
    if (text.size() > N) return false;
    field = {};
    field.length = static_cast<std::uint8_t>(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) field.text[i] = text[i];
    return true;
}

std::u16string ReadWideField(const WideField& field);
// Refuses a text of more than 1,024 units or one holding a zero unit.
bool WriteWideField(WideField& field, const std::u16string& text);

// One service or shortcut slot of the trailer, as texts.
struct ServiceSlot {
    std::string program;  // relative to the installation folder
    std::string name;
};
struct ShortcutSlot {
    std::string target;   // relative to the installation folder; "-args" may follow
    std::string caption;
};

// The used slots: each list ends at its first slot with an empty program
// (services) or target (shortcuts); slots after it are never read.
std::vector<ServiceSlot> UsedServiceSlots(const tsetuptrailer& trailer);
std::vector<ShortcutSlot> UsedShortcutSlots(const tsetuptrailer& trailer);

}  // namespace payload
