// The TCP listener and its accepted connections on Qt (the web server).
//
// Events reach the core from a queued call, never from inside Qt's own
// signal: the core may wait (pump the loop) in a handler, and may drop the
// connection from inside one. A queued call checks that its connection still
// exists; a dropped connection's socket is closed and deleted later, by Qt.
#include <QCoreApplication>
#include <QHostAddress>
#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

#include "platform/qt/QtPlatform.h"

namespace tarvelo::platform::qt {

namespace {

std::string Bytes(const QByteArray& data) { return std::string(data.constData(), static_cast<size_t>(data.size())); }

void Later(const std::shared_ptr<bool>& alive, std::function<void()> call) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak = std::weak_ptr<bool>(alive), call = std::move(call)] {
            if (auto a = weak.lock(); a && *a) call();
        },
        Qt::QueuedConnection);
}

class QtConnection : public TcpConnection {
public:
    explicit QtConnection(QTcpSocket* socket) : socket_(socket) {
        socket_->setParent(nullptr);
        QHostAddress peer = socket_->peerAddress();
        bool mapped = false;
        const quint32 v4 = peer.toIPv4Address(&mapped);
        address_ = (mapped ? QHostAddress(v4) : peer).toString().toStdString();
        QObject::connect(socket_, &QTcpSocket::readyRead, socket_, [this] { scheduleRead(); });
        QObject::connect(socket_, &QTcpSocket::bytesWritten, socket_, [this](qint64) {
            if (socket_->bytesToWrite() == 0) Later(alive_, [this] {
                    if (onSendComplete) onSendComplete();
                });
        });
        QObject::connect(socket_, &QTcpSocket::disconnected, socket_, [this] { peerClosed(); });
        // Data that came with the connection, before anyone listened for it.
        if (socket_->bytesAvailable() > 0) scheduleRead();
    }
    ~QtConnection() override {
        *alive_ = false;
        QObject::disconnect(socket_, nullptr, nullptr, nullptr);
        release();
    }

    bool send(const std::string& bytes) override {
        if (socket_->state() != QAbstractSocket::ConnectedState) return false;
        const qint64 n = socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        return n == static_cast<qint64>(bytes.size());
    }
    void close() override {
        closed_ = true;
        QObject::disconnect(socket_, nullptr, nullptr, nullptr);
    }
    TcpSocket::State state() const override {
        if (closed_) return TcpSocket::Closed;
        if (peerClosed_) return TcpSocket::Closing;
        return socket_->state() == QAbstractSocket::ConnectedState ? TcpSocket::Connected : TcpSocket::Closing;
    }
    std::string remoteAddress() const override { return address_; }

private:
    // What is written goes out before the connection ends; a client that does
    // not take it is cut.
    void release() {
        QTcpSocket* s = socket_;
        if (s->state() == QAbstractSocket::ConnectedState && s->bytesToWrite() == 0) s->disconnectFromHost();
        else s->abort();
        s->deleteLater();
    }
    void scheduleRead() {
        if (readScheduled_) return;
        readScheduled_ = true;
        Later(alive_, [this] {
            readScheduled_ = false;
            auto alive = alive_;
            while (*alive && !closed_ && socket_->bytesAvailable() > 0) {
                const std::string data = Bytes(socket_->readAll());
                if (onData) onData(data);
            }
        });
    }
    void peerClosed() {
        if (peerClosed_ || closed_) return;
        peerClosed_ = true;
        Later(alive_, [this] {
            if (onClosed) onClosed();
        });
    }

    QTcpSocket* socket_;
    std::string address_;
    bool closed_ = false;
    bool peerClosed_ = false;
    bool readScheduled_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class QtListener : public TcpListener {
public:
    QtListener() {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            Later(alive_, [this] {
                if (onConnection) onConnection();
            });
        });
    }
    ~QtListener() override { *alive_ = false; }

    bool listen(const std::string& address, uint16_t port, std::string& error) override {
        const QHostAddress host = address.empty() ? QHostAddress(QHostAddress::Any) : QHostAddress(QString::fromStdString(address));
        server_.setMaxPendingConnections(64);
        if (server_.listen(host, port)) return true;
        error = server_.errorString().toStdString();
        return false;
    }
    int localPort() const override { return server_.isListening() ? server_.serverPort() : 0; }
    std::unique_ptr<TcpConnection> accept() override {
        QTcpSocket* socket = server_.nextPendingConnection();
        if (!socket) return nullptr;
        return std::make_unique<QtConnection>(socket);
    }
    void close() override { server_.close(); }

private:
    QTcpServer server_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace

std::unique_ptr<TcpListener> MakeTcpListener() { return std::make_unique<QtListener>(); }

} // namespace tarvelo::platform::qt
