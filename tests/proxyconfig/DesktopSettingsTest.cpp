// The desktop's own proxy settings on Linux: GSettings over real backends (a key file, a
// backend that keeps nothing, dconf on a private session bus) and KDE's kioslaverc on disk.
#include "FakeRegistry.h"

#include "platform/posix/GnomeProxySettings.h"
#include "platform/posix/KdeProxySettings.h"
#include "proxyconfig/ProxySwitch.h"
#include "rules/Error.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace tarnwick {
namespace {

using test::FakeHive;
using test::FakeRegistry;

const std::string Inet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::string Settings = "Software\\IETarnwick";
const std::string Url = "file:///home/li lei/Tarnwick/IETarnwick.pac";
const std::string DesktopUrl = "file:///home/li%20lei/Tarnwick/IETarnwick.pac";

struct TempDir {
    std::string path;
    TempDir() {
        std::string dir = std::filesystem::temp_directory_path() / "tarnwick-desktop.XXXXXX";
        if (::mkdtemp(dir.data()))
            path = dir;
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct GSettingsTest : ::testing::Test {
    TempDir dir;
    std::string keyfile = dir.path + "/keyfile";
    GSettingsBackend* backend = g_keyfile_settings_backend_new(keyfile.c_str(), "/", nullptr);
    FakeHive hive;

    ~GSettingsTest() override { g_object_unref(backend); }

    void SetUp() override {
        if (!g_settings_schema_source_lookup(g_settings_schema_source_get_default(),
                                             "org.gnome.system.proxy", TRUE))
            GTEST_SKIP() << "gsettings-desktop-schemas is missing (scripts/setup.sh installs it)";
    }
    // The user's proxy as another program sets it.
    void setUser(const char* key, const char* value) {
        GSettings* s = g_settings_new_with_backend("org.gnome.system.proxy", backend);
        g_settings_set_string(s, key, value);
        g_settings_sync();
        g_object_unref(s);
    }
    std::string get(const char* key) {
        GSettings* s = g_settings_new_with_backend("org.gnome.system.proxy", backend);
        gchar* value = g_settings_get_string(s, key);
        std::string text = value;
        g_free(value);
        g_object_unref(s);
        return text;
    }
    // A fresh store object for each call, as each start of the program has.
    void apply(bool on, GSettingsBackend* with = nullptr) {
        DesktopProxyStores stores;
        stores.push_back(
            std::make_unique<GnomeProxySettings>("org.gnome.system.proxy", with ? with : backend));
        ApplyProxySwitch(FakeRegistry(hive), on, Url, stores);
    }
};

TEST_F(GSettingsTest, OnPointsAtTheScriptAndOffGivesBackAManualProxy) {
    setUser("mode", "manual");
    apply(true);
    EXPECT_EQ(get("mode"), "auto");
    EXPECT_EQ(get("autoconfig-url"), DesktopUrl);
    // Written through to the file that other programs read, not only held in this process.
    EXPECT_NE(Slurp(keyfile).find("mode='auto'"), std::string::npos) << Slurp(keyfile);
    ASSERT_TRUE(hive.value(Inet, "AutoConfigURL"));
    EXPECT_EQ(hive.value(Inet, "AutoConfigURL")->data, Url + '\0'); // the registry keeps the path

    apply(false);
    EXPECT_EQ(get("mode"), "manual");
    EXPECT_EQ(get("autoconfig-url"), "");
    EXPECT_EQ(Slurp(keyfile).find("autoconfig-url"), std::string::npos) << Slurp(keyfile);
}

TEST_F(GSettingsTest, AStartAfterACrashKeepsTheTruePreviousValues) {
    setUser("mode", "manual");
    apply(true);
    apply(true); // the next start: the program had died with the switch on
    apply(false);
    EXPECT_EQ(get("mode"), "manual");

    // Without the program's record, its own values are not taken for the user's.
    setUser("mode", "auto");
    setUser("autoconfig-url", DesktopUrl.c_str());
    FakeHive fresh;
    hive = fresh;
    apply(true);
    apply(false);
    EXPECT_EQ(get("mode"), "none");
}

TEST_F(GSettingsTest, AMissingSchemaIsSkippedWithoutAWord) {
    DesktopProxyStores stores;
    stores.push_back(
        std::make_unique<GnomeProxySettings>("org.gnome.system.proxy.absent", backend));
    EXPECT_NO_THROW(ApplyProxySwitch(FakeRegistry(hive), true, Url, stores));
    EXPECT_TRUE(hive.value(Inet, "AutoConfigURL"));
    EXPECT_FALSE(hive.value(Settings, "GnomeProxyApplied"));
}

TEST_F(GSettingsTest, ABackendThatDoesNotKeepTheWriteIsAnErrorAndNothingElseChanges) {
    setUser("mode", "manual");
    GSettingsBackend* keepsNothing = g_null_settings_backend_new();
    try {
        apply(true, keepsNothing);
        ADD_FAILURE() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'org.gnome.system.proxy autoconfig-url'");
    }
    g_object_unref(keepsNothing);
    EXPECT_FALSE(hive.keys.count(Inet));
    const RegistryValue* record = hive.value(Settings, "GnomeProxyApplied");
    EXPECT_TRUE(!record || record->data == std::string(1, '\0'));
    EXPECT_EQ(get("mode"), "manual");
}

// dconf as desktops have it, on a session bus of the test's own (the ctest entries run these
// under dbus-run-session, or without a bus, with temporary folders); checked from outside with
// the dconf tool.
TEST(SessionBus, DconfTakesOnAndOffIntoItsDatabase) {
    const char* run = std::getenv("TARNWICK_DCONF_TEST");
    if (!run || std::string(run) != "1")
        GTEST_SKIP() << "runs as desktop_settings_dconf";
    const auto dconf = [](const char* key) {
        std::string command = std::string("dconf read /system/proxy/") + key;
        std::string out;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe))
                out += buffer;
            ::pclose(pipe);
        }
        return out;
    };
    ASSERT_EQ(std::system("dconf write /system/proxy/mode \"'manual'\""), 0);
    FakeHive hive;
    ApplyProxySwitch(FakeRegistry(hive), true, Url, LocalDesktopProxyStores());
    EXPECT_EQ(dconf("mode"), "'auto'\n");
    EXPECT_EQ(dconf("autoconfig-url"), "'" + DesktopUrl + "'\n");
    ApplyProxySwitch(FakeRegistry(hive), false, Url, LocalDesktopProxyStores());
    EXPECT_EQ(dconf("mode"), "'manual'\n");
    EXPECT_EQ(dconf("autoconfig-url"), "");
}

