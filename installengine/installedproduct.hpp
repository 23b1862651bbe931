// The installed version of a product, as its uninstall key
// (registration.hpp) under the root of the install's scope tells it:
// "InstallLocation", "DisplayVersion" and "InstallRecordId".  The values
// are untrusted: a folder that is not an absolute one on a drive, or that
// the uninstall guard would refuse (a protected folder, a share), or that is
// gone altogether, makes the product count as not installed, and the install then goes on as a first
// install.
#pragma once

#include "payload/installscope.hpp"

#include <string>

namespace installengine {

struct InstalledProduct {
    bool installed = false;
    std::u16string folder;  // without a trailing backslash
    std::string version;
    std::string recordid;
};

InstalledProduct FindInstalledProduct(payload::InstallScope scope, const std::string& productname);

}  // namespace installengine
