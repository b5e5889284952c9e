// Qt adapters for the PIM connection.
//
// Both adapters hand events to the core from a queued call, never from inside
// Qt's own signal: the core may wait (pump the loop) in a handler, and Qt does
// not emit readyRead again for a socket whose readyRead slot is still running.
// A delivery reads everything available, calls the core, and reads again
// after it returns, so nothing that arrived meanwhile waits for a new signal.
//
// TCP: the state numbers and error numbers are those of the classic socket
// control, because the log lines report them. After the peer closes the
// connection the state reads Closing (8), after an error Error (9), until the
// core closes or reconnects. A connection closed by the peer is reported
// through onClosed only, not as an error too.
//
// Serial: 4800 baud, 8 data bits, no parity, 1 stop bit, no handshake. The
// port setting names the port: a number n (or "COMn") is the n-th serial port
// of the system (COM1 = /dev/ttyS0 on Linux, COMn on Windows); anything else
// is a device name or path used as it is ("/dev/ttyUSB0", "/dev/pts/3").
// Line errors reach the core as event codes other than 2: 1008 a read error,
// 1010 a write error, 1011 any other error. A device that goes away
// (unplugged) closes the port and reports 1011.

#include "platform/qt/QtIo.h"

#include <QByteArray>
#include <QMetaObject>
#include <QSerialPort>
#include <QTcpSocket>

#include <memory>

namespace tarvelo::platform::qt {

namespace {

std::string Bytes(const QByteArray& data) { return std::string(data.constData(), static_cast<size_t>(data.size())); }

int WinsockNumber(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10053;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::NetworkError: return 10050;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError: return 10045;
    default: return 10000 + static_cast<int>(error);
    }
}

TcpSocket::State MapState(QAbstractSocket::SocketState s) {
    switch (s) {
    case QAbstractSocket::UnconnectedState: return TcpSocket::Closed;
    case QAbstractSocket::HostLookupState: return TcpSocket::ResolvingHost;
    case QAbstractSocket::ConnectingState: return TcpSocket::Connecting;
    case QAbstractSocket::ConnectedState: return TcpSocket::Connected;
    case QAbstractSocket::BoundState: return TcpSocket::Open;
    case QAbstractSocket::ListeningState: return TcpSocket::Listening;
    case QAbstractSocket::ClosingState: return TcpSocket::Closing;
    }
    return TcpSocket::Closed;
}

class QtTcpSocket : public TcpSocket {
public:
    explicit QtTcpSocket(const QtEdge& edge) : edge_(edge) {
        QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] {
            connected_ = true;
            later([this] {
                if (onConnected) onConnected();
            });
        });
        QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_, [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError) return peerClosed();
            if (sticky_ != None || ownClose_) return;  // one report per connection
            sticky_ = Error;
            const int number = WinsockNumber(error);
            const std::string text = socket_.errorString().toLocal8Bit().toStdString();
            later([this, number, text] {
                if (onError) onError(number, text);
            });
        });
        // Qt may emit disconnected() of a closed connection late, after the core
        // has already reconnected: only a connection of this generation that is
        // down now counts.
        QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] {
            if (connected_ && socket_.state() == QAbstractSocket::UnconnectedState) peerClosed();
        });
        QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] { scheduleRead(); });
    }

    void connectToHost(const std::string& host, uint16_t port) override {
        restart();
        socket_.connectToHost(QString::fromLocal8Bit(host.c_str()), port);
        // Frames are a few bytes each; they must not wait for the last one's ACK.
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }
    void close() override { restart(); }
    State state() const override { return sticky_ != None ? static_cast<State>(sticky_) : MapState(socket_.state()); }
    bool send(const std::string& bytes) override {
        if (socket_.state() != QAbstractSocket::ConnectedState) return false;
        const qint64 n = socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket_.flush();
        return n == static_cast<qint64>(bytes.size());
    }

