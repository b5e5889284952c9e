#pragma once
// An xAP peer for end-to-end tests: a UDP socket on a port the system
// chooses, which sends datagrams and waits for ones holding given texts.
// A gateway started with "--xap-port <port()>" broadcasts to it; a hub
// forwards to it once it has sent a heartbeat naming its port.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <initializer_list>
#include <string>
#include <vector>

namespace tarvelo::testing {

class XapPeer {
public:
    // Every address by default: a broadcast reaches it whichever interface
    // carried it. Not shared: no other program may bind the port beside it.
    explicit XapPeer(const QHostAddress& address = QHostAddress::AnyIPv4) {
        bound_ = socket_.bind(address, 0, QAbstractSocket::DontShareAddress);
    }
    bool bound() const { return bound_; }
    quint16 port() const { return socket_.localPort(); }

    void sendTo(quint16 port, const std::string& text) {
        socket_.writeDatagram(text.data(), static_cast<qint64>(text.size()), QHostAddress::LocalHost, port);
    }

    // Waits for a datagram holding every needle; the datagrams before it and
    // the match itself are used up, so the next wait looks at later ones.
    ::testing::AssertionResult waitFor(std::initializer_list<std::string> needles, int timeoutMs = 30000) {
        QElapsedTimer t;
        t.start();
        while (true) {
            while (socket_.hasPendingDatagrams()) {
                const QByteArray d = socket_.receiveDatagram().data();
                const std::string text(d.constData(), static_cast<size_t>(d.size()));
                seen_.push_back(text);
                bool all = true;
                for (const std::string& n : needles) all = all && text.find(n) != std::string::npos;
                if (all) return ::testing::AssertionSuccess();
            }
            if (t.elapsed() > timeoutMs) break;
            socket_.waitForReadyRead(100);
        }
        auto failure = ::testing::AssertionFailure() << "no datagram on port " << port() << " within "
                                                     << timeoutMs / 1000 << " s holding";
        for (const std::string& n : needles) failure << " \"" << n << "\"";
        failure << "; " << seen_.size() << " came";
        for (size_t i = seen_.size() > 5 ? seen_.size() - 5 : 0; i < seen_.size(); ++i)
            failure << "\n---\n" << seen_[i];
        return failure;
    }

private:
    QUdpSocket socket_;
    bool bound_ = false;
    std::vector<std::string> seen_;
};

} // namespace tarvelo::testing
