// The server over real loopback sockets, driven from the thread that runs its event loop.
#include "TestClient.h"

#include "pacserver/PacServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tarnwick {
namespace {

using test::Fetch;
using test::TestClient;

const std::string Script = "function FindProxyForURL(url, host) {\r\n"
                           "\tif (shExpMatch(host, \"*.\xB2\xE2\xCA\xD4\")) return \"PROXY "
                           "127.0.0.1:3128\";\r\n"
                           "\treturn \"DIRECT\";\r\n}\r\n";

const std::string Get = "GET /IETarnwick.pac?v=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

class PacServerTest : public testing::Test {
protected:
    void start(PacServerOptions options = {}) {
        server = MakePacServer([this] { return script; }, options);
        std::string why;
        ASSERT_TRUE(server->listen(0, why)) << why;
        port = server->port();
        ASSERT_NE(port, 0);
    }

    std::optional<std::string> script = Script;
    std::unique_ptr<PacServer> server;
    std::uint16_t port = 0;
};

std::string StatusLine(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

TEST_F(PacServerTest, AnswersWithTheScriptsHeadersAndBytes) {
    start();
    const std::string head = "HTTP/1.1 200 OK\r\n"
                             "Content-Type: application/x-ns-proxy-autoconfig\r\n"
                             "Content-Length: " +
                             std::to_string(Script.size()) +
                             "\r\n"
                             "Cache-Control: no-cache\r\n"
                             "Connection: close\r\n\r\n";
    EXPECT_EQ(Fetch(port, Get), head + Script);
    EXPECT_EQ(Fetch(port, "HEAD /IETarnwick.pac HTTP/1.0\r\n\r\n"), head);
    EXPECT_EQ(StatusLine(Fetch(port, "GET /index.html HTTP/1.1\r\n\r\n")),
              "HTTP/1.1 404 Not Found");
    const std::string post = Fetch(port, "POST /IETarnwick.pac HTTP/1.1\r\n\r\n");
    EXPECT_EQ(StatusLine(post), "HTTP/1.1 405 Method Not Allowed");
    EXPECT_NE(post.find("\r\nAllow: GET, HEAD\r\n"), std::string::npos);
}

TEST_F(PacServerTest, EachRequestGetsTheScriptAsItIsThen) {
    start();
    // A big script exercises answers that do not fit the socket's buffer in one go.
    const std::vector<std::string> scripts = {Script, std::string(),
                                              Script + std::string(300000, 'x')};
    for (const std::string& text : scripts) {
        script = text;
        const std::string response = Fetch(port, Get);
        ASSERT_GE(response.size(), text.size());
        EXPECT_EQ(response.substr(response.size() - text.size()), text);
        EXPECT_NE(response.find("Content-Length: " + std::to_string(text.size()) + "\r\n"),
                  std::string::npos);
    }
    script.reset();
    EXPECT_EQ(StatusLine(Fetch(port, Get)), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(server->connectionCount(), 0u);
}

TEST_F(PacServerTest, SilentAndSlowClientsBlockNobody) {
    PacServerOptions options;
    options.requestTimeoutMs = 1500;
    start(options);

    std::vector<std::unique_ptr<TestClient>> silent;
    for (int i = 0; i < 20; ++i)
        silent.push_back(std::make_unique<TestClient>(port));
    TestClient slow(port);
    slow.send("GET /IETarnwick.pac HT");

    TestClient quick(port);
    quick.send(Get);
    ASSERT_TRUE(quick.waitClosed(5000));
    EXPECT_EQ(StatusLine(quick.received()), "HTTP/1.1 200 OK");
    EXPECT_FALSE(slow.waitClosed(0));

    slow.send("TP/1.1\r\n\r\n");
    ASSERT_TRUE(slow.waitClosed(5000));
    EXPECT_EQ(StatusLine(slow.received()), "HTTP/1.1 200 OK");

    // Clients that say nothing, stop halfway or trickle their bytes are closed once the time
    // for a whole request has passed.
    TestClient halfway(port);
    halfway.send("GET /IETarnwick.pac HTTP/1.1\r\n");
    TestClient trickle(port);
    for (int i = 0; i < 30 && !trickle.waitClosed(100); ++i)
        trickle.send("X");
    EXPECT_TRUE(trickle.waitClosed(3000));
    EXPECT_EQ(trickle.received(), "");
    for (auto& client : silent) {
        ASSERT_TRUE(client->waitClosed(5000));
        EXPECT_EQ(client->received(), "");
    }
    ASSERT_TRUE(halfway.waitClosed(5000));
    EXPECT_EQ(halfway.received(), "");
    EXPECT_EQ(server->connectionCount(), 0u);
}

TEST_F(PacServerTest, RefusesOversizedAndMalformedRequests) {
    start();
    const std::string longLine = "GET /" + std::string(6000, 'a') + " HTTP/1.1\r\n\r\n";
    EXPECT_EQ(StatusLine(Fetch(port, longLine)), "HTTP/1.1 414 URI Too Long");
    EXPECT_EQ(StatusLine(Fetch(port, std::string(5000, 'G'))), "HTTP/1.1 414 URI Too Long");
    EXPECT_EQ(StatusLine(Fetch(port, "\x16\x03\x01\x02\x01\x01\r\n\r\n")),
              "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(StatusLine(Fetch(port, "GET /IETarnwick.pac HTTP/1.1\r\nHost: evil.example\r\n\r\n")),
              "HTTP/1.1 403 Forbidden");
}

TEST_F(PacServerTest, AtTheLimitTheLongestWaitingClientMakesRoom) {
    PacServerOptions options;
    options.maxConnections = 2;
    start(options);
    TestClient first(port), second(port);
    ASSERT_FALSE(second.waitClosed(50));
    second.send("GET /IETarnwick.pac HTTP/1.1\r\n"); // has sent something, still not whole
    TestClient third(port);
    EXPECT_TRUE(first.waitClosed(5000));
    EXPECT_FALSE(second.waitClosed(50));
    EXPECT_EQ(server->connectionCount(), 2u);
    third.send(Get);
    ASSERT_TRUE(third.waitClosed(5000));
    EXPECT_EQ(StatusLine(third.received()), "HTTP/1.1 200 OK");
}

TEST_F(PacServerTest, ARequestIsServedPromptlyWhileIdleClientsFloodTheServer) {
    start();
    std::vector<std::unique_ptr<TestClient>> idle;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(std::make_unique<TestClient>(port));
        if (i % 50 == 0)
            test::PumpEvents();
    }
    TestClient browser(port);
    browser.send(Get);
    // Well under the time a whole request may take: the browser did not wait for the idle
    // ones to be dropped.
    ASSERT_TRUE(browser.waitClosed(1000));
    EXPECT_EQ(StatusLine(browser.received()), "HTTP/1.1 200 OK");
    EXPECT_LE(server->connectionCount(), PacServerOptions().maxConnections);
}

TEST_F(PacServerTest, ListensOnLoopbackOnlyAndStops) {
    start();
    EXPECT_EQ(server->address(), "127.0.0.1");
    EXPECT_TRUE(server->isListening());

    TestClient open(port);
    EXPECT_FALSE(open.waitClosed(50));
    server->close();
    EXPECT_FALSE(server->isListening());
    EXPECT_EQ(server->port(), 0);
    EXPECT_TRUE(open.waitClosed(5000));
    EXPECT_FALSE(TestClient(port).connected());
}

// On Windows a socket with SO_REUSEADDR may take a port that is held without exclusive use;
// Wine's sockets follow the host's rules, so there this holds with or without it.
TEST_F(PacServerTest, NoOtherSocketCanShareThePortWhileItListens) {
    start();
    EXPECT_FALSE(test::ListensSharing(port));
    server->close();
    // Free again, to anyone: the refusal was the listening server's.
    EXPECT_TRUE(test::ListensSharing(port));
}

TEST_F(PacServerTest, TakesTheNextFreePortOfTheRange) {
    start();
    auto second = MakePacServer([] { return std::optional<std::string>(Script); });
    if (port >= 65535 - 3)
        GTEST_SKIP() << "the system gave a port at the very end of the range";

    // The first port is taken by the first server.
    const std::uint16_t bound = ListenInRange(*second, port, 3);
    EXPECT_GT(bound, port);
    EXPECT_LE(bound, port + 2);
    EXPECT_EQ(second->port(), bound);
    EXPECT_EQ(StatusLine(Fetch(bound, Get)), "HTTP/1.1 200 OK");

    auto third = MakePacServer({});
    try {
        ListenInRange(*third, port, 1);
        FAIL() << "a taken port was bound";
    } catch (const PacServerError& error) {
        EXPECT_NE(std::string(error.what()).find("127.0.0.1, port " + std::to_string(port) + ": "),
                  std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(third->isListening());
}

} // namespace
} // namespace tarnwick
