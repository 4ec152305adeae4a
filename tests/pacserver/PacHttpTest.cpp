// Reading a request head and answering it, without sockets.
#include "pacserver/PacHttp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

using State = PacRequestReader::State;

const std::string Script = "function FindProxyForURL(url, host) {\r\n"
                           "\treturn \"PROXY \xB4\xFA\xC0\xED:8080\";\r\n}\r\n";

State FeedInPieces(PacRequestReader& reader, const std::string& bytes, std::size_t piece) {
    State state = State::Reading;
    for (std::size_t i = 0; i < bytes.size(); i += piece)
        state = reader.feed(std::string_view(bytes).substr(i, piece));
    return state;
}

struct ReaderCase {
    const char* name;
    std::string bytes;
    State expected;
};

TEST(PacRequestReader, StatesForHeadsInAnyPieces) {
    const std::string line4096 = "GET /" + std::string(4096 - 14, 'a') + " HTTP/1.1";
    ASSERT_EQ(line4096.size(), 4096u);
    const std::vector<ReaderCase> cases = {
        {"plain", "GET /IETarnwick.pac HTTP/1.1\r\nHost: 127.0.0.1:1\r\n\r\n", State::Complete},
        {"bare line feeds", "GET / HTTP/1.0\nA: b\n\n", State::Complete},
        {"blank line first", "\r\nGET / HTTP/1.1\r\n\r\n", State::Complete},
        {"head not finished", "GET / HTTP/1.1\r\nHost: x\r\n", State::Reading},
        {"line at the limit", line4096 + "\r\n\r\n", State::Complete},
        {"line past the limit", "GET /" + std::string(4096 - 13, 'a') + " HTTP/1.1\r\n\r\n",
         State::LineTooLong},
        {"endless line", std::string(10000, 'G'), State::LineTooLong},
        {"endless blank lines", std::string(100, '\n'), State::Malformed},
        {"too many header bytes",
         "GET / HTTP/1.1\r\n" + std::string(20, 'X') + ": " + std::string(16400, 'v') + "\r\n\r\n",
         State::HeadersTooLarge},
        {"no version", "GET /IETarnwick.pac\r\n\r\n", State::Malformed},
        {"two spaces", "GET  / HTTP/1.1\r\n\r\n", State::Malformed},
        {"HTTP/2 text", "GET / HTTP/2.0\r\n\r\n", State::Malformed},
        {"control byte in target", "GET /a\x01 HTTP/1.1\r\n\r\n", State::Malformed},
        {"field without colon", "GET / HTTP/1.1\r\nHost 127.0.0.1\r\n\r\n", State::Malformed},
        {"folded field", "GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n", State::Malformed},
        {"two Host fields", "GET / HTTP/1.1\r\nHost: a\r\nhost: b\r\n\r\n", State::Malformed},
    };
    for (const ReaderCase& c : cases) {
        for (const std::size_t piece : {std::size_t(1), std::size_t(7), c.bytes.size()}) {
            PacRequestReader reader;
            EXPECT_EQ(FeedInPieces(reader, c.bytes, piece), c.expected)
                << c.name << ", pieces of " << piece;
        }
    }
}

TEST(PacRequestReader, KeepsMethodTargetAndHostAndIgnoresWhatFollows) {
    PacRequestReader reader;
    EXPECT_EQ(reader.feed("HEAD /IETarnwick.pac?v=1 HTTP/1.1\r\nhOsT:  localhost:9 \r\n\r\nGARB"),
              State::Complete);
    EXPECT_EQ(reader.feed("AGE\r\n\r\n"), State::Complete);
    EXPECT_EQ(reader.request().method, "HEAD");
    EXPECT_EQ(reader.request().target, "/IETarnwick.pac?v=1");
    EXPECT_EQ(reader.request().host, "localhost:9");
}

PacRequest Request(std::string method, std::string target,
                   std::optional<std::string> host = "127.0.0.1:18086") {
    return PacRequest{std::move(method), std::move(target), std::move(host)};
}

