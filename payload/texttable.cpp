#include "payload/texttable.hpp"

#include "payload/packedresource.hpp"
#include "payload/packedresource.hpp"
#include "setuputil/textconv.hpp"

#include <algorithm>

namespace payload {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
            out += text[++i] == 'n' ? '\n' : '\\';
        } else {
            out += text[i];
        }
    }
    return out;
}

// One line of a reader's `problems`, made in one place.
void Fault(std::vector<std::string>* problems, std::size_t line, std::string_view before, std::string_view subject,
           std::string_view after) {
    if (!problems) return;
    std::string text = "line " + setuputil::Int64ToText(static_cast<std::int64_t>(line)) + ": ";
    text.append(before).append(subject).append(after);
    problems->push_back(std::move(text));
}

}  // namespace

std::string_view PrimaryLanguage(std::string_view code) { return code.substr(0, code.find('-')); }

std::optional<TextId> FindTextId(std::string_view name) {
    for (std::size_t i = 0; i < kTextCount; ++i)
        if (kTextNames[i] == name) return static_cast<TextId>(i);
    return std::nullopt;
}

std::vector<TextTable> ReadTextTables(std::string_view file, std::vector<std::string>* problems) {
    std::vector<TextTable> tables;
    const auto fault = [problems](std::size_t line, std::string_view before, std::string_view subject,
                                  std::string_view after) { Fault(problems, line, before, subject, after); };
    if (file.size() > kMaxTextBundleBytes) {
        fault(1, "the file is larger than 1 MiB", {}, {});
        return tables;
    }
    if (file.substr(0, 3) == "\xEF\xBB\xBF") file.remove_prefix(3);  // a byte-order mark
    bool skipping = false;  // inside a table that was refused
    std::size_t lineno = 0;
    while (!file.empty()) {
        ++lineno;
        const std::size_t end = file.find('\n');
        const std::string_view line = Trimmed(file.substr(0, end));
        file.remove_prefix(end == std::string_view::npos ? file.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            const std::string code =
                line.back() == ']' ? CanonicalLanguageCode(Trimmed(line.substr(1, line.size() - 2))) : std::string();
            skipping = true;
            if (code.empty()) {
                fault(lineno, "not a language code: ", line, {});
            } else if (tables.size() >= kMaxTextTables) {
                fault(lineno, "more than 64 languages", {}, {});
            } else if (std::any_of(tables.begin(), tables.end(), [&](const TextTable& t) { return t.code == code; })) {
                fault(lineno, "the language ", code, " is given twice");
            } else {
                tables.push_back({code, {}});
                skipping = false;
            }
            continue;
        }
        if (skipping) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            fault(lineno, "a line without \"name = text\"", {}, {});
            continue;
        }
        const std::string name(Trimmed(line.substr(0, equals)));
        if (!FindTextId(name)) {
            fault(lineno, "no text is named ", name, {});
            continue;
        }
        std::string text = Unescaped(Trimmed(line.substr(equals + 1)));
        if (text.size() > kMaxTextBytes) {
            fault(lineno, {}, name, " is longer than 2,048 bytes");
            continue;
        }
        if (tables.empty()) tables.push_back({"", {}});
        auto& texts = tables.back().texts;
        if (std::any_of(texts.begin(), texts.end(), [&](const auto& t) { return t.first == name; })) {
            fault(lineno, {}, name, " is given twice");
            continue;
        }
        texts.emplace_back(name, std::move(text));
    }
    return tables;
}

std::vector<std::string> InsertsOf(std::string_view text) {
    std::vector<std::string> inserts;
    for (std::size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{', open + 1)) {
        std::size_t end = open + 1;
        while (end < text.size() && IsLower(text[end])) ++end;
        if (end == open + 1 || end >= text.size() || text[end] != '}') continue;
        const std::string_view name = text.substr(open + 1, end - open - 1);
        // Kept sorted, each once (a handful at most).
        auto at = inserts.begin();
        while (at != inserts.end() && *at < name) ++at;
        if (at == inserts.end() || *at != name) inserts.emplace(at, name);
    }
    return inserts;
}

bool HasEnglishInserts(TextId id, std::string_view text) { return InsertsOf(text) == InsertsOf(EnglishText(id)); }

std::string CanonicalLanguageCode(std::string_view code) {
    const std::size_t dash = code.find('-');
    const std::string_view language = code.substr(0, dash);
    const std::string_view region = dash == std::string_view::npos ? std::string_view() : code.substr(dash + 1);
    if (language.size() < 2 || language.size() > 3 || code.size() > kMaxLanguageCodeBytes) return {};
    if (dash != std::string_view::npos && (region.size() < 2 || region.size() > 8)) return {};
    std::string out;
    for (char c : language) {
        if (!IsLower(Lower(c))) return {};
        out += Lower(c);
    }
    if (dash == std::string_view::npos) return out;
    out += '-';
    for (char c : region) {
        if (!IsLower(Lower(c)) && !IsDigit(c)) return {};
        out += Upper(c);
    }
    return out;
}

std::optional<std::size_t> PickLanguage(const std::vector<std::string>& codes, std::string_view wanted) {
    const std::string want = CanonicalLanguageCode(wanted);
    if (want.empty()) return std::nullopt;
    for (std::size_t i = 0; i < codes.size(); ++i)
        if (codes[i] == want) return i;
    const std::string_view primary = PrimaryLanguage(want);
    for (std::size_t i = 0; i < codes.size(); ++i)
        if (codes[i] == primary) return i;
    for (std::size_t i = 0; i < codes.size(); ++i)
        if (PrimaryLanguage(codes[i]) == primary) return i;
    return std::nullopt;
}

std::optional<std::vector<TextTable>> ReadPackedTextTables(const std::uint8_t* packed, std::size_t size,
                                                           std::vector<std::string>* problems) {
    const std::vector<std::uint8_t> bundle = ExpandPacked(packed, size);
    if (bundle.empty() || bundle.size() > kMaxTextBundleBytes) return std::nullopt;
    return ReadTextTables(std::string_view(reinterpret_cast<const char*>(bundle.data()), bundle.size()), problems);
}

}  // namespace payload
