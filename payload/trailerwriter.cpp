#include "payload/trailerwriter.hpp"

#include <cstring>

namespace payload {

namespace {

template <std::size_t N>
bool Put(ShortString<N>& field, const std::string& text, const std::string& name, std::string& error) {
    if (WriteShortString(field, text)) return true;
    error = name + " is " + std::to_string(text.size()) + " bytes long; it holds at most " + std::to_string(N);
    return false;
}

bool PutWide(WideField& field, const std::u16string& text, const std::string& name, std::string& error) {
    if (text.find(u'\0') != std::u16string::npos) {
        error = name + " holds a zero character";
        return false;
    }
    if (WriteWideField(field, text)) return true;
    error = name + " is " + std::to_string(text.size()) + " UTF-16 units long; it holds at most " +
            std::to_string(kWideFieldUnits);
    return false;
}

bool NonEmpty(const std::string& text, const std::string& name, std::string& error) {
    if (!text.empty()) return true;
    error = name + " is empty; an empty slot would end the list there";
    return false;
}

}  // namespace

bool BuildTrailer(const TrailerFields& f, tsetuptrailer& t, std::string& error) {
    std::memset(&t, 0, sizeof t);
    WriteShortString(t.filesmark, kFilesMark);
    t.archiveoffset = f.archiveoffset;
    t.licenseoffset = f.licenseoffset;
    t.haslicense = f.haslicense ? 1 : 0;
    if (!PutWide(t.startmenufolder, f.startmenufolder, "startmenufolder", error) ||
        !Put(t.exename, f.exename, "exename", error) ||
        !Put(t.productversion, f.productversion, "productversion", error) ||
        !Put(t.productname, f.productname, "productname", error) ||
        !PutWide(t.defaultsubfolder, f.defaultsubfolder, "defaultsubfolder", error) ||
        !Put(t.appdatafolder, f.appdatafolder, "appdatafolder", error))
        return false;

    if (f.services.size() > kServiceSlots) {
        error = "services: " + std::to_string(f.services.size()) + " given; an installer holds at most " +
                std::to_string(kServiceSlots);
        return false;
    }
    for (std::size_t i = 0; i < f.services.size(); ++i) {
        const std::string slot = "services[" + std::to_string(i) + "]";
        if (!NonEmpty(f.services[i].program, slot + ".program", error) ||
            !NonEmpty(f.services[i].name, slot + ".name", error) ||
            !Put(t.serviceprograms[i], f.services[i].program, slot + ".program", error) ||
            !Put(t.servicenames[i], f.services[i].name, slot + ".name", error))
            return false;
    }

    if (f.shortcuts.size() > kShortcutSlots) {
        error = "shortcuts: " + std::to_string(f.shortcuts.size()) + " given; an installer holds at most " +
                std::to_string(kShortcutSlots);
        return false;
    }
    for (std::size_t i = 0; i < f.shortcuts.size(); ++i) {
        const std::string slot = "shortcuts[" + std::to_string(i) + "]";
        if (!NonEmpty(f.shortcuts[i].target, slot + ".target", error) ||
            !NonEmpty(f.shortcuts[i].caption, slot + ".caption", error) ||
            !Put(t.shortcuttargets[i], f.shortcuts[i].target, slot + ".target", error) ||
            !Put(t.shortcutcaptions[i], f.shortcuts[i].caption, slot + ".caption", error))
            return false;
    }
    return true;
}

}  // namespace payload
