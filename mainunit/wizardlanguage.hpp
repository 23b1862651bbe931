// The language the wizard speaks: one table of payload/textids.hpp's texts
// in UTF-16, every text present (English where the chosen table lacks it or
// breaks the insert rule), and how the table is chosen.
//
// The choice, in order: the language /LANG= names, the one the install
// used (the uninstaller reads it from the registration), the user's own UI
// language; each by its exact code, else by its language alone ("pt-PT"
// gets "pt-BR", "zh-TW" gets "zh-CN"), else English.
#pragma once

#include "payload/texttable.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace mainunit {

class WizardLanguage {
public:
    WizardLanguage();  // English

    // The table `code` of `tables` over English ("en" in `tables` changes
    // English itself).
    WizardLanguage(const std::vector<payload::TextTable>& tables, const std::string& code);

    // "en", "de", "pt-BR": what the registration records.
    const std::string& Code() const { return code_; }
    std::u16string Text(payload::TextId id, payload::TextInserts inserts = {}) const;

private:
    std::string code_ = "en";
    std::vector<std::u16string> texts_;
};

// The codes of the languages the wizard can speak with `tables`: English
// and each table's.
std::vector<std::string> LanguageCodes(const std::vector<payload::TextTable>& tables);

// The first of `wanted` (codes, in order of preference; empty ones are
// skipped) that `tables` or English serves; English when none is.
WizardLanguage ChooseLanguage(const std::vector<payload::TextTable>& tables, const std::vector<std::string>& wanted);

}  // namespace mainunit
