// tarvelo-pimsim: a simulated UPB PIM with the devices of a UPStart export,
// reachable like a TCP serial bridge or on a pseudo-terminal.
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "Export.h"
#include "PimModel.h"

namespace {

const char* kUsage =
    "Usage: tarvelo-pimsim [options]\n"
    "\n"
    "A simulated UPB PIM (Powerline Interface Module) with the devices of a UPStart\n"
    "export, for trying the gateway without hardware and for tests. It speaks the\n"
    "PIM's line protocol: 0x14 packet frames, 0x17 register writes and 0x12\n"
    "register reads, each ending in CR, answered with PA, PE, PB, PK, PN, PR and PU\n"
    "lines.\n"
    "\n"
    "Endpoint (one of):\n"
    "  --listen HOST:PORT  serve one TCP client like a serial bridge\n"
    "                      (default 127.0.0.1:2101; a new client replaces the old;\n"
    "                      port 0 takes a free port, printed in the endpoint line)\n"
    "  --pty               create a pseudo-terminal and print its path\n"
    "  --pty-link PATH     with --pty: also make PATH a link to it\n"
    "  --serial PATH       use an existing terminal device (e.g. one end of a\n"
    "                      socat pty pair, or a real serial port)\n"
    "\n"
    "Installation:\n"
    "  --export FILE       the UPStart export (.upe) whose devices to model: each\n"
    "                      device record (3) with its presets (4: link and level)\n"
    "                      Without it: network 1, dimmers 5 and 7, lamp module 12,\n"
    "                      input-output module 20; links 1, 2 and 3.\n"
    "  --rain8 N[,N...]    also model Rain8 irrigation controllers N (they are not\n"
    "                      in the export): valves (N-1)x8+1 .. (N-1)x8+8 answer\n"
    "                      device commands and state requests\n"
    "  --message-mode      start with message mode on (options register 0x70 = 03);\n"
    "                      by default the PIM reports no PU lines until the host\n"
    "                      writes bit 1 of register 0x70\n"
    "\n"
    "Timing:\n"
    "  --mains 50|60       mains frequency (default 60): a packet of n bytes takes\n"
    "                      ((n + 1) x 4 + 1) half-cycles, 275 ms for 7 bytes at 60 Hz\n"
    "  --fast              twenty times faster than the powerline (tests)\n"
    "  --time-scale F      any factor (1 = real time)\n"
    "\n"
    "Faults (on every N-th UPB frame from the host; N = 1: all of them):\n"
    "  --fault KIND[:N]    KIND is busy (PB), error (PE), silent (no answer),\n"
    "                      garbage (a line that is no reply), noack (PN although a\n"
    "                      device acknowledged), drop (close the connection after PA)\n"
    "  Frames with a bad checksum, odd length or wrong length field always get PE.\n"
    "\n"
    "Traffic from the devices:\n"
    "  --press M:L[@S]     device M activates link L (a wall-switch press, sent\n"
    "                      twice), S seconds after start (default 2)\n"
    "  --release M:L[@S]   the same with a deactivation\n"
    "\n"
    "Commands on standard input, one a line:\n"
    "  press M L | release M L   a wall switch of device M sends link L\n"
    "  report M                  device M reports its state unasked\n"
    "  set M CH LEVEL            local change at the device (nothing is sent)\n"
    "  inputs M BITS             input bits of an input-output module\n"
    "  raw HEX                   put a packet on the line (checksum added if missing)\n"
    "  fault KIND N | fault off  change the faults\n"
    "  drop                      close the host connection\n"
    "  levels                    print every device's levels\n"
    "  quit\n"
    "\n"
    "Output: the endpoint first (\"listening HOST:PORT\" with the port bound,\n"
    "\"pty PATH\" or \"serial PATH\"), then one line per event with the seconds\n"
    "since start: frames from the host (\"host ...\"), lines to it (\"pim ...\"),\n"
    "packets on the line (\"line ...\"), device levels (\"level M CH VALUE\"),\n"
    "register writes, connections. --quiet prints the endpoint only.\n";

const auto kStart = std::chrono::steady_clock::now();
bool g_quiet = false;

void Note(const std::string& text) {
    if (g_quiet) return;
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
    std::printf("%.3f %s\n", s, text.c_str());
    std::fflush(stdout);
}

void Say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

// Where the host's bytes come from and go to.
class HostLink {
public:
    virtual ~HostLink() = default;
    virtual void write(const std::string& bytes) = 0;
    virtual void drop() {}
    virtual void shutdown() {}
    std::function<void(const std::string&)> onReceive;
};

class TcpHost : public HostLink {
public:
    bool listen(const QString& host, quint16 port) {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
        return server_.listen(QHostAddress(host), port);
    }
    void write(const std::string& bytes) override {
        if (client_) client_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    void drop() override {
        if (client_) client_->abort();
    }
    QString error() const { return server_.errorString(); }
    quint16 port() const { return server_.serverPort(); }
    // Stops listening before the client goes, so that a host that reconnects
    // at once is refused instead of reaching a dying process.
    void shutdown() {
        server_.close();
        if (client_) client_->abort();
    }

private:
    void accept() {
        while (QTcpSocket* next = server_.nextPendingConnection()) {
            if (client_) {
                Note("replaced by a new connection");
                client_->disconnect();
                client_->abort();
                client_->deleteLater();
            }
            client_ = next;
            // Like a serial bridge: each reply line leaves at once.
            client_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            Note("connected " + client_->peerAddress().toString().toStdString() + ":" +
                 std::to_string(client_->peerPort()));
            QObject::connect(client_, &QTcpSocket::readyRead, client_, [this, socket = client_] {
                const QByteArray data = socket->readAll();
                if (onReceive) onReceive(std::string(data.constData(), static_cast<size_t>(data.size())));
            });
            QObject::connect(client_, &QTcpSocket::disconnected, client_, [this, socket = client_] {
                Note("disconnected");
                if (client_ == socket) client_ = nullptr;
                socket->deleteLater();
            });
        }
    }

    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
};

// A terminal: the master side of our own pseudo-terminal, or a device path.
class TtyHost : public HostLink {
public:
    ~TtyHost() override {
        if (!link_.empty()) ::unlink(link_.c_str());
        if (slave_ >= 0) ::close(slave_);
        if (fd_ >= 0) ::close(fd_);
    }

