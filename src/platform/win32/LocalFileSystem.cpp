#include "rules/Error.h"
#include "rules/FileSystem.h"

#include <windows.h>

#include <cstdio>
#include <string_view>

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
    case ERROR_DIRECTORY: // a folder name that names no folder
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

// Temporary files are named <file>.tarnwick-tmp-<process id>-<6 hex digits>: only names of this
// form are ever removed as left over.
constexpr char TemporaryMark[] = ".tarnwick-tmp-";

// Makes a new temporary file beside path; INVALID_HANDLE_VALUE with the error set on failure.
HANDLE CreateTemporaryFile(const std::string& path, std::string& temp) {
    static unsigned counter = 0;
    for (int attempt = 0;; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%lu-%06x",
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned>((GetTickCount() * 2654435761u + ++counter) & 0xFFFFFF));
        temp = path + TemporaryMark + suffix;
        HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || attempt == 100)
            return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return file;
    }
}

// The writer's process id in a temporary file's name, or 0 when the name is not one of those.
DWORD WriterOf(std::string_view rest) {
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 10 || rest.size() != dash + 7)
        return 0;
    DWORD pid = 0;
    for (char c : rest.substr(0, dash)) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + static_cast<DWORD>(c - '0');
    }
    return pid;
}

bool ProcessIsGone(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return ended;
}

// Temporary files of earlier writes of the file at path whose writer was killed: older than
// this write and made by a process that no longer runs. A writer at work is never disturbed.
void RemoveStaleTemporaryFiles(const std::string& path, const FILETIME& writeStarted) {
    const std::string prefix = path.substr(FolderOf(path).size()) + TemporaryMark;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + TemporaryMark + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string_view name = found.cFileName;
        if (name.size() <= prefix.size() || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const DWORD pid = WriterOf(name.substr(prefix.size()));
        if (pid == 0 || pid == GetCurrentProcessId() ||
            CompareFileTime(&found.ftLastWriteTime, &writeStarted) >= 0 || !ProcessIsGone(pid))
            continue;
        DeleteFileA((FolderOf(path) + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
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

        FILETIME started;
        GetSystemTimeAsFileTime(&started);
        std::string temp;
        HANDLE file = CreateTemporaryFile(path, temp);
        if (file == INVALID_HANDLE_VALUE)
            Fail(GetLastError());
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
        if (ok && !MoveFileExA(temp.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ok = false;
            const DWORD error = GetLastError();
            DeleteFileA(temp.c_str());
            Fail(error);
        }
        if (!ok) {
            DeleteFileA(temp.c_str());
            Fail(writeError);
        }
        RemoveStaleTemporaryFiles(path, started);
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
