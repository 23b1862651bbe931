// Finding a running copy of the product by its window title, and asking it
// to close.
#pragma once

#include "setuputil/windowhandle.hpp"

#include <cstdint>
#include <string>

namespace setuputil {

// What the window walk carries from window to window: the first match found
// (none until then) and the title pattern.
struct twindowinfo {
    WindowHandle window = nullptr;
    std::string pattern;
};

// The first top-level window whose title (read as 8-bit text, at most 255
// characters) matches `pattern` by MatchWildcard after both are lower-cased
// in the letters A to Z.  Untitled windows never match; an empty pattern
// answers none without walking.  Callers pass the product's name + " (*".
WindowHandle FindWindowByTitle(const std::string& pattern);

// How long SendCloseRequest waits for the window to handle the message.  A
// copy of the product that asks its user about unsaved work keeps the box up
// as long as the user does: the installer goes on after this bound rather
// than block forever on a box it cannot see.
constexpr std::uint32_t kCloseRequestTimeoutMs = 10000;

// Sends WM_CLOSE (both parameters 0) and waits until the window has handled
// it, at most `timeoutMs`, and not at all for a window whose thread has
// stopped answering.  True when the window handled the message in time.
bool SendCloseRequest(WindowHandle window, std::uint32_t timeoutMs = kCloseRequestTimeoutMs);

}  // namespace setuputil
