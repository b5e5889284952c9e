// Qt adapters for stream connections: TCP connections accepted by a listener
// (the web server) and local-socket connections (the script host).
//
// Every event reaches the core from a queued call on the platform's loop
// object, never from inside Qt's own signal: the core may wait (pump the loop)
// in a handler, or destroy the connection there. A delivery reads everything
// available, calls the core, and reads again after it returns, because Qt does
// not emit readyRead again for bytes that arrived while the handler ran.
//
// A connection closed by us with bytes still in Qt's buffer lives on, detached,
// until it has written them (or a peer that stops reading has held it for a
// minute), so that close() never cuts off the end of a response.

#include <QByteArray>
#include <QHostAddress>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "platform/qt/QtIo.h"

namespace tarvelo::platform::qt {

namespace {

constexpr int kLingerMs = 60000;

std::string Bytes(const QByteArray& data) { return std::string(data.constData(), static_cast<size_t>(data.size())); }

void Disconnect(QTcpSocket& s) { s.disconnectFromHost(); }
void Disconnect(QLocalSocket& s) { s.disconnectFromServer(); }

// Writes what a closed connection still holds, then deletes the socket. It
// becomes a child of the loop object, so it goes with the platform at the latest.
template <class Socket>
void Linger(const QtEdge& edge, Socket* s, std::string held) {
    s->setParent(edge.loop);
    auto over = std::make_shared<bool>(false);
    auto end = [s, over, loop = edge.loop] {
        if (std::exchange(*over, true)) return;
        QMetaObject::invokeMethod(loop, [s] { delete s; }, Qt::QueuedConnection);
    };
    QObject::connect(s, &Socket::disconnected, s, end);
    QObject::connect(s, &Socket::errorOccurred, s, [s, end] {
        if (s->state() == Socket::UnconnectedState) end();
    });
    // A local client closed while still connecting: what it sent goes out first.
    QObject::connect(s, &Socket::connected, s, [s, held] {
        s->write(held.data(), static_cast<qint64>(held.size()));
        Disconnect(*s);
    });
    QTimer::singleShot(kLingerMs, s, [s, end] {
        s->abort();
        end();
    });
    if (s->state() == Socket::ConnectedState) Disconnect(*s);
    if (s->state() == Socket::UnconnectedState) end();
}

template <class Socket>
class QtStreamConnection final : public StreamConnection {
public:
    // Takes the socket over (from the server that accepted it, too: a
    // connection must outlive its listener).
    QtStreamConnection(const QtEdge& edge, Socket* socket, std::string remote, const char* what)
        : edge_(edge), socket_(socket), remote_(std::move(remote)), what_(what) {
        socket_->setParent(nullptr);
        Socket* s = socket_.get();
        links_.push_back(QObject::connect(s, &Socket::readyRead, s, [this] { schedule(); }));
        links_.push_back(QObject::connect(s, &Socket::bytesWritten, s, [this] { checkSendComplete(); }));
        links_.push_back(QObject::connect(s, &Socket::connected, s, [this] { writeHeld(); }));
        links_.push_back(QObject::connect(s, &Socket::disconnected, s, [this] { lost(); }));
        links_.push_back(QObject::connect(s, &Socket::errorOccurred, s, [this] {
            if (socket_->state() == Socket::UnconnectedState) lost();
        }));
        if (s->state() == Socket::UnconnectedState) lost();  // gone before we took it
    }

    ~QtStreamConnection() override {
        if (!socket_) return;
        unlink();
        socket_->abort();
    }

    bool send(const std::string& bytes) override {
        if (closed_ || peerGone_) return false;
        sendPending_ = true;
        if (socket_->state() != Socket::ConnectedState) {
            held_ += bytes;
            return true;
        }
        if (!write(bytes)) return false;
        checkSendComplete();
        return true;
    }

    void close() override {
        if (closed_) return;
        closed_ = true;
        unlink();
        Linger(edge_, socket_.release(), std::move(held_));
    }

    bool isOpen() const override { return !closed_ && !peerGone_; }
    std::string remoteAddress() const override { return remote_; }

    // The owner has its handlers in place: deliver what came before.
    void start() {
        started_ = true;
        schedule();
    }
    std::weak_ptr<void> life() const { return life_; }

private:
    bool write(const std::string& bytes) {
        if (bytes.empty()) return true;
        const qint64 n = socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket_->flush();
        return n == static_cast<qint64>(bytes.size());
    }

    void writeHeld() {
        if (closed_) return;
        write(std::exchange(held_, std::string()));
        checkSendComplete();
    }

    void checkSendComplete() {
        if (closed_ || !sendPending_ || !held_.empty() || socket_->bytesToWrite() > 0) return;
        sendPending_ = false;
        edge_.later(life_, what_, [this] {
            if (closed_) return;
            if (auto handler = onSendComplete) handler();
        });
    }

    void lost() {
        if (peerGone_ || closed_) return;
        peerGone_ = true;
        schedule();
    }

    void schedule() {
        if (serviceQueued_) return;
        serviceQueued_ = true;
        edge_.later(life_, what_, [this] {
            serviceQueued_ = false;
            service();
        });
    }

