#include "platform/qt/QtPlatform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/qt/QtIo.h"

namespace tarvelo::platform::qt {

namespace {

class QtClock : public Clock {
public:
    int64_t localMillis() const override {
        const QDateTime now = QDateTime::currentDateTime();
        return now.toMSecsSinceEpoch() + static_cast<int64_t>(now.offsetFromUtc()) * 1000;
    }
};

class QtTimer : public Timer {
public:
    explicit QtTimer(HandlerGuard& guard) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this, &guard] {
            // Never re-enter our own tick from a wait inside the handler.
            if (inHandler_ || !handler_) return;
            // However the handler ends, the timer must tick again.
            struct Leave {
                bool& flag;
                ~Leave() { flag = false; }
            } leave{inHandler_};
            inHandler_ = true;
            auto handler = handler_;  // the handler may replace itself
            guard.run("timer tick", handler);
        });
    }
    void setInterval(int ms) override {
        interval_ = ms;
        apply(true);
    }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override {
        if (on == enabled_) return;
        enabled_ = on;
        apply(true);
    }
    bool enabled() const override { return enabled_; }
    void setHandler(std::function<void()> h) override { handler_ = std::move(h); }

private:
    // Interval 0 never ticks (a zero QTimer would fire on every loop pass).
    void apply(bool restart) {
        if (enabled_ && interval_ > 0) {
            if (restart || !timer_.isActive()) timer_.start(interval_);
        } else {
            timer_.stop();
        }
    }

    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
    bool inHandler_ = false;
    std::function<void()> handler_;
};

const QtClock& TheClock() {
    static QtClock clock;
    return clock;
}

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    char c = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}

} // namespace

void QtEdge::later(std::weak_ptr<void> alive, const char* what, std::function<void()> call) const {
    QMetaObject::invokeMethod(
        loop,
        [alive = std::move(alive), guard = guard, what, call = std::move(call)] {
            if (!alive.expired()) guard->run(what, call);
        },
        Qt::QueuedConnection);
}

QtPlatform::QtPlatform() : loop_(std::make_unique<QObject>()) { uptime_.start(); }
QtPlatform::~QtPlatform() = default;

QtEdge QtPlatform::edge() { return QtEdge{loop_.get(), &handlerGuard()}; }

std::unique_ptr<Timer> QtPlatform::createTimer() { return std::make_unique<QtTimer>(handlerGuard()); }

void QtPlatform::pumpOnce() {
    // Blocks until at least one event is available, then runs what is pending.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtPlatform::post(std::function<void()> call) {
    // On our own object: a call still queued when this platform goes is dropped.
    QMetaObject::invokeMethod(
        loop_.get(), [guard = &handlerGuard(), call = std::move(call)] { guard->run("posted call", call); },
        Qt::QueuedConnection);
}

int64_t QtPlatform::monotonicMillis() const { return uptime_.elapsed(); }

const Clock& QtPlatform::clock() const { return TheClock(); }

std::unique_ptr<TcpSocket> QtPlatform::createTcpSocket() { return MakeTcpSocket(edge()); }
std::unique_ptr<SerialPort> QtPlatform::createSerialPort() { return MakeSerialPort(edge()); }
std::unique_ptr<UdpSocket> QtPlatform::createUdpSocket() { return MakeUdpSocket(edge()); }
std::unique_ptr<TcpListener> QtPlatform::createTcpListener() { return MakeTcpListener(edge()); }
std::unique_ptr<LocalListener> QtPlatform::createLocalListener() { return MakeLocalListener(edge()); }
std::unique_ptr<StreamConnection> QtPlatform::connectLocal(const std::string& path) {
    return ConnectLocal(edge(), path);
}
std::unique_ptr<Process> QtPlatform::createProcess() { return MakeProcess(edge()); }
std::vector<std::string> QtPlatform::ipv4Addresses() { return Ipv4Addresses(); }
std::string QtPlatform::executablePath() {
    return QCoreApplication::applicationFilePath().toLocal8Bit().toStdString();
}

std::string QtPlatform::computerName() {
    // Like a NetBIOS name: the host name without its domain.
    QString name = QSysInfo::machineHostName();
    int dot = name.indexOf('.');
    if (dot > 0) name.truncate(dot);
    return name.toLocal8Bit().toStdString();
}

void QtPlatform::run() {
    // A quit() that came while start-up was still running ends run() at once.
    while (!quit_) pumpOnce();
}

void QtPlatform::quit() {
    quit_ = true;
    post([] {});  // wake a blocked pumpOnce
}

std::unique_ptr<Database> QtPlatform::openDatabase(const std::string& connection, std::string& error) {
    return OpenQtDatabase(connection, error);
}

void InstallQuitSignals(std::function<void()> handler) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [handler = std::move(handler)] {
        char buf[16];
        [[maybe_unused]] auto n = ::read(g_signalPipe[0], buf, sizeof buf);
        HandlerGuard().run("quit signal", handler);  // Qt must never see an exception
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

} // namespace tarvelo::platform::qt
