#pragma once

#include "pacserver/PacHttp.h"
#include "rules/Error.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The port tried first when the settings name none: unprivileged, outside the ranges other
// desktop programs usually take, and below the systems' ephemeral ranges.
inline constexpr std::uint16_t DefaultPacPort = 18086;
// How many ports from the first one are tried before giving up.
inline constexpr int PacPortRange = 10;

struct PacServerOptions {
    PacRequestLimits limits;
    // From the connection to the end of the request: a browser sends its few hundred bytes at
    // once, so a client that takes longer is closed, however it trickles them.
    int requestTimeoutMs = 2000;
    int idleTimeoutMs = 5000;      // while answering: no byte sent for this long, closed
    int exchangeTimeoutMs = 20000; // from the connection to the last byte of the answer
    // At this many, a new connection takes the place of the one that has waited longest
    // without a complete request; when every one is being answered, it is closed at once.
    std::size_t maxConnections = 64;
};

// The script's bytes as last written, or nothing when there is no script file.
using PacScriptSource = std::function<std::optional<std::string>()>;

// A port could not be bound.
class PacServerError : public Error {
public:
    using Error::Error;
};

// One client's request and its answer, whatever carries the bytes.
class PacExchange {
public:
    PacExchange(const PacServerOptions& options, const PacScriptSource& source)
        : reader_(options.limits), source_(source) {}

    // Bytes from the client. When they complete the request (or make it unreadable) the
    // answer is made, and later bytes are ignored.
    void receive(std::string_view bytes);
    bool answered() const { return answered_; }
    // The part of the answer not yet handed to the socket.
    std::string_view unsent() const { return std::string_view(answer_).substr(sent_); }
    void markSent(std::size_t count) { sent_ += count; }
    bool done() const { return answered_ && sent_ == answer_.size(); }

private:
    PacRequestReader reader_;
    const PacScriptSource& source_;
    std::string answer_;
    std::size_t sent_ = 0;
    bool answered_ = false;
};

// The connections of one server, keyed by the platform's socket, and when each must go. Times
// are milliseconds of a monotonic clock the server reads; no clock is read here.
class PacConnections {
public:
    using Key = std::uintptr_t;

    PacConnections(const PacServerOptions& options, const PacScriptSource& source)
        : options_(options), source_(source) {}

    // Whether a new connection can be taken at now; evict, when set, must be closed (and
    // removed) first to make room: the connection waiting longest without a complete request.
    // Idle clients thus cannot shut a browser out, however many any local process opens.
    bool admit(std::optional<Key>& evict) const;
    PacExchange& add(Key key, std::uint64_t now);
    PacExchange* find(Key key);
    // Bytes went either way.
    void touch(Key key, std::uint64_t now);
    void remove(Key key) { clients_.erase(key); }
    void clear() { clients_.clear(); }
    std::size_t size() const { return clients_.size(); }
    std::vector<Key> keys() const;
    // The connections whose deadline has passed at now.
    std::vector<Key> expired(std::uint64_t now) const;

private:
    struct Client {
        Client(const PacServerOptions& options, const PacScriptSource& source, std::uint64_t now)
            : exchange(options, source), since(now), lastActive(now) {}
        PacExchange exchange;
        std::uint64_t since;
        std::uint64_t lastActive;
    };

    const PacServerOptions& options_;
    const PacScriptSource& source_;
    std::map<Key, Client> clients_;
};

// How often a server looks for connections past their deadline.
inline constexpr int PacDeadlineCheckMs = 100;

// The loopback HTTP server of the script, run by the GUI thread's event loop (no threads of
// its own). One implementation per platform, chosen at link time.
class PacServer {
public:
    virtual ~PacServer() = default;

    // Listens on 127.0.0.1:port (0: a free port the system picks). On failure returns false
    // with the system's reason in why, and the server is not listening.
    virtual bool listen(std::uint16_t port, std::string& why) = 0;
    // Stops listening and drops every open connection.
    virtual void close() = 0;
    virtual bool isListening() const = 0;
    // The port actually bound, 0 when not listening.
    virtual std::uint16_t port() const = 0;
    // The listening socket's own address as the system reports it ("127.0.0.1").
    virtual std::string address() const = 0;
    virtual std::size_t connectionCount() const = 0;
};

// The first port to try: the stored pacPort when it names a TCP port, DefaultPacPort when
// there is none or it is 0 (which would give another port at every start) or above 65535.
std::uint16_t FirstPacPort(std::optional<std::uint32_t> stored);

std::unique_ptr<PacServer> MakePacServer(PacScriptSource source, PacServerOptions options = {});

// Listens on the first port of first, first + 1, ... (count ports, not past 65535) that can
// be bound and returns it. Throws PacServerError naming the range and the reason when none.
std::uint16_t ListenInRange(PacServer& server, std::uint16_t first, int count = PacPortRange);

} // namespace tarnwick
