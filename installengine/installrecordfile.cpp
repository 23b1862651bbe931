#include "installengine/installrecordfile.hpp"

#include "setuputil/fileaccess.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace installengine {

using namespace setuputil;

namespace {

bool RandomBytes(unsigned char (&bytes)[16]) {
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    const bool ok = ::CryptGenRandom(provider, sizeof(bytes), bytes) != 0;
    ::CryptReleaseContext(provider, 0);
    return ok;
}

bool ReadWhole(const std::u16string& path, std::string& text, std::string& error) {
    ScopedFileAccess access;
    if (!IsPlainFile(path) || !OpenForRead(access.file, path)) {
        error = "no install record";
        return false;
    }
    const std::int64_t size = GetFileSize64(access.file);
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxInstallRecordBytes) {
        error = "the install record is too large";
        return false;
    }
    text.assign(static_cast<std::size_t>(size), '\0');
    std::uint32_t count = static_cast<std::uint32_t>(size);
    if (size > 0) ReadBlock(access.file, text.data(), count);
    if (count != static_cast<std::uint32_t>(size)) {
        error = "the install record cannot be read";
        return false;
    }
    return true;
}

}  // namespace

std::string NewInstallRecordId() {
    unsigned char bytes[16] = {};
    if (!RandomBytes(bytes)) {
        // The identifier tells installs apart, it guards no secret: without
        // the random source, the time, the process and the counter do.
        LARGE_INTEGER counter{};
        ::QueryPerformanceCounter(&counter);
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        const std::uint64_t parts[2] = {static_cast<std::uint64_t>(counter.QuadPart) ^ ::GetCurrentProcessId(),
                                        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime};
        for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(parts[i / 8] >> (8 * (i % 8)));
    }
    return InstallRecordIdFrom(bytes);
}

std::u16string InstallRecordPath(const std::u16string& programfolder) {
    return AddBackslash(programfolder) + kInstallRecordName;
}

bool WriteInstallRecord(const InstallRecord& record) {
    const std::string text = FormatInstallRecord(record);
    if (text.empty()) return false;
    const std::u16string target = InstallRecordPath(record.programfolder);
    wchar_t name[MAX_PATH] = {};
    if (::GetTempFileNameW(WinStr(AddBackslash(record.programfolder)), L"tlr", 0, name) == 0) return false;
    const std::u16string temporary = FromWinStr(name);
    bool ok = false;
    {
        ScopedFileAccess access;
        ok = OpenForWrite(access.file, temporary) &&
             WriteBlock(access.file, text.data(), static_cast<std::int32_t>(text.size()));
        ok = CloseAccess(access.file) && ok;
    }
    // Checked as the uninstall will read it.
    std::string back, error;
    ok = ok && ReadWhole(temporary, back, error) && back == text && ParseInstallRecord(back).ok;
    ok = ok && ::MoveFileExW(WinStr(temporary), WinStr(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) RemoveFile(temporary);
    return ok;
}

ParsedInstallRecord ReadInstallRecord(const std::u16string& programfolder) {
    std::string text;
    ParsedInstallRecord parsed;
    if (!ReadWhole(InstallRecordPath(programfolder), text, parsed.error)) return parsed;
    return ParseInstallRecord(text);
}

}  // namespace installengine
