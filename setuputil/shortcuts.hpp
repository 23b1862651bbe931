// Shell link (shortcut) files.
#pragma once

#include "setuputil/error.hpp"

#include <cstdint>
#include <string>

namespace setuputil {

// Raised when the shell link object cannot be created or lacks one of the
// interfaces it is used through; `code` is the component layer's result.
class ComError : public Error {
public:
    ComError(const std::string& what, std::int32_t code) : Error(what), code_(code) {}
    std::int32_t code() const { return code_; }

private:
    std::int32_t code_;
};

// Keeps the component system initialised on the calling thread while it
// lives, so that a run of CreateShortcut calls sets it up and tears it down
// once rather than once per shortcut.
class ShortcutSession {
public:
    ShortcutSession();
    ~ShortcutSession();
    ShortcutSession(const ShortcutSession&) = delete;
    ShortcutSession& operator=(const ShortcutSession&) = delete;

private:
    bool initialised_;
};

// Saves a shortcut to `target` with `arguments`, `description` and the
// working folder `workfolder` as the file `linkfile`.  The icon, show command
// and hot key are left to the shell (it shows the target's icon).  Initialises
// the component system on the calling thread for the call's duration.
// Answers whether the file was saved (a missing folder or missing rights
// leave no file); raises ComError when the shell link object is unavailable.
bool CreateShortcut(const std::u16string& target, const std::u16string& arguments,
                    const std::u16string& description, const std::u16string& workfolder,
                    const std::u16string& linkfile);

// The target path a shortcut file names, as it was saved (no search for a
// moved target, no environment expanded); "" when the file is no shortcut
// the shell link object loads.
std::u16string ReadShortcutTarget(const std::u16string& linkfile);

}  // namespace setuputil
