#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// The one path the server answers; any query (the URL's ?v=) is ignored.
inline constexpr std::string_view PacServedPath = "/IETarnwick.pac";

// What a client may send before it is answered. A browser's request for the script is a few
// hundred bytes; anything far beyond that is not a PAC fetch.
struct PacRequestLimits {
    std::size_t maxRequestLine = 4096;
    std::size_t maxHeaderBytes = 16384; // everything after the request line, the blank line too
};

struct PacRequest {
    std::string method;
    std::string target; // as sent: origin form ("/x?y") or absolute form ("http://h/x")
    std::optional<std::string> host;
};

// Collects the head of one request as its bytes arrive, in pieces of any size.
class PacRequestReader {
public:
    enum class State {
        Reading,         // the head is not complete yet
        Complete,        // request() holds it
        Malformed,       // not an HTTP/1.x request
        LineTooLong,     // the request line passed maxRequestLine
        HeadersTooLarge, // the header fields passed maxHeaderBytes
    };

    explicit PacRequestReader(PacRequestLimits limits = {}) : limits_(limits) {}

    // Takes the next bytes. Once the state is no longer Reading, further bytes are ignored.
    State feed(std::string_view bytes);
    State state() const { return state_; }
    const PacRequest& request() const { return request_; }

private:
    bool takeLine(std::string_view line);

    PacRequestLimits limits_;
    State state_ = State::Reading;
    std::string pending_; // bytes of the line being received
    std::size_t headerBytes_ = 0;
    int blankLines_ = 0; // before the request line
    bool haveRequestLine_ = false;
    PacRequest request_;
};

// The whole response (head and, except for HEAD, body) to a complete request. script holds the
// PAC file's bytes, nothing when there is no such file.
std::string PacResponse(const PacRequest& request, const std::optional<std::string>& script);

// The response to a head that could not be read (400, 414 or 431).
std::string PacRefusal(PacRequestReader::State state);

// A fingerprint of the script's bytes: equal scripts give equal tags, and any change of the
// bytes gives another one (16 hex digits of a 64-bit hash).
std::string PacContentTag(std::string_view script);

// The URL the switch points at while the script is served:
// http://127.0.0.1:<port>/IETarnwick.pac?v=<PacContentTag(script)>. The tag changes the URL
// exactly when the script changes, so browsers fetch it again after an OK that changed it.
std::string PacHttpUrl(std::uint16_t port, std::string_view script);

} // namespace tarnwick
