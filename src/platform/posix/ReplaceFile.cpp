#include "platform/posix/ReplaceFile.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

// Only names of this form are ever removed as left over: a user's "x.backup" never is.
constexpr std::string_view TemporaryMark = ".tarnwick-tmp-";
constexpr int MaxLinks = 40; // as the kernel's own limit on links in a path

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The path with every link followed, also a link to a file that does not exist yet; the
// rename then creates the file the link names. 0 or the errno.
int FollowLinks(std::string& path) {
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return 0;
        if (hops == MaxLinks)
            return ELOOP;
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1,
                           '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0)
            return errno;
        target.resize(static_cast<std::size_t>(n));
        path = target.starts_with('/') ? target : FolderOf(path) + "/" + target;
    }
}

// The process id in a temporary file's name of the file `name`, or 0 when the name is not one
// of those.
pid_t WriterOf(std::string_view entry, std::string_view name) {
    if (!entry.starts_with(name) || !entry.substr(name.size()).starts_with(TemporaryMark))
        return 0;
    entry.remove_prefix(name.size() + TemporaryMark.size());
    const std::size_t dash = entry.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 9 || entry.size() != dash + 7)
        return 0;
    pid_t pid = 0;
    for (char c : entry.substr(0, dash)) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Temporary files of earlier writes of the file at path, left by writers that were killed:
// older than this write and made by a process that no longer exists. A writer still at work
// is never disturbed.
void RemoveStaleTemporaryFiles(const std::string& path, const timespec& writeStarted) {
    const std::string folder = FolderOf(path);
    const std::string name = path.substr(path.rfind('/') + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t pid = WriterOf(entry->d_name, name);
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || !Before(info.st_mtim, writeStarted))
            continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryFileName(const std::string& name, pid_t pid) {
    return name + std::string(TemporaryMark) + std::to_string(pid) + "-XXXXXX";
}

int ReplaceFileAtomically(const std::string& requested, std::string_view bytes,
                          mode_t newFileMode) {
    timespec started{};
    ::clock_gettime(CLOCK_REALTIME, &started);

    std::string path = requested;
    if (const int error = FollowLinks(path))
        return error;
    // A target that is read-only or not a plain file is refused as an in-place rewrite would
    // refuse it, even though the rename alone would succeed (and turn a device into a file).
    struct stat target {};
    const bool exists = ::stat(path.c_str(), &target) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    if (exists && S_ISDIR(target.st_mode))
        return EISDIR;
    if (exists && !S_ISREG(target.st_mode))
        return EACCES;
    if (exists && ::access(path.c_str(), W_OK) != 0)
        return errno;
    const mode_t mode = exists ? (target.st_mode & 07777) : newFileMode;

    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string temp = folder + TemporaryFileName(name, ::getpid());
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, bytes) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return error;
    }
    // Make the rename itself durable; the file is complete either way.
    const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    RemoveStaleTemporaryFiles(path, started);
    return 0;
}

} // namespace tarnwick