// dconf takes the write in this process and drops it when it finds no bus to send it on.
TEST(SessionBus, DconfWithoutABusIsAnError) {
    const char* run = std::getenv("TARNWICK_DCONF_TEST");
    if (!run || std::string(run) != "no-bus")
        GTEST_SKIP() << "runs as desktop_settings_dconf_without_bus";
    FakeHive hive;
    try {
        ApplyProxySwitch(FakeRegistry(hive), true, Url, LocalDesktopProxyStores());
        ADD_FAILURE() << "a write that no bus carried was taken as done";
    } catch (const RegistryError& e) {
        // What a user can act on: which store, and why it cannot be written.
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Failed to set data for 'org.gnome.system.proxy ", 0), 0u) << text;
        EXPECT_NE(text.find("dconf"), std::string::npos) << text;
        EXPECT_NE(text.find("session bus"), std::string::npos) << text;
    }
    EXPECT_FALSE(hive.keys.count(Inet));
    // Once per start: the switch then goes on without the store that cannot be written.
    EXPECT_NO_THROW(ApplyProxySwitch(FakeRegistry(hive), true, Url, LocalDesktopProxyStores()));
    EXPECT_TRUE(hive.keys.count(Inet));
}

// Running KDE programs hear that kioslaverc changed.
TEST(SessionBus, KdeProgramsAreToldToRereadTheirSettings) {
    const char* run = std::getenv("TARNWICK_DCONF_TEST");
    if (!run || std::string(run) != "1")
        GTEST_SKIP() << "runs as desktop_settings_dconf";
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_TRUE(bus);
    int heard = 0;
    const guint id = g_dbus_connection_signal_subscribe(
        bus, nullptr, "org.kde.KIO.Scheduler", "reparseSlaveConfiguration", "/KIO/Scheduler",
        nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
           gpointer count) { ++*static_cast<int*>(count); },
        &heard, nullptr);
    TempDir dir;
    DesktopProxyStores stores;
    stores.push_back(std::make_unique<KdeProxySettings>(dir.path + "/kioslaverc", true));
    FakeHive hive;
    ApplyProxySwitch(FakeRegistry(hive), true, Url, stores);
    for (int i = 0; i < 500 && heard == 0; ++i) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(10000);
    }
    EXPECT_EQ(heard, 1);
    g_dbus_connection_signal_unsubscribe(bus, id);
    g_object_unref(bus);
}

