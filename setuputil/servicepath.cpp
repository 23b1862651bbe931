#include "setuputil/services.hpp"

namespace setuputil {

std::u16string ServiceCommandLine(const std::u16string& programpath) {
    const bool quoted = programpath.size() >= 2 && programpath.front() == u'"' && programpath.back() == u'"';
    if (quoted || programpath.find_first_of(u" \t") == std::u16string::npos) return programpath;
    return u"\"" + programpath + u"\"";
}

}  // namespace setuputil
