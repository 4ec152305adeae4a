// The Linux stand-in for the registry: the REGEDIT4 file, its damaged forms, and several
// processes writing it at once.
#include "platform/posix/RegistryStore.h"
#include "platform/CurrentUserRegistry.h"
#include "platform/posix/RegistryFile.h"
#include "proxyconfig/ProxySwitch.h"
#include "proxyconfig/Settings.h"
#include "rules/Error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

const std::string Url = "file:///opt/tarnwick/IETarnwick.pac";
const fs::path Fixtures = fs::path(TARNWICK_TEST_DATA) / "registry";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Dword(std::uint32_t n) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return data;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string dir = fs::temp_directory_path() / "tarnwick-store.XXXXXX";
        ASSERT_TRUE(::mkdtemp(dir.data()));
        dir_ = dir;
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        store_ = dir_ / "tarnwick" / "HKEY_CURRENT_USER.reg";
    }
    void TearDown() override {
        ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(dir_);
    }

    void install(const fs::path& fixture) {
        fs::create_directories(store_.parent_path());
        fs::copy_file(fixture, store_, fs::copy_options::overwrite_existing);
    }

    RegistryFile parsedStore() {
        std::optional<RegistryFile> file = RegistryFile::Parse(ReadFile(store_));
        EXPECT_TRUE(file) << "the store does not parse";
        return file.value_or(RegistryFile{});
    }

    const RegistryFileValue* storedValue(const RegistryFile& file, const std::string& key,
                                         const std::string& name) {
        const RegistryFileKey* k = file.findKey(key);
        return k ? k->findValue(name) : nullptr;
    }

    fs::path dir_;
    fs::path store_;
    RegistryFactory registry = CurrentUserRegistry();
};

TEST_F(RegistryStoreTest, WritesARegeditFileWithCrLfLines) {
    ApplyProxySwitch(registry, true, Url, DesktopProxyStores());
    WriteSetting(registry, "startHidden", "say \"no\" C:\\");
    EXPECT_EQ(RegistryStorePath(), store_.string());
    EXPECT_EQ(ReadFile(store_),
              "REGEDIT4\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Microsoft]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
              "Settings]\r\n"
              "\"AutoConfigURL\"=\"file:///opt/tarnwick/IETarnwick.pac\"\r\n"
              "\"EnableAutoProxyResultCache\"=dword:00000000\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Policies]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Policies\\Microsoft]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Windows]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Windows\\CurrentVersion]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\"
              "Internet Settings]\r\n"
              "\"EnableAutoProxyResultCache\"=dword:00000000\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\IETarnwick]\r\n"
              "\"startHidden\"=\"say \\\"no\\\" C:\\\\\"\r\n"
              "\r\n");
    ApplyProxySwitch(registry, false, Url, DesktopProxyStores());
    EXPECT_NE(ReadFile(store_).find("\"AutoConfigURL\"=\"\"\r\n"), std::string::npos);
    EXPECT_NE(ReadFile(store_).find("\"EnableAutoProxyResultCache\"=dword:00000001\r\n"),
              std::string::npos);
}

TEST_F(RegistryStoreTest, ReadsRegeditFilesAndKeepsWhatItDoesNotWrite) {
    install(Fixtures / "valid.reg");
    // Case-insensitive names; the stored texts come back exactly, "TRUE" included.
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "TRUE");
    EXPECT_EQ(ReadSetting(registry, "quoted"), "say \"hi\" to C:\\Temp");
    EXPECT_EQ(ReadSetting(registry, "Chinese"), "\xb4\xfa\xc0\xed\xd5\\");
    EXPECT_EQ(ReadSetting(registry, "Expand"), "%TEMP%\\x");
    EXPECT_EQ(ReadSetting(registry, ""), "default");
    EXPECT_THROW(ReadSetting(registry, "Count"), RegistryError);

    WriteSetting(registry, "startHidden", "false");
    const RegistryFile file = parsedStore();
    const RegistryFileValue* hidden = storedValue(file, "Software\\IETarnwick", "startHidden");
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->name, "StartHidden") << "the first spelling stays";
    EXPECT_EQ(hidden->data, std::string("false\0", 6));
    const RegistryFileValue* count = storedValue(file, "software\\ietarnwick", "count");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, RegistryValueType::Dword);
    EXPECT_EQ(count->data, Dword(10));
    const RegistryFileValue* blob = storedValue(file, "Software\\IETarnwick\\Blob", "Data");
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->type, RegistryValueType::Binary);
    ASSERT_EQ(blob->data.size(), 32u);
    EXPECT_EQ(blob->data[31], '\x1f');
    const RegistryFileValue* many = storedValue(file, "Software\\IETarnwick\\Blob", "Many");
    ASSERT_TRUE(many);
    EXPECT_EQ(static_cast<int>(many->type), 7);
    EXPECT_EQ(many->data, std::string("a\0b\0\0", 5));
    EXPECT_EQ(file.findKey("Software\\IETarnwick")->path, "Software\\IETarnwick");
}

