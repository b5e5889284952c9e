// Qt adapter for UDP: whole datagrams. They are read inside Qt's readyRead
// (Qt leaves a UDP socket's read notifier off until then), kept in order, and
// handed to the core from a queued call, since the core may pump the loop
// inside its handler.

#include <QByteArray>
#include <QHostAddress>
#include <QMetaObject>
#include <QNetworkInterface>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <deque>
#include <string>

#include "platform/qt/QtIo.h"

namespace tarvelo::platform::qt {

namespace {

int UdpErrorNumber(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::NetworkError: return 10051;
    case QAbstractSocket::DatagramTooLargeError: return 10040;
    case QAbstractSocket::SocketResourceError: return 10055;
    default: return 10000 + static_cast<int>(error);
    }
}

class QtUdpSocket : public UdpSocket {
public:
    explicit QtUdpSocket(const QtEdge& edge) : edge_(edge) {
        QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] {
            while (socket_.hasPendingDatagrams()) {
                const QByteArray data = socket_.receiveDatagram().data();
                // A core that stopped reading must not grow memory without bound.
                if (pendingBytes_ + static_cast<size_t>(data.size()) > kMaxPendingBytes) continue;
                pendingBytes_ += static_cast<size_t>(data.size());
                pending_.emplace_back(data.constData(), static_cast<size_t>(data.size()));
            }
            scheduleDelivery();
        });
    }

    int bind(const std::string& address, uint16_t port) override {
        // No address sharing: a port another program holds must fail here, so
        // that the search for a free port goes on.
        if (socket_.bind(QHostAddress(QString::fromLatin1(address.c_str())), port, QAbstractSocket::DontShareAddress))
            return 0;
        const int number = UdpErrorNumber(socket_.error());
        socket_.abort();
        return number;
    }

    int sendTo(const std::string& host, uint16_t port, const std::string& bytes) override {
        const qint64 n = socket_.writeDatagram(bytes.data(), static_cast<qint64>(bytes.size()),
                                               QHostAddress(QString::fromLatin1(host.c_str())), port);
        return n == static_cast<qint64>(bytes.size()) ? 0 : UdpErrorNumber(socket_.error());
    }

    void close() override {
        ++generation_;
        socket_.abort();
        deliveryScheduled_ = false;
        pending_.clear();
        pendingBytes_ = 0;
    }

private:
    void scheduleDelivery() {
        if (deliveryScheduled_ || pending_.empty()) return;
        deliveryScheduled_ = true;
        QMetaObject::invokeMethod(
            &socket_,
            [this, generation = generation_] {
                if (generation != generation_) return;
                deliveryScheduled_ = false;
                while (generation == generation_ && !pending_.empty()) {
                    std::string datagram = std::move(pending_.front());
                    pending_.pop_front();
                    pendingBytes_ -= datagram.size();
                    edge_.guard->run("UDP socket", [&] {
                        if (onDatagram) onDatagram(datagram);
                    });
                }
            },
            Qt::QueuedConnection);
    }

    static constexpr size_t kMaxPendingBytes = 16u << 20;
    QtEdge edge_;
    QUdpSocket socket_;
    uint64_t generation_ = 0;
    bool deliveryScheduled_ = false;
    std::deque<std::string> pending_;
    size_t pendingBytes_ = 0;
};

} // namespace

std::unique_ptr<UdpSocket> MakeUdpSocket(const QtEdge& edge) { return std::make_unique<QtUdpSocket>(edge); }

std::vector<std::string> Ipv4Addresses() {
    std::vector<std::string> out;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack)) continue;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.isLoopback()) continue;
            out.push_back(ip.toString().toStdString());
        }
    }
    return out;
}

} // namespace tarvelo::platform::qt
