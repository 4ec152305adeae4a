// The Linux stand-in for the registry: the REGEDIT4 file, its damaged forms, and several
// processes writing it at once.
#include "platform/posix/RegistryStore.h"
#include "platform/CurrentUserRegistry.h"
#include "platform/posix/RegistryFile.h"
#include "proxyconfig/ProxySwitch.h"
#include "proxyconfig/Settings.h"
#include "rules/Error.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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

TEST_F(RegistryStoreTest, StoreThatCannotBeCreatedIsLikeAKeyThatCannotBeOpened) {
    WriteFile(dir_ / "plain-file", "x");
    ::setenv("XDG_CONFIG_HOME", (dir_ / "plain-file" / "config").c_str(), 1);
    EXPECT_NO_THROW(ApplyProxySwitch(registry, true, Url, DesktopProxyStores()));
    EXPECT_NO_THROW(WriteSetting(registry, "startHidden", "true"));
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "");
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
