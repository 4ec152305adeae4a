// The switch and the settings against the machine's own hive: Wine's registry in the Windows
// build, the REGEDIT4 file store (in a temporary XDG_CONFIG_HOME) in the Linux build.
#include "platform/CurrentUserRegistry.h"
#include "proxyconfig/ProxySwitch.h"
#include "proxyconfig/Settings.h"
#include "rules/Error.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#endif

namespace tarnwick {
namespace {

const std::string Inet = InternetSettingsKey;
const std::string Policies = InternetSettingsPoliciesKey;
const std::string Url = "file:///opt/tarnwick/IETarnwick.pac";

class CurrentUserRegistryTest : public ::testing::Test {
protected:
#ifdef _WIN32
    // The Wine prefix is thrown away after the run; still, every test starts from a hive
    // without the program's keys and values.
    void SetUp() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\IETarnwick");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TarnwickTest");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Policies\\Microsoft\\Windows\\"
                                            "CurrentVersion\\Internet Settings");
        HKEY inet = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, Inet.c_str() + 1, 0, KEY_ALL_ACCESS, &inet) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueA(inet, "AutoConfigURL");
            ::RegDeleteValueA(inet, "EnableAutoProxyResultCache");
            ::RegCloseKey(inet);
        }
    }
#else
    void SetUp() override {
        std::string dir = (std::filesystem::temp_directory_path() / "tarnwick-reg.XXXXXX");
        ASSERT_TRUE(::mkdtemp(dir.data()));
        dir_ = dir;
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(dir_);
    }
    std::string dir_;
#endif

    RegistryFactory registry = CurrentUserRegistry();

    bool keyExists(const std::string& path) {
        return registry()->openKey(path, false);
    }

    std::optional<RegistryDataInfo> info(const std::string& key, const std::string& name) {
        auto reg = registry();
        if (!reg->openKey(key, false))
            return std::nullopt;
        return reg->dataInfo(name);
    }

    void expectString(const std::string& key, const std::string& name, const std::string& text) {
        const std::optional<RegistryDataInfo> i = info(key, name);
        ASSERT_TRUE(i) << key << " " << name;
        EXPECT_EQ(i->type, RegistryValueType::String) << name;
        EXPECT_EQ(i->size, text.size() + 1) << name << ": the terminating zero counts";
        auto reg = registry();
        ASSERT_TRUE(reg->openKey(key, false));
        EXPECT_EQ(reg->readString(name), text);
    }

    void expectDword(const std::string& key, const std::string& name, std::int32_t n) {
        const std::optional<RegistryDataInfo> i = info(key, name);
        ASSERT_TRUE(i) << key << " " << name;
        EXPECT_EQ(i->type, RegistryValueType::Dword) << key;
        EXPECT_EQ(i->size, 4u);
        auto reg = registry();
        ASSERT_TRUE(reg->openKey(key, false));
        EXPECT_EQ(reg->readInteger(name), n) << key;
    }

    void put(const std::string& key, const std::string& name, RegistryValueType type,
             const std::string& data) {
        auto reg = registry();
        ASSERT_TRUE(reg->openKey(key, true));
        reg->writeData(name, type, data);
    }
};

TEST_F(CurrentUserRegistryTest, SwitchOnPointsAtTheUrlAndOffClearsIt) {
    ASSERT_FALSE(keyExists(Policies));
    ApplyProxySwitch(registry, true, Url, DesktopProxyStores());
    expectString(Inet, "AutoConfigURL", Url);
    expectDword(Inet, "EnableAutoProxyResultCache", 0);
    expectDword(Policies, "EnableAutoProxyResultCache", 0);

    ApplyProxySwitch(registry, false, Url, DesktopProxyStores());
    expectString(Inet, "AutoConfigURL", ""); // present, one zero byte
    expectDword(Inet, "EnableAutoProxyResultCache", 1);
    expectDword(Policies, "EnableAutoProxyResultCache", 1);

    ApplyProxySwitch(registry, true, Url, DesktopProxyStores());
    ApplyProxySwitch(registry, true, Url, DesktopProxyStores());
    expectString(Inet, "AutoConfigURL", Url);
    expectDword(Policies, "EnableAutoProxyResultCache", 0);
}

TEST_F(CurrentUserRegistryTest, SwitchReplacesCacheValuesOfAnotherType) {
    put(Inet, "EnableAutoProxyResultCache", RegistryValueType::String, std::string("1\0", 2));
    put(Policies, "EnableAutoProxyResultCache", RegistryValueType::Binary, "\x01\x02");
    ApplyProxySwitch(registry, true, Url, DesktopProxyStores());
    expectDword(Inet, "EnableAutoProxyResultCache", 0);
    expectDword(Policies, "EnableAutoProxyResultCache", 0);
}

TEST_F(CurrentUserRegistryTest, SettingsReadNothingUntilWrittenAndKeepTheirTextsExactly) {
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "");
    EXPECT_FALSE(keyExists("\\Software\\IETarnwick")) << "reading created the key";

    for (const std::string text : {"true", "false", "TRUE", "true ", ""}) {
        WriteSetting(registry, "startHidden", text);
        EXPECT_EQ(ReadSetting(registry, "startHidden"), text);
        expectString("\\Software\\IETarnwick", "startHidden", text);
    }
    // Names compare without regard to case, as the registry's do.
    WriteSetting(registry, "startHidden", "true");
    EXPECT_EQ(ReadSetting(registry, "STARTHIDDEN"), "true");
    EXPECT_TRUE(keyExists("\\SOFTWARE\\ietarnwick"));
}

TEST_F(CurrentUserRegistryTest, SettingsOfOtherTypes) {
    const std::string key = "\\Software\\IETarnwick";
    put(key, "startHidden", RegistryValueType::Dword, std::string("\1\0\0\0", 4));
    try {
        ReadSetting(registry, "startHidden");
        FAIL() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'startHidden'");
    }
    put(key, "startHidden", RegistryValueType::ExpandString, std::string("%TEMP%\\x\0", 9));
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "%TEMP%\\x");
    put(key, "startHidden", RegistryValueType::Binary, "");
    EXPECT_EQ(ReadSetting(registry, "startHidden"), "") << "empty data of any type";
    WriteSetting(registry, "startHidden", "false");
    expectString(key, "startHidden", "false");
}

TEST_F(CurrentUserRegistryTest, RelativePathsOpenBelowTheOpenKey) {
    {
        auto reg = registry();
        ASSERT_TRUE(reg->openKey("\\Software\\TarnwickTest", true));
        ASSERT_TRUE(reg->openKey("Sub\\Deeper", true));
        reg->writeString("here", "yes");
        EXPECT_FALSE(reg->openKey("Missing", false));
        EXPECT_EQ(reg->readString("here"), "yes") << "a failed open keeps the open key";
    }
    expectString("\\Software\\TarnwickTest\\Sub\\Deeper", "here", "yes");
    EXPECT_FALSE(keyExists("\\Sub"));
}

} // namespace
} // namespace tarnwick
