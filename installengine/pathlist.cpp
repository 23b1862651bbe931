#include "installengine/pathlist.hpp"

#include "setuputil/namefold.hpp"

#include <vector>

namespace installengine {

namespace {

struct Span {
    std::size_t at, size;
};

std::vector<Span> Entries(const std::u16string& list) {
    std::vector<Span> spans;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = list.find(u';', start);
        spans.push_back({start, (end == std::u16string::npos ? list.size() : end) - start});
        if (end == std::u16string::npos) return spans;
        start = end + 1;
    }
}

std::u16string Bare(std::u16string entry) {
    if (entry.size() >= 2 && entry.front() == u'"' && entry.back() == u'"') entry = entry.substr(1, entry.size() - 2);
    while (entry.size() > 1 && entry.back() == u'\\') entry.pop_back();
    return entry;
}

bool Same(const std::u16string& a, const std::u16string& b) { return setuputil::SameName(Bare(a), Bare(b)); }

}  // namespace

bool PathListHas(const std::u16string& list, const std::u16string& entry) {
    for (const Span& s : Entries(list))
        if (Same(list.substr(s.at, s.size), entry)) return true;
    return false;
}

std::u16string PathListAppend(const std::u16string& list, const std::u16string& entry) {
    if (list.empty()) return entry;
    return list + (list.back() == u';' ? u"" : u";") + entry;
}

bool PathListRemove(std::u16string& list, const std::u16string& entry) {
    const std::vector<Span> spans = Entries(list);
    for (std::size_t i = spans.size(); i-- > 0;) {
        const Span s = spans[i];
        if (!Same(list.substr(s.at, s.size), entry)) continue;
        // The separator before the entry goes with it; the first entry takes the one after it.
        if (i > 0) list.erase(s.at - 1, s.size + 1);
        else list.erase(s.at, spans.size() > 1 ? s.size + 1 : s.size);
        return true;
    }
    return false;
}

}  // namespace installengine
