// The preference and the port as the main window uses them, over a fake server and registry.
#include "../proxyconfig/FakeRegistry.h"
#include "FakePacServer.h"

#include "pacserver/PacService.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarnwick {
namespace {

using test::Dword;
using test::FakeHive;
using test::FakeRegistry;

const std::string Key = "Software\\IETarnwick";
const std::string FileUrl = "file:///opt/tarnwick/IETarnwick.pac";

class PacServiceTest : public testing::Test {
protected:
    PacService make() {
        return PacService(
            FakeRegistry(hive), [] { return std::optional<std::string>(); },
            [this](PacScriptSource) { return std::make_unique<test::FakePacServer>(ports); });
    }

    FakeHive hive;
    test::FakePorts ports;
};

TEST_F(PacServiceTest, PortStartsAtTheStoredOneAndTakesTheNextFree) {
    struct Case {
        std::optional<std::uint32_t> stored;
        std::set<std::uint16_t> taken;
        std::uint16_t bound;
        std::uint32_t storedAfter;
    };
    const std::vector<Case> cases = {
        {std::nullopt, {}, DefaultPacPort, DefaultPacPort},
        {std::nullopt, {DefaultPacPort, DefaultPacPort + 1}, DefaultPacPort + 2, DefaultPacPort},
        // The user's port stays stored, also when another one had to be taken.
        {40000, {40000}, 40001, 40000},
        {0, {}, DefaultPacPort, 0},
        {65536, {}, DefaultPacPort, 65536},
        {65535, {}, 65535, 65535},
    };
    for (const Case& c : cases) {
        hive = FakeHive();
        if (c.stored)
            hive.keys[Key]["pacPort"] = {RegistryValueType::Dword, Dword(*c.stored)};
        ports.taken = c.taken;
        PacService service = make();
        service.start();
        EXPECT_TRUE(service.serving());
        EXPECT_EQ(service.port(), c.bound);
        EXPECT_EQ(hive.value(Key, "pacPort")->data, Dword(c.storedAfter));
    }
}

TEST_F(PacServiceTest, NoFreePortIsAnErrorAndTheSwitchKeepsTheFile) {
    for (int i = 0; i < 20; ++i)
        ports.taken.insert(static_cast<std::uint16_t>(65530 + i));
    hive.keys[Key]["pacPort"] = {RegistryValueType::Dword, Dword(65530)};
    PacService service = make();
    try {
        service.start();
        FAIL() << "no error";
    } catch (const PacServerError& error) {
        EXPECT_STREQ(error.what(),
                     "Cannot serve the script on 127.0.0.1, ports 65530 to 65535: Address in use");
    }
    // Never past the last port there is.
    EXPECT_EQ(ports.tried, (std::vector<std::uint16_t>{65530, 65531, 65532, 65533, 65534, 65535}));
    EXPECT_FALSE(service.serving());
    EXPECT_EQ(service.switchUrl(FileUrl), FileUrl);

    hive.keys[Key]["pacPort"] = {RegistryValueType::String, std::string("8080\0", 5)};
    EXPECT_THROW(service.start(), RegistryError);
    EXPECT_FALSE(service.serving());
}

} // namespace
} // namespace tarnwick
