// The script server's request reading on any bytes, in any pieces: the answer must not depend
// on how the bytes were cut, and must always be a whole, well-formed response.
#include "ScriptCheck.h"

#include "pacserver/PacServer.h"

#include <cstddef>
#include <cstdint>

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the size of the pieces; small limits reach them with short inputs.
    const std::size_t piece = data[0] % 16 + 1;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    PacServerOptions options;
    options.limits.maxRequestLine = 64;
    options.limits.maxHeaderBytes = 128;
    const PacScriptSource source = [] { return std::optional<std::string>("script"); };

    PacExchange whole(options, source);
    whole.receive(bytes);
    PacExchange cut(options, source);
    for (std::size_t i = 0; i < bytes.size(); i += piece)
        cut.receive(std::string_view(bytes).substr(i, piece));

    fuzz::Require(whole.answered() == cut.answered(), "answered whatever the pieces");
    fuzz::Require(whole.unsent() == cut.unsent(), "same answer whatever the pieces");
    if (!whole.answered()) {
        // Unanswered bytes are a head within the limits that has not ended yet.
        fuzz::Require(bytes.size() <= 2 * 2 + 64 + 2 + 128, "unanswered beyond the limits");
        return 0;
    }
    const std::string_view answer = whole.unsent();
    fuzz::Require(answer.substr(0, 9) == "HTTP/1.1 ", "status line");
    const std::size_t end = answer.find("\r\n\r\n");
    fuzz::Require(end != std::string_view::npos, "end of head");
    const std::string_view head = answer.substr(0, end + 2);
    fuzz::Require(head.find("\r\nConnection: close\r\n") != std::string_view::npos, "close");
    const std::size_t at = head.find("\r\nContent-Length: ");
    fuzz::Require(at != std::string_view::npos, "length");
    const std::size_t length = std::stoul(std::string(head.substr(at + 18)));
    const std::size_t body = answer.size() - end - 4;
    fuzz::Require(body == length || body == 0, "length matches the body (HEAD has none)");
    return 0;
}
