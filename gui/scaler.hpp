// Design pixels (at 96 pixels per inch) to device pixels at a given DPI.
// Layout rules are written in design pixels and run through this, so a
// form keeps its proportions at any font scaling.  Portable: the layout
// rules that use it are tested on the host.
#pragma once

namespace gui {

struct Scaler {
    int dpi = 96;
    // Rounds half away from zero, like MulDiv, for either sign.
    constexpr int operator()(int designPixels) const {
        const long long product = static_cast<long long>(designPixels) * dpi;
        return static_cast<int>(product >= 0 ? (product + 48) / 96 : -((-product + 48) / 96));
    }
};

}  // namespace gui
