#include "pacserver/PacServer.h"

namespace tarnwick {

void PacExchange::receive(std::string_view bytes) {
    if (answered_)
        return;
    const PacRequestReader::State state = reader_.feed(bytes);
    if (state == PacRequestReader::State::Reading)
        return;
    // The file is read when the request asks for it, so the answer is the script as the last
    // OK left it, also when another copy of the program wrote it.
    answer_ = state == PacRequestReader::State::Complete
                  ? PacResponse(reader_.request(), source_ ? source_() : std::nullopt)
                  : PacRefusal(state);
    answered_ = true;
}

std::uint16_t FirstPacPort(std::optional<std::uint32_t> stored) {
    if (!stored || *stored == 0 || *stored > 65535)
        return DefaultPacPort;
    return static_cast<std::uint16_t>(*stored);
}

std::uint16_t ListenInRange(PacServer& server, std::uint16_t first, int count) {
    std::string why;
    int last = first;
    for (int i = 0; i < count && first + i <= 65535; ++i) {
        last = first + i;
        if (server.listen(static_cast<std::uint16_t>(last), why))
            return server.port();
    }
    const std::string ports =
        last == first ? "port " + std::to_string(first)
                      : "ports " + std::to_string(first) + " to " + std::to_string(last);
    throw PacServerError("Cannot serve the script on 127.0.0.1, " + ports + ": " + why);
}

} // namespace tarnwick
