#include "setuputil/regpath.hpp"

#include "setuputil/codepage.hpp"

#include <array>
#include <string_view>

namespace setuputil {

namespace {

// Upper case, as the registry compares names.  Only the upper-cased wide form
// is compared, so letters the code page folds onto ASCII ones compare the same.
constexpr std::array<std::u16string_view, 18> kProtected = {
    u"SOFTWARE",
    u"SOFTWARE\\MICROSOFT",
    u"SOFTWARE\\MICROSOFT\\WINDOWS",
    u"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION",
    u"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS",
    u"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL",
    u"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
    u"SOFTWARE\\CLASSES",
    u"SOFTWARE\\POLICIES",
    u"SOFTWARE\\WOW6432NODE",
    u"SOFTWARE\\WOW6432NODE\\MICROSOFT",
    u"SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS",
    u"SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION",
    u"SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS",
    u"SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL",
    u"SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
    u"SOFTWARE\\WOW6432NODE\\CLASSES",
    u"SOFTWARE\\WOW6432NODE\\POLICIES",
};

}  // namespace

std::string CanonicalRegPath(const std::string& keypath) {
    std::string out;
    out.reserve(keypath.size());
    for (char c : keypath) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out.push_back(c);
    }
    if (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

bool IsProtectedRegPath(const std::string& keypath) {
    const std::string canonical = CanonicalRegPath(keypath);
    if (canonical.empty()) return true;
    const std::u16string upper = UpperCaseW(AnsiToWide(canonical));
    for (std::u16string_view name : kProtected)
        if (upper == name) return true;
    return false;
}

}  // namespace setuputil
