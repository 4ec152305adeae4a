// The script server on Qt's event loop: plain TCP sockets on 127.0.0.1 watched by
// QSocketNotifier, so the program needs no network library of Qt's.
#include "pacserver/PacServer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnwick {

namespace {

std::uint64_t NowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

class QtPacServer final : public PacServer {
public:
    QtPacServer(PacScriptSource source, PacServerOptions options)
        : source_(std::move(source)), options_(options), clients_(options_, source_) {
        deadlines_.setInterval(PacDeadlineCheckMs);
        QObject::connect(&deadlines_, &QTimer::timeout, &deadlines_, [this] {
            for (const PacConnections::Key fd : clients_.expired(NowMs()))
                drop(static_cast<int>(fd));
        });
    }
    ~QtPacServer() override { close(); }

    bool listen(std::uint16_t port, std::string& why) override {
        close();
        // No SO_REUSEPORT: with it another process of this user could bind the same port
        // and share the browsers' requests.
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            why = std::strerror(errno);
            return false;
        }
        // Rebinding right after a previous run, whose closed connections linger in
        // TIME_WAIT; it does not let a second listener in.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, SOMAXCONN) != 0) {
            why = errno == EADDRINUSE ? "Address in use" : std::strerror(errno);
            ::close(fd);
            return false;
        }
        listener_ = fd;
        listenerNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(listenerNotifier_.get(), &QSocketNotifier::activated,
                         listenerNotifier_.get(), [this] { accept(); });
        deadlines_.start();
        return true;
    }

    void close() override {
        deadlines_.stop();
        listenerNotifier_.reset();
        if (listener_ >= 0) {
            ::close(listener_);
            listener_ = -1;
        }
        for (const PacConnections::Key fd : clients_.keys())
            drop(static_cast<int>(fd));
    }

    bool isListening() const override { return listener_ >= 0; }

    std::uint16_t port() const override {
        sockaddr_in address{};
        return bound(address) ? ntohs(address.sin_port) : 0;
    }

    std::string address() const override {
        sockaddr_in address{};
        char text[INET_ADDRSTRLEN] = "";
        if (!bound(address) || !inet_ntop(AF_INET, &address.sin_addr, text, sizeof text))
            return {};
        return text;
    }

    std::size_t connectionCount() const override { return clients_.size(); }

private:
    struct Notifiers {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    bool bound(sockaddr_in& address) const {
        socklen_t size = sizeof address;
        return listener_ >= 0 &&
               ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    }

    void accept() {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return; // EAGAIN: all taken; the notifier fires again for the next
            std::optional<PacConnections::Key> evict;
            if (!clients_.admit(evict)) {
                ::close(fd);
                continue;
            }
            if (evict)
                drop(static_cast<int>(*evict));
            clients_.add(static_cast<PacConnections::Key>(fd), NowMs());
            Notifiers& notifiers = notifiers_[fd];
            notifiers.read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(notifiers.read.get(), &QSocketNotifier::activated,
                             notifiers.read.get(), [this, fd] { read(fd); });
        }
    }

    void read(int fd) {
        PacExchange* exchange = clients_.find(static_cast<PacConnections::Key>(fd));
        if (!exchange)
            return;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got == 0 ||
                (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                // Closed before the answer was complete (or failed): nothing to deliver.
                if (!exchange->done())
                    drop(fd);
                return;
            }
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            clients_.touch(static_cast<PacConnections::Key>(fd), NowMs());
            if (!exchange->answered()) {
                exchange->receive(std::string_view(buffer, static_cast<std::size_t>(got)));
                if (exchange->answered()) {
                    // Later bytes are read and dropped by the write side's closing.
                    notifiers_[fd].read->setEnabled(false);
                    write(fd);
                    return;
                }
            }
        }
    }

    void write(int fd) {
        PacExchange* exchange = clients_.find(static_cast<PacConnections::Key>(fd));
        if (!exchange)
            return;
        while (!exchange->done()) {
            const std::string_view rest = exchange->unsent();
            const ssize_t sent = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    drop(fd);
                    return;
                }
                // Room comes later: the write notifier says when.
                Notifiers& notifiers = notifiers_[fd];
                if (!notifiers.write) {
                    notifiers.write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
                    QObject::connect(notifiers.write.get(), &QSocketNotifier::activated,
                                     notifiers.write.get(), [this, fd] { write(fd); });
                }
                notifiers.write->setEnabled(true);
                return;
            }
            exchange->markSent(static_cast<std::size_t>(sent));
            clients_.touch(static_cast<PacConnections::Key>(fd), NowMs());
        }
        // Everything is with the system: a graceful close still delivers it. Bytes the client
        // sent after its request are read first, since closing over unread bytes resets the
        // connection and can lose the answer.
        char discard[4096];
        for (int i = 0; i < 16 && ::recv(fd, discard, sizeof discard, 0) > 0; ++i) {
        }
        ::shutdown(fd, SHUT_WR);
        drop(fd);
    }

    void drop(int fd) {
        if (const auto it = notifiers_.find(fd); it != notifiers_.end()) {
            // Deleted later: this may run from the notifier's own signal. Off at once, so that
            // a socket number the system gives again is not watched twice.
            for (auto* notifier : {&it->second.read, &it->second.write}) {
                if (*notifier) {
                    (*notifier)->setEnabled(false);
                    notifier->release()->deleteLater();
                }
            }
            notifiers_.erase(it);
        }
        clients_.remove(static_cast<PacConnections::Key>(fd));
        ::close(fd);
    }

    PacScriptSource source_;
    PacServerOptions options_;
    PacConnections clients_;
    std::map<int, Notifiers> notifiers_;
    int listener_ = -1;
    std::unique_ptr<QSocketNotifier> listenerNotifier_;
    QTimer deadlines_;
};

} // namespace

std::unique_ptr<PacServer> MakePacServer(PacScriptSource source, PacServerOptions options) {
    return std::make_unique<QtPacServer>(std::move(source), options);
}

} // namespace tarnwick
