// The real file system: replacing files whole, and the failures the user is told about.
#include "TestFiles.h"

#ifndef _WIN32
#include "platform/posix/IoErrors.h"
#endif
#include "rules/CodePage.h"
#include "rules/Error.h"
#include "rules/FileSystem.h"
#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "rules/RuleTable.h"
#include "rules/TextFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace tarnwick;
using test::ExamplePacScript;
using test::ExampleRuleFile;
using test::ExampleTable;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

namespace {

// The message of the IoError that fn throws, or "no error".
std::string IoMessage(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const IoError& e) {
        return e.what();
    }
    return "no error";
}

RuleTable OneRuleTable() {
    RuleTable table;
    table.SetRuleType(1, 2);
    table.setCell(2, 1, "10.0.0.1:8080");
    return table;
}

#ifndef _WIN32
// Runs fn in a child process, which may change its limits freely. With asOrdinaryUser the child
// has no more rights than an ordinary user: root, as CI runs, passes every permission check, so
// the child gives up root first. The child's IoError message comes back; "skip: ..." when the
// rights cannot be given up.
std::string IoMessageInChild(const std::function<void()>& fn, bool asOrdinaryUser) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return "skip: no pipe";
    const pid_t child = ::fork();
    if (child < 0)
        return "skip: no fork";
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::string message;
        if (asOrdinaryUser && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            message = "skip: cannot give up root";
        else
            message = IoMessage(fn);
        [[maybe_unused]] auto written = ::write(pipeEnds[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string message;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        message.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return message;
}

std::string IoMessageAsOrdinaryUser(const std::function<void()>& fn) {
    return IoMessageInChild(fn, true);
}

// The id of a process that has ended.
pid_t EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// Sets the file's modification time to now + seconds.
void Age(const std::string& path, int seconds) {
    timespec times[2] = {};
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec += seconds;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Makes the folder usable for the ordinary user of IoMessageAsOrdinaryUser.
void OpenToEveryone(const std::string& path, mode_t mode) {
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}
#endif

} // namespace

TEST(LocalFileWrite, ReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const std::string path = folder.file("IETarnwick.pac");
    WriteBytes(path, std::string(5000, 'o'));
    WriteTextFile(path, "line one\r\nline two");
    EXPECT_EQ(ReadBytes(path), "line one\r\nline two\r\n");
    WriteTextFile(path, "");
    EXPECT_EQ(ReadBytes(path), "\r\n");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"IETarnwick.pac"});
}

TEST(LocalFileWrite, DocumentedExampleFilesOnDisk) {
    const RuleTable table = ExampleTable();
    TempFolder folder;
    WriteTextFile(folder.file("IETarnwick.pac"), BuildPacScript(table));
    SaveRules(table, folder.file("configData.ini"));
    EXPECT_EQ(ReadBytes(folder.file("IETarnwick.pac")), std::string(ExamplePacScript) + "\r\n");
    EXPECT_EQ(ReadBytes(folder.file("configData.ini")), ExampleRuleFile());
}

TEST(LocalFileWrite, RulesRoundTripThroughTheDisk) {
    TempFolder folder;
    const std::string path = folder.file("configData.ini");
    RuleTable table;
    LoadRules(table, path); // no file yet: nothing, and no error
    EXPECT_EQ(table.cell(0, 1), "");
    SaveRules(OneRuleTable(), path);
    LoadRules(table, path);
    EXPECT_EQ(table.cell(0, 1), RuleTypeNames()[2]);
    EXPECT_EQ(table.cell(1, 1), "192.168.0.1;255.255.255.0");
    EXPECT_EQ(table.cell(2, 1), "10.0.0.1:8080");
    SaveRules(RuleTable(), path);
    EXPECT_EQ(ReadBytes(path), "");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"configData.ini"});
}

TEST(LocalFileWrite, FolderInPlaceOfTheFileReadsAsNoFile) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "configData.ini");
    RuleTable table;
    table.setCell(1, 1, "stale");
    LoadRules(table, folder.file("configData.ini"));
    EXPECT_EQ(table.cell(1, 1), "");
}

TEST(LocalFileFailure, MissingFolderIsAnInvalidFilename) {
    TempFolder folder;
    const std::string path = folder.file("missing/IETarnwick.pac");
    EXPECT_EQ(IoMessage([&] { WriteTextFile(path, "x"); }), "Invalid filename");
    EXPECT_EQ(IoMessage([&] { SaveRules(OneRuleTable(), path); }), "Invalid filename");
    EXPECT_TRUE(folder.entries().empty());
}

TEST(LocalFileFailure, FileInPlaceOfTheFolderIsAnInvalidFilename) {
    TempFolder folder;
    WriteBytes(folder.file("plain"), "not a folder");
    const std::string path = folder.file("plain/configData.ini");
    EXPECT_EQ(IoMessage([&] { SaveRules(OneRuleTable(), path); }), "Invalid filename");
    EXPECT_EQ(ReadBytes(folder.file("plain")), "not a folder");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"plain"});
}