// A kioslaverc as KDE leaves it: other groups, comments, [$e] and locale keys, no final
// blank line.
const std::string Kioslaverc = "# KDE's I/O settings\n"
                               "[$Version]\n"
                               "update_info=kioslave.upd:change-proxy-key-names\n"
                               "\n"
                               "[Proxy Settings]\n"
                               "AuthMode=0\n"
                               "NoProxyFor[$e]=localhost,127.0.0.1,$HOSTNAME\n"
                               "ProxyType=1\n"
                               "httpProxy=http://proxy.example 3128\n"
                               "Proxy Config Script[de]=datei\n"
                               "\n"
                               "[Cache Settings]\n"
                               "CacheDir[$e]=$HOME/.cache/kio_http\n"
                               "MaxCacheSize=51200";

struct KioslavercTest : ::testing::Test {
    TempDir dir;
    std::string path = dir.path + "/kioslaverc";
    FakeHive hive;

    void apply(bool on, bool kdeSession = false) {
        DesktopProxyStores stores;
        stores.push_back(std::make_unique<KdeProxySettings>(path, kdeSession));
        ApplyProxySwitch(FakeRegistry(hive), on, Url, stores);
    }
};

TEST_F(KioslavercTest, OnAndOffLeaveEveryOtherByteAsItWas) {
    const std::pair<std::string, std::string> cases[] = {
        // The keys are there: each changes in its place.
        {Kioslaverc, "ProxyType=2\nhttpProxy=http://proxy.example 3128\n"
                     "Proxy Config Script[de]=datei\nProxy Config Script=" +
                         DesktopUrl + "\n\n[Cache"},
        // A script key with an option, and a value KDE read with spaces around it.
        {"[Proxy Settings]\nProxy Config Script[$e] = $HOME/old.pac\nProxyType=4\n",
         "[Proxy Settings]\nProxy Config Script=" + DesktopUrl + "\nProxyType=2\n"},
        // No proxy group: one is added at the end, and goes again.
        {"[General]\nSomething=1\n", "[General]\nSomething=1\n\n[Proxy Settings]\nProxyType=2\n"},
    };
    for (const auto& [before, expected] : cases) {
        Spit(path, before);
        hive = FakeHive();
        apply(true);
        const std::string on = Slurp(path);
        EXPECT_NE(on.find(expected), std::string::npos) << on;
        apply(false);
        EXPECT_EQ(Slurp(path), before);
    }
}

TEST_F(KioslavercTest, TheFileIsCreatedOnlyInAKdeSessionAndRemovedAgain) {
    apply(true);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(hive.value(Settings, "KdeProxyApplied"));

    apply(true, true);
    EXPECT_EQ(Slurp(path),
              "[Proxy Settings]\nProxyType=2\nProxy Config Script=" + DesktopUrl + "\n");
    apply(false, true);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(KioslavercTest, AFileThatCannotBeReplacedIsAnErrorAndStaysAsItWas) {
    Spit(path, Kioslaverc);
    const bool root = ::geteuid() == 0;
    // Root writes anywhere: a folder where the file should be stops it all the same.
    const std::string target = root ? dir.path + "/folder/kioslaverc" : path;
    if (root)
        std::filesystem::create_directories(target);
    else
        std::filesystem::permissions(dir.path, std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::owner_exec);
    DesktopProxyStores stores;
    stores.push_back(std::make_unique<KdeProxySettings>(target, false));
    try {
        ApplyProxySwitch(FakeRegistry(hive), true, Url, stores);
        ADD_FAILURE() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to set data for '" + target + "'");
    }
    std::filesystem::permissions(dir.path, std::filesystem::perms::owner_all);
    EXPECT_EQ(Slurp(path), Kioslaverc);
    EXPECT_FALSE(hive.keys.count(Inet));

    // A FIFO in its place is refused at once, without waiting for a writer.
    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    DesktopProxyStores fifoStores;
    fifoStores.push_back(std::make_unique<KdeProxySettings>(fifo, false));
    EXPECT_THROW(ApplyProxySwitch(FakeRegistry(hive), true, Url, fifoStores), RegistryError);
}

} // namespace
} // namespace tarnwick
