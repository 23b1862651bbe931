#include "mainunit/ownlanguages.hpp"

#include "payload/texttable.hpp"
#include "setuputil/utf8.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace mainunit {

std::vector<payload::TextTable> OwnTextTables() {
    HRSRC resource = ::FindResourceW(nullptr, reinterpret_cast<LPCWSTR>(payload::kTextsResourceName),
                                     MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
    const void* packed = loaded ? ::LockResource(loaded) : nullptr;
    if (!packed) return {};
    std::optional<std::vector<payload::TextTable>> tables =
        payload::ReadPackedTextTables(static_cast<const std::uint8_t*>(packed), ::SizeofResource(nullptr, resource));
    return tables ? std::move(*tables) : std::vector<payload::TextTable>();
}

std::string UserLanguageCode() {
    const LCID locale = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
    wchar_t language[16] = {}, region[16] = {};
    if (::GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, language, 16) == 0) return {};
    std::string code = setuputil::Utf16ToUtf8(setuputil::FromWinStr(language));
    if (::GetLocaleInfoW(locale, LOCALE_SISO3166CTRYNAME, region, 16) != 0 && region[0] != 0)
        code += "-" + setuputil::Utf16ToUtf8(setuputil::FromWinStr(region));
    return code;
}

}  // namespace mainunit
