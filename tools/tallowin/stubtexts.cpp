#include "tools/tallowin/stubtexts.hpp"

#include "tools/packres/packresource.hpp"

#include <algorithm>

namespace tallowin {

namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "{" : ", {") + name + "}";
    return text.empty() ? "none" : text;
}

}  // namespace

std::string CheckVendorTable(const payload::TextTable& table, const std::string& where) {
    if (payload::IsRightToLeftLanguage(table.code))
        return where + ": " + table.code +
               " is written right to left, and the wizard has no right-to-left layout to show it in";
    for (const auto& [name, text] : table.texts) {
        const std::optional<payload::TextId> id = payload::FindTextId(name);
        if (!id) return where + ": no text is named " + name;
        if (!payload::HasEnglishInserts(*id, text))
            return where + ": " + name + " must use the inserts " +
                   Joined(payload::InsertsOf(payload::EnglishText(*id))) + " as its English text does, not " +
                   Joined(payload::InsertsOf(text));
    }
    return {};
}

bool BuildTextsResource(const std::vector<std::uint8_t>& stubpacked, const VendorTexts& vendor,
                        std::vector<std::uint8_t>& packed, std::vector<std::string>& warnings, std::string& error) {
    std::vector<payload::TextTable> tables;
    if (!stubpacked.empty()) {
        std::vector<std::string> problems;
        std::optional<std::vector<payload::TextTable>> read =
            payload::ReadPackedTextTables(stubpacked.data(), stubpacked.size(), &problems);
        if (read) tables = std::move(*read);
        if (!read || !problems.empty()) {
            error = "stub: its language tables are damaged" + (problems.empty() ? "" : " (" + problems.front() + ")");
            return false;
        }
    }
    for (const payload::TextTable& mine : vendor.tables) {
        auto found = std::find_if(tables.begin(), tables.end(),
                                  [&](const payload::TextTable& t) { return t.code == mine.code; });
        if (found == tables.end()) {
            found = tables.insert(tables.end(), {mine.code, {}});
            if (mine.code != "en") {
                for (std::string_view name : payload::kTextNames)
                    if (std::none_of(mine.texts.begin(), mine.texts.end(), [&](const auto& t) { return t.first == name; }))
                        warnings.push_back("texts." + mine.code + ": " + std::string(name) +
                                           " is missing; the installer shows the English text in its place");
            }
        }
        for (const auto& entry : mine.texts) {
            auto same = std::find_if(found->texts.begin(), found->texts.end(),
                                     [&](const auto& t) { return t.first == entry.first; });
            if (same == found->texts.end()) found->texts.push_back(entry);
            else same->second = entry.second;
        }
    }
    if (vendor.languages) {
        for (const std::string& code : *vendor.languages) {
            if (code != "en" && std::none_of(tables.begin(), tables.end(),
                                             [&](const payload::TextTable& t) { return t.code == code; })) {
                error = "languages: the installer has no table for " + code +
                        " (add one with [texts." + code + "] or a language file)";
                return false;
            }
        }
        std::erase_if(tables, [&](const payload::TextTable& t) {
            return t.code != "en" && std::find(vendor.languages->begin(), vendor.languages->end(), t.code) == vendor.languages->end();
        });
    }
    if (tables.size() > payload::kMaxTextTables) {
        error = "more than " + std::to_string(payload::kMaxTextTables) + " languages";
        return false;
    }
    const std::string bundle = payload::WriteTextTables(tables);
    if (bundle.size() > payload::kMaxTextBundleBytes) {
        error = "the language tables are larger than " + std::to_string(payload::kMaxTextBundleBytes) + " bytes";
        return false;
    }
    return packres::PackResource(std::vector<std::uint8_t>(bundle.begin(), bundle.end()), packed, error);
}

}  // namespace tallowin
