#include "FakeRegistry.h"

#include "proxyconfig/Settings.h"
#include "rules/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using test::Dword;
using test::FakeHive;
using test::FakeRegistry;
using ::testing::ElementsAre;

const std::string Key = "Software\\IETarnwick";

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RegistryError& e) {
        return e.what();
    }
    return "(none)";
}

TEST(Settings, ReadNeverCreatesTheKeyAndMissingMeansEmpty) {
    FakeHive hive;
    EXPECT_EQ(ReadSetting(FakeRegistry(hive), "startHidden"), "");
    // The trailing backslash is handed on as written.
    EXPECT_THAT(hive.log, ElementsAre("open Software\\IETarnwick\\"));
    EXPECT_TRUE(hive.keys.empty());

    hive.keys[Key];
    EXPECT_EQ(ReadSetting(FakeRegistry(hive), "startHidden"), "");
    hive.keys[Key]["startHidden"] = {RegistryValueType::Dword, ""};
    EXPECT_EQ(ReadSetting(FakeRegistry(hive), "startHidden"), "") << "size 0 is empty, any type";
    EXPECT_EQ(hive.openKeys, 0);
}

TEST(Settings, StringsReadUpToTheirFirstZero) {
    FakeHive hive;
    auto& values = hive.keys[Key];
    values["a"] = {RegistryValueType::String, std::string("true\0junk\0", 10)};
    values["b"] = {RegistryValueType::ExpandString, std::string("%TEMP%\\x\0", 9)};
    values["c"] = {RegistryValueType::String, "no terminator"};
    EXPECT_EQ(ReadSetting(FakeRegistry(hive), "a"), "true");
    EXPECT_EQ(ReadSetting(FakeRegistry(hive), "b"), "%TEMP%\\x") << "not expanded";
    EXPECT_EQ(ReadSetting(FakeRegistry(hive), "c"), "no terminator");
}

TEST(Settings, ReadErrorsNameTheValueAndReleaseTheKey) {
    FakeHive hive;
    hive.keys[Key]["startHidden"] = {RegistryValueType::Dword, Dword(1)};
    EXPECT_EQ(ErrorOf([&] { ReadSetting(FakeRegistry(hive), "startHidden"); }),
              "Invalid data type for 'startHidden'");
    EXPECT_EQ(hive.openKeys, 0);
    EXPECT_EQ(hive.liveAccessors, 0);

    hive.keys[Key]["startHidden"] = {RegistryValueType::String, "true"};
    hive.failingReads = {"startHidden"};
    EXPECT_EQ(ErrorOf([&] { ReadSetting(FakeRegistry(hive), "startHidden"); }),
              "Failed to get data for 'startHidden'");
    EXPECT_EQ(hive.openKeys, 0);
}

TEST(Settings, WriteCreatesTheKeyAndStoresTheTextWithItsZero) {
    FakeHive hive;
    WriteSetting(FakeRegistry(hive), "startHidden", "TRUE");
    EXPECT_THAT(hive.log,
                ElementsAre("open+ Software\\IETarnwick\\", "set startHidden", "close " + Key));
    const RegistryValue* v = hive.value(Key, "startHidden");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, RegistryValueType::String);
    EXPECT_EQ(v->data, std::string("TRUE\0", 5));
    EXPECT_EQ(ReadSetting(FakeRegistry(hive), "startHidden"), "TRUE");
}

TEST(Settings, WriteSkipsAnUnopenableKeyButReportsAFailedWrite) {
    FakeHive hive;
    hive.unopenable = {Key};
    EXPECT_NO_THROW(WriteSetting(FakeRegistry(hive), "startHidden", "true"));
    EXPECT_TRUE(hive.keys.empty());

    FakeHive failing;
    failing.failingWrites = {"startHidden"};
    EXPECT_EQ(ErrorOf([&] { WriteSetting(FakeRegistry(failing), "startHidden", "false"); }),
              "Failed to set data for 'startHidden'");
    EXPECT_EQ(failing.openKeys, 0);
    EXPECT_EQ(failing.liveAccessors, 0);
}

TEST(Settings, NumbersAreDwordsAndAnythingElseIsReported) {
    FakeHive hive;
    EXPECT_EQ(ReadIntegerSetting(FakeRegistry(hive), "pacPort"), std::nullopt);
    EXPECT_TRUE(hive.keys.empty()) << "reading never creates the key";

    WriteIntegerSetting(FakeRegistry(hive), "pacPort", 40000);
    const RegistryValue* v = hive.value(Key, "pacPort");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, RegistryValueType::Dword);
    EXPECT_EQ(v->data, Dword(40000));
    EXPECT_EQ(ReadIntegerSetting(FakeRegistry(hive), "pacPort"), 40000u);
    WriteIntegerSetting(FakeRegistry(hive), "pacPort", 0xFFFFFFFFu);
    EXPECT_EQ(ReadIntegerSetting(FakeRegistry(hive), "pacPort"), 0xFFFFFFFFu);

    hive.keys[Key]["pacPort"] = {RegistryValueType::String, std::string("8080\0", 5)};
    EXPECT_EQ(ErrorOf([&] { ReadIntegerSetting(FakeRegistry(hive), "pacPort"); }),
              "Invalid data type for 'pacPort'");
    EXPECT_EQ(hive.openKeys, 0);
    EXPECT_EQ(hive.liveAccessors, 0);
}

} // namespace
} // namespace tarnwick
