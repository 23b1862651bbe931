#include "setuputil/fileaccess.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace setuputil {

namespace {

using GetFileSizeExFn = BOOL(WINAPI*)(HANDLE, PLARGE_INTEGER);
using SetFilePointerExFn = BOOL(WINAPI*)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);

// The 64-bit entry points are optional: looked up by name on each use (a
// lookup is nothing beside the file call it precedes; a cached one would
// need a thread-safe static, whose guard links the library's guard code
// into the stub), and the 32-bit calls are used where a kernel32 lacks them.
struct ExtendedCalls {
    GetFileSizeExFn getFileSizeEx = nullptr;
    SetFilePointerExFn setFilePointerEx = nullptr;
};

ExtendedCalls Extended() {
    ExtendedCalls c;
    if (HMODULE kernel = GetModuleHandleA("kernel32.dll")) {
        c.getFileSizeEx = reinterpret_cast<GetFileSizeExFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GetFileSizeEx")));
        c.setFilePointerEx = reinterpret_cast<SetFilePointerExFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetFilePointerEx")));
    }
    return c;
}

HANDLE Handle(const FileAccess& file) { return reinterpret_cast<HANDLE>(file.handle); }

bool Open(FileAccess& file, const std::u16string& path, DWORD access, DWORD share, DWORD disposition,
          std::int32_t writeMode) {
    HANDLE h;
    if (IsWin2000OrLater())
        h = CreateFileW(WinStr(path), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    else
        h = CreateFileA(WideToAnsi(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
    file.handle = reinterpret_cast<std::intptr_t>(h);
    file.writeMode = writeMode;
    return true;
}

}  // namespace

bool OpenForRead(FileAccess& file, const std::u16string& path) {
    return Open(file, path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
}

bool OpenForWrite(FileAccess& file, const std::u16string& path) {
    // A new file needs no question (an install creates almost only new
    // ones, and each question walks the path once more).
    if (Open(file, path, GENERIC_WRITE, 0, CREATE_NEW, 1)) return true;
    // Windows refuses to replace a read-only file; asked before replacing
    // so that the rule also holds where the host's permission check does
    // not apply (Wine running as root).
    const DWORD attributes = IsWin2000OrLater() ? GetFileAttributesW(WinStr(path))
                                                : GetFileAttributesA(WideToAnsi(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    return Open(file, path, GENERIC_WRITE, 0, CREATE_ALWAYS, 1);
}

std::uint32_t ReadBlock(FileAccess& file, void* buffer, std::uint32_t& count) {
    DWORD got = 0;
    if (!ReadFile(Handle(file), buffer, count, &got, nullptr)) got = 0;
    count = got;
    return got;
}

std::uint32_t ReadBlockAt(FileAccess& file, void* buffer, std::uint32_t& count, std::int64_t offset) {
    if (!SeekAbsolute(file, offset)) return 0;
    return ReadBlock(file, buffer, count);
}

bool WriteBlock(FileAccess& file, const void* buffer, std::int32_t count) {
    if (count < 0) return false;
    DWORD written = 0;
    if (!WriteFile(Handle(file), buffer, static_cast<DWORD>(count), &written, nullptr)) return false;
    return static_cast<std::int64_t>(written) == static_cast<std::int64_t>(count);
}

bool SeekAbsolute(FileAccess& file, std::int64_t offset) {
    if (auto seekEx = Extended().setFilePointerEx) {
        LARGE_INTEGER distance;
        distance.QuadPart = offset;
        return seekEx(Handle(file), distance, nullptr, FILE_BEGIN) != 0;
    }
    const auto low = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    const DWORD result = SetFilePointer(Handle(file), static_cast<LONG>(low), nullptr, FILE_BEGIN);
    return (static_cast<std::uint64_t>(offset) >> 32) == 0 && result == low;
}

std::int64_t CurrentPosition(FileAccess& file) {
    if (auto seekEx = Extended().setFilePointerEx) {
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        LARGE_INTEGER position;
        if (!seekEx(Handle(file), zero, &position, FILE_CURRENT)) return -1;
        return position.QuadPart;
    }
    const DWORD result = SetFilePointer(Handle(file), 0, nullptr, FILE_CURRENT);
    if (result == INVALID_SET_FILE_POINTER) return -1;
    return static_cast<std::int64_t>(result);
}

std::int64_t GetFileSize64(FileAccess& file) {
    if (auto sizeEx = Extended().getFileSizeEx) {
        LARGE_INTEGER size;
        if (!sizeEx(Handle(file), &size)) return -1;
        return size.QuadPart;
    }
    const DWORD result = GetFileSize(Handle(file), nullptr);
    if (result == INVALID_FILE_SIZE) return -1;
    return static_cast<std::int64_t>(result);
}

bool CloseAccess(FileAccess& file) {
    if (file.handle == 0) return false;
    const bool closed = CloseHandle(Handle(file)) != 0;
    file.handle = 0;
    return closed;
}

}  // namespace setuputil
