#include "mainunit/logfile.hpp"

#include "setuputil/utf8.hpp"
#include "setuputil/wintext.hpp"

namespace mainunit {

LogFile::LogFile() { ::InitializeCriticalSection(&lock_); }

LogFile::~LogFile() { ::DeleteCriticalSection(&lock_); }

bool LogFile::Open(const std::u16string& path) {
    // Appends only, with the writes passed through to the disk; others
    // may read the log while the run goes on.
    const HANDLE file = ::CreateFileW(setuputil::WinStr(path), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    file_.reset(file);
    opened_ = ::GetTickCount();
    return true;
}

void LogFile::Line(const std::u16string& text) {
    if (!file_) return;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    // The system's own formatter: the C library's would grow the stub.
    char stamp[64] = {};
    ::wsprintfA(stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u +%lu ms  ", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds, static_cast<unsigned long>(::GetTickCount() - opened_));
    std::u16string flat = text;
    for (char16_t& c : flat)
        if (c == u'\r' || c == u'\n') c = u' ';
    const std::string line = stamp + setuputil::Utf16ToUtf8(flat) + "\r\n";
    ::EnterCriticalSection(&lock_);
    DWORD written = 0;
    ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::LeaveCriticalSection(&lock_);
}

}  // namespace mainunit