    // Delivers everything readable, then the peer's close. Never re-enters
    // onData: a delivery already running picks up what came meanwhile.
    void service() {
        if (busy_ || closed_ || !started_) return;
        busy_ = true;
        const std::weak_ptr<void> alive = life_;
        while (!closed_ && onData && socket_->bytesAvailable() > 0) {
            const std::string data = Bytes(socket_->readAll());
            auto handler = onData;  // the handler may destroy this connection
            edge_.guard->run(what_, [&] { handler(data); });
            if (alive.expired()) return;
        }
        busy_ = false;
        if (peerGone_ && !closed_ && !closedReported_) {
            closedReported_ = true;
            if (auto handler = onClosed) edge_.guard->run(what_, handler);
        }
    }

    void unlink() {
        for (const auto& link : links_) QObject::disconnect(link);
        links_.clear();
    }

    QtEdge edge_;
    std::unique_ptr<Socket> socket_;
    std::string remote_;
    const char* what_;
    std::vector<QMetaObject::Connection> links_;
    std::string held_;  // sent while a local client was still connecting
    bool started_ = false;  // handed to its owner
    bool closed_ = false;
    bool peerGone_ = false;
    bool closedReported_ = false;
    bool sendPending_ = false;
    bool serviceQueued_ = false;
    bool busy_ = false;
    std::shared_ptr<char> life_ = std::make_shared<char>();
};

// Hands an accepted connection to the listener's owner through the loop, then
// delivers the bytes that came with it.
template <class Listener, class Socket>
void Offer(const QtEdge& edge, Listener& listener, const std::weak_ptr<void>& listenerLife,
           std::unique_ptr<QtStreamConnection<Socket>> accepted, const char* what) {
    auto* connection = accepted.get();
    const std::weak_ptr<void> connectionLife = connection->life();
    auto box = std::make_shared<std::unique_ptr<StreamConnection>>(std::move(accepted));
    edge.later(listenerLife, what, [&listener, box, connection, connectionLife] {
        if (auto handler = listener.onConnection) handler(std::move(*box));
        box->reset();  // unclaimed: closed
        if (!connectionLife.expired()) connection->start();
    });
}

std::string PeerText(const QTcpSocket& socket) {
    const QHostAddress peer = socket.peerAddress();
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);  // also an IPv4 address mapped into IPv6
    return (isV4 ? QHostAddress(v4) : peer).toString().toStdString();
}

int ListenErrorNumber(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    default: return 10000 + static_cast<int>(error);
    }
}

class QtTcpListener final : public TcpListener {
public:
    explicit QtTcpListener(const QtEdge& edge) : edge_(edge) {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                auto accepted = std::make_unique<QtStreamConnection<QTcpSocket>>(edge_, socket, PeerText(*socket),
                                                                                  "TCP connection");
                Offer(edge_, *this, life_, std::move(accepted), "TCP listener");
            }
        });
    }

    int listen(const std::string& address, uint16_t port) override {
        close();
        QHostAddress host;
        if (!host.setAddress(QString::fromLatin1(address.c_str())) || host.protocol() != QAbstractSocket::IPv4Protocol)
            return 10049;
        if (server_.listen(host, port)) return 0;
        return ListenErrorNumber(server_.serverError());
    }
    uint16_t port() const override { return server_.isListening() ? server_.serverPort() : 0; }
    void close() override { server_.close(); }

private:
    QtEdge edge_;
    QTcpServer server_;
    std::shared_ptr<char> life_ = std::make_shared<char>();
};

// True when a live server answers at `name` (connecting to a local socket
// succeeds or fails at once).
bool SomethingListensAt(const QString& name) {
    QLocalSocket probe;
    probe.connectToServer(name);
    const bool live = probe.state() != QLocalSocket::UnconnectedState;
    probe.abort();
    return live;
}

class QtLocalListener final : public LocalListener {
public:
    explicit QtLocalListener(const QtEdge& edge) : edge_(edge) {
        QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
            while (QLocalSocket* socket = server_.nextPendingConnection()) {
                auto accepted = std::make_unique<QtStreamConnection<QLocalSocket>>(edge_, socket, "local",
                                                                                   "local connection");
                Offer(edge_, *this, life_, std::move(accepted), "local listener");
            }
        });
    }

    bool listen(const std::string& path) override {
        close();
        const QString name = QString::fromLocal8Bit(path.c_str());
        if (SomethingListensAt(name)) return false;
        // Only a leftover socket file is ours to remove, never some other file.
        std::error_code ec;
        const auto type = std::filesystem::symlink_status(path, ec).type();
        if (type == std::filesystem::file_type::socket) QLocalServer::removeServer(name);
        // With owner-only access Qt makes the socket beside the path and renames it
        // over whatever is there: any other file at the path is never ours to replace.
        else if (type != std::filesystem::file_type::not_found) return false;
        // Only this user may connect: the socket is created with owner-only access.
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        return server_.listen(name);
    }
    void close() override { server_.close(); }

private:
    QtEdge edge_;
    QLocalServer server_;
    std::shared_ptr<char> life_ = std::make_shared<char>();
};

} // namespace

std::unique_ptr<TcpListener> MakeTcpListener(const QtEdge& edge) { return std::make_unique<QtTcpListener>(edge); }
std::unique_ptr<LocalListener> MakeLocalListener(const QtEdge& edge) { return std::make_unique<QtLocalListener>(edge); }

std::unique_ptr<StreamConnection> ConnectLocal(const QtEdge& edge, const std::string& path) {
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(QString::fromLocal8Bit(path.c_str()));
    if (socket->state() == QLocalSocket::UnconnectedState) return nullptr;
    auto connection =
        std::make_unique<QtStreamConnection<QLocalSocket>>(edge, socket.release(), "local", "local connection");
    connection->start();
    return connection;
}

} // namespace tarvelo::platform::qt
