// Where the program's files go, starting at login and the one running copy, against the
// machine: the file system on Linux, Wine's registry and windows in the Windows build.
#include "../rules/TestFiles.h"
#include "platform/ProgramFolders.h"
#include "platform/StartAtLogin.h"
#include "rules/Error.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include "platform/SingleInstance.h"
#include <windows.h>
#else
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnwick {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

#ifndef _WIN32

TEST(ProgramFoldersTest, InstalledOrNotDecidesEveryFolder) {
    struct Case {
        const char* executableFolder;
        bool installed;
        const char* files;
        const char* help;
    } cases[] = {
        // The build tree or an unpacked folder: everything beside the executable.
        {"/home/me/tarnwick/build/src/", false, "/home/me/tarnwick/build/src/",
         "/home/me/tarnwick/build/src/"},
        // Installed: the files in the configuration folder, the help in the prefix's share.
        {"/usr/bin/", true, "/home/me/.config/tarnwick/", "/usr/share/tarnwick/"},
        {"/opt/tarnwick/bin/", true, "/home/me/.config/tarnwick/", "/opt/tarnwick/share/tarnwick/"},
        {"/tmp/stage/usr/local/bin/", true, "/home/me/.config/tarnwick/",
         "/tmp/stage/usr/local/share/tarnwick/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executableFolder);
        const ProgramFolders folders =
            ChooseProgramFolders(c.executableFolder, c.installed, "/home/me/.config/tarnwick/");
        EXPECT_EQ(folders.files, c.files);
        EXPECT_EQ(folders.help, c.help);
    }
}

TEST(ProgramFoldersTest, ConfigurationFolderFollowsXdgConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/srv/cfg", 1);
    EXPECT_EQ(ConfigurationFolder(), "/srv/cfg/tarnwick/");
    // A relative value is ignored, as the XDG rules say.
    ::setenv("XDG_CONFIG_HOME", "cfg", 1);
    const std::string folder = ConfigurationFolder();
    EXPECT_EQ(folder.front(), '/');
    EXPECT_TRUE(folder.ends_with("/.config/tarnwick/")) << folder;
    if (saved)
        ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

TEST(ProgramFoldersTest, TheTestProgramRunsFromAWritableBuildTree) {
    const ProgramFolders folders = MachineProgramFolders();
    EXPECT_EQ(folders.files, ExecutableFolder());
    EXPECT_EQ(folders.help, ExecutableFolder());
}

class AutostartEntryTest : public ::testing::Test {
protected:
    TempFolder config;
    std::string entryPath() const { return config.file("autostart/tarnwick.desktop"); }
    std::unique_ptr<StartAtLogin> entry(const std::string& executable = "/usr/bin/Tarnwick") {
        return AutostartEntry(config.path().string(), executable);
    }
};

TEST_F(AutostartEntryTest, OnWritesTheEntryAndOffRemovesIt) {
    auto autostart = entry();
    EXPECT_FALSE(autostart->IsOn());
    autostart->SetOn(true); // also creates the autostart folder
    EXPECT_TRUE(autostart->IsOn());
    const std::string text = ReadBytes(entryPath());
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/usr/bin/Tarnwick\"\n"), std::string::npos);
    autostart->SetOn(true); // again: still one entry, still on
    EXPECT_TRUE(entry()->IsOn());
    autostart->SetOn(false);
    EXPECT_FALSE(std::filesystem::exists(entryPath()));
    EXPECT_FALSE(entry()->IsOn());
    autostart->SetOn(false); // nothing to remove is no error
}

TEST_F(AutostartEntryTest, AnEntryTheDesktopTurnedOffCountsAsOffAndOnRewritesIt) {
    std::filesystem::create_directories(config.path() / "autostart");
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false",
                            " X-GNOME-Autostart-enabled = false "}) {
        SCOPED_TRACE(off);
        WriteBytes(entryPath(),
                   std::string("[Desktop Entry]\nType=Application\nExec=Tarnwick\n") + off + "\n");
        EXPECT_FALSE(entry()->IsOn());
    }
    // The same key in another group is not the entry's.
    WriteBytes(entryPath(), "[Desktop Entry]\nExec=Tarnwick\n[Desktop Action x]\nHidden=true\n");
    EXPECT_TRUE(entry()->IsOn());
    WriteBytes(entryPath(), "[Desktop Entry]\nHidden=true\n");
    entry()->SetOn(true);
    EXPECT_TRUE(entry()->IsOn());
    EXPECT_EQ(ReadBytes(entryPath()).find("Hidden"), std::string::npos);
}