    bool openPty(const std::string& linkPath, std::string& path) {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) return false;
        path = ::ptsname(fd_);
        // Holding the slave open ourselves keeps the master readable (no EIO)
        // while no host has it open, and lets us make the line raw before one does.
        slave_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (slave_ < 0) return false;
        MakeRaw(slave_);
        if (!linkPath.empty()) {
            ::unlink(linkPath.c_str());
            if (::symlink(path.c_str(), linkPath.c_str()) == 0) link_ = linkPath;
        }
        return start();
    }

    bool openDevice(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0) return false;
        MakeRaw(fd_);
        return start();
    }

    void write(const std::string& bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }

private:
    static void MakeRaw(int fd) {
        termios t{};
        if (::tcgetattr(fd, &t) != 0) return;
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B4800);
        ::cfsetospeed(&t, B4800);
        ::tcsetattr(fd, TCSANOW, &t);
    }

    bool start() {
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            char buf[512];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) {
                if (onReceive) onReceive(std::string(buf, static_cast<size_t>(n)));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The other end is gone; reading on would spin.
                Note("device closed");
                notifier_->setEnabled(false);
            }
        });
        return true;
    }

    int fd_ = -1;
    int slave_ = -1;
    std::string link_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT end the simulator in order, from the event loop.
void InstallQuit(HostLink& host) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [&host] {
        host.shutdown();
        QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

struct Scheduled {
    int device = 0, link = 0;
    bool activate = true;
    double seconds = 2;
};

// Digits only: a typo must not turn into port 0, which asks for any free port.
bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    port = std::atoi(text.c_str());
    return port <= 65535;
}

bool ParseInjection(const std::string& text, bool activate, Scheduled& out) {
    out.activate = activate;
    return std::sscanf(text.c_str(), "%d:%d@%lf", &out.device, &out.link, &out.seconds) >= 2;
}

