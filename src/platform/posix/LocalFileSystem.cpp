#include "platform/posix/ReplaceFile.h"
#include "rules/Error.h"
#include "rules/FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

int IoCode(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return 3;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return 5;
    case EMFILE:
    case ENFILE:
        return 4;
    case ENOSPC:
    case EDQUOT:
        return 101;
    default:
        return error;
    }
}

[[noreturn]] void Fail(int error) {
    throw IoError(IoCode(error));
}

// A link is followed, as an in-place rewrite would follow it: the file it names is replaced,
// and the link stays.
std::string ResolvedTarget(const std::string& path) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

class PosixFileSystem : public FileSystem {
public:
    void replaceFile(const std::string& requested, std::string_view bytes) override {
        const std::string path = ResolvedTarget(requested);
        // A target that is read-only or a folder is refused as the in-place rewrite would
        // refuse it, even though the rename alone would succeed.
        struct stat target {};
        const bool exists = ::stat(path.c_str(), &target) == 0;
        if (exists && S_ISDIR(target.st_mode))
            Fail(EISDIR);
        if (exists && ::access(path.c_str(), W_OK) != 0)
            Fail(errno);

        // A new file gets the mode an ordinary create would give it.
        const mode_t mode = exists ? (target.st_mode & 07777) : (0666 & ~CurrentUmask());
        if (const int error = ReplaceFileAtomically(path, bytes, mode))
            Fail(error);
    }

    std::optional<std::string> readFile(const std::string& path) override {
        // O_NONBLOCK: a FIFO in the file's place must not block the reader.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return std::nullopt;
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return std::nullopt;
        }
        std::string text;
        text.reserve(static_cast<std::size_t>(info.st_size));
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ::close(fd);
                return std::nullopt;
            }
            if (n == 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
        return text;
    }

private:
    static mode_t CurrentUmask() {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }
};

} // namespace

FileSystem& LocalFileSystem() {
    static PosixFileSystem files;
    return files;
}

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "./";
    std::string folder(path, static_cast<std::size_t>(n));
    return folder.substr(0, folder.rfind('/') + 1);
}

} // namespace tarnwick
