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

bool PacConnections::admit(std::optional<Key>& evict) const {
    evict.reset();
    if (clients_.size() < options_.maxConnections)
        return true;
    std::uint64_t oldest = 0;
    for (const auto& [key, client] : clients_) {
        if (!client.exchange.answered() && (!evict || client.since < oldest)) {
            evict = key;
            oldest = client.since;
        }
    }
    return evict.has_value();
}

PacExchange& PacConnections::add(Key key, std::uint64_t now) {
    clients_.erase(key); // a socket number the system gave again
    return clients_.emplace(key, Client(options_, source_, now)).first->second.exchange;
}

PacExchange* PacConnections::find(Key key) {
    const auto it = clients_.find(key);
    return it == clients_.end() ? nullptr : &it->second.exchange;
}

void PacConnections::touch(Key key, std::uint64_t now) {
    if (const auto it = clients_.find(key); it != clients_.end())
        it->second.lastActive = now;
}

std::vector<PacConnections::Key> PacConnections::keys() const {
    std::vector<Key> keys;
    for (const auto& entry : clients_)
        keys.push_back(entry.first);
    return keys;
}

std::vector<PacConnections::Key> PacConnections::expired(std::uint64_t now) const {
    auto passed = [now](std::uint64_t from, int ms) {
        return now - from >= static_cast<std::uint64_t>(ms);
    };
    std::vector<Key> keys;
    for (const auto& [key, client] : clients_) {
        const bool late = client.exchange.answered()
                              ? passed(client.lastActive, options_.idleTimeoutMs)
                              : passed(client.since, options_.requestTimeoutMs);
        if (late || passed(client.since, options_.exchangeTimeoutMs))
            keys.push_back(key);
    }
    return keys;
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
