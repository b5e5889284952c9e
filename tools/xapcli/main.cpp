// tarvelo-xap: watch, send and switch on the xAP network from a terminal.
// The words, the messages and what is printed are pure functions
// (CommandLine, Messages, Display); this file holds only the sockets, the
// timers and the order of events.

#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>

#include "CommandLine.h"
#include "Display.h"
#include "Messages.h"
#include "common/Text.h"
#include "platform/qt/QtPlatform.h"

namespace xc = tarvelo::xapcli;

namespace {

void Error(const std::string& text) { std::fprintf(stderr, "tarvelo-xap: %s\n", text.c_str()); }

void Out(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string Now(const char* format) { return QDateTime::currentDateTime().toString(format).toStdString(); }

// Where messages go: the address given, else the broadcast address the gateway
// uses (the limited broadcast, or the loopback network's without a LAN address).
QHostAddress Destination(const std::string& to) {
    if (!to.empty()) return QHostAddress(QString::fromStdString(to));
    const bool lan = !tarvelo::platform::qt::QtPlatform().ipv4Addresses().empty();
    return QHostAddress(lan ? "255.255.255.255" : "127.255.255.255");
}

bool SendTo(QUdpSocket& socket, const std::string& text, const QHostAddress& address, uint16_t port) {
    const qint64 n = socket.writeDatagram(text.data(), static_cast<qint64>(text.size()), address, port);
    if (n == static_cast<qint64>(text.size())) return true;
    Error("cannot send to " + address.toString().toStdString() + " port " + std::to_string(port) + ": " +
          socket.errorString().toStdString());
    return false;
}

// A client of the local hub: a loopback port of its own, announced in a
// heartbeat that the hub echoes back like every datagram, which shows that
// the hub has taken it in.
class HubClient {
public:
    HubClient(const xc::Identity& me, uint16_t hubPort, std::function<void(const xc::Received&)> onMessage)
        : me_(me), hubPort_(hubPort), onMessage_(std::move(onMessage)) {}

    bool start() {
        if (!socket_.bind(QHostAddress::LocalHost, 0)) {
            Error("cannot open a UDP port on 127.0.0.1: " + socket_.errorString().toStdString());
            return false;
        }
        started_ = true;
        QObject::connect(&socket_, &QUdpSocket::readyRead, [this] { read(); });
        // Until the hub answers, ask again every few seconds (it may be starting).
        QObject::connect(&heartbeat_, &QTimer::timeout, [this] { beat(true); });
        heartbeat_.start(5000);
        beat(true);
        return true;
    }
    void stop() {
        if (!started_) return;
        started_ = false;
        heartbeat_.stop();
        beat(false);
        socket_.close();
    }
    bool joined() const { return joined_; }
    uint16_t port() const { return socket_.localPort(); }
    QUdpSocket& socket() { return socket_; }
    std::function<void()> onJoined;

private:
    void beat(bool alive) { SendTo(socket_, xc::BuildHeartbeat(me_, socket_.localPort(), alive), QHostAddress::LocalHost, hubPort_); }

    void read() {
        while (socket_.hasPendingDatagrams()) {
            const QByteArray d = socket_.receiveDatagram().data();
            const xc::Received m = xc::ParseDatagram(std::string_view(d.constData(), static_cast<size_t>(d.size())));
            if (m.heartbeat && m.port == std::to_string(port()) && tarvelo::EqualsNoCase(m.source, me_.source)) {
                if (!joined_) {
                    joined_ = true;
                    heartbeat_.start(xc::kHeartbeatSeconds * 1000);
                    if (onJoined) onJoined();
                }
                continue;
            }
            onMessage_(m);
        }
    }

    xc::Identity me_;
    uint16_t hubPort_;
    std::function<void(const xc::Received&)> onMessage_;
    QUdpSocket socket_;
    QTimer heartbeat_;
    bool started_ = false;
    bool joined_ = false;
};

int Watch(const xc::Invocation& inv, const xc::Identity& me) {
    auto show = [&](const xc::Received& m) {
        if (!xc::PassesFilters(m, inv.classPattern, inv.sourcePattern)) return;
        Out(inv.brief ? xc::FormatBrief(Now("hh:mm:ss.zzz"), m) : xc::FormatBlock(Now("yyyy-MM-dd hh:mm:ss.zzz"), m));
    };

    if (inv.ownPort) {
        QUdpSocket socket;
        if (!socket.bind(QHostAddress::AnyIPv4, *inv.ownPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
            Error("cannot listen on UDP port " + std::to_string(*inv.ownPort) + ": " + socket.errorString().toStdString() +
                  " (a hub there? without --port this tool joins it)");
            return 1;
        }
        QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
            while (socket.hasPendingDatagrams()) {
                const QByteArray d = socket.receiveDatagram().data();
                show(xc::ParseDatagram(std::string_view(d.constData(), static_cast<size_t>(d.size()))));
            }
        });
        tarvelo::platform::qt::InstallQuitSignals([] { QCoreApplication::quit(); });
        Error("listening on UDP port " + std::to_string(socket.localPort()) + "; Ctrl-C ends");
        return QCoreApplication::exec();
    }

    HubClient hub(me, inv.hubPort, show);
    if (!hub.start()) return 1;
    hub.onJoined = [&] {
        Error("joined the hub on port " + std::to_string(inv.hubPort) + " as " + me.source + " (port " +
              std::to_string(hub.port()) + "); Ctrl-C ends");
    };
    QTimer::singleShot(3000, [&] {
        if (!hub.joined())
            Error("no hub answers on UDP port " + std::to_string(inv.hubPort) +
                  " yet (is tarvelo-hub running? --port N listens without one); still trying");
    });
    tarvelo::platform::qt::InstallQuitSignals([&] {
        hub.stop();
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

bool TooLong(const std::string& text) {
    if (text.size() <= xc::kMaxMessageBytes) return false;
    Error("the message would be " + std::to_string(text.size()) + " bytes; an xAP message holds at most " +
          std::to_string(xc::kMaxMessageBytes));
    return true;
}

int Send(const xc::Invocation& inv, const xc::Identity& me) {
    const std::string text = xc::BuildMessage(me, inv.msgClass, inv.target, inv.sections);
    if (TooLong(text)) return 2;
    QUdpSocket socket;
    return SendTo(socket, text, Destination(inv.to), inv.port) ? 0 : 1;
}

const char* StateWord(xc::BscAction a) { return a == xc::BscAction::Off ? "off" : "on"; }

std::string Describe(const std::string& state, const std::string& level, const std::string& target) {
    return "sent State=" + state + (level.empty() ? "" : " Level=" + level) + " to " + target + "\n";
}

int Bsc(const xc::Invocation& inv, const xc::Identity& me) {
    const QHostAddress to = Destination(inv.to);
    const bool direct = inv.action != xc::BscAction::Query && inv.action != xc::BscAction::Toggle &&
                        !xc::HasPartGlob(inv.target);
    if (direct) {
        QUdpSocket socket;
        const std::string state = StateWord(inv.action);
        const std::string text = xc::BuildBscCommand(me, inv.target, state, inv.level);
        if (TooLong(text)) return 2;
        if (!SendTo(socket, text, to, inv.port)) return 1;
        Out(Describe(state, inv.level, inv.target));
        return 0;
    }

    // Ask first: the answers either are the result (query) or say what to command.
    if (TooLong(xc::BuildBscQuery(me, inv.target))) return 2;
    xc::AnswerTable answers(inv.target);
    QTimer quiet;
    quiet.setSingleShot(true);
    quiet.setInterval(static_cast<int>(inv.waitSeconds * 1000));
    const std::string wireTarget = xc::WireTarget(inv.target);
    HubClient hub(me, inv.port, [&](const xc::Received& m) {
        answers.Add(m);
        // Any answer keeps the wait open, also one that a "*" inside a part
        // leaves out; events do not, or a stream of them would hold it open.
        if (xc::IsQueryAnswer(m, wireTarget)) quiet.start();
    });
    if (!hub.start()) return 1;
    int status = 0;
    QTimer noHub;
    noHub.setSingleShot(true);
    QObject::connect(&noHub, &QTimer::timeout, [&] {
        Error("no hub answers on UDP port " + std::to_string(inv.port) +
              ": answers reach this tool only through the local hub (is tarvelo-hub running?)");
        status = 1;
        QCoreApplication::quit();
    });
    noHub.start(3000);
    hub.onJoined = [&] {
        noHub.stop();
        if (!SendTo(hub.socket(), xc::BuildBscQuery(me, wireTarget), to, inv.port)) {
            status = 1;
            QCoreApplication::quit();
            return;
        }
        quiet.start();
    };
    QObject::connect(&quiet, &QTimer::timeout, [] { QCoreApplication::quit(); });
    tarvelo::platform::qt::InstallQuitSignals([&] {
        status = 130;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    hub.stop();
    if (status != 0) return status;

    if (answers.rows().empty()) {
        Error("no component answered for " + inv.target + " within " + QString::number(inv.waitSeconds).toStdString() +
              " s");
        return 1;
    }
    if (inv.action == xc::BscAction::Query) {
        Out(answers.Format());
        return 0;
    }
    std::vector<std::string> skipped;
    const std::vector<xc::PlannedCommand> commands = xc::PlanCommands(answers.rows(), inv.action, inv.level, &skipped);
    for (const std::string& s : skipped)
        Error("left alone: " + s + (inv.action == xc::BscAction::Toggle ? " (an input, or its state is unknown)" : " (an input)"));
    QUdpSocket socket;
    for (const xc::PlannedCommand& c : commands) {
        if (!SendTo(socket, xc::BuildBscCommand(me, c.target, c.state, c.level), to, inv.port)) return 1;
        Out(Describe(c.state, c.level, c.target));
    }
    return commands.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const xc::ParseResult parsed = xc::ParseArgs(args);
    if (!parsed.invocation) {
        Error(parsed.error + " (try --help)");
        return 2;
    }
    const xc::Invocation& inv = *parsed.invocation;
    if (inv.command == xc::Command::Help) {
        std::fputs(xc::kUsage, stdout);
        return 0;
    }

    QCoreApplication app(argc, argv);
    xc::Identity me{inv.source, inv.uid};
    if (me.source.empty()) me.source = xc::DefaultSource(tarvelo::platform::qt::QtPlatform().computerName());
    if (me.uid.empty()) me.uid = xc::DefaultUid(static_cast<long>(::getpid()));

    switch (inv.command) {
    case xc::Command::Watch: return Watch(inv, me);
    case xc::Command::Send: return Send(inv, me);
    case xc::Command::Bsc: return Bsc(inv, me);
    case xc::Command::Help: break;
    }
    return 0;
}
