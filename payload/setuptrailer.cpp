#include "payload/setuptrailer.hpp"

namespace payload {

std::u16string ReadWideField(const WideField& field) {
    std::size_t n = 0;
    while (n < kWideFieldUnits && field[n] != 0) ++n;
    return std::u16string(field, n);
}

bool WriteWideField(WideField& field, const std::u16string& text) {
    if (text.size() > kWideFieldUnits || text.find(u'\0') != std::u16string::npos) return false;
    for (std::size_t i = 0; i < kWideFieldUnits; ++i) field[i] = i < text.size() ? text[i] : 0;
    return true;
}

std::vector<ServiceSlot> UsedServiceSlots(const tsetuptrailer& trailer) {
    std::vector<ServiceSlot> slots;
    for (std::size_t i = 0; i < kServiceSlots; ++i) {
        std::string program = ReadShortString(trailer.serviceprograms[i]);
        if (program.empty()) break;
        slots.push_back({std::move(program), ReadShortString(trailer.servicenames[i])});
    }
    return slots;
}

std::vector<ShortcutSlot> UsedShortcutSlots(const tsetuptrailer& trailer) {
    std::vector<ShortcutSlot> slots;
    for (std::size_t i = 0; i < kShortcutSlots; ++i) {
        std::string target = ReadShortString(trailer.shortcuttargets[i]);
        if (target.empty()) break;
        slots.push_back({std::move(target), ReadShortString(trailer.shortcutcaptions[i])});
    }
    return slots;
}

}  // namespace payload