private:
    enum Sticky { None = -1, PeerClosed = Closing, Error = TcpSocket::Error };

    // Our own close: no event of the old connection reaches the core any more.
    void restart() {
        ++generation_;
        ownClose_ = true;  // abort() emits disconnected() synchronously
        socket_.abort();
        ownClose_ = false;
        connected_ = false;
        sticky_ = None;
        readScheduled_ = false;
    }

    void peerClosed() {
        if (sticky_ != None || ownClose_) return;
        sticky_ = PeerClosed;
        later([this] {
            if (onClosed) onClosed();
        });
    }

    void scheduleRead() {
        if (readScheduled_) return;
        readScheduled_ = true;
        later([this] {
            readScheduled_ = false;
            const uint64_t generation = generation_;
            while (generation == generation_ && socket_.bytesAvailable() > 0) {
                const std::string data = Bytes(socket_.readAll());
                edge_.guard->run("TCP socket", [&] {
                    if (onData) onData(data);
                });
            }
        });
    }

    // Runs the call from the loop, unless the connection it belongs to is gone.
    void later(std::function<void()> call) {
        QMetaObject::invokeMethod(
            &socket_,
            [this, generation = generation_, call = std::move(call)] {
                if (generation == generation_) edge_.guard->run("TCP socket", call);
            },
            Qt::QueuedConnection);
    }

    QtEdge edge_;
    QTcpSocket socket_;
    uint64_t generation_ = 0;
    bool ownClose_ = false;
    bool connected_ = false;  // this generation's connection was established
    int sticky_ = None;
    bool readScheduled_ = false;
};

// "3" and "COM3" name the third serial port; anything else is used as it is.
QString SerialPortName(const std::string& setting) {
    std::string digits = setting;
    if (digits.size() > 3 && (digits.compare(0, 3, "COM") == 0 || digits.compare(0, 3, "com") == 0))
        digits = digits.substr(3);
    const bool numeric = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    if (!numeric) return QString::fromLocal8Bit(setting.c_str());
    const int n = std::stoi(digits.size() > 6 ? std::string("0") : digits);
#if defined(Q_OS_WIN)
    return QStringLiteral("COM%1").arg(n);
#else
    return QStringLiteral("/dev/ttyS%1").arg(n > 0 ? n - 1 : 0);
#endif
}

int LineEventCode(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError: return 1008;
    case QSerialPort::WriteError: return 1010;
    default: return 1011;
    }
}

class QtSerialPort : public SerialPort {
public:
    explicit QtSerialPort(const QtEdge& edge) : edge_(edge) {
        QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] { scheduleRead(); });
        QObject::connect(&port_, &QSerialPort::errorOccurred, &port_, [this](QSerialPort::SerialPortError error) {
            if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !port_.isOpen()) return;
            const int code = LineEventCode(error);
            // A device that went away stays gone: writes would fail forever.
            if (error == QSerialPort::ResourceError) port_.close();
            port_.clearError();
            QMetaObject::invokeMethod(
                &port_,
                [this, code] {
                    edge_.guard->run("serial port", [&] {
                        if (onData) onData(std::string(), code);
                    });
                },
                Qt::QueuedConnection);
        });
    }

    bool open(const std::string& name) override {
        if (port_.isOpen()) return true;
        port_.setPortName(SerialPortName(name));
        if (!port_.open(QIODevice::ReadWrite)) return false;
        port_.setBaudRate(QSerialPort::Baud4800);
        port_.setDataBits(QSerialPort::Data8);
        port_.setParity(QSerialPort::NoParity);
        port_.setStopBits(QSerialPort::OneStop);
        port_.setFlowControl(QSerialPort::NoFlowControl);
        return true;
    }
    void close() override {
        if (port_.isOpen()) port_.close();
    }
    bool isOpen() const override { return port_.isOpen(); }
    bool write(const std::string& bytes) override {
        if (!port_.isOpen()) return false;
        const qint64 n = port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
        port_.flush();
        return n == static_cast<qint64>(bytes.size());
    }

private:
    void scheduleRead() {
        if (readScheduled_) return;
        readScheduled_ = true;
        QMetaObject::invokeMethod(
            &port_,
            [this] {
                readScheduled_ = false;
                while (port_.isOpen() && port_.bytesAvailable() > 0) {
                    const std::string data = Bytes(port_.readAll());
                    edge_.guard->run("serial port", [&] {
                        if (onData) onData(data, 2);
                    });
                }
            },
            Qt::QueuedConnection);
    }

    QtEdge edge_;
    QSerialPort port_;
    bool readScheduled_ = false;
};

} // namespace

std::unique_ptr<TcpSocket> MakeTcpSocket(const QtEdge& edge) { return std::make_unique<QtTcpSocket>(edge); }
std::unique_ptr<SerialPort> MakeSerialPort(const QtEdge& edge) { return std::make_unique<QtSerialPort>(edge); }

} // namespace tarvelo::platform::qt
