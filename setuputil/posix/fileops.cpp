#include "setuputil/fileops.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/fileops_backend.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/posix/hostpath.hpp"

#include <sys/stat.h>
#include <unistd.h>

namespace setuputil {

std::string HostPath(const std::u16string& path) {
    std::string host = WideToAnsi(path);
    for (char& c : host)
        if (c == '\\') c = '/';
    return host;
}

bool IsAbsoluteFolder(const std::u16string& path) {
    return !path.empty() && (path.front() == u'/' || path.front() == u'\\');
}

bool FolderExists(const std::u16string& path) {
    const std::u16string p = RemoveBackslash(path);
    if (p.size() == 2 && p[1] == u':') return true;
    if (detail::HoldsPattern(p)) return false;
    struct stat st {};
    return !p.empty() && stat(HostPath(p).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFolder(const std::u16string& path) { return rmdir(HostPath(path).c_str()) == 0; }

bool IsPlainFile(const std::u16string& path) {
    if (IsDeviceName(WideToAnsi(path)) || detail::HoldsPattern(path)) return false;
    struct stat st {};
    return !path.empty() && stat(HostPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

namespace {

// Stand-in for the Windows read-only attribute: no write permission bit.
// Checked explicitly because root may write to such files anyway.
bool IsReadOnly(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

}  // namespace

bool RemoveFile(const std::u16string& path) {
    const std::string host = HostPath(path);
    struct stat st {};
    if (lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (!S_ISLNK(st.st_mode) && IsReadOnly(st)) return false;
    return unlink(host.c_str()) == 0;
}

void SetFileAttrs(const std::u16string& path, std::uint32_t attributes) {
    const std::string host = HostPath(path);
    struct stat st {};
    if (stat(host.c_str(), &st) != 0) return;
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else if (IsReadOnly(st))
        mode |= S_IWUSR;
    chmod(host.c_str(), mode);
}

namespace detail {

std::int64_t LastSeparatorPos(const std::u16string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (path[i - 1] == u'\\' || path[i - 1] == u'/') return static_cast<std::int64_t>(i);
    return 0;
}

bool CreateOneFolder(const std::u16string& path) { return mkdir(HostPath(path).c_str(), 0777) == 0; }

}  // namespace detail
}  // namespace setuputil
