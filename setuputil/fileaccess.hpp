// The file access record: one platform file handle and nine operations.
//
// Every read of the installer's own file and every write of an installed file
// goes through here.  Failures are reported by the result alone (false, or a
// byte count of 0); nothing raises.  A read is good only when it yields the
// full count asked for: callers compare.
//
// Sharing rules callers rely on:
//   OpenForRead  - existing file, read access, other readers allowed, fails
//                  while anyone has the file open for writing;
//   OpenForWrite - create or truncate, exclusive: no other open succeeds while
//                  it is open.  An existing read-only file cannot be opened.
// Windows: CreateFileW with GENERIC_READ/FILE_SHARE_READ/OPEN_EXISTING and
// GENERIC_WRITE/no sharing/CREATE_NEW (CREATE_ALWAYS for a file that is
// there); 64-bit positions through SetFilePointerEx/GetFileSizeEx when
// kernel32 has them.  POSIX: open/pread
// style calls with flock() locks standing in for the share modes.
#pragma once

#include <cstdint>
#include <string>

namespace setuputil {

struct FileAccess {
    std::intptr_t handle = 0;    // 0: not open (the invalid handle is never stored)
    std::int32_t writeMode = 0;  // 1 after OpenForWrite, 0 after OpenForRead
};

bool OpenForRead(FileAccess& file, const std::u16string& path);
bool OpenForWrite(FileAccess& file, const std::u16string& path);

// Reads at the current position; `count` is set to the bytes read (0 on error).
std::uint32_t ReadBlock(FileAccess& file, void* buffer, std::uint32_t& count);
// Seeks, then reads.  A failed seek answers 0 and leaves `count` unchanged.
std::uint32_t ReadBlockAt(FileAccess& file, void* buffer, std::uint32_t& count, std::int64_t offset);
// True only when all `count` bytes were written (a negative count never is).
bool WriteBlock(FileAccess& file, const void* buffer, std::int32_t count);

bool SeekAbsolute(FileAccess& file, std::int64_t offset);
// Both answer -1 when the platform query fails.
std::int64_t CurrentPosition(FileAccess& file);
std::int64_t GetFileSize64(FileAccess& file);

// Closes the handle and marks the record not open, so a second close is a
// harmless false instead of closing a handle that has since been reused.
bool CloseAccess(FileAccess& file);

// Bytes that hold `count` bits stored in whole blocks of `width` bits:
// BlockBytes(1, 64) = 8, BlockBytes(65, 64) = 16, BlockBytes(9, 8) = 2.
// The block count is kept to 32 bits, as the format's sizes are.
constexpr std::int64_t BlockBytes(std::int64_t count, std::int64_t width) {
    if (width <= 0) return 0;
    const std::int64_t q = count / width;
    const std::int64_t r = count % width;
    std::int32_t blocks = static_cast<std::int32_t>(static_cast<std::uint32_t>(q));
    if (static_cast<std::int32_t>(static_cast<std::uint32_t>(r)) > 0) ++blocks;
    return static_cast<std::int64_t>(blocks) * (width / 8);
}

// Closes the record when it goes out of scope, for callers that own one
// record for the length of a block.
class ScopedFileAccess {
public:
    ScopedFileAccess() = default;
    ScopedFileAccess(const ScopedFileAccess&) = delete;
    ScopedFileAccess& operator=(const ScopedFileAccess&) = delete;
    ~ScopedFileAccess() { if (file.handle != 0) CloseAccess(file); }
    FileAccess file;
};

}  // namespace setuputil