TEST_F(RegistryStoreTest, DamagedStoresAreNeverReplaced) {
    int checked = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(Fixtures / "damaged")) {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string before = ReadFile(entry.path());
        ASSERT_FALSE(RegistryFile::Parse(before));
        install(entry.path());

        EXPECT_EQ(ReadSetting(registry, "startHidden"), "");
        try {
            WriteSetting(registry, "startHidden", "true");
            ADD_FAILURE() << "the write was not refused";
        } catch (const RegistryError& e) {
            EXPECT_STREQ(e.what(), "Failed to set data for 'startHidden'");
        }
        try {
            ApplyProxySwitch(registry, true, Url, DesktopProxyStores());
            ADD_FAILURE() << "the switch was not refused";
        } catch (const RegistryError& e) {
            EXPECT_STREQ(e.what(), "Failed to set data for 'AutoConfigURL'");
        }
        EXPECT_EQ(ReadFile(store_), before);
        for (const fs::directory_entry& left : fs::directory_iterator(store_.parent_path())) {
            const std::string name = left.path().filename().string();
            EXPECT_TRUE(name == "HKEY_CURRENT_USER.reg" || name == "HKEY_CURRENT_USER.reg.lock")
                << "left behind: " << name;
        }
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

pid_t Spawn(const std::function<void()>& body);
int Wait(pid_t pid);

// The message of the RegistryError that fn throws, or "no error".
std::string RegistryMessage(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const RegistryError& e) {
        return e.what();
    }
    return "no error";
}

// Runs fn in a child process with the rights of an ordinary user (root passes every permission
// check); its RegistryError message comes back, "skip: ..." when root cannot be given up.
std::string RegistryMessageAsOrdinaryUser(const std::function<void()>& fn) {
    int ends[2];
    if (::pipe(ends) != 0)
        return "skip: no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        std::string message;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            message = "skip: cannot give up root";
        else
            message = RegistryMessage(fn);
        [[maybe_unused]] auto written = ::write(ends[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(ends[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, static_cast<std::size_t>(n));
    ::close(ends[0]);
    ::waitpid(child, nullptr, 0);
    return message;
}

TEST_F(RegistryStoreTest, StoreThatCannotBeWrittenFailsEveryWrite) {
    // Whatever keeps the lock or the new file from being made, no write passes for done.
    const fs::path folder = store_.parent_path();
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"a file where the folder should be",
         [&] {
             WriteFile(dir_ / "plain-file", "x");
             ::setenv("XDG_CONFIG_HOME", (dir_ / "plain-file" / "config").c_str(), 1);
         }},
        {"a folder where the lock should be",
         [&] { fs::create_directories(fs::path(store_.string() + ".lock")); }},
        {"a FIFO where the lock should be",
         [&] {
             fs::create_directories(folder);
             ASSERT_EQ(::mkfifo((store_.string() + ".lock").c_str(), 0600), 0);
         }},
    };
    for (const auto& [what, arrange] : cases) {
        SCOPED_TRACE(what);
        arrange();
        EXPECT_EQ(RegistryMessage([&] { WriteSetting(registry, "startHidden", "true"); }),
                  "Failed to set data for 'startHidden'");
        EXPECT_EQ(
            RegistryMessage([&] { ApplyProxySwitch(registry, true, Url, DesktopProxyStores()); }),
            "Failed to set data for 'AutoConfigURL'");
        EXPECT_EQ(ReadSetting(registry, "startHidden"), "");
        EXPECT_FALSE(fs::exists(store_));
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        fs::remove_all(dir_ / "plain-file");
        fs::remove_all(folder);
    }

    // A read-only folder without a lock file yet, and a read-only store.
    fs::create_directories(folder);
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    const std::string message =
        RegistryMessageAsOrdinaryUser([&] { WriteSetting(registry, "startHidden", "true"); });
    if (message.starts_with("skip"))
        GTEST_SKIP() << message;
    EXPECT_EQ(message, "Failed to set data for 'startHidden'");
    EXPECT_TRUE(fs::is_empty(folder));

    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    WriteSetting(registry, "startHidden", "false");
    ASSERT_EQ(::chmod((store_.string() + ".lock").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(store_.c_str(), 0444), 0);
    const std::string before = ReadFile(store_);
    EXPECT_EQ(RegistryMessageAsOrdinaryUser([&] { WriteSetting(registry, "startHidden", "true"); }),
              "Failed to set data for 'startHidden'");
    EXPECT_EQ(ReadFile(store_), before);
}

TEST_F(RegistryStoreTest, OnlyARegularFileIsReadOrReplacedAndALinkIsFollowed) {
    // A FIFO must not hang the reader (and the other instances behind its lock), a device must
    // neither be read without end nor turned into a file, a huge file is not read at all.
    fs::create_directories(store_.parent_path());
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(store_.c_str(), 0600), 0); }},
        {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", store_); }},
        {"folder", [&] { fs::create_directory(store_); }},
        {"file larger than any hive",
         [&] {
             WriteFile(store_, "REGEDIT4\r\n");
             fs::resize_file(store_, (64 << 20) + 1);
         }},
    };
    ::alarm(60); // a hang ends the test binary instead of the run
    for (const auto& [what, arrange] : cases) {
        SCOPED_TRACE(what);
        arrange();
        EXPECT_EQ(ReadSetting(registry, "startHidden"), "");
        EXPECT_EQ(RegistryMessage([&] { WriteSetting(registry, "startHidden", "true"); }),
                  "Failed to set data for 'startHidden'");
        EXPECT_EQ(
            RegistryMessage([&] { ApplyProxySwitch(registry, true, Url, DesktopProxyStores()); }),
            "Failed to set data for 'AutoConfigURL'");
        EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(store_)) &&
                     fs::file_size(store_) < 1000)
            << "replaced";
        fs::remove_all(store_);
    }
    ::alarm(0);
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));

    // A link is followed: the file it names is replaced, and the link stays.
    const fs::path real = dir_ / "real.reg";
    WriteFile(real, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\IETarnwick]\r\n"
                    "\"startHidden\"=\"true\"\r\n");
    fs::create_symlink(real, store_);
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "true");
    WriteSetting(registry, "startHidden", "false");
    EXPECT_TRUE(fs::is_symlink(store_));
    EXPECT_NE(ReadFile(real).find("\"startHidden\"=\"false\""), std::string::npos);
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "false");
}

