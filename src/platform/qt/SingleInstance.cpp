#include "platform/SingleInstance.h"

#include "platform/ProgramFolders.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string_view>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tarnwick {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view Request = "show\n";
constexpr std::string_view Answer = "ok\n";
// Later starts talk one at a time; more than this waiting at once are strangers.
constexpr std::size_t MaxPeers = 8;

std::string RuntimeFolder() {
    struct stat info {};
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode))
        return runtime;
    return "/tmp";
}

// The socket's address, false when the path does not fit.
bool SocketAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

// Waits for events on fd until the deadline; true when they came.
bool Await(int fd, short events, Clock::time_point deadline) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, RemainingMs(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// A later start's question to the first copy: true when it answered.
bool AskFirst(const std::string& path, Clock::time_point deadline) {
    sockaddr_un address;
    if (!SocketAddress(path, address))
        return false;
    const int peer = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (peer < 0)
        return false;
    bool answered = false;
    if (::connect(peer, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        errno == EINPROGRESS || errno == EAGAIN) {
        std::string_view unsent = Request;
        while (!unsent.empty() && Await(peer, POLLOUT, deadline)) {
            const ssize_t sent = ::send(peer, unsent.data(), unsent.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno != EAGAIN && errno != EINTR)
                break;
            if (sent > 0)
                unsent.remove_prefix(static_cast<std::size_t>(sent));
        }
        std::string reply;
        while (unsent.empty() && reply.size() < Answer.size() && Await(peer, POLLIN, deadline)) {
            char buffer[16];
            const ssize_t got = ::recv(peer, buffer, sizeof buffer, 0);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
                break;
            if (got > 0)
                reply.append(buffer, static_cast<std::size_t>(got));
        }
        answered = reply == Answer;
    }
    ::close(peer);
    return answered;
}

} // namespace

// The first copy's side: a Unix socket watched from the event loop.
struct SingleInstance::Holder {
    struct Peer {
        std::unique_ptr<QSocketNotifier> notifier;
        std::string received;
        std::uint64_t serial = 0;
    };

    int lock = -1;
    int listening = -1;
    std::string socketPath;
    std::unique_ptr<QSocketNotifier> listener;
    std::map<int, Peer> peers;
    std::uint64_t nextSerial = 0;
    std::function<void()> activate;

    ~Holder() {
        for (auto& [fd, peer] : peers) {
            peer.notifier.reset();
            ::close(fd);
        }
        listener.reset();
        if (listening >= 0) {
            ::close(listening);
            ::unlink(socketPath.c_str());
        }
        if (lock >= 0)
            ::close(lock); // releases the lock; the file stays for the next start
    }

    // True when this process now holds the lock (or no lock can be made at all: then the
    // program runs unguarded rather than not at all).
    bool takeLock(const std::string& path) {
        if (lock < 0)
            lock = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock < 0)
            return true;
        return ::flock(lock, LOCK_EX | LOCK_NB) == 0;
    }

    // Listens at path for later starts; an error text when it cannot.
    const char* listen(const std::string& path) {
        sockaddr_un address;
        if (!SocketAddress(path, address))
            return "the socket's path is too long";
        listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (listening < 0)
            return std::strerror(errno);
        // A socket left by a copy that crashed is in the way; the lock says none runs.
        ::unlink(path.c_str());
        if (::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::chmod(path.c_str(), 0600) != 0 || ::listen(listening, 8) != 0) {
            const char* error = std::strerror(errno);
            ::close(listening);
            listening = -1;
            return error;
        }
        socketPath = path;
        listener = std::make_unique<QSocketNotifier>(listening, QSocketNotifier::Read);
        QObject::connect(listener.get(), &QSocketNotifier::activated, listener.get(),
                         [this] { accept(); });
        return nullptr;
    }

    void accept() {
        for (;;) {
            const int fd = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            if (peers.size() >= MaxPeers) {
                // The one waiting longest makes room: idle strangers cannot keep starts out.
                auto oldest = std::min_element(peers.begin(), peers.end(), [](auto& a, auto& b) {
                    return a.second.serial < b.second.serial;
                });
                drop(oldest->first);
            }
            Peer& peer = peers[fd];
            peer.serial = nextSerial++;
            peer.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(peer.notifier.get(), &QSocketNotifier::activated, peer.notifier.get(),
                             [this, fd] { read(fd); });
        }
    }

    void drop(int fd) {
        const auto found = peers.find(fd);
        if (found == peers.end())
            return;
        // Deleted later: this may run from the notifier's own signal. Off at once, as the
        // descriptor's number may come back with the next peer.
        found->second.notifier->setEnabled(false);
        found->second.notifier.release()->deleteLater();
        peers.erase(found);
        ::close(fd);
    }

    void read(int fd) {
        Peer& peer = peers.at(fd);
        char buffer[64];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (got <= 0) {
            drop(fd);
            return;
        }
        peer.received.append(buffer, static_cast<std::size_t>(got));
        if (peer.received.size() < Request.size() &&
            Request.substr(0, peer.received.size()) == std::string_view(peer.received))
            return; // the rest is on its way
        const bool asked = peer.received == Request;
        if (asked)
            (void)::send(fd, Answer.data(), Answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        drop(fd);
        if (asked && activate)
            activate();
    }
};

SingleInstance::SingleInstance(const std::string& name, std::function<void()> activate,
                               std::chrono::milliseconds patience)
    : holder_(std::make_unique<Holder>()) {
    const std::string base = RuntimeFolder() + "/" + name;
    const auto deadline = Clock::now() + patience;
    for (;;) {
        if (holder_->takeLock(base + ".lock")) {
            state_ = State::First;
            holder_->activate = std::move(activate);
            if (const char* error = holder_->listen(base + ".socket"))
                std::fprintf(stderr, "Tarnwick: a later start cannot reach this one: %s\n", error);
            return;
        }
        // Another copy holds the lock; it listens as soon as it has taken it.
        if (AskFirst(base + ".socket", deadline)) {
            state_ = State::HandedOver;
            holder_.reset();
            return;
        }
        if (Clock::now() >= deadline) {
            state_ = State::NoAnswer;
            holder_.reset();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

SingleInstance::~SingleInstance() = default;

std::string SingleInstanceName() {
    // FNV-1a of the configuration folder: short, and the same for every start.
    std::uint64_t hash = 1469598103934665603ull;
    for (const unsigned char c : ConfigurationFolder()) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "tarnwick-%u-%016llx", static_cast<unsigned>(::getuid()),
                  static_cast<unsigned long long>(hash));
    return name;
}

} // namespace tarnwick
