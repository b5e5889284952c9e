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
//
// Objects a platform creates (timers, sockets, listeners, processes) must not
// outlive it.

#include <cstdint>
#include <cstdio>
#include <exception>
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

// A stream connection: one accepted by a TcpListener or a LocalListener, or
// a local client from Platform::connectLocal.
//
// Events are delivered through the loop:
// - onData carries everything that was available. It is never re-entered for
//   the same connection: bytes that arrive while it runs (during a wait inside
//   it) come in one more onData right after it returns. Set it in the
//   handler that receives the connection; until it is set, bytes stay unread.
// - onSendComplete: everything sent so far has been handed to the operating
//   system. Several sends before it may share one event. It is delivered
//   during waits inside onData too, so a handler can pace a large file by it.
// - onClosed: the other side closed the connection or it broke; it comes
//   after the last onData. isOpen() turns false as soon as this is known,
//   so a wait can end on it before onClosed runs.
class StreamConnection {
public:
    // Destroying an open connection aborts it: bytes not yet handed to the
    // system are dropped. close() first for an orderly end.
    virtual ~StreamConnection() = default;
    // Queues bytes for sending. false when the connection is closed.
    virtual bool send(const std::string& bytes) = 0;
    // Ends the connection in order: bytes already sent still reach the other
    // side, which then sees the close; the object may be destroyed at once.
    // No event reaches this object's handlers afterwards.
    virtual void close() = 0;
    // Open until closed by either side.
    virtual bool isOpen() const = 0;
    // The other side's IPv4 address as dotted text; "local" for local sockets.
    virtual std::string remoteAddress() const = 0;

    std::function<void(const std::string& bytes)> onData;
    std::function<void()> onSendComplete;
    std::function<void()> onClosed;
};

// Accepts TCP connections (the web server).
class TcpListener {
public:
    // Stops listening; connections already accepted stay open.
    virtual ~TcpListener() = default;
    // Listens on a local IPv4 address ("0.0.0.0": every interface) and port
    // (0: any free port, see port()). 0 on success, else the classic socket
    // error number: 10048 address in use, 10049 address not available, 10013
    // access denied.
    virtual int listen(const std::string& address, uint16_t port) = 0;
    // The port listened on; 0 when not listening.
    virtual uint16_t port() const = 0;
    // Stops listening; connections already accepted stay open.
    virtual void close() = 0;

    // A new connection, through the loop. The handler takes it over; one it
    // leaves unclaimed (or no handler at all) is closed.
    std::function<void(std::unique_ptr<StreamConnection> connection)> onConnection;
};

// Accepts connections on a local socket addressed by a file path (the script
// host, for scripts run in other processes); never reachable from the network,
// and only the user running the program may connect.
class LocalListener {
public:
    virtual ~LocalListener() = default;
    // Listens at `path`. A socket file that nothing listens on any more (left
    // by a run that ended without cleaning up) is replaced; a path where a
    // live listener is found is refused. false when listening fails.
    virtual bool listen(const std::string& path) = 0;
    // Stops listening and removes the socket file; accepted connections stay open.
    virtual void close() = 0;

    // As TcpListener::onConnection.
    std::function<void(std::unique_ptr<StreamConnection> connection)> onConnection;
};

// A program started with arguments; its end is reported with its exit code.
class Process {
public:
    // Destroying a running process kills it.
    virtual ~Process() = default;
    // Starts `program` (a path, or a name looked up in the system's search
    // path) with `arguments` in `workingDir` (empty: the current folder). Its
    // standard input is empty; its output goes to ours. false when it could
    // not be started (not found, not executable, no such folder, or this
    // object's program is still running).
    virtual bool start(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& workingDir) = 0;
    // From a successful start until its end is known.
    virtual bool running() const = 0;
    // Ends the program at once; onFinished reports it (exit code -1).
    virtual void kill() = 0;

    // The program ended, through the loop: its exit code, or -1 when it was
    // killed or crashed.
    std::function<void(int exitCode)> onFinished;
};

// The last-resort catch at the port's edge. Every handler the loop runs
// (timer tick, I/O event, posted call) goes through run(): an exception that
// escapes it leaves one line with the reporter and goes no further, so one
// faulty handler cannot stop the loop or end the program.
class HandlerGuard {
public:
    using Reporter = std::function<void(const std::string& line)>;

    // Empty: the line goes to standard error.
    void setReporter(Reporter reporter) { reporter_ = std::move(reporter); }

    // `what` names the event in the report ("timer tick", "TCP connection").
    // false when the handler threw.
    template <class Handler>
    bool run(const char* what, Handler&& handler) noexcept {
        try {
            handler();
            return true;
        } catch (...) {
            reportCurrentException(what);
            return false;
        }
    }

    // Reports the exception being handled; only inside a catch block.
    void reportCurrentException(const char* what) const noexcept {
        try {
            std::string message = "unknown exception";
            try {
                throw;
            } catch (const std::exception& e) {
                message = e.what();
            } catch (...) {
            }
            const std::string line = std::string("Unhandled error in ") + what + ": " + message;
            if (reporter_) {
                reporter_(line);
                return;
            }
            std::fprintf(stderr, "%s\n", line.c_str());
        } catch (...) {
            // A reporter that fails itself has nowhere left to report to.
        }
    }

private:
    Reporter reporter_;
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
    virtual std::unique_ptr<TcpListener> createTcpListener() = 0;
    virtual std::unique_ptr<LocalListener> createLocalListener() = 0;
    // A client connection to the local listener at `path`; null when nothing
    // listens there. Bytes sent before the connection is fully set up are
    // held and go out once it is.
    virtual std::unique_ptr<StreamConnection> connectLocal(const std::string& path) = 0;
    virtual std::unique_ptr<Process> createProcess() = 0;

    // Milliseconds since an arbitrary start. Never goes back and ignores
    // changes of the wall clock: for measuring how long something took.
    virtual int64_t monotonicMillis() const = 0;

    // Runs the loop for `milliseconds` (a script's pause): other handlers go on
    // running meanwhile. 0 or less returns at once.
    void sleepPumping(int milliseconds) {
        if (milliseconds <= 0) return;
        auto timer = createTimer();
        timer->setHandler([t = timer.get()] { t->setEnabled(false); });
        timer->start(milliseconds);
        while (timer->enabled()) pumpOnce();
    }

    // Where a handler that threw is reported (see HandlerGuard); the owner
    // sets it once, before the loop runs. Default: one line on standard error.
    void setErrorReporter(HandlerGuard::Reporter reporter) { guard_.setReporter(std::move(reporter)); }
    // For the implementations: the catch every handler call goes through.
    HandlerGuard& handlerGuard() { return guard_; }

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

private:
    HandlerGuard guard_;
};

} // namespace tarvelo::platform
