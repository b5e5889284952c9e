// tarvelo-hub: a local xAP hub. Binds the xAP port on every interface, learns
// the applications on this machine from their heartbeats ("port="), and
// forwards every datagram unchanged to each live one's port on 127.0.0.1. The
// client table is kept in a state file, so a restarted hub forwards at once.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QDateTime>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "HubCore.h"
#include "platform/qt/QtPlatform.h"

namespace {

const char* kUsage =
    "Usage: tarvelo-hub [options]\n"
    "\n"
    "A local xAP hub: receives xAP datagrams on UDP port 3639 and forwards each to\n"
    "every application on this machine that announced its own port in a\n"
    "heartbeat. An application is dropped after two heartbeat intervals of silence\n"
    "or when it sends a stop heartbeat. Heartbeats from other machines (another\n"
    "hub on the LAN) are forwarded but register nothing.\n"
    "\n"
    "The applications known are kept in a state file and read back at start, so\n"
    "after a restart they are reached at once, not only after their next heartbeat.\n"
    "\n"
    "Options:\n"
    "  --port N       the xAP port to listen on (default 3639; 0 takes a free port)\n"
    "  --bind ADDR    the address to listen on (default 0.0.0.0, every interface)\n"
    "  --state FILE   the state file (default: clients-PORT in $STATE_DIRECTORY,\n"
    "                 else $XDG_STATE_HOME/tarvelo-hub, else ~/.local/state/tarvelo-hub)\n"
    "  --no-state     keep no state file\n"
    "  --quiet        do not log clients joining and leaving\n"
    "  --help         show this text and exit\n"
    "\n"
    "Output: one line on standard output once the port is bound,\n"
    "\"listening ADDR:PORT\" with the port actually bound (clients and gateways\n"
    "started with --xap-port PORT reach the hub there); the log of clients\n"
    "joining and leaving goes to standard error.\n";

void Log(bool quiet, const std::string& text) {
    if (!quiet) std::fprintf(stderr, "tarvelo-hub: %s\n", text.c_str());
}

bool ParsePort(const char* text, uint16_t& port) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 65535) return false;
    port = static_cast<uint16_t>(v);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    uint16_t port = 3639;
    std::string bindAddress = "0.0.0.0";
    bool quiet = false;
    std::string statePath;
    bool keepState = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--port" && i + 1 < argc) {
            if (!ParsePort(argv[++i], port)) {
                std::fprintf(stderr, "tarvelo-hub: --port needs a number from 0 to 65535\n");
                return 2;
            }
        } else if (a == "--bind" && i + 1 < argc) {
            bindAddress = argv[++i];
        } else if (a == "--state" && i + 1 < argc) {
            statePath = argv[++i];
            if (statePath.empty()) {
                std::fprintf(stderr, "tarvelo-hub: --state needs a file name\n");
                return 2;
            }
        } else if (a == "--no-state") {
            keepState = false;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            std::fprintf(stderr, "tarvelo-hub: unknown option '%s' (try --help)\n", a.c_str());
            return 2;
        }
    }

    QCoreApplication app(argc, argv);
    tarvelo::platform::qt::InstallQuitSignals([] { QCoreApplication::quit(); });

    QUdpSocket in;
    QUdpSocket out;
    if (!in.bind(QHostAddress(QString::fromStdString(bindAddress)), port, QAbstractSocket::DontShareAddress)) {
        std::fprintf(stderr, "tarvelo-hub: cannot listen on %s port %u: %s\n", bindAddress.c_str(), port,
                     in.errorString().toLocal8Bit().constData());
        return 1;
    }
    // The bound port, not the one asked for: with port 0 the caller learns it here.
    port = in.localPort();
    std::printf("listening %s:%u\n", bindAddress.c_str(), static_cast<unsigned>(port));
    std::fflush(stdout);
    Log(quiet, "listening on " + bindAddress + " port " + std::to_string(port));

    QElapsedTimer clock;
    clock.start();
    auto wallClock = [] { return QDateTime::currentMSecsSinceEpoch(); };

    // This machine's addresses, looked up again (at most once a second) when a
    // heartbeat comes from an address not known yet: addresses come and go.
    std::set<std::string> localAddresses;
    qint64 addressesReadAt = -1;
    auto addressText = [](const QHostAddress& address) {
        bool v4 = false;
        const quint32 ip = address.toIPv4Address(&v4);
        return (v4 ? QHostAddress(ip) : address).toString().toStdString();
    };
    auto isLocal = [&](const std::string& address) {
        if (localAddresses.count(address)) return true;
        if (addressesReadAt >= 0 && clock.elapsed() - addressesReadAt < 1000) return false;
        addressesReadAt = clock.elapsed();
        localAddresses.clear();
        for (const QHostAddress& a : QNetworkInterface::allAddresses()) localAddresses.insert(addressText(a));
        return localAddresses.count(address) != 0;
    };
    tarvelo::hub::HubCore hub({.ownPort = in.localPort(), .isLocal = isLocal});

    if (keepState && statePath.empty()) statePath = tarvelo::hub::DefaultStateFile(in.localPort(), std::getenv);
    if (!keepState) statePath.clear();
    if (!statePath.empty()) {
        std::string text, error;
        if (!tarvelo::hub::ReadStateFile(statePath, text, error)) {
            std::fprintf(stderr, "tarvelo-hub: cannot read %s: %s\n", statePath.c_str(), error.c_str());
        } else {
            for (const auto& c : hub.LoadState(text, clock.elapsed(), wallClock()))
                Log(quiet, "client restored: " + c.source + " port " + std::to_string(c.port));
        }
    }
    // Written a second after a change, not at every heartbeat, and at exit.
    QTimer saveTimer;
    saveTimer.setSingleShot(true);
    bool saveFailed = false;
    auto save = [&] {
        if (statePath.empty()) return;
        std::string error;
        if (tarvelo::hub::WriteStateFile(statePath, hub.SaveState(clock.elapsed(), wallClock()), error)) {
            saveFailed = false;
        } else if (!saveFailed) {
            // Said once until a save works again.
            saveFailed = true;
            std::fprintf(stderr, "tarvelo-hub: cannot write %s: %s\n", statePath.c_str(), error.c_str());
        }
    };
    QObject::connect(&saveTimer, &QTimer::timeout, save);
    auto changed = [&] {
        if (!statePath.empty() && !saveTimer.isActive()) saveTimer.start(1000);
    };

    using Change = tarvelo::hub::HubCore::Change;
    QObject::connect(&in, &QUdpSocket::readyRead, [&] {
        while (in.hasPendingDatagrams()) {
            const QNetworkDatagram d = in.receiveDatagram();
            const QByteArray data = d.data();
            Change change;
            const auto ports = hub.Receive(std::string_view(data.constData(), static_cast<size_t>(data.size())),
                                           addressText(d.senderAddress()), clock.elapsed(), &change);
            const std::string who = change.client.source + " port " + std::to_string(change.client.port);
            if (change.kind == Change::Joined) Log(quiet, "client joined: " + who);
            else if (change.kind == Change::Left) Log(quiet, "client left: " + who + " (stopped)");
            else if (change.kind == Change::Refused)
                Log(false, "heartbeat ignored: " + who + " from " + change.fromAddress +
                               (change.client.port == in.localPort() ? " (the hub's own port)"
                                                                      : " (not an address of this machine)"));
            if (change.kind == Change::Joined || change.kind == Change::Left || change.kind == Change::Refreshed)
                changed();
            for (uint16_t p : ports) out.writeDatagram(data, QHostAddress::LocalHost, p);
        }
    });

    QTimer expiry;
    QObject::connect(&expiry, &QTimer::timeout, [&] {
        const auto gone = hub.Expire(clock.elapsed());
        for (const auto& c : gone)
            Log(quiet, "client left: " + c.source + " port " + std::to_string(c.port) + " (no heartbeat)");
        if (!gone.empty()) changed();
    });
    expiry.start(1000);

    const int status = app.exec();
    save();
    Log(quiet, "stopped");
    return status;
}