std::string StatusLine(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

std::string Body(const std::string& response) {
    return response.substr(response.find("\r\n\r\n") + 4);
}

TEST(PacResponse, StatusForEachKindOfRequest) {
    struct Case {
        PacRequest request;
        std::optional<std::string> script;
        std::string status;
        bool body;
    };
    const std::vector<Case> cases = {
        {Request("GET", "/IETarnwick.pac", std::nullopt), Script, "HTTP/1.1 200 OK", true},
        {Request("GET", "/IETarnwick.pac", "LocalHost"), Script, "HTTP/1.1 200 OK", true},
        {Request("GET", "http://127.0.0.1:1/IETarnwick.pac?v=2"), Script, "HTTP/1.1 200 OK", true},
        {Request("GET", "/"), Script, "HTTP/1.1 404 Not Found", true},
        {Request("GET", "/IETarnwick.pac/"), Script, "HTTP/1.1 404 Not Found", true},
        {Request("GET", "/ietarnwick.pac"), Script, "HTTP/1.1 404 Not Found", true},
        {Request("HEAD", "/configData.ini"), Script, "HTTP/1.1 404 Not Found", false},
        {Request("GET", "/IETarnwick.pac"), std::nullopt, "HTTP/1.1 404 Not Found", true},
        {Request("POST", "/IETarnwick.pac"), Script, "HTTP/1.1 405 Method Not Allowed", true},
        {Request("get", "/IETarnwick.pac"), Script, "HTTP/1.1 405 Method Not Allowed", true},
        // A page whose name was made to point at 127.0.0.1 must not read the rules.
        {Request("GET", "/IETarnwick.pac", "attacker.example:18086"), Script,
         "HTTP/1.1 403 Forbidden", true},
        {Request("GET", "http://attacker.example/IETarnwick.pac"), Script, "HTTP/1.1 403 Forbidden",
         true},
        {Request("GET", "/IETarnwick.pac", "127.0.0.1:x"), Script, "HTTP/1.1 403 Forbidden", true},
    };
    for (const Case& c : cases) {
        const std::string response = PacResponse(c.request, c.script);
        const std::string what = c.request.method + " " + c.request.target;
        EXPECT_EQ(StatusLine(response), c.status) << what;
        EXPECT_NE(response.find("\r\nConnection: close\r\n"), std::string::npos) << what;
        const std::string body = Body(response);
        EXPECT_EQ(!body.empty(), c.body) << what;
        // The length is that of the body a GET gets, also when HEAD leaves it out.
        const std::size_t at = response.find("Content-Length: ") + 16;
        const std::size_t length = std::stoul(response.substr(at));
        if (c.body) {
            EXPECT_EQ(length, body.size()) << what;
        }
    }
    EXPECT_NE(
        PacResponse(Request("PUT", "/IETarnwick.pac"), Script).find("\r\nAllow: GET, HEAD\r\n"),
        std::string::npos);
}

TEST(PacResponse, RefusalsOfUnreadableHeads) {
    EXPECT_EQ(StatusLine(PacRefusal(State::LineTooLong)), "HTTP/1.1 414 URI Too Long");
    EXPECT_EQ(StatusLine(PacRefusal(State::HeadersTooLarge)),
              "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_EQ(StatusLine(PacRefusal(State::Malformed)), "HTTP/1.1 400 Bad Request");
}

TEST(PacHttpUrl, VersionChangesExactlyWhenTheScriptDoes) {
    const std::string url = PacHttpUrl(18086, Script);
    EXPECT_EQ(url.rfind("http://127.0.0.1:18086/IETarnwick.pac?v=", 0), 0u) << url;
    EXPECT_EQ(PacHttpUrl(18086, std::string(Script)), url);
    EXPECT_EQ(PacHttpUrl(40000, Script).substr(url.find('?')), url.substr(url.find('?')));

    std::string changed = Script;
    changed[changed.size() / 2] ^= 1;
    const std::vector<std::string> others = {changed, Script + "\r\n",      Script.substr(1),
                                             "",      std::string(1, '\0'), std::string(2, '\0')};
    std::vector<std::string> tags = {PacContentTag(Script)};
    for (const std::string& other : others) {
        const std::string tag = PacContentTag(other);
        for (const std::string& seen : tags)
            EXPECT_NE(tag, seen);
        tags.push_back(tag);
    }
}

} // namespace
} // namespace tarnwick
