#include "setuputil/widestr.hpp"

#include "setuputil/codepage.hpp"

#include <algorithm>

namespace setuputil {

std::u16string CopyLeftW(const std::u16string& text, std::int64_t count) {
    if (count <= 0) return {};
    return text.substr(0, static_cast<std::size_t>(std::min<std::int64_t>(count, text.size())));
}

std::u16string CopyFromW(const std::u16string& text, std::int64_t start) {
    if (start < 1) start = 1;
    if (start > static_cast<std::int64_t>(text.size())) return {};
    return text.substr(static_cast<std::size_t>(start - 1));
}

std::u16string CopyRangeW(const std::u16string& text, std::int64_t first, std::int64_t last) {
    if (first < 1) first = 1;
    const std::int64_t size = static_cast<std::int64_t>(text.size());
    if (last > size) last = size;
    if (last < first) return {};
    return text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

std::int64_t PosW(const std::u16string& pattern, const std::u16string& text) {
    if (pattern.empty() || pattern.size() > text.size()) return 0;
    const std::size_t at = text.find(pattern);
    return at == std::u16string::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

std::int64_t PosFromW(const std::u16string& pattern, const std::u16string& text, std::int64_t start) {
    if (start < 1) start = 1;
    const std::u16string tail = AnsiToWide(WideToAnsi(CopyFromW(text, start)));
    const std::int64_t p = PosW(pattern, tail);
    return p == 0 ? 0 : start + p - 1;
}

std::int64_t LastPosW(const std::u16string& pattern, const std::u16string& text) {
    std::int64_t last = 0;
    std::int64_t from = 1;
    for (;;) {
        const std::int64_t p = PosFromW(pattern, text, from);
        if (p == 0) return last;
        last = p;
        from = p + 1;
    }
}

}  // namespace setuputil