TEST_F(RegistryStoreTest, OnlyTheStoresOwnLeftoversAreRemoved) {
    WriteSetting(registry, "startHidden", "true");
    const pid_t dead = Spawn([] {});
    Wait(dead);
    const std::string name = store_.filename().string();
    const std::string stale = name + ".tarnwick-tmp-" + std::to_string(dead) + "-a1b2c3";
    const std::vector<std::string> kept = {name + ".backup", name + ".abcdef",
                                           name + ".tarnwick-tmp-1-a1b2c3"};
    for (const std::string& file : {stale, kept[0], kept[1], kept[2]}) {
        WriteFile(store_.parent_path() / file, "partial");
        fs::last_write_time(store_.parent_path() / file,
                            fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    WriteSetting(registry, "startHidden", "false");
    EXPECT_FALSE(fs::exists(store_.parent_path() / stale));
    for (const std::string& file : kept)
        EXPECT_EQ(ReadFile(store_.parent_path() / file), "partial") << file;
}

TEST_F(RegistryStoreTest, LocationFollowsTheEnvironmentAtEveryOperation) {
    const fs::path other = dir_ / "other";
    ::setenv("XDG_CONFIG_HOME", other.c_str(), 1);
    WriteSetting(registry, "startHidden", "true");
    EXPECT_TRUE(fs::exists(other / "tarnwick" / "HKEY_CURRENT_USER.reg"));

    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    ::setenv("HOME", (dir_ / "home").c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryStorePath(), (dir_ / "home/.config/tarnwick/HKEY_CURRENT_USER.reg").string());
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1); // not absolute: ignored
    EXPECT_EQ(RegistryStorePath(), (dir_ / "home/.config/tarnwick/HKEY_CURRENT_USER.reg").string());
    WriteSetting(registry, "startHidden", "false");
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "false");
    if (home)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

TEST(RegistryFileFormat, EveryValueSurvivesFormatAndParse) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.push_back(static_cast<char>(i));
    const std::vector<RegistryFileValue> values = {
        {"plain", RegistryValueType::String, std::string("text\0", 5)},
        {"empty", RegistryValueType::String, std::string("\0", 1)},
        {"no zero", RegistryValueType::String, "abc"},
        {"zero inside", RegistryValueType::String, std::string("a\0b\0", 4)},
        {"line\tbreak", RegistryValueType::String, std::string("a\r\nb\0", 5)},
        {"lone lead byte", RegistryValueType::String, std::string("ab\xd5\0", 4)},
        {"trail is backslash \xd5\\", RegistryValueType::String, std::string("\xd5\\\"\0", 4)},
        {"quote \" and \\", RegistryValueType::ExpandString, std::string("%A%\0", 4)},
        {"all bytes", RegistryValueType::Binary, allBytes},
        {"no bytes", RegistryValueType::Binary, ""},
        {"short dword", RegistryValueType::Dword, "\1\2"},
        {"odd type", static_cast<RegistryValueType>(0x20000), "\x7f"},
        {"", RegistryValueType::Dword, Dword(0xdeadbeef)},
    };
    RegistryFile file;
    RegistryFileKey& key = file.ensureKey("A\\\xd5\\]\\B");
    for (const RegistryFileValue& v : values)
        ASSERT_TRUE(key.setValue(v.name, v.type, v.data)) << v.name;
    EXPECT_FALSE(key.setValue("new\nline", RegistryValueType::String, "")) << "not writable";

    const std::string text = file.format();
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 81u) << line;

    const std::optional<RegistryFile> back = RegistryFile::Parse(text);
    ASSERT_TRUE(back);
    const RegistryFileKey* parsed = back->findKey("a\\\xd5\\]\\b");
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->values.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(parsed->values[i].name, values[i].name);
        EXPECT_EQ(parsed->values[i].type, values[i].type) << values[i].name;
        EXPECT_EQ(parsed->values[i].data, values[i].data) << values[i].name;
    }
    EXPECT_TRUE(back->findKey("A\\\xd5\\]"));
}

