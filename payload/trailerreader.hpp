// Start-up's reading of the setup trailer and the license text from the
// installer's own file.  Both end where the payload ends (payloadend.hpp):
// the end of the file, or where a signed installer's certificate table
// begins.
//
// Three failures end the start-up, each with its own message (textids.hpp):
//   CannotOpen  SetupFilesNotFound   "Unable to find Setup Files in {file}"
//   CannotRead  SetupFileUnreadable  (shorter than a trailer)
//   NoMark      NoInstallFiles       (a stub without payload)
// A license text that cannot be read is not a failure: `haslicense` is
// cleared and the license page is not shown.
#pragma once

#include "payload/setuptrailer.hpp"
#include "payload/textids.hpp"
#include "setuputil/fileaccess.hpp"

#include <string>

namespace payload {

enum class TrailerStatus { Ok, CannotOpen, CannotRead, NoMark };

// A license span larger than this is taken as damage, not read: no real
// license is that long, and a wrong offset must not cause a huge allocation.
inline constexpr std::int64_t kMaxLicenseBytes = 16 * 1024 * 1024;

// Opens `path` into `setupfile` and reads the trailer and license text.  On
// Ok the file stays open (start-up keeps it); on any failure it is closed.
TrailerStatus LoadSetupTrailer(const std::u16string& path, setuputil::FileAccess& setupfile,
                               tsetuptrailer& trailer, std::string& licensetext);

// Reads from a file that is already open; does not close it.
TrailerStatus ReadSetupTrailer(setuputil::FileAccess& setupfile, tsetuptrailer& trailer, std::string& licensetext);

// The start-up message of a failure (any status but Ok), {file} the path.
TextId TrailerFailureText(TrailerStatus status);
// That message in English with `path` inserted ("" for Ok).
std::u16string TrailerStatusText(TrailerStatus status, const std::u16string& path);

// True when the first n + 1 bytes (n = the length byte) are exactly the
// length byte 21 and "Install Files Present".
bool HasFilesMark(const tsetuptrailer& trailer);

}  // namespace payload
