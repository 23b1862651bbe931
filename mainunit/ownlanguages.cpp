#include "mainunit/ownlanguages.hpp"

#include "payload/packedresource.hpp"
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
    const std::vector<std::uint8_t> bytes =
        payload::ExpandPacked(static_cast<const std::uint8_t*>(packed), ::SizeofResource(nullptr, resource));
    if (bytes.empty() || bytes.size() > payload::kMaxTextBundleBytes) return {};
    return payload::ReadTextTables(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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
