#include "FakeRegistry.h"

#include "proxyconfig/ProxySwitch.h"
#include "rules/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using test::Dword;
using test::FakeHive;
using test::FakeRegistry;
using ::testing::ElementsAre;

const std::string Inet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::string Policies =
    "Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::string Url = "file:///opt/tarnwick/IETarnwick.pac";

TEST(ProxySwitch, OnWritesTheThreeValuesInOrderEachUnderAFreshlyOpenedKey) {
    FakeHive hive;
    ApplyProxySwitch(FakeRegistry(hive), true, Url);

    // The leading backslash makes the paths absolute; it does not reach the backend.
    EXPECT_THAT(hive.log,
                ElementsAre("open+ " + Inet, "set AutoConfigURL", "close " + Inet, "open+ " + Inet,
                            "set EnableAutoProxyResultCache", "close " + Inet, "open+ " + Policies,
                            "set EnableAutoProxyResultCache", "close " + Policies));
    const RegistryValue* url = hive.value(Inet, "AutoConfigURL");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->type, RegistryValueType::String);
    EXPECT_EQ(url->data, Url + '\0');
    for (const std::string& key : {Inet, Policies}) {
        const RegistryValue* cache = hive.value(key, "EnableAutoProxyResultCache");
        ASSERT_TRUE(cache) << key;
        EXPECT_EQ(cache->type, RegistryValueType::Dword);
        EXPECT_EQ(cache->data, Dword(0));
    }
    EXPECT_EQ(hive.accessorsMade, 1);
    EXPECT_EQ(hive.liveAccessors, 0);
    EXPECT_EQ(hive.openKeys, 0);
}

TEST(ProxySwitch, KeysThatCannotBeOpenedAreSkippedSilently) {
    FakeHive hive;
    hive.unopenable = {Inet};
    EXPECT_NO_THROW(ApplyProxySwitch(FakeRegistry(hive), true, Url));
    EXPECT_FALSE(hive.keys.count(Inet));
    ASSERT_TRUE(hive.value(Policies, "EnableAutoProxyResultCache"));

    FakeHive noPolicies;
    noPolicies.unopenable = {Policies};
    EXPECT_NO_THROW(ApplyProxySwitch(FakeRegistry(noPolicies), false, Url));
    EXPECT_TRUE(noPolicies.value(Inet, "AutoConfigURL"));
    EXPECT_TRUE(noPolicies.value(Inet, "EnableAutoProxyResultCache"));
    EXPECT_EQ(noPolicies.openKeys, 0);
}

TEST(ProxySwitch, FailedWriteStopsTheLaterWritesAndReleasesEverything) {
    FakeHive hive;
    hive.failingWrites = {"AutoConfigURL"};
    try {
        ApplyProxySwitch(FakeRegistry(hive), true, Url);
        FAIL() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'AutoConfigURL'");
    }
    EXPECT_THAT(hive.log, ElementsAre("open+ " + Inet, "set AutoConfigURL", "close " + Inet));
    EXPECT_FALSE(hive.value(Inet, "EnableAutoProxyResultCache"));
    EXPECT_FALSE(hive.value(Policies, "EnableAutoProxyResultCache"));
    EXPECT_EQ(hive.openKeys, 0);
    EXPECT_EQ(hive.liveAccessors, 0);

    // The Policies write failing comes last: the first two stay written.
    FakeHive last;
    last.failingWrites = {"EnableAutoProxyResultCache"};
    EXPECT_THROW(ApplyProxySwitch(FakeRegistry(last), false, Url), RegistryError);
    EXPECT_TRUE(last.value(Inet, "AutoConfigURL"));
    EXPECT_EQ(last.openKeys, 0);
}

} // namespace
} // namespace tarnwick
