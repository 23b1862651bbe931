// Building a setup trailer from its texts, with every limit of the record
// checked.  Used by the builder and by tests that make installers.
#pragma once

#include "payload/setuptrailer.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace payload {

// 8-bit texts are in the target system's code page.
struct TrailerFields {
    std::string productname;
    std::string productversion;
    std::string exename;
    std::u16string startmenufolder;    // "\Vendor\Product"
    std::u16string defaultsubfolder;   // "\Product"
    std::string appdatafolder;
    std::vector<ServiceSlot> services;     // at most 5
    std::vector<ShortcutSlot> shortcuts;   // at most 6
    bool haslicense = false;
    std::int32_t archiveoffset = 0;
    std::int32_t licenseoffset = 0;
};

// Fills `trailer` (zeroing everything first, reserved bytes included).  On a
// text that does not fit, a slot list that is too long, or an empty text in
// a used slot (it would end the list early), answers false with a message
// that names the field.
bool BuildTrailer(const TrailerFields& fields, tsetuptrailer& trailer, std::string& error);

}  // namespace payload