TEST(RegistryFileFormat, NamesFoldOnlyAsciiLetters) {
    // "\xd5\x41" and "\xd5\x61" are two different double-byte characters.
    EXPECT_EQ(FoldRegistryName("StartHidden"), "starthidden");
    EXPECT_NE(FoldRegistryName("\xd5\x41"), FoldRegistryName("\xd5\x61"));
    EXPECT_FALSE(SplitKeyPath("Software\\\\IETarnwick"));
    EXPECT_FALSE(SplitKeyPath("\\Software"));
    EXPECT_EQ(SplitKeyPath("Software\\IETarnwick\\")->size(), 2u);
    EXPECT_EQ(SplitKeyPath("\xd5\\")->size(), 1u) << "a backslash trail byte is no separator";
}

TEST(RegistryFileFormat, EveryKeyPathTheWriterTakesParsesBack) {
    // "\xd5\\" is one double-byte character whose second byte is a backslash, "\xd5]" one whose
    // second byte is a bracket: neither ends a name or a key line.
    const std::string longest(MaxKeyNameCharacters, 'n');
    std::string deepest = "k";
    for (std::size_t i = 1; i < MaxKeyDepth; ++i)
        deepest += "\\k";
    const std::string paths[] = {
        "\xd5\\",
        "Software\\\xd5\\",
        "Software\\\xd5\\\\IETarnwick",
        "\xd5]",
        "a]\\[b",
        " spaced \\x",
        longest,
        std::string(MaxKeyNameCharacters - 1, '\xd5'), // every second byte made a backslash below
        deepest,
    };
    for (std::string path : paths) {
        if (path == std::string(MaxKeyNameCharacters - 1, '\xd5'))
            for (std::size_t i = 1; i < path.size(); i += 2)
                path[i] = '\\'; // 127 double-byte characters ending in a backslash byte
        SCOPED_TRACE(path.substr(0, 40));
        ASSERT_TRUE(SplitKeyPath(path));
        RegistryFile file;
        ASSERT_TRUE(file.ensureKey(path).setValue("v", RegistryValueType::Dword, Dword(7)));
        const std::optional<RegistryFile> back = RegistryFile::Parse(file.format());
        ASSERT_TRUE(back) << "the store the writer made does not parse";
        const RegistryFileKey* key = back->findKey(path);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->findValue("v"));
        EXPECT_EQ(key->findValue("v")->data, Dword(7));
        EXPECT_EQ(back->format(), file.format());
    }

    // Beyond what the registry allows: refused as a path, and unreadable as a store.
    const std::string refused[] = {
        longest + "n",   std::string(2 * (MaxKeyNameCharacters + 1), '\xd5'),
        deepest + "\\k", "a\\\\b",
        "\xd5",
    };
    for (const std::string& path : refused) {
        SCOPED_TRACE(path.substr(0, 40));
        EXPECT_FALSE(SplitKeyPath(path));
        EXPECT_FALSE(RegistryFile::Parse("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + path + "]\r\n"));
    }
    EXPECT_TRUE(SplitKeyPath(std::string(2 * MaxKeyNameCharacters, '\xd5')));
    EXPECT_FALSE(RegistryFile::Parse("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\a\\]\r\n"));
    EXPECT_FALSE(RegistryFile::Parse("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\]\r\n"));
}

