#pragma once
// The platform port: everything the gateway needs from the operating system,
// behind small interfaces so that the same core runs on Qt (the real program)
// and on the deterministic virtual-time simulation (tests).
//
// One thread. Everything runs from the event loop: timer ticks, serial and
// socket events, posted calls. A "wait, processing messages, until X" is
//
//     while (!condition && waitTimer.enabled()) platform.pumpOnce();
//
// so other handlers run nested inside the wait.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Database.h"

namespace tarvelo::platform {

// Window-timer semantics: an interval in milliseconds and an enabled flag.
// - ticks repeatedly while enabled and the interval is above 0;
// - interval 0 never ticks;
// - setting the interval of an enabled timer restarts its countdown;
// - enabling an enabled timer changes nothing (disable, then enable, restarts);
// - a tick is delivered through the loop, never while this timer's own tick
//   handler is still running (a tick that falls due then is skipped).
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    // The handler runs on every tick; it may change or destroy other timers,
    // and change (but not destroy) its own.
    virtual void setHandler(std::function<void()> handler) = 0;

    void start(int milliseconds) { setInterval(milliseconds); setEnabled(true); }
};

// Local wall-clock time. Nothing in the core reads the system time directly.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since 1970-01-01 00:00 *local* time (UTC time plus the
    // local offset), so that days and seconds since midnight fall out directly.
    virtual int64_t localMillis() const = 0;

    double secondsSinceMidnight() const {
        int64_t ms = localMillis() % 86400000;
        if (ms < 0) ms += 86400000;
        return static_cast<double>(ms) / 1000.0;
    }
};

// A TCP client connection (the PIM serial bridge). State numbers follow the
// classic socket-control states, because log lines report them.
class TcpSocket {
public:
    enum State { Closed = 0, Open = 1, Listening = 2, ConnectionPending = 3, ResolvingHost = 4,
                 HostResolved = 5, Connecting = 6, Connected = 7, Closing = 8, Error = 9 };
    virtual ~TcpSocket() = default;
    virtual void connectToHost(const std::string& host, uint16_t port) = 0;
    virtual void close() = 0;
    virtual State state() const = 0;
    virtual bool send(const std::string& bytes) = 0;

    // Events are delivered through the loop. onData carries everything that
    // was available when the event ran.
    std::function<void()> onConnected;
    std::function<void()> onClosed;                                  // closed by the peer
    std::function<void(int number, const std::string& text)> onError;
    std::function<void(const std::string& bytes)> onData;
};

// A serial port (the PIM on a local line, 4800 8N1, no handshake).
class SerialPort {
public:
    virtual ~SerialPort() = default;
    // `name` is a device path ("/dev/ttyUSB0") or a port number ("3" -> the
    // third serial port of the system).
    virtual bool open(const std::string& name) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool write(const std::string& bytes) = 0;

    // eventCode 2 = characters received; other codes report line events
    // (errors, a device that went away).
    std::function<void(const std::string& bytes, int eventCode)> onData;
};

// A UDP endpoint (the xAP transport, the hub). Error numbers follow the
// classic socket control, because log lines report them: 10048 address in
// use, 10049 address not available, 10013 access denied.
class UdpSocket {
public:
    virtual ~UdpSocket() = default;
    // Binds to a local IPv4 address and port. 0 on success, else an error number.
    virtual int bind(const std::string& address, uint16_t port) = 0;
    // Sends one datagram (broadcast addresses allowed). 0, else an error number.
    virtual int sendTo(const std::string& host, uint16_t port, const std::string& bytes) = 0;
    virtual void close() = 0;

    // One whole datagram, delivered through the loop.
    std::function<void(const std::string& datagram)> onDatagram;
};

// An accepted TCP connection (the web server's clients).
class TcpConnection {
public:
    virtual ~TcpConnection() = default;
    // Queues bytes; onSendComplete follows once they are written.
    virtual bool send(const std::string& bytes) = 0;
    virtual void close() = 0;
    virtual TcpSocket::State state() const = 0;
    virtual std::string remoteAddress() const = 0;

    std::function<void(const std::string& bytes)> onData;  // everything available
    std::function<void()> onSendComplete;
    std::function<void()> onClosed;  // closed by the peer
};

// A listening TCP socket.
class TcpListener {
public:
    virtual ~TcpListener() = default;
    // Listens on `address` (empty: every interface) and `port` (0: any free port).
    virtual bool listen(const std::string& address, uint16_t port, std::string& error) = 0;
    virtual int localPort() const = 0;
    // The next pending connection, or null.
    virtual std::unique_ptr<TcpConnection> accept() = 0;
    virtual void close() = 0;

    std::function<void()> onConnection;  // a connection is pending
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual std::unique_ptr<Timer> createTimer() = 0;
    // Runs at least one pending event (timer tick, I/O event, posted call),
    // blocking until one is available.
    virtual void pumpOnce() = 0;
    // Runs a call from the loop, after the current handler returns.
    virtual void post(std::function<void()> call) = 0;
    virtual const Clock& clock() const = 0;

    virtual std::unique_ptr<TcpSocket> createTcpSocket() = 0;
    virtual std::unique_ptr<SerialPort> createSerialPort() = 0;
    virtual std::unique_ptr<UdpSocket> createUdpSocket() = 0;
    virtual std::unique_ptr<TcpListener> createTcpListener() { return nullptr; }

    virtual std::string computerName() = 0;
    // The machine's IPv4 addresses as dotted text, loopback left out, in the
    // order the system lists its interfaces.
    virtual std::vector<std::string> ipv4Addresses() = 0;
    // The full path of the running program's executable.
    virtual std::string executablePath() = 0;

    // Runs the loop until quit() is called (the real program's main loop).
    virtual void run() = 0;
    virtual void quit() = 0;

    // Opens the database a connection string names: a SQLite file path, or an
    // ODBC connection string ("DSN=..." or "DRIVER=..."). Null, with `error`
    // set, when it cannot be opened or no driver is available.
    virtual std::unique_ptr<Database> openDatabase(const std::string& connection, std::string& error) {
        error = "no database driver for " + connection;
        return nullptr;
    }
};

} // namespace tarvelo::platform
