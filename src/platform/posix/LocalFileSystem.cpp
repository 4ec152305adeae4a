#include "platform/posix/IoErrors.h"
#include "platform/posix/ReplaceFile.h"
#include "rules/Error.h"
#include "rules/FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

// The codes of the message table for the errors a write can meet; 0 for any other.
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
        return 0;
    }
}

[[noreturn]] void Fail(int error) {
    throw IoErrorFor(error);
}

class PosixFileSystem : public FileSystem {
public:
    void replaceFile(const std::string& path, std::string_view bytes) override {
        // A new file gets the mode an ordinary create would give it.
        if (const int error = ReplaceFileAtomically(path, bytes, 0666 & ~CurrentUmask()))
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

// Any other errno is shown with its number and meaning: its number may be that of another
// entry of the table (EIO is 5, EINTR 4), which would name the wrong fault.
IoError IoErrorFor(int error) {
    if (const int code = IoCode(error))
        return IoError(code);
    return IoError(error, std::strerror(error));
}

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