TEST_F(RegistryStoreTest, KeyThatTheRegistryWouldRefuseIsNeverCreated) {
    std::string deep = "Software";
    for (std::size_t i = 0; i < MaxKeyDepth; ++i)
        deep += "\\k";
    auto reg = registry();
    EXPECT_FALSE(reg->openKey("\\" + deep, true));
    EXPECT_FALSE(reg->openKey("\\Software\\" + std::string(MaxKeyNameCharacters + 1, 'n'), true));
    EXPECT_FALSE(fs::exists(store_));
    // The longest allowed name, ending in a backslash byte, keeps the store readable.
    std::string name(2 * MaxKeyNameCharacters, '\xd5');
    for (std::size_t i = 1; i < name.size(); i += 2)
        name[i] = '\\';
    ASSERT_TRUE(reg->openKey("\\Software\\" + name, true));
    reg->writeString("x", "y");
    WriteSetting(registry, "startHidden", "true");
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "true");
    ASSERT_TRUE(reg->openKey("\\Software\\" + name, false));
    EXPECT_EQ(reg->readString("x"), "y");
}

// Writers in other processes: each toggles the switch and writes its own value many times.
void Writer(const std::string& tag, int rounds) {
    const RegistryFactory registry = CurrentUserRegistry();
    for (int i = 0; i < rounds; ++i) {
        ApplyProxySwitch(registry, i % 2 == 0, Url + "?" + tag + std::to_string(i),
                         DesktopProxyStores());
        WriteSetting(registry, "writer" + tag, tag + std::to_string(i));
        WriteSetting(registry, "startHidden", i % 2 == 0 ? "true" : "false");
    }
}

pid_t Spawn(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int Rounds = 200;
    const pid_t a = Spawn([] { Writer("A", Rounds); });
    const pid_t b = Spawn([] { Writer("B", Rounds); });
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Wait(b), 0);

    EXPECT_EQ(ReadSetting(registry, "writerA"), "A199");
    EXPECT_EQ(ReadSetting(registry, "writerB"), "B199");
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "false");
    auto reg = registry();
    ASSERT_TRUE(reg->openKey(InternetSettingsKey, false));
    // Both writers end with the switch off.
    EXPECT_EQ(reg->readString("AutoConfigURL"), "");
    EXPECT_EQ(reg->readInteger("EnableAutoProxyResultCache"), 1);
    ASSERT_TRUE(reg->openKey(InternetSettingsPoliciesKey, false));
    EXPECT_EQ(reg->readInteger("EnableAutoProxyResultCache"), 1);
}

TEST_F(RegistryStoreTest, KilledWriterLeavesTheOldFileOrTheNewOne) {
    // A big value makes each replacement long enough to be interrupted now and then.
    const std::string big(64 * 1024, 'x');
    WriteSetting(registry, "marker", "kept");
    for (int round = 0; round < 20; ++round) {
        const pid_t pid = Spawn([&] {
            const RegistryFactory own = CurrentUserRegistry();
            for (int i = 0;; ++i) {
                WriteSetting(own, "big", big.substr(0, big.size() - i % 7));
                ApplyProxySwitch(own, i % 2 == 0, Url, DesktopProxyStores());
            }
        });
        ASSERT_GT(pid, 0);
        ::usleep(static_cast<useconds_t>(2000 + round * 1500));
        ::kill(pid, SIGKILL);
        Wait(pid);

        const RegistryFile file = parsedStore();
        const RegistryFileValue* marker = storedValue(file, "Software\\IETarnwick", "marker");
        ASSERT_TRUE(marker) << "round " << round;
        EXPECT_EQ(marker->data, std::string("kept\0", 5));
        if (const RegistryFileValue* value = storedValue(file, "Software\\IETarnwick", "big")) {
            EXPECT_GE(value->data.size(), big.size() - 6);
        }
    }
    // The lock died with the writer: the next write goes through, and clears away what the
    // killed writers left half-written.
    WriteSetting(registry, "marker", "after");
    EXPECT_EQ(ReadSetting(registry, "marker"), "after");
    for (const fs::directory_entry& left : fs::directory_iterator(store_.parent_path())) {
        const std::string name = left.path().filename().string();
        EXPECT_TRUE(name == "HKEY_CURRENT_USER.reg" || name == "HKEY_CURRENT_USER.reg.lock")
            << "left behind: " << name;
    }
}

} // namespace
} // namespace tarnwick
