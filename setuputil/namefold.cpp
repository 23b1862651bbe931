#include "setuputil/namefold.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace setuputil {

namespace {

struct UpcaseRun {
    std::uint16_t first, last, stride;
    std::int32_t delta;
};

constexpr UpcaseRun kRuns[] = {
#include "upcasetable.inc"
};

static_assert(std::size(kRuns) < 400, "the table is a few hundred runs; a bigger one was generated wrongly");

}  // namespace

char16_t FoldNameUnit(char16_t unit) {
    // The runs are sorted and do not overlap: the last one starting at or
    // before `unit` is the only one that can hold it.
    const auto after = std::upper_bound(std::begin(kRuns), std::end(kRuns), unit,
                                        [](char16_t u, const UpcaseRun& run) { return u < run.first; });
    if (after == std::begin(kRuns)) return unit;
    const UpcaseRun& run = *(after - 1);
    if (unit > run.last || (unit - run.first) % run.stride != 0) return unit;
    return static_cast<char16_t>(unit + run.delta);
}

std::u16string FoldName(const std::u16string& name) {
    std::u16string folded = name;
    for (char16_t& unit : folded) unit = FoldNameUnit(unit);
    return folded;
}

bool SameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldNameUnit(a[i]) != FoldNameUnit(b[i])) return false;
    return true;
}

}  // namespace setuputil
