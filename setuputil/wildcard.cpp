#include "setuputil/wildcard.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/widestr.hpp"

namespace setuputil {

// Segments between stars are searched left to right.  Note the one quirk the
// title search has always had: after a segment is found, the text position
// advances by the segment's length from where it was, not from where the
// segment was found.
bool MatchWildcard(const std::u16string& patternIn, const std::u16string& textIn) {
    const std::u16string pattern = UpperCaseW(patternIn);
    const std::u16string text = UpperCaseW(textIn);
    const std::int64_t star = PosW(u"*", pattern);
    if (star == 0) return pattern == text;
    if (text.empty()) return false;

    const std::int64_t patternLength = static_cast<std::int64_t>(pattern.size());
    const std::int64_t textLength = static_cast<std::int64_t>(text.size());
    std::int64_t i = 1;
    std::int64_t j = 1;
    if (pattern[0] != u'*') {
        const std::u16string head = CopyLeftW(pattern, star - 1);
        if (PosW(head, text) != 1) return false;
        i = star + 1;
        j = static_cast<std::int64_t>(head.size()) + 1;
    }
    while (i <= patternLength) {
        if (pattern[static_cast<std::size_t>(i - 1)] == u'*') {
            ++i;
            continue;
        }
        const std::int64_t next = PosFromW(u"*", pattern, i);
        if (next == 0) {
            const std::u16string tail = CopyFromW(pattern, i);
            const std::int64_t n = static_cast<std::int64_t>(tail.size());
            return n <= textLength && text.compare(static_cast<std::size_t>(textLength - n), tail.size(), tail) == 0;
        }
        const std::u16string segment = CopyRangeW(pattern, i, next - 1);
        if (PosFromW(segment, text, j) == 0) return false;
        i += static_cast<std::int64_t>(segment.size()) + 1;
        j += static_cast<std::int64_t>(segment.size());
    }
    return true;
}

}  // namespace setuputil