void Command(pimsim::PimModel& model, HostLink& host, const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb.empty()) return;
    bool ok = true;
    if (verb == "press" || verb == "release") {
        int m = 0, l = 0;
        ok = static_cast<bool>(in >> m >> l) && model.press(m, l, verb == "press");
    } else if (verb == "report") {
        int m = 0;
        ok = static_cast<bool>(in >> m) && model.report(m);
    } else if (verb == "set") {
        int m = 0, ch = 0, level = 0;
        ok = static_cast<bool>(in >> m >> ch >> level) && model.setLevel(m, ch, level);
    } else if (verb == "inputs") {
        int m = 0, bits = 0;
        ok = static_cast<bool>(in >> m >> bits) && model.setInputs(m, bits);
    } else if (verb == "raw") {
        std::string hex;
        ok = static_cast<bool>(in >> hex) && model.transmitRaw(hex);
    } else if (verb == "fault") {
        std::string kind;
        int n = 0;
        in >> kind >> n;
        pimsim::Fault f;
        if (kind == "off") {
            for (auto k : {pimsim::Fault::Busy, pimsim::Fault::Error, pimsim::Fault::Silent, pimsim::Fault::Garbage,
                           pimsim::Fault::NoAck, pimsim::Fault::Drop})
                model.setFault(k, 0);
            Note("faults off");
        } else if ((ok = pimsim::FaultFromName(kind, f))) {
            model.setFault(f, n);
            Note("fault " + kind + " every " + std::to_string(n));
        }
    } else if (verb == "drop") {
        host.drop();
    } else if (verb == "levels") {
        std::fputs(model.levelsText().c_str(), stdout);
        std::fflush(stdout);
    } else if (verb == "quit") {
        QCoreApplication::quit();
    } else if (verb == "help") {
        std::fputs(kUsage, stdout);
    } else {
        ok = false;
    }
    if (!ok) std::fprintf(stderr, "tarvelo-pimsim: cannot do '%s' (try help)\n", line.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string exportFile, listen = "127.0.0.1:2101", serialPath, ptyLink, rain8;
    bool pty = false;
    pimsim::Options options;
    std::vector<std::pair<pimsim::Fault, int>> faults;
    std::vector<Scheduled> injections;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tarvelo-pimsim: %s needs %s\n", a.c_str(), what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--export") {
            exportFile = value("a file");
        } else if (a == "--listen") {
            listen = value("HOST:PORT");
        } else if (a == "--pty") {
            pty = true;
        } else if (a == "--pty-link") {
            ptyLink = value("a path");
        } else if (a == "--serial") {
            serialPath = value("a device path");
        } else if (a == "--fast") {
            options.timeScale = 0.05;
        } else if (a == "--time-scale") {
            options.timeScale = std::atof(value("a factor").c_str());
        } else if (a == "--mains") {
            options.mainsHz = std::atoi(value("50 or 60").c_str()) == 50 ? 50 : 60;
        } else if (a == "--message-mode") {
            options.messageMode = true;
        } else if (a == "--rain8") {
            rain8 = value("N[,N...]");
        } else if (a == "--quiet") {
            g_quiet = true;
        } else if (a == "--fault") {
            const std::string rule = value("KIND[:N]");
            const size_t colon = rule.find(':');
            pimsim::Fault f;
            if (!pimsim::FaultFromName(rule.substr(0, colon), f)) {
                std::fprintf(stderr, "tarvelo-pimsim: unknown fault '%s'\n", rule.c_str());
                return 2;
            }
            faults.emplace_back(f, colon == std::string::npos ? 1 : std::atoi(rule.c_str() + colon + 1));
        } else if (a == "--press" || a == "--release") {
            Scheduled s;
            if (!ParseInjection(value("M:L[@S]"), a == "--press", s)) {
                std::fprintf(stderr, "tarvelo-pimsim: %s wants MODULE:LINK[@SECONDS]\n", a.c_str());
                return 2;
            }
            injections.push_back(s);
        } else {
            std::fprintf(stderr, "tarvelo-pimsim: unknown option '%s' (try --help)\n", a.c_str());
            return 2;
        }
    }

    pimsim::Installation installation;
    if (exportFile.empty()) {
        installation = pimsim::BuiltInInstallation();
    } else {
        std::string error;
        if (!pimsim::ReadExport(exportFile, installation, error)) {
            std::fprintf(stderr, "tarvelo-pimsim: %s\n", error.c_str());
            return 1;
        }
    }

    // Rain8 controllers are not in the export: controller n answers as the
    // eight one-valve devices (n - 1) x 8 + 1 .. + 8.
    if (!rain8.empty()) {
        std::stringstream list(rain8);
        std::string entry;
        while (std::getline(list, entry, ',')) {
            const int n = std::atoi(entry.c_str());
            for (int v = 1; v <= 8; ++v) {
                const int id = (n - 1) * 8 + v;
                if (id < 1 || id > 250 || installation.find(id)) continue;
                pimsim::Device d;
                d.id = id;
                d.network = installation.network;
                d.kind = 8;
                d.room = "Rain8";
                d.name = "Rain8 Module " + entry + " Valve " + std::to_string(v);
                d.levels = {0};
                installation.devices.push_back(d);
            }
        }
    }

    QCoreApplication app(argc, argv);
    std::unique_ptr<HostLink> host;
    if (pty || !serialPath.empty()) {
        auto tty = std::make_unique<TtyHost>();
        std::string path = serialPath;
        const bool ok = pty ? tty->openPty(ptyLink, path) : tty->openDevice(serialPath);
        if (!ok) {
            std::fprintf(stderr, "tarvelo-pimsim: cannot open %s: %s\n", pty ? "a pseudo-terminal" : path.c_str(),
                         std::strerror(errno));
            return 1;
        }
        Say((pty ? "pty " : "serial ") + path);
        host = std::move(tty);
    } else {
        const size_t colon = listen.rfind(':');
        const std::string address = colon == std::string::npos ? listen : listen.substr(0, colon);
        int port = 2101;
        if (colon != std::string::npos && !ParsePort(listen.substr(colon + 1), port)) {
            std::fprintf(stderr, "tarvelo-pimsim: --listen wants HOST:PORT with a port from 0 to 65535, not '%s'\n",
                         listen.c_str());
            return 2;
        }
        auto tcp = std::make_unique<TcpHost>();
        if (!tcp->listen(QString::fromStdString(address), static_cast<quint16>(port))) {
            std::fprintf(stderr, "tarvelo-pimsim: cannot listen on %s: %s\n", listen.c_str(),
                         tcp->error().toStdString().c_str());
            return 1;
        }
        // The bound port, not the one asked for: with port 0 the caller learns it here.
        Say("listening " + address + ":" + std::to_string(tcp->port()));
        host = std::move(tcp);
    }

    InstallQuit(*host);

    pimsim::Hooks hooks;
    hooks.after = [&app](double ms, std::function<void()> call) {
        QTimer::singleShot(static_cast<int>(std::lround(std::max(0.0, ms))), Qt::PreciseTimer, &app, std::move(call));
    };
    hooks.toHost = [&host](const std::string& bytes) { host->write(bytes); };
    hooks.note = Note;
    hooks.dropHost = [&host] { host->drop(); };
    pimsim::PimModel model(std::move(installation), options, hooks);
    for (auto& [fault, n] : faults) model.setFault(fault, n);
    host->onReceive = [&model](const std::string& bytes) { model.receive(bytes); };
    Note("devices " + std::to_string(model.installation().devices.size()) + ", network " +
         std::to_string(model.installation().network));

    for (const auto& s : injections) {
        QTimer::singleShot(static_cast<int>(s.seconds * 1000), &app, [&model, s] {
            if (!model.press(s.device, s.link, s.activate))
                std::fprintf(stderr, "tarvelo-pimsim: no device %d\n", s.device);
        });
    }

    // Commands on standard input; at its end the simulator simply goes on.
    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char buf[512];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buf, static_cast<size_t>(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            Command(model, *host, line);
        }
    });

    return app.exec();
}
