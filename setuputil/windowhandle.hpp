// The window handle type of the declarations below setuputil/, without
// including the platform's headers: it is the very type the platform's
// HWND names, so callers pass HWND values unchanged.
#pragma once

struct HWND__;

namespace setuputil {

using WindowHandle = HWND__*;

}  // namespace setuputil