TEST_F(AutostartEntryTest, ExecQuotesWhatTheDesktopWouldReadOtherwise) {
    struct Case {
        const char* path;
        const char* exec;
    } cases[] = {
        {"/opt/My Apps/Tarnwick", R"("/opt/My Apps/Tarnwick")"},
        {"/opt/100%/Tarnwick", R"("/opt/100%%/Tarnwick")"},
        {"/opt/a\"b/Tarnwick", R"("/opt/a\\"b/Tarnwick")"},
        {"/opt/$HOME/`x`/Tarnwick", R"("/opt/\\$HOME/\\`x\\`/Tarnwick")"},
        {"/opt/a\\b/Tarnwick", R"("/opt/a\\\\b/Tarnwick")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(DesktopExecQuoted(c.path), c.exec);
    }
    // The written entry is one the desktop's own checker accepts.
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed";
    entry("/opt/My Apps/100%/Tarnwick")->SetOn(true);
    EXPECT_EQ(std::system(("desktop-file-validate '" + entryPath() + "'").c_str()), 0);
}

TEST_F(AutostartEntryTest, AFolderThatCannotBeWrittenIsReportedAndChangesNothing) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    std::filesystem::create_directories(config.path() / "autostart");
    ::chmod((config.path() / "autostart").c_str(), 0500);
    EXPECT_THROW(entry()->SetOn(true), IoError);
    EXPECT_FALSE(entry()->IsOn());
    ::chmod((config.path() / "autostart").c_str(), 0700);
    entry()->SetOn(true);
    ::chmod((config.path() / "autostart").c_str(), 0500);
    EXPECT_THROW(entry()->SetOn(false), IoError);
    EXPECT_TRUE(entry()->IsOn());
    ::chmod((config.path() / "autostart").c_str(), 0700);
}

#else

const char* const RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Run value as the system holds it, or nothing.
std::optional<std::string> RunValueData() {
    char data[1024];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, RunKey, "Tarnwick", RRF_RT_ANY, &type, data, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::string(data);
}

TEST(RunKeyValueTest, OnWritesTheQuotedPathAndOffRemovesIt) {
    auto run = RunKeyValue("C:\\Program Files\\Tarnwick\\Tarnwick.exe");
    run->SetOn(false);
    EXPECT_FALSE(run->IsOn());
    run->SetOn(true);
    EXPECT_TRUE(run->IsOn());
    EXPECT_EQ(RunValueData(), "\"C:\\Program Files\\Tarnwick\\Tarnwick.exe\"");
    EXPECT_TRUE(RunKeyValue("C:\\other.exe")->IsOn()); // the value is the state
    run->SetOn(false);
    EXPECT_FALSE(run->IsOn());
    EXPECT_EQ(RunValueData(), std::nullopt);
    run->SetOn(false);
}

TEST(RunKeyValueTest, TheMachineRecordNamesThisExecutable) {
    auto run = MachineStartAtLogin();
    run->SetOn(true);
    EXPECT_EQ(RunValueData(), "\"" + ExecutablePath() + "\"");
    EXPECT_NE(ExecutablePath().find("desktop_tests"), std::string::npos);
    run->SetOn(false);
}

TEST(SingleInstanceTest, ALaterStartHandsOverToTheFirst) {
    int shown = 0;
    SingleInstance first("TarnwickTest-handover", [&] { ++shown; });
    ASSERT_EQ(first.state(), SingleInstance::State::First);
    {
        SingleInstance second("TarnwickTest-handover", [] { FAIL(); });
        EXPECT_EQ(second.state(), SingleInstance::State::HandedOver);
    }
    SingleInstance third("TarnwickTest-handover", [] { FAIL(); });
    EXPECT_EQ(third.state(), SingleInstance::State::HandedOver);
    EXPECT_EQ(shown, 2);
    // Another name is another program.
    SingleInstance other("TarnwickTest-other", nullptr);
    EXPECT_EQ(other.state(), SingleInstance::State::First);
}

TEST(SingleInstanceTest, TheNameIsFreeAgainOnceTheFirstEnds) {
    { SingleInstance first("TarnwickTest-again", nullptr); }
    SingleInstance next("TarnwickTest-again", nullptr);
    EXPECT_EQ(next.state(), SingleInstance::State::First);
}

TEST(SingleInstanceTest, AHolderWithoutAWindowGetsNoAnswerWithinThePatience) {
    HANDLE held = CreateMutexA(nullptr, FALSE, "Local\\TarnwickTest-silent");
    SingleInstance later("TarnwickTest-silent", nullptr, std::chrono::milliseconds(200));
    EXPECT_EQ(later.state(), SingleInstance::State::NoAnswer);
    CloseHandle(held);
}

#endif

} // namespace
} // namespace tarnwick
