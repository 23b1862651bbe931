#include "payload/trailerreader.hpp"

#include "payload/payloadend.hpp"
#include "payload/texttable.hpp"

#include <cstring>
#include <vector>

namespace payload {

using setuputil::FileAccess;

bool HasFilesMark(const tsetuptrailer& trailer) {
    return trailer.filesmark.length == kFilesMarkLength &&
           std::memcmp(trailer.filesmark.text, kFilesMark, kFilesMarkLength) == 0;
}

namespace {

// The license runs from `licenseoffset` to the trailer.  An offset before
// the file, past the trailer, or a span too long to be a license, counts as
// unreadable.
bool ReadLicense(FileAccess& file, std::int64_t payloadEnd, const tsetuptrailer& trailer, std::string& licensetext) {
    const std::int64_t start = trailer.licenseoffset;
    const std::int64_t length = payloadEnd - static_cast<std::int64_t>(kTrailerSize) - start;
    if (start < 0 || length < 0 || length > kMaxLicenseBytes) return false;
    std::vector<char> bytes(static_cast<std::size_t>(length));
    std::uint32_t count = static_cast<std::uint32_t>(length);
    if (ReadBlockAt(file, bytes.data(), count, start) != static_cast<std::uint32_t>(length)) return false;
    // Cut at the first zero byte; line breaks and everything else unchanged.
    std::size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0) ++n;
    licensetext.assign(bytes.data(), n);
    return true;
}

}  // namespace

TrailerStatus ReadSetupTrailer(FileAccess& setupfile, tsetuptrailer& trailer, std::string& licensetext) {
    licensetext.clear();
    // The trailer ends where the payload does: the end of the file, or the
    // start of the certificate table of a signed installer.
    const std::int64_t end = PayloadEnd(setupfile);
    const std::int64_t at = end - static_cast<std::int64_t>(kTrailerSize);
    if (end < 0 || at < 0) return TrailerStatus::CannotRead;
    std::uint32_t count = kTrailerSize;
    if (ReadBlockAt(setupfile, &trailer, count, at) != kTrailerSize) return TrailerStatus::CannotRead;
    if (!HasFilesMark(trailer)) return TrailerStatus::NoMark;
    if (trailer.haslicense != 0 && !ReadLicense(setupfile, end, trailer, licensetext)) {
        trailer.haslicense = 0;
        licensetext.clear();
    }
    return TrailerStatus::Ok;
}

TrailerStatus LoadSetupTrailer(const std::u16string& path, FileAccess& setupfile, tsetuptrailer& trailer,
                               std::string& licensetext) {
    if (!OpenForRead(setupfile, path)) return TrailerStatus::CannotOpen;
    const TrailerStatus status = ReadSetupTrailer(setupfile, trailer, licensetext);
    if (status != TrailerStatus::Ok) CloseAccess(setupfile);
    return status;
}

TextId TrailerFailureText(TrailerStatus status) {
    return status == TrailerStatus::CannotOpen   ? TextId::SetupFilesNotFound
           : status == TrailerStatus::CannotRead ? TextId::SetupFileUnreadable
                                                 : TextId::NoInstallFiles;
}

std::u16string TrailerStatusText(TrailerStatus status, const std::u16string& path) {
    if (status == TrailerStatus::Ok) return {};
    const std::string_view english = EnglishText(TrailerFailureText(status));  // plain ASCII
    return FillText<char16_t>(std::u16string(english.begin(), english.end()), {{u"file", path}});
}

}  // namespace payload
