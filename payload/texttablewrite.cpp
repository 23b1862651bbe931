// What only the builder needs of the language tables: writing them, and
// the languages it refuses.
#include "payload/texttable.hpp"

namespace payload {

namespace {

std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

}  // namespace

std::string WriteTextTables(const std::vector<TextTable>& tables) {
    std::string out;
    for (const TextTable& table : tables) {
        out += "[" + table.code + "]\n";
        for (const auto& [name, text] : table.texts) out += name + " = " + Escaped(text) + "\n";
    }
    return out;
}

bool IsRightToLeftLanguage(std::string_view code) {
    const std::string primary(PrimaryLanguage(CanonicalLanguageCode(code)));
    for (const char* rtl : {"ar", "he", "iw", "fa", "ur", "yi", "ps", "sd", "ug", "dv", "syr", "ckb"})
        if (primary == rtl) return true;
    return false;
}

}  // namespace payload
