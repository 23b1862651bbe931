// The language tables: every shipped table names every text once with
// English's inserts, the file shape, the choice of a table, and the English
// texts that other modules still spell out agree with the table.
#include "mainunit/startoptions.hpp"
#include "mainunit/wizardlanguage.hpp"
#include "mainunit/wizardtexts.hpp"
#include "payload/extractsteps.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/texttable.hpp"
#include "payload/trailerreader.hpp"
#include "setuputil/utf8.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

namespace fs = std::filesystem;
using payload::TextId;

std::u16string English(TextId id) { return setuputil::Utf8ToUtf16Replacing(std::string(payload::EnglishText(id))); }

TEST(Languages, EveryShippedTableNamesEveryTextOnceWithEnglishInserts) {
    const fs::path folder = fs::path(TALLOWIN_SOURCE_DIR) / "mainunit" / "languages";
    std::set<std::string> codes;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".txt") continue;
        const std::string code = entry.path().stem().string();
        SCOPED_TRACE(code);
        EXPECT_EQ(payload::CanonicalLanguageCode(code), code);
        EXPECT_FALSE(payload::IsRightToLeftLanguage(code));
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> problems;
        const auto tables = payload::ReadTextTables(file, &problems);
        EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
        ASSERT_EQ(tables.size(), 1u);
        std::set<std::string> named;
        for (const auto& [name, text] : tables[0].texts) {
            const auto id = payload::FindTextId(name);
            ASSERT_TRUE(id.has_value()) << name;
            EXPECT_TRUE(payload::HasEnglishInserts(*id, text)) << name << ": " << text;
            std::u16string wide;
            EXPECT_TRUE(setuputil::Utf8ToUtf16(text, wide) && !wide.empty()) << name;
            named.insert(name);
        }
        EXPECT_EQ(named.size(), payload::kTextCount);
        codes.insert(code);
    }
    EXPECT_EQ(codes, (std::set<std::string>{"de", "es", "fr", "it", "ja", "nl", "pl", "pt-BR", "ru", "zh-CN"}));
}

TEST(Languages, FileShapeAndItsFaults) {
    std::vector<std::string> problems;
    const auto tables = payload::ReadTextTables(
        "# comment\nNextButton = &Weiter  >\n[PT-br]\n  InvalidFolder=Linha 1\\nLinha 2 \\\\ fim \n"
        "Nonsense = x\nInvalidFolder = again\nno equals sign\n[x]\nNextButton = skipped\n",
        &problems);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].code, "");
    EXPECT_EQ(tables[0].texts[0].second, "&Weiter  >");
    EXPECT_EQ(tables[1].code, "pt-BR");
    ASSERT_EQ(tables[1].texts.size(), 1u);
    EXPECT_EQ(tables[1].texts[0].second, "Linha 1\nLinha 2 \\ fim");
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0], "line 5: no text is named Nonsense");
    EXPECT_EQ(problems[1], "line 6: InvalidFolder is given twice");
    EXPECT_EQ(problems[3], "line 8: not a language code: [x]");
    // Written and read back, the same tables.
    const auto again = payload::ReadTextTables(payload::WriteTextTables({tables[1]}));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].texts, tables[1].texts);
    // A text longer than the bound is refused.
    EXPECT_TRUE(payload::ReadTextTables("[de]\nFileCorrupt = " + std::string(payload::kMaxTextBytes + 1, 'x'), &problems)[0]
                    .texts.empty());
}

TEST(Languages, InsertsAreNamedAndMayMove) {
    EXPECT_EQ(payload::InsertsOf("{version} of {product}, {product} {x1} {} {Big}"),
              (std::vector<std::string>{"product", "version"}));
    EXPECT_TRUE(payload::HasEnglishInserts(TextId::InstallWelcomeLabel, "{version}: {product}"));
    EXPECT_FALSE(payload::HasEnglishInserts(TextId::InstallWelcomeLabel, "{product} only"));
    EXPECT_FALSE(payload::HasEnglishInserts(TextId::InstallPathLabel, "{product} {folder}"));
    EXPECT_EQ(payload::FillText<char16_t>(u"{b}-{a}-{a}-{c}", {{u"a", u"1"}, {u"b", u"2"}}), u"2-1-1-{c}");
}

