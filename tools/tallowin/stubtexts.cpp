#include "tools/tallowin/stubtexts.hpp"

#include "payload/pathbounds.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/textconv.hpp"
#include "setuputil/utf8.hpp"
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

std::string CheckUninstallLinkNames(const std::vector<payload::TextTable>& tables, const std::u16string& productname) {
    // As the install names the link: the caption with the trimmed product
    // name inserted, the characters no name may hold dropped, ".lnk".
    const std::u16string display = setuputil::TrimSpacesAndReturns(productname);
    const auto tooLong = [&](const std::string& text) -> std::size_t {
        const std::u16string caption =
            payload::FillText<char16_t>(setuputil::Utf8ToUtf16Replacing(text), {{u"product", display}});
        const std::size_t units = setuputil::StripBadNameChars(caption).size() + 4;
        return units > payload::kMaxNameUnits ? units : 0;
    };
    const std::string name(payload::TextName(payload::TextId::UninstallShortcut));
    const std::string tail = ", with the product's name inserted, makes a link file name (with \".lnk\") of ";
    const std::string limit = " characters; Windows takes at most " + std::to_string(payload::kMaxNameUnits) +
                              " in one name: shorten it or the productname";
    bool english = tables.empty();
    for (const payload::TextTable& table : tables) {
        const auto text = std::find_if(table.texts.begin(), table.texts.end(), [&](const auto& t) { return t.first == name; });
        if (text == table.texts.end()) {
            english = true;
        } else if (const std::size_t units = tooLong(text->second)) {
            return "texts." + table.code + ": " + name + tail + std::to_string(units) + limit;
        }
    }
    if (const std::size_t units = english ? tooLong(std::string(payload::EnglishText(payload::TextId::UninstallShortcut))) : 0)
        return "the English " + name + " \"" + std::string(payload::EnglishText(payload::TextId::UninstallShortcut)) + "\"" +
               tail + std::to_string(units) + limit;
    return {};
}

bool BuildTextsResource(const std::vector<std::uint8_t>& stubpacked, const VendorTexts& vendor,
                        std::vector<std::uint8_t>& packed, std::vector<std::string>& warnings, std::string& error,
                        std::vector<payload::TextTable>* carried) {
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
    if (carried) *carried = tables;
    return packres::PackResource(std::vector<std::uint8_t>(bundle.begin(), bundle.end()), packed, error);
}

}  // namespace tallowin
