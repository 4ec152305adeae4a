// The script server on Qt's event loop: QTcpServer on 127.0.0.1, one QTcpSocket per client.
#include "pacserver/PacServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <map>

namespace tarnwick {

namespace {

class QtPacServer final : public PacServer {
public:
    QtPacServer(PacScriptSource source, PacServerOptions options)
        : source_(std::move(source)), options_(options) {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
    }
    ~QtPacServer() override { close(); }

    bool listen(std::uint16_t port, std::string& why) override {
        close();
        if (server_.listen(QHostAddress(QHostAddress::LocalHost), port))
            return true;
        why = server_.errorString().toStdString();
        return false;
    }

    void close() override {
        server_.close();
        // Taken out of the map first: aborting emits disconnected, which would drop it again.
        std::map<QTcpSocket*, std::unique_ptr<Client>> clients;
        clients.swap(clients_);
        for (auto& [socket, client] : clients) {
            client->idle->stop();
            client->deadline->stop();
            socket->disconnect();
            socket->abort();
            socket->deleteLater();
        }
    }

    bool isListening() const override { return server_.isListening(); }
    std::uint16_t port() const override { return server_.isListening() ? server_.serverPort() : 0; }
    std::string address() const override {
        return server_.serverAddress().toString().toStdString();
    }
    std::size_t connectionCount() const override { return clients_.size(); }

private:
    struct Client {
        Client(const PacServerOptions& options, const PacScriptSource& source)
            : exchange(options, source) {}
        PacExchange exchange;
        // Children of the socket, so that they go with it and never while they signal.
        QTimer* idle = nullptr;
        QTimer* deadline = nullptr;
    };

    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            if (clients_.size() >= options_.maxConnections) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto client = std::make_unique<Client>(options_, source_);
            client->idle = new QTimer(socket);
            client->deadline = new QTimer(socket);
            for (QTimer* timer : {client->idle, client->deadline}) {
                timer->setSingleShot(true);
                QObject::connect(timer, &QTimer::timeout, socket, [this, socket] { drop(socket); });
            }
            client->idle->start(options_.idleTimeoutMs);
            client->deadline->start(options_.exchangeTimeoutMs);
            clients_.emplace(socket, std::move(client));

            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket] { read(socket); });
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] {
                if (auto it = clients_.find(socket); it != clients_.end())
                    it->second->idle->start(options_.idleTimeoutMs);
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket,
                             [this, socket] { drop(socket); });
            // Bytes may have come with the connection, before readyRead was connected.
            if (socket->bytesAvailable() > 0)
                read(socket);
        }
    }

    void read(QTcpSocket* socket) {
        const auto it = clients_.find(socket);
        if (it == clients_.end())
            return;
        Client& client = *it->second;
        const QByteArray bytes = socket->readAll();
        if (client.exchange.answered())
            return;
        client.idle->start(options_.idleTimeoutMs);
        client.exchange.receive(std::string_view(bytes.constData(), bytes.size()));
        if (!client.exchange.answered())
            return;
        const std::string_view answer = client.exchange.unsent();
        socket->write(answer.data(), static_cast<qint64>(answer.size()));
        client.exchange.markSent(answer.size());
        // Closes once Qt has handed every byte to the system; a client that stops reading
        // meets the idle timer.
        socket->disconnectFromHost();
    }

    void drop(QTcpSocket* socket) {
        const auto it = clients_.find(socket);
        if (it == clients_.end())
            return;
        it->second->idle->stop();
        it->second->deadline->stop();
        clients_.erase(it);
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
    }

    PacScriptSource source_;
    PacServerOptions options_;
    QTcpServer server_;
    std::map<QTcpSocket*, std::unique_ptr<Client>> clients_;
};

} // namespace

std::unique_ptr<PacServer> MakePacServer(PacScriptSource source, PacServerOptions options) {
    return std::make_unique<QtPacServer>(std::move(source), options);
}

} // namespace tarnwick