TEST(Languages, ChoiceByCodeThenLanguageThenEnglish) {
    const std::vector<std::string> codes{"en", "de", "pt-BR", "zh-CN"};
    const auto pick = [&](std::string_view wanted) {
        const auto i = payload::PickLanguage(codes, wanted);
        return i ? codes[*i] : std::string("none");
    };
    EXPECT_EQ(pick("de-AT"), "de");
    EXPECT_EQ(pick("pt-PT"), "pt-BR");
    EXPECT_EQ(pick("PT"), "pt-BR");
    EXPECT_EQ(pick("zh-TW"), "zh-CN");
    EXPECT_EQ(pick("en-GB"), "en");
    EXPECT_EQ(pick("sv-SE"), "none");
    EXPECT_EQ(pick("de-"), "none");
    EXPECT_EQ(pick(std::string(40, 'd')), "none");

    // /LANG= first, then the recorded language, then the user's.
    const std::vector<payload::TextTable> tables{{"de", {{"NextButton", "&Weiter  >"}}},
                                                {"fr", {{"NextButton", "&Suivant  >"}}}};
    EXPECT_EQ(mainunit::ChooseLanguage(tables, {"", "fr", "de-DE"}).Code(), "fr");
    EXPECT_EQ(mainunit::ChooseLanguage(tables, {"xx", "junk value", "de-DE"}).Code(), "de");
    EXPECT_EQ(mainunit::ChooseLanguage(tables, {"sv-SE"}).Code(), "en");
}

TEST(Languages, ATableFallsBackToEnglishTextByText) {
    const std::vector<payload::TextTable> tables{
        {"de",
         {{"NextButton", "&Weiter  >"},
          {"InstallPathLabel", "{product} nach {folder}"},  // an insert English lacks
          {"FinishLabel", "\xC3\x28 broken UTF-8 {product}"}}}};
    const mainunit::WizardLanguage german(tables, "de");
    EXPECT_EQ(german.Text(TextId::NextButton), u"&Weiter  >");
    EXPECT_EQ(german.Text(TextId::InstallPathLabel, {{u"product", u"Vantrell"}}), u"Install Vantrell to:");
    EXPECT_EQ(german.Text(TextId::FinishLabel, {{u"product", u"V"}}), u"V was successfully installed on your computer.");
    EXPECT_EQ(german.Text(TextId::BackButton), u"<  &Back");
    // The wide texts of English are the 8-bit ones, character for character.
    const auto wide = mainunit::MakeInstallTexts(mainunit::WizardLanguage(), u"Vantrell", u"2.5");
    const auto narrow = mainunit::MakeInstallTexts("Vantrell", "2.5");
    EXPECT_EQ(wide.welcometitle, std::u16string(narrow.welcometitle.begin(), narrow.welcometitle.end()));
    EXPECT_EQ(wide.welcomelabel, std::u16string(narrow.welcomelabel.begin(), narrow.welcomelabel.end()));
}

TEST(Languages, EnglishTextsSpelledElsewhereAgreeWithTheTable) {
    EXPECT_EQ(English(TextId::DamagedInstaller), payload::kDamagedInstaller);
    const std::u16string file = u"C:\\setup.exe";
    EXPECT_EQ(payload::FillText<char16_t>(English(TextId::SetupFilesNotFound), {{u"file", file}}),
              payload::TrailerStatusText(payload::TrailerStatus::CannotOpen, file));
    EXPECT_EQ(English(TextId::SetupFileUnreadable), payload::TrailerStatusText(payload::TrailerStatus::CannotRead, u""));
    EXPECT_EQ(English(TextId::NoInstallFiles), payload::TrailerStatusText(payload::TrailerStatus::NoMark, u""));
    EXPECT_EQ(English(TextId::CannotCreateFolder), payload::kTextNoFolder);
    EXPECT_EQ(payload::FillText<char16_t>(English(TextId::CannotCreateFile), {{u"file", file}}),
              payload::kTextCannotCreatePrefix + file + u")");
    EXPECT_EQ(English(TextId::CannotSeekSetupFile), payload::kTextCannotSeek);
    EXPECT_EQ(English(TextId::CannotReadSetupFile), payload::kTextShortRead);
    EXPECT_EQ(English(TextId::FileCorrupt), payload::kTextCorrupt);
    EXPECT_EQ(English(TextId::CannotWriteFile), payload::kTextWriteFailed);
    EXPECT_EQ(payload::FillText<char16_t>(English(TextId::RepeatedSwitch), {{u"switch", u"/D="}}),
              std::u16string(mainunit::kRepeatedSwitch) + u"/D=");
}

}  // namespace
