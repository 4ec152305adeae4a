// The preference and the port as the main window uses them, over a fake server and registry.
#include "../proxyconfig/FakeRegistry.h"
#include "FakePacServer.h"

#include "pacserver/PacService.h"
#include "proxyconfig/Settings.h"

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

TEST_F(PacServiceTest, PreferenceIsOnUnlessTheUserSaidNo) {
    PacService service = make();
    EXPECT_TRUE(service.storedPreference());
    EXPECT_EQ(ReadSetting(FakeRegistry(hive), "servePac"), "true");
    for (const char* word : {"false", "FALSE", "0"}) {
        WriteSetting(FakeRegistry(hive), "servePac", word);
        EXPECT_FALSE(service.storedPreference()) << word;
        EXPECT_EQ(ReadSetting(FakeRegistry(hive), "servePac"), word);
    }
}

// The deadlines and the room at the limit, on a clock the test moves.
TEST(PacConnectionsTest, WaitingClientsMakeRoomAndMeetTheirDeadlines) {
    PacServerOptions options;
    options.maxConnections = 3;
    const PacScriptSource source = [] { return std::optional<std::string>("x"); };
    PacConnections clients(options, source);
    std::optional<PacConnections::Key> evict;

    clients.add(10, 0);
    clients.add(11, 100).receive("GET /IETarnwick.pac HTTP/1.1\r\n\r\n"); // being answered
    clients.add(12, 200).receive("GET /IETarnwick.pac HTTP/1.1\r\n");     // not whole yet
    ASSERT_TRUE(clients.admit(evict));
    EXPECT_EQ(evict, PacConnections::Key(10)); // the oldest without a whole request
    clients.remove(10);
    clients.add(13, 300);
    ASSERT_TRUE(clients.admit(evict));
    EXPECT_EQ(evict, PacConnections::Key(12));

    // A whole request within 2 s, however the bytes trickle; an answer may then take longer,
    // as long as bytes move.
    clients.touch(12, 2100);
    EXPECT_EQ(clients.expired(2199), std::vector<PacConnections::Key>{});
    EXPECT_EQ(clients.expired(2200), std::vector<PacConnections::Key>{12});
    EXPECT_EQ(clients.expired(2300), (std::vector<PacConnections::Key>{12, 13}));
    clients.touch(11, 4000);
    EXPECT_EQ(clients.expired(8999), (std::vector<PacConnections::Key>{12, 13}));
    EXPECT_EQ(clients.expired(9000), (std::vector<PacConnections::Key>{11, 12, 13}));
    clients.touch(11, 19000);
    EXPECT_EQ(clients.expired(20100).front(), PacConnections::Key(11)); // the exchange's cap

    // Full of clients being answered: the newcomer is refused.
    clients.remove(12);
    clients.remove(13);
    clients.add(14, 0).receive("GET / HTTP/1.1\r\n\r\n");
    clients.add(15, 0).receive("BAD\r\n");
    EXPECT_FALSE(clients.admit(evict));
    EXPECT_FALSE(evict);
}

} // namespace
} // namespace tarnwick
