// Language tables: the file shape every table shares, the packed resource
// that carries them in the stub, the rule of inserts, and the choice of a
// table for a language.
//
// A language file is UTF-8 text, one text a line:
//
//     # a comment
//     NextButton = &Weiter  >
//     InvalidFolder = Kein gültiger Ordner.\nBitte einen Ordner wählen.
//
// The name is one of payload/textids.hpp; blanks around "=" are dropped;
// "\n" in a text is a line break and "\\" a backslash.  The stub's
// resource RCDATA "TEXTS" holds several such tables, each after a line
// "[code]" (its language code: "de", "pt-BR"), packed as
// payload/packedresource.hpp packs (the stub's build packs its own
// tables; `tallowin build` rewrites it for the product).  English is
// compiled in: a table in the resource overrides it text by text.
//
// Anything may have written the resource: reading is bounded (its size,
// the number of tables, each text's length) and a text that is missing,
// too long or whose inserts differ from English's falls back to English.
#pragma once

#include "payload/textids.hpp"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace payload {

inline constexpr char16_t kTextsResourceName[] = u"TEXTS";
// The readers' messages spell these out.
inline constexpr std::size_t kMaxTextBundleBytes = 1u << 20;  // 1 MiB
inline constexpr std::size_t kMaxTextTables = 64;
inline constexpr std::size_t kMaxTextBytes = 2048;
inline constexpr std::size_t kMaxLanguageCodeBytes = 16;

struct TextTable {
    std::string code;  // "" in a language file read alone
    std::vector<std::pair<std::string, std::string>> texts;  // name, UTF-8 text, in file order
};

// Reads tables in the file shape.  Lines before the first "[code]" belong
// to a table with the code "".  Every fault (a line without "=", an unknown
// or repeated name, a text too long, a bad code, too many tables) is one
// line of `problems` ("line 12: ..."), and the line is skipped.
std::vector<TextTable> ReadTextTables(std::string_view file, std::vector<std::string>* problems = nullptr);
// The tables of the stub's packed text resource (packedresource.hpp);
// nullopt when the resource is not well formed or expands past
// kMaxTextBundleBytes.  Faults inside go to `problems` as above.
std::optional<std::vector<TextTable>> ReadPackedTextTables(const std::uint8_t* packed, std::size_t size,
                                                           std::vector<std::string>* problems = nullptr);
// The file shape of `tables`, each after its "[code]" line.
std::string WriteTextTables(const std::vector<TextTable>& tables);

std::optional<TextId> FindTextId(std::string_view name);
// The names of the inserts `text` uses, sorted, each once.
std::vector<std::string> InsertsOf(std::string_view text);
// True when `text` uses exactly the inserts of `id`'s English text.
bool HasEnglishInserts(TextId id, std::string_view text);

// "pt-br" -> "pt-BR", "ZH" -> "zh": the language part in small letters, the
// region in capitals; "" when `code` is not letters with an optional
// "-REGION" (letters or digits) of sane length.
std::string CanonicalLanguageCode(std::string_view code);
// The table of `codes` that serves `wanted` ("de-AT"): the same code,
// else one of the same language ("de", then any "de-..."), else none.
std::optional<std::size_t> PickLanguage(const std::vector<std::string>& codes, std::string_view wanted);
// "pt" of "pt-BR".
std::string_view PrimaryLanguage(std::string_view code);
// A language written right to left: its tables need mirrored layouts the
// wizard does not have, so none is carried.
bool IsRightToLeftLanguage(std::string_view code);

// Inserts by name: {{u"product", name}, {u"version", version}}.
template <class Char>
using BasicTextInserts = std::initializer_list<std::pair<std::basic_string_view<Char>, std::basic_string_view<Char>>>;
using TextInserts = BasicTextInserts<char16_t>;

// `text` with each {name} of `inserts` replaced by its value; braces that
// name no insert given stay as they are.
template <class Char>
std::basic_string<Char> FillText(std::basic_string_view<Char> text, BasicTextInserts<Char> inserts) {
    std::basic_string<Char> out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == Char('{')) {
            const std::size_t end = text.find(Char('}'), i + 1);
            if (end != std::basic_string_view<Char>::npos) {
                const std::basic_string_view<Char> name = text.substr(i + 1, end - i - 1);
                bool replaced = false;
                for (const auto& [key, value] : inserts) {
                    if (key == name) {
                        out += value;
                        replaced = true;
                        break;
                    }
                }
                if (replaced) {
                    i = end + 1;
                    continue;
                }
            }
        }
        out += text[i++];
    }
    return out;
}

}  // namespace payload
