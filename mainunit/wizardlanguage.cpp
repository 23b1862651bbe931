#include "mainunit/wizardlanguage.hpp"

#include "setuputil/utf8.hpp"

namespace mainunit {

using payload::TextId;

WizardLanguage::WizardLanguage() {
    texts_.reserve(payload::kTextCount);
    for (const char* english : payload::kEnglishTexts)
        texts_.push_back(setuputil::Utf8ToUtf16Replacing(std::string(english)));
}

WizardLanguage::WizardLanguage(const std::vector<payload::TextTable>& tables, const std::string& code)
    : WizardLanguage() {
    for (const payload::TextTable& table : tables) {
        if (table.code != code) continue;
        code_ = code;
        for (const auto& [name, text] : table.texts) {
            const std::optional<TextId> id = payload::FindTextId(name);
            std::u16string wide;
            if (id && text.size() <= payload::kMaxTextBytes && payload::HasEnglishInserts(*id, text) &&
                setuputil::Utf8ToUtf16(text, wide) && !wide.empty())
                texts_[static_cast<std::size_t>(*id)] = std::move(wide);
        }
    }
}

std::u16string WizardLanguage::Text(TextId id, payload::TextInserts inserts) const {
    return payload::FillText<char16_t>(texts_[static_cast<std::size_t>(id)], inserts);
}

std::vector<std::string> LanguageCodes(const std::vector<payload::TextTable>& tables) {
    std::vector<std::string> codes{"en"};
    for (const payload::TextTable& table : tables)
        if (!table.code.empty() && table.code != "en") codes.push_back(table.code);
    return codes;
}

WizardLanguage ChooseLanguage(const std::vector<payload::TextTable>& tables, const std::vector<std::string>& wanted) {
    const std::vector<std::string> codes = LanguageCodes(tables);
    for (const std::string& code : wanted)
        if (const auto picked = payload::PickLanguage(codes, code)) return WizardLanguage(tables, codes[*picked]);
    return WizardLanguage(tables, "en");
}

}  // namespace mainunit