TEST(LocalFileFailure, FolderInPlaceOfTheFileIsAccessDenied) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "IETarnwick.pac");
    EXPECT_EQ(IoMessage([&] { WriteTextFile(folder.file("IETarnwick.pac"), "x"); }),
              "File access denied");
    EXPECT_TRUE(folder.entries("IETarnwick.pac").empty());
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"IETarnwick.pac"});
}

TEST(LocalFileFailure, ReadOnlyTargetIsAccessDeniedAndStaysAsItWas) {
    TempFolder folder;
    const std::string path = folder.file("configData.ini");
    WriteBytes(path, "[row1]\r\ncol0=old\r\n");
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string pac = IoMessage([&] { WriteTextFile(path, "new"); });
    const std::string rules = IoMessage([&] { SaveRules(OneRuleTable(), path); });
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
    OpenToEveryone(folder.path().string(), 0777); // the folder itself may be written
    OpenToEveryone(path, 0444);
    const std::string pac = IoMessageAsOrdinaryUser([&] { WriteTextFile(path, "new"); });
    if (pac.starts_with("skip"))
        GTEST_SKIP() << pac;
    const std::string rules = IoMessageAsOrdinaryUser([&] { SaveRules(OneRuleTable(), path); });
#endif
    EXPECT_EQ(pac, "File access denied");
    EXPECT_EQ(rules, "File access denied");
    EXPECT_EQ(ReadBytes(path), "[row1]\r\ncol0=old\r\n");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"configData.ini"});
}

TEST(LocalFileFailure, UnwritableFolderIsAccessDenied) {
#ifdef _WIN32
    // Wine runs as the Unix user, root on CI, which may write every folder of its own disk. Its
    // drive Z: shows the Unix root, where /sys takes no new files even from root.
    if (GetFileAttributesA("Z:\\sys\\kernel") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no folder that refuses new files (Z:\\sys) on this system";
    EXPECT_EQ(IoMessage([&] { WriteTextFile("Z:\\sys\\IETarnwick.pac", "x"); }),
              "File access denied");
    EXPECT_EQ(IoMessage([&] { SaveRules(OneRuleTable(), "Z:\\sys\\configData.ini"); }),
              "File access denied");
#else
    TempFolder folder;
    OpenToEveryone(folder.path().string(), 0555);
    const std::string path = folder.file("IETarnwick.pac");
    const std::string pac = IoMessageAsOrdinaryUser([&] { WriteTextFile(path, "x"); });
    if (pac.starts_with("skip"))
        GTEST_SKIP() << pac;
    EXPECT_EQ(pac, "File access denied");
    EXPECT_EQ(IoMessageAsOrdinaryUser([&] { SaveRules(OneRuleTable(), path); }),
              "File access denied");
    EXPECT_TRUE(folder.entries().empty());
#endif
}

#ifndef _WIN32
TEST(LocalFileFailure, FailureWhileWritingKeepsTheOldFileAndRemovesTheTemporaryOne) {
    // A file size limit makes the write itself fail (EFBIG), after the temporary file exists.
    TempFolder folder;
    const std::string path = folder.file("IETarnwick.pac");
    WriteBytes(path, "old script");
    const std::string message = IoMessageInChild(
        [&] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16, 16};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            WriteTextFile(path, std::string(4096, 'n'));
        },
        false);
    EXPECT_EQ(message, "I/O error " + std::to_string(EFBIG) + ": File too large");
    EXPECT_EQ(ReadBytes(path), "old script");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"IETarnwick.pac"});
}

TEST(LocalFileWrite, LinkIsFollowedAndModeKept) {
    TempFolder folder;
    const std::string real = folder.file("real.ini");
    const std::string link = folder.file("configData.ini");
    WriteBytes(real, "old");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    std::filesystem::create_symlink("real.ini", link);
    SaveRules(OneRuleTable(), link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(real).substr(0, 8), "[row1]\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"configData.ini", "real.ini"}));
}

TEST(LocalFileFailure, OnlyARegularFileOrNoneIsReplaced) {
    // A FIFO (or device) or a folder, also at the end of a link, never becomes a regular file.
    TempFolder folder;
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(folder.path() / "dir");
    std::filesystem::create_symlink("fifo", folder.path() / "to-fifo");
    std::filesystem::create_symlink("dir", folder.path() / "to-dir");
    for (const char* name : {"fifo", "to-fifo", "to-dir"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.file(name);
        EXPECT_EQ(IoMessage([&] { SaveRules(OneRuleTable(), path); }), "File access denied");
        EXPECT_EQ(IoMessage([&] { WriteTextFile(path, "x"); }), "File access denied");
    }
    EXPECT_TRUE(std::filesystem::is_fifo(folder.path() / "fifo"));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"dir", "fifo", "to-dir", "to-fifo"}));
}

