#include "rules/Error.h"
#include "rules/FileSystem.h"

#include <windows.h>

namespace tarnwick {

namespace {

// Windows error codes are the codes of the message table (2, 3, 4, 5, ...), except the
// disk-full ones, which the table calls 101, and those that mean a missing or read-only folder.
int IoCode(DWORD error) {
    switch (error) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY: // GetTempFileNameA's answer for a folder that does not exist
        return 3;
    case ERROR_WRITE_PROTECT: // a read-only medium is a folder that cannot be written
        return 5;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return 101;
    default:
        return static_cast<int>(error);
    }
}

[[noreturn]] void Fail(DWORD error) {
    throw IoError(IoCode(error));
}

std::string FolderOf(const std::string& path) {
    const auto cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? std::string(".\\") : path.substr(0, cut + 1);
}

// Only a file on a disk (or none) is replaced: a device name such as NUL or CON opens as a
// character device, and renaming a file over it must not even be tried.
bool IsDiskFileOrMissing(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true; // missing, or not to be opened: the replacement itself reports why
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    return type == FILE_TYPE_DISK;
}

class Win32FileSystem : public FileSystem {
public:
    void replaceFile(const std::string& path, std::string_view bytes) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
            Fail(ERROR_ACCESS_DENIED);
        if (!IsDiskFileOrMissing(path))
            Fail(ERROR_ACCESS_DENIED);

        char temp[MAX_PATH];
        if (GetTempFileNameA(FolderOf(path).c_str(), "tnw", 0, temp) == 0)
            Fail(GetLastError());
        HANDLE file = CreateFileA(temp, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            DeleteFileA(temp);
            Fail(error);
        }
        bool ok = true;
        while (ok && !bytes.empty()) {
            DWORD written = 0;
            const DWORD chunk =
                static_cast<DWORD>(bytes.size() > 1u << 30 ? 1u << 30 : bytes.size());
            ok = WriteFile(file, bytes.data(), chunk, &written, nullptr) && written > 0;
            bytes.remove_prefix(written);
        }
        ok = ok && FlushFileBuffers(file);
        DWORD writeError = ok ? 0 : GetLastError();
        if (!ok && writeError == ERROR_SUCCESS)
            writeError = ERROR_WRITE_FAULT; // WriteFile took nothing, and said nothing
        CloseHandle(file);
        if (ok &&
            !MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ok = false;
            const DWORD error = GetLastError();
            DeleteFileA(temp);
            Fail(error);
        }
        if (!ok) {
            DeleteFileA(temp);
            Fail(writeError);
        }
    }

    std::optional<std::string> readFile(const std::string& path) override {
        // Deletion is shared too: a save renaming over the file must not fail while it is read.
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return std::nullopt;
        std::string text;
        char buffer[65536];
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
                CloseHandle(file);
                return std::nullopt;
            }
            if (read == 0)
                break;
            text.append(buffer, read);
        }
        CloseHandle(file);
        return text;
    }
};

} // namespace

FileSystem& LocalFileSystem() {
    static Win32FileSystem files;
    return files;
}

std::string ExecutableFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of("\\:") + 1);
}

} // namespace tarnwick
