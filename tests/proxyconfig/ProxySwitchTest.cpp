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
const DesktopProxyStores NoDesktop;

TEST(ProxySwitch, OnWritesTheThreeValuesInOrderEachUnderAFreshlyOpenedKey) {
    FakeHive hive;
    ApplyProxySwitch(FakeRegistry(hive), true, Url, NoDesktop);

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
    EXPECT_NO_THROW(ApplyProxySwitch(FakeRegistry(hive), true, Url, NoDesktop));
    EXPECT_FALSE(hive.keys.count(Inet));
    ASSERT_TRUE(hive.value(Policies, "EnableAutoProxyResultCache"));

    FakeHive noPolicies;
    noPolicies.unopenable = {Policies};
    EXPECT_NO_THROW(ApplyProxySwitch(FakeRegistry(noPolicies), false, Url, NoDesktop));
    EXPECT_TRUE(noPolicies.value(Inet, "AutoConfigURL"));
    EXPECT_TRUE(noPolicies.value(Inet, "EnableAutoProxyResultCache"));
    EXPECT_EQ(noPolicies.openKeys, 0);
}

TEST(ProxySwitch, FailedWriteStopsTheLaterWritesAndReleasesEverything) {
    FakeHive hive;
    hive.failingWrites = {"AutoConfigURL"};
    try {
        ApplyProxySwitch(FakeRegistry(hive), true, Url, NoDesktop);
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
    EXPECT_THROW(ApplyProxySwitch(FakeRegistry(last), false, Url, NoDesktop), RegistryError);
    EXPECT_TRUE(last.value(Inet, "AutoConfigURL"));
    EXPECT_EQ(last.openKeys, 0);
}

// A desktop store in memory, in the manner of GSettings: mode "auto" and the URL point at a
// script; unset values are the desktop's defaults.
struct FakeDesktop : DesktopProxyStore {
    DesktopProxyState state;
    std::string name;
    bool isPresent = true;
    bool failWrites = false;
    int writes = 0;

    std::string recordName() const override { return name; }
    bool present() override { return isPresent; }
    DesktopProxyState read() override { return state; }
    void write(const DesktopProxyState& next) override {
        ++writes;
        if (failWrites)
            throw RegistryError("Failed to set data for 'fake mode'");
        state = next;
    }
    DesktopProxyState pointingAt(const std::string& url) const override {
        return {std::string("auto"), url};
    }
    bool pointsAt(const DesktopProxyState& s, const std::string& url) const override {
        return s.mode == "auto" && s.url == url;
    }
};

struct DesktopSwitchTest : ::testing::Test {
    FakeHive hive;
    DesktopProxyStores stores;
    FakeDesktop* gnome = nullptr;
    FakeDesktop* kde = nullptr;
    const DesktopProxyState manual{std::string("manual"), std::nullopt};

    void SetUp() override {
        stores.push_back(std::make_unique<FakeDesktop>());
        stores.push_back(std::make_unique<FakeDesktop>());
        gnome = static_cast<FakeDesktop*>(stores[0].get());
        kde = static_cast<FakeDesktop*>(stores[1].get());
        gnome->name = "Gnome";
        kde->name = "Kde";
        gnome->state = manual;
    }
    void apply(bool on, const std::string& url = Url) {
        ApplyProxySwitch(FakeRegistry(hive), on, url, stores);
    }
    DesktopProxyState ours(const std::string& url = Url) { return {std::string("auto"), url}; }
};

TEST_F(DesktopSwitchTest, OnPointsTheDesktopAtTheScriptAndOffGivesBackWhatTheUserHad) {
    apply(true);
    EXPECT_EQ(gnome->state, ours());
    EXPECT_EQ(kde->state, ours());
    ASSERT_TRUE(hive.value(Inet, "AutoConfigURL"));
    apply(true); // every start turns it on again
    apply(false);
    EXPECT_EQ(gnome->state, manual);
    EXPECT_EQ(kde->state, DesktopProxyState{});
    EXPECT_EQ(hive.value(Inet, "AutoConfigURL")->data, std::string(1, '\0'));
    // Off twice: nothing recorded is left to give back, and the user's settings stay.
    apply(false);
    EXPECT_EQ(gnome->state, manual);
}

TEST_F(DesktopSwitchTest, AStartAfterACrashKeepsTheTruePreviousValues) {
    apply(true);
    // The program died with the switch on; the next start may even run from another folder.
    apply(true, "file:///moved/IETarnwick.pac");
    EXPECT_EQ(gnome->state, ours("file:///moved/IETarnwick.pac"));
    apply(false, "file:///moved/IETarnwick.pac");
    EXPECT_EQ(gnome->state, manual);
}

TEST_F(DesktopSwitchTest, OurOwnValuesAreNeverRecordedAsPrevious) {
    // The record was lost while the desktop pointed at the script: off falls back to the
    // defaults instead of "restoring" the script.
    gnome->state = ours();
    apply(true);
    apply(false);
    EXPECT_EQ(gnome->state, DesktopProxyState{});
}

TEST_F(DesktopSwitchTest, SettingsTheUserChangedMeanwhileAreLeftAlone) {
    apply(true);
    const DesktopProxyState theirs{std::string("auto"),
                                   std::string("http://wpad.example/wpad.dat")};
    gnome->state = theirs;
    apply(false);
    EXPECT_EQ(gnome->state, theirs);
    EXPECT_EQ(kde->state, DesktopProxyState{});
    // Their settings are what the next on records, and what the next off gives back.
    apply(true);
    apply(false);
    EXPECT_EQ(gnome->state, theirs);
}

TEST_F(DesktopSwitchTest, AStoreThatIsNotThereIsSkippedSilently) {
    kde->isPresent = false;
    apply(true);
    apply(false);
    EXPECT_EQ(kde->writes, 0);
    EXPECT_FALSE(hive.value("Software\\IETarnwick", "KdeApplied"));
    EXPECT_TRUE(hive.value("Software\\IETarnwick", "GnomeApplied"));
}

TEST_F(DesktopSwitchTest, AFailedDesktopWriteChangesNothingElse) {
    kde->failWrites = true;
    try {
        apply(true);
        FAIL() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'fake mode'");
    }
    EXPECT_EQ(gnome->state, manual); // the store that took the change got it back
    EXPECT_FALSE(hive.keys.count(Inet));
    EXPECT_FALSE(hive.keys.count(Policies));
    // No record of a change that did not happen: a later on records the manual proxy again.
    kde->failWrites = false;
    gnome->state = DesktopProxyState{};
    apply(true);
    apply(false);
    EXPECT_EQ(gnome->state, DesktopProxyState{});
}

TEST_F(DesktopSwitchTest, AFailedRegistryWriteGivesTheDesktopBack) {
    hive.failingWrites = {"AutoConfigURL"};
    EXPECT_THROW(apply(true), RegistryError);
    EXPECT_EQ(gnome->state, manual);
    EXPECT_EQ(kde->state, DesktopProxyState{});

    // Off failing leaves the desktop pointing at the script, as the window still says.
    hive.failingWrites.clear();
    apply(true);
    hive.failingWrites = {"EnableAutoProxyResultCache"};
    EXPECT_THROW(apply(false), RegistryError);
    EXPECT_EQ(gnome->state, ours());
    hive.failingWrites.clear();
    apply(false);
    EXPECT_EQ(gnome->state, manual);
}

TEST(DesktopProxyUrl, TheDesktopGetsAProperUrlAndOtherSchemesPassUnchanged) {
    const std::pair<std::string, std::string> cases[] = {
        {"file:///opt/tarnwick/IETarnwick.pac", "file:///opt/tarnwick/IETarnwick.pac"},
        {"file:///home/li lei/100%/IETarnwick.pac", "file:///home/li%20lei/100%25/IETarnwick.pac"},
        {"file:///tmp/a#b?c/IETarnwick.pac", "file:///tmp/a%23b%3Fc/IETarnwick.pac"},
        {"file:///\xe4\xb8\xad/IETarnwick.pac", "file:///%E4%B8%AD/IETarnwick.pac"},
        {"http://127.0.0.1:8123/IETarnwick.pac", "http://127.0.0.1:8123/IETarnwick.pac"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(DesktopProxyUrl(in), out) << in;
}

} // namespace
} // namespace tarnwick
