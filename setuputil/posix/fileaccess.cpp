// POSIX file access.  The record's handle holds the descriptor plus one, so
// that 0 means "not open" as on Windows.  flock() locks on the open file
// description stand in for the Windows share modes: readers take a shared
// lock, a writer an exclusive one, both without waiting.
#include "setuputil/fileaccess.hpp"

#include "setuputil/posix/hostpath.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace setuputil {

namespace {

int Descriptor(const FileAccess& file) { return static_cast<int>(file.handle - 1); }

void Store(FileAccess& file, int fd, std::int32_t writeMode) {
    file.handle = static_cast<std::intptr_t>(fd) + 1;
    file.writeMode = writeMode;
}

}  // namespace

bool OpenForRead(FileAccess& file, const std::u16string& path) {
    const int fd = open(HostPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || flock(fd, LOCK_SH | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    Store(file, fd, 0);
    return true;
}

bool OpenForWrite(FileAccess& file, const std::u16string& path) {
    const std::string host = HostPath(path);
    struct stat st {};
    if (stat(host.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return false;
        // The read-only attribute's stand-in; root could write regardless.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    }
    // Truncate only once the exclusive lock is held, so a file that someone
    // else has open is left untouched.
    const int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
        close(fd);
        return false;
    }
    Store(file, fd, 1);
    return true;
}

std::uint32_t ReadBlock(FileAccess& file, void* buffer, std::uint32_t& count) {
    std::uint32_t total = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (total < count) {
        const ssize_t n = read(Descriptor(file), out + total, count - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            count = 0;
            return 0;
        }
        if (n == 0) break;
        total += static_cast<std::uint32_t>(n);
    }
    count = total;
    return total;
}

std::uint32_t ReadBlockAt(FileAccess& file, void* buffer, std::uint32_t& count, std::int64_t offset) {
    if (!SeekAbsolute(file, offset)) return 0;
    return ReadBlock(file, buffer, count);
}

bool WriteBlock(FileAccess& file, const void* buffer, std::int32_t count) {
    if (count < 0) return false;
    std::int64_t total = 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (total < count) {
        const ssize_t n = write(Descriptor(file), in + total, static_cast<std::size_t>(count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        total += n;
    }
    return true;
}

bool SeekAbsolute(FileAccess& file, std::int64_t offset) {
    if (offset < 0) return false;
    return lseek(Descriptor(file), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

std::int64_t CurrentPosition(FileAccess& file) {
    const off_t at = lseek(Descriptor(file), 0, SEEK_CUR);
    return at < 0 ? -1 : static_cast<std::int64_t>(at);
}

std::int64_t GetFileSize64(FileAccess& file) {
    struct stat st {};
    if (fstat(Descriptor(file), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool CloseAccess(FileAccess& file) {
    if (file.handle == 0) return false;
    const bool closed = close(Descriptor(file)) == 0;
    file.handle = 0;
    return closed;
}

}  // namespace setuputil