TEST(LocalFileFailure, ErrorsOutsideTheTableAreNamedWithTheirMeaning) {
    // Unmapped numbers that happen to be codes of the table must not read as those.
    const std::pair<int, std::string> cases[] = {
        {ENOENT, "Invalid filename"},
        {ENOTDIR, "Invalid filename"},
        {ENAMETOOLONG, "Invalid filename"},
        {EACCES, "File access denied"},
        {EPERM, "File access denied"},
        {EROFS, "File access denied"},
        {EISDIR, "File access denied"},
        {ETXTBSY, "File access denied"},
        {EMFILE, "Too many open files"},
        {ENFILE, "Too many open files"},
        {ENOSPC, "Disk full"},
        {EDQUOT, "Disk full"},
        {EIO, "I/O error 5: Input/output error"},
        {EINTR, "I/O error 4: Interrupted system call"},
        {ESRCH, "I/O error 3: No such process"},
        {ENETUNREACH, "I/O error 101: Network is unreachable"},
        {ELOOP, "I/O error 40: Too many levels of symbolic links"},
    };
    for (const auto& [error, message] : cases)
        EXPECT_STREQ(IoErrorFor(error).what(), message.c_str()) << error;

    TempFolder folder;
    std::filesystem::create_symlink("loop", folder.path() / "loop");
    EXPECT_EQ(IoMessage([&] { WriteTextFile(folder.file("loop"), "x"); }),
              "I/O error 40: Too many levels of symbolic links");
}

TEST(LocalFileWrite, TemporaryFilesOfKilledWritersGoWithTheNextSaveOfTheirFile) {
    TempFolder folder;
    const std::string dead = std::to_string(EndedProcess());
    const std::string stale = "configData.ini.tarnwick-tmp-" + dead + "-a1b2c3";
    const std::vector<std::string> kept = {
        "IETarnwick.pac.tarnwick-tmp-" + dead + "-a1b2c3", // another file's: its own save
        "configData.ini.abcdef",                           // the user's
        "configData.ini.backup",
        "configData.ini.tarnwick-tmp-1-a1b2c3",            // its writer is still running
        "configData.ini.tarnwick-tmp-" + dead + "-later1", // newer than this save
    };
    for (const std::string& name : kept) {
        WriteBytes(folder.file(name), "partial");
        Age(folder.file(name), -3600);
    }
    Age(folder.file(kept.back()), 3600);
    WriteBytes(folder.file(stale), "partial");
    Age(folder.file(stale), -3600);

    SaveRules(OneRuleTable(), folder.file("configData.ini"));
    std::vector<std::string> expected = kept;
    expected.push_back("configData.ini");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.entries(), expected);

    WriteTextFile(folder.file("IETarnwick.pac"), "script");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / kept[0]));
}
#else
TEST(LocalFileFailure, OnlyARegularFileOrNoneIsReplaced) {
    // A device name in the folder names the device, never a file to replace.
    TempFolder folder;
    for (const char* name : {"NUL", "nul.ini"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(IoMessage([&] { SaveRules(OneRuleTable(), folder.file(name)); }),
                  "File access denied");
        EXPECT_EQ(IoMessage([&] { WriteTextFile(folder.file(name), "x"); }), "File access denied");
    }
    EXPECT_TRUE(folder.entries().empty());
}

TEST(LocalFileWrite, TemporaryFilesOfKilledWritersGoWithTheNextSaveOfTheirFile) {
    TempFolder folder;
    // No process has this id (they are multiples of 4).
    const std::string stale = "configData.ini.tarnwick-tmp-2147483645-a1b2c3";
    const std::vector<std::string> kept = {
        "IETarnwick.pac.tarnwick-tmp-2147483645-a1b2c3", // another file's: its own save
        "configData.ini.abcdef",                         // the user's
        "configData.ini.backup",
        "configData.ini.tarnwick-tmp-2147483645-later1", // newer than this save
    };
    const auto age = [&](const std::string& name, long long seconds) {
        HANDLE file = CreateFileA(folder.file(name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
        t.QuadPart += seconds * 10000000LL;
        const FILETIME when{t.LowPart, t.HighPart};
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &when));
        CloseHandle(file);
    };
    for (const std::string& name : kept) {
        WriteBytes(folder.file(name), "partial");
        age(name, -3600);
    }
    age(kept.back(), 3600);
    WriteBytes(folder.file(stale), "partial");
    age(stale, -3600);

    SaveRules(OneRuleTable(), folder.file("configData.ini"));
    std::vector<std::string> expected = kept;
    expected.push_back("configData.ini");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.entries(), expected);

    WriteTextFile(folder.file("IETarnwick.pac"), "script");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / kept[0]));
}

TEST(LocalFileFailure, TargetHeldOpenByAnotherProgramKeepsItsContent) {
    // A program that holds the file without sharing it stops the replacement; the temporary
    // file goes again.
    TempFolder folder;
    const std::string path = folder.file("IETarnwick.pac");
    WriteBytes(path, "old script");
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::string message = IoMessage([&] { WriteTextFile(path, "new script"); });
    CloseHandle(holder);
    EXPECT_NE(message, "no error");
    EXPECT_EQ(ReadBytes(path), "old script");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"IETarnwick.pac"});
}
#endif

TEST(ExecutableFolderTest, EndsWithTheSeparator) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
#ifdef _WIN32
    EXPECT_EQ(folder.back(), '\\');
#else
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder.front(), '/');
#endif
}
