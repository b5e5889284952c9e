// tarvelo-hub: a local xAP hub. Binds the xAP port on every interface, learns
// the applications on this machine from their heartbeats ("port="), and
// forwards every datagram unchanged to each live one's port on 127.0.0.1.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <cstdlib>
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
    "or when it sends a stop heartbeat.\n"
    "\n"
    "Options:\n"
    "  --port N      the xAP port to listen on (default 3639; 0 takes a free port)\n"
    "  --bind ADDR   the address to listen on (default 0.0.0.0, every interface)\n"
    "  --quiet       do not log clients joining and leaving\n"
    "  --help        show this text and exit\n"
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

    tarvelo::hub::HubCore hub;
    QElapsedTimer clock;
    clock.start();

    QObject::connect(&in, &QUdpSocket::readyRead, [&] {
        while (in.hasPendingDatagrams()) {
            const QNetworkDatagram d = in.receiveDatagram();
            const QByteArray data = d.data();
            tarvelo::hub::HubCore::Change change;
            const auto ports = hub.Receive(std::string_view(data.constData(), static_cast<size_t>(data.size())),
                                           clock.elapsed(), &change);
            if (change.kind == tarvelo::hub::HubCore::Change::Joined)
                Log(quiet, "client joined: " + change.client.source + " port " + std::to_string(change.client.port));
            else if (change.kind == tarvelo::hub::HubCore::Change::Left)
                Log(quiet, "client left: " + change.client.source + " port " + std::to_string(change.client.port) +
                               " (stopped)");
            for (uint16_t p : ports) out.writeDatagram(data, QHostAddress::LocalHost, p);
        }
    });

    QTimer expiry;
    QObject::connect(&expiry, &QTimer::timeout, [&] {
        for (const auto& c : hub.Expire(clock.elapsed()))
            Log(quiet, "client left: " + c.source + " port " + std::to_string(c.port) + " (no heartbeat)");
    });
    expiry.start(1000);

    const int status = app.exec();
    Log(quiet, "stopped");
    return status;
}
