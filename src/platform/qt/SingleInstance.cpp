#include "platform/SingleInstance.h"

#include "platform/ProgramFolders.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QString>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

const QByteArray Request = "show\n";
const QByteArray Answer = "ok\n";

std::string RuntimeFolder() {
    struct stat info {};
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode))
        return runtime;
    return "/tmp";
}

} // namespace

struct SingleInstance::Holder {
    int lock = -1;
    std::unique_ptr<QLocalServer> server;

    ~Holder() {
        if (server)
            server->close(); // also removes the socket file
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
};

SingleInstance::SingleInstance(const std::string& name, std::function<void()> activate,
                               std::chrono::milliseconds patience)
    : holder_(std::make_unique<Holder>()) {
    const std::string base = RuntimeFolder() + "/" + name;
    const QString socketPath = QString::fromLocal8Bit(base + ".socket");
    const QDeadlineTimer deadline(patience);
    for (;;) {
        if (holder_->takeLock(base + ".lock")) {
            state_ = State::First;
            // A socket left by a copy that crashed is in the way of listening.
            QLocalServer::removeServer(socketPath);
            auto server = std::make_unique<QLocalServer>();
            server->setSocketOptions(QLocalServer::UserAccessOption);
            QLocalServer* listening = server.get();
            QObject::connect(
                listening, &QLocalServer::newConnection, listening, [listening, activate] {
                    while (QLocalSocket* peer = listening->nextPendingConnection()) {
                        QObject::connect(peer, &QLocalSocket::disconnected, peer,
                                         &QObject::deleteLater);
                        QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, activate] {
                            if (!peer->canReadLine())
                                return;
                            if (peer->readLine(64) != Request) {
                                peer->abort();
                                return;
                            }
                            peer->write(Answer);
                            peer->flush();
                            if (activate)
                                activate();
                        });
                    }
                });
            if (!server->listen(socketPath))
                std::fprintf(stderr, "Tarnwick: a later start cannot reach this one: %s\n",
                             qPrintable(server->errorString()));
            holder_->server = std::move(server);
            return;
        }
        // Another copy holds the lock; it listens as soon as it has taken it.
        QLocalSocket peer;
        peer.connectToServer(socketPath);
        const int slice = static_cast<int>(std::max<std::int64_t>(deadline.remainingTime(), 1));
        if (peer.waitForConnected(slice)) {
            peer.write(Request);
            peer.waitForBytesWritten(slice);
            QByteArray reply;
            while (!reply.endsWith('\n') && !deadline.hasExpired() &&
                   peer.waitForReadyRead(
                       static_cast<int>(std::max<std::int64_t>(deadline.remainingTime(), 1))))
                reply += peer.readAll();
            if (reply == Answer) {
                state_ = State::HandedOver;
                holder_.reset();
                return;
            }
        }
        if (deadline.hasExpired()) {
            state_ = State::NoAnswer;
            holder_.reset();
            return;
        }
        QThread::msleep(50);
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
