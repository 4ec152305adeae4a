#include "FakeRegistry.h"

#include "rules/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using test::FakeHive;
using test::FakeRegistry;
using ::testing::ElementsAre;

TEST(RegistryAccessor, HoldsOneKeyAndResolvesRelativePathsAgainstIt) {
    FakeHive hive;
    auto reg = FakeRegistry(hive)();
    ASSERT_TRUE(reg->openKey("\\Software\\A", true));
    ASSERT_TRUE(reg->openKey("B", true)); // relative to Software\A
    EXPECT_EQ(reg->currentPath(), "Software\\A\\B");
    EXPECT_EQ(hive.openKeys, 1);
    ASSERT_TRUE(reg->openKey("\\Software", false)); // absolute again
    EXPECT_EQ(reg->currentPath(), "Software");
    EXPECT_EQ(hive.openKeys, 1);

    // A failed open keeps the key that was open.
    EXPECT_FALSE(reg->openKey("Missing", false));
    EXPECT_EQ(reg->currentPath(), "Software");
    EXPECT_TRUE(hive.keys.count("Software\\A\\B"));
    reg.reset();
    EXPECT_EQ(hive.openKeys, 0);
}

TEST(RegistryAccessor, ValueAccessWithoutAnOpenKeyFailsWithTheMessages) {
    FakeHive hive;
    auto reg = FakeRegistry(hive)();
    try {
        reg->writeString("x", "1");
        FAIL();
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'x'");
    }
    EXPECT_EQ(reg->readString("x"), "");
    EXPECT_EQ(reg->dataSize("x"), -1);
    EXPECT_THROW(reg->readInteger("x"), RegistryError);
}

TEST(RegistryAccessor, IntegersAreLittleEndianAndTypeChecked) {
    FakeHive hive;
    auto reg = FakeRegistry(hive)();
    ASSERT_TRUE(reg->openKey("K", true));
    reg->writeInteger("n", -2);
    EXPECT_EQ(hive.keys["K"]["n"].data, std::string("\xfe\xff\xff\xff", 4));
    EXPECT_EQ(reg->readInteger("n"), -2);
    EXPECT_EQ(reg->dataSize("n"), 4);
    reg->writeString("s", "7");
    try {
        reg->readInteger("s");
        FAIL();
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 's'");
    }
    try {
        reg->readInteger("missing");
        FAIL();
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'missing'");
    }
}

} // namespace
} // namespace tarnwick
