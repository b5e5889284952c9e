// The real tarvelo-hub: it keeps its clients across a restart, and a heartbeat
// naming the hub's own port, or coming from another machine, registers
// nothing (no datagram is forwarded back into the hub).
#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QThread>
#include <QUdpSocket>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "e2e/PimSimProcess.h"

using namespace tarvelo::testing;

namespace {

std::string Heartbeat(const std::string& source, quint16 port, int interval = 600) {
    return "xap-hbeat\n{\nv=13\nhop=1\nuid=FF.7777:00\nclass=xap-hbeat.alive\nsource=" + source +
           "\ninterval=" + std::to_string(interval) + "\nport=" + std::to_string(port) + "\n}\n";
}

std::string Message(const std::string& text) {
    return "xap-header\n{\nv=13\nhop=1\nuid=FF.7777:00\nclass=acme.test\nsource=acme.tool.e2e\n}\nbody\n{\ntext=" +
           text + "\n}\n";
}

// A UDP endpoint of a test: sends to the hub, counts what the hub forwards.
class Endpoint {
public:
    Endpoint(const QHostAddress& bindTo, const QHostAddress& hub, quint16 hubPort) : hub_(hub), hubPort_(hubPort) {
        bound_ = socket_.bind(bindTo, 0);
    }
    bool bound() const { return bound_; }
    quint16 port() const { return socket_.localPort(); }
    void send(const std::string& text) {
        socket_.writeDatagram(text.data(), static_cast<qint64>(text.size()), hub_, hubPort_);
    }
    // Reads until a datagram holding `needle` arrives; false after the bound.
    bool waitFor(const std::string& needle, int timeoutMs = 20000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            const size_t before = received.size();
            readAll();
            for (size_t i = before; i < received.size(); ++i)
                if (received[i].find(needle) != std::string::npos) return true;
            socket_.waitForReadyRead(100);
        }
        return false;
    }
    void readAll() {
        while (socket_.hasPendingDatagrams()) {
            const QByteArray d = socket_.receiveDatagram().data();
            received.emplace_back(d.constData(), static_cast<size_t>(d.size()));
        }
    }
    size_t count(const std::string& needle) const {
        size_t n = 0;
        for (const auto& r : received) n += r.find(needle) != std::string::npos;
        return n;
    }
    std::vector<std::string> received;

private:
    QUdpSocket socket_;
    QHostAddress hub_;
    quint16 hubPort_;
    bool bound_ = false;
};

class Hub {
public:
    // Starts it and learns the port from its endpoint line.
    bool start(const QStringList& args, const QString& program = Binary("tarvelo-hub")) {
        E2eApp();
        process_.start(program, args);
        std::string out;
        if (!WaitForStdout(process_, "\n", out)) return false;
        port = ListeningPort(out);
        return port != 0;
    }
    ::testing::AssertionResult waitFor(const std::string& text) { return WaitForStderr(process_, text, log); }
    void stop(bool crash = false) {
        if (process_.state() == QProcess::NotRunning) return;
        if (crash) process_.kill();
        else process_.terminate();
        process_.waitForFinished(10000);
    }
    ~Hub() { stop(true); }
    quint16 port = 0;
    std::string log;

private:
    QProcess process_;
};

// Sends A, then B; once B is through, counts the copies of A. A hub that
// forwards to itself sends A round and round.
size_t CopiesOfOne(Endpoint& sender, Endpoint& client, const std::string& tag) {
    sender.send(Message(tag + "-A"));
    sender.send(Message(tag + "-B"));
    if (!client.waitFor("text=" + tag + "-B\n")) return 0;
    client.readAll();
    return client.count("text=" + tag + "-A\n");
}

} // namespace

// The gateway heartbeats every ten minutes: a restarted hub must not leave it
// unreachable until the next one.
TEST(HubProcess, ARestartedHubForwardsToTheClientsItKnew) {
    TempDir dir;
    const QString state = QString::fromStdString((dir / "state" / "clients").string());
    Hub hub;
    ASSERT_TRUE(hub.start({"--port", "0", "--state", state}));
    const quint16 hubPort = hub.port;
    Endpoint gateway(QHostAddress::LocalHost, QHostAddress::LocalHost, hubPort);
    Endpoint tool(QHostAddress::LocalHost, QHostAddress::LocalHost, hubPort);
    gateway.send(Heartbeat("zantu.UPB.e2e", gateway.port()));
    ASSERT_TRUE(hub.waitFor("client joined: zantu.UPB.e2e port " + std::to_string(gateway.port())));

    // The table reaches the disk by itself, without an orderly stop.
    QElapsedTimer t;
    t.start();
    const std::string line = std::to_string(gateway.port()) + " 600000 ";
    while (ReadFile(dir / "state" / "clients").find(line) == std::string::npos && t.elapsed() < 20000)
        QThread::msleep(50);
    ASSERT_NE(ReadFile(dir / "state" / "clients").find(line), std::string::npos);
    hub.stop(/*crash=*/true);

    Hub again;
    ASSERT_TRUE(again.start({"--port", QString::number(hubPort), "--state", state}));
    EXPECT_TRUE(again.waitFor("client restored: zantu.UPB.e2e port " + std::to_string(gateway.port())));
    tool.send(Message("after restart"));
    EXPECT_TRUE(gateway.waitFor("text=after restart\n"));
    again.stop();
}

TEST(HubProcess, AHeartbeatNamingTheHubsOwnPortRegistersNothing) {
    TempDir dir;
    Hub hub;
    ASSERT_TRUE(hub.start({"--port", "0", "--state", QString::fromStdString((dir / "c").string())}));
    const quint16 hubPort = hub.port;
    Endpoint client(QHostAddress::LocalHost, QHostAddress::LocalHost, hubPort);
    Endpoint other(QHostAddress::LocalHost, QHostAddress::LocalHost, hubPort);
    client.send(Heartbeat("acme.client.e2e", client.port(), 60));
    ASSERT_TRUE(hub.waitFor("client joined: acme.client.e2e"));
    other.send(Heartbeat("acme.hub.e2e", hubPort, 60));
    EXPECT_TRUE(hub.waitFor("heartbeat ignored: acme.hub.e2e port " + std::to_string(hubPort) +
                            " from 127.0.0.1 (the hub's own port)"));
    EXPECT_EQ(CopiesOfOne(other, client, "own"), 1u);
}

// Two network namespaces joined by a virtual cable: the hub and one
// application on "this machine", another hub on "the LAN". Needs root; skipped
// elsewhere.
class TwoMachines : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root for network namespaces";
        const std::string id = std::to_string(::getpid() % 100000);
        here_ = "tvhub-a-" + id;
        there_ = "tvhub-b-" + id;
        const std::string a = "tvha" + id, b = "tvhb" + id;
        const std::string script =
            "set -e; ip netns add " + here_ + "; ip netns add " + there_ + "; ip link add " + a +
            " type veth peer name " + b + "; ip link set " + a + " netns " + here_ + "; ip link set " + b +
            " netns " + there_ + "; ip -n " + here_ + " addr add 10.213.0.1/24 dev " + a + "; ip -n " + there_ +
            " addr add 10.213.0.2/24 dev " + b + "; for n in " + here_ + " " + there_ +
            "; do ip -n $n link set lo up; done; ip -n " + here_ + " link set " + a + " up; ip -n " + there_ +
            " link set " + b + " up";
        made_ = true;
        if (std::system(("(" + script + ") >/dev/null 2>&1").c_str()) != 0)
            GTEST_SKIP() << "network namespaces are not available here";
        home_ = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    }
    void TearDown() override {
        if (home_ >= 0) ::close(home_);
        if (made_) std::system(("ip netns del " + here_ + " >/dev/null 2>&1; ip netns del " + there_ + " >/dev/null 2>&1").c_str());
    }
    // Sockets made inside `make` belong to namespace `name`.
    template <class Make>
    auto inside(const std::string& name, Make make) {
        const int ns = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(ns, 0);
        EXPECT_EQ(::setns(ns, CLONE_NEWNET), 0);
        auto made = make();
        EXPECT_EQ(::setns(home_, CLONE_NEWNET), 0);
        ::close(ns);
        return made;
    }
    std::string here_, there_;
    int home_ = -1;
    bool made_ = false;
};

TEST_F(TwoMachines, AnotherHubOnTheLanStartsNoBroadcastStorm) {
    TempDir dir;
    Hub hub;
    ASSERT_TRUE(hub.start({"netns", "exec", QString::fromStdString(here_), Binary("tarvelo-hub"), "--state",
                           QString::fromStdString((dir / "c").string())},
                          "ip"));
    ASSERT_EQ(hub.port, 3639);
    const QHostAddress hubHost("10.213.0.1");
    auto client = inside(here_, [] { return std::make_unique<Endpoint>(QHostAddress::LocalHost, QHostAddress::LocalHost, 3639); });
    auto bystander = inside(here_, [] { return std::make_unique<Endpoint>(QHostAddress::LocalHost, QHostAddress::LocalHost, 3639); });
    auto remote = inside(there_, [&] { return std::make_unique<Endpoint>(QHostAddress("10.213.0.2"), hubHost, 3639); });
    ASSERT_TRUE(client->bound() && bystander->bound() && remote->bound());

    client->send(Heartbeat("acme.client.here", client->port(), 60));
    ASSERT_TRUE(hub.waitFor("client joined: acme.client.here"));
    // The other hub announces 3639, its own port; an application over there
    // announces a port that here belongs to someone else.
    remote->send(Heartbeat("acme.hub.there", 3639, 60));
    remote->send(Heartbeat("acme.app.there", bystander->port(), 60));
    EXPECT_TRUE(hub.waitFor("heartbeat ignored: acme.app.there port " + std::to_string(bystander->port()) +
                            " from 10.213.0.2 (not an address of this machine)"));
    EXPECT_NE(hub.log.find("heartbeat ignored: acme.hub.there port 3639 from 10.213.0.2"), std::string::npos) << hub.log;

    EXPECT_EQ(CopiesOfOne(*remote, *client, "lan"), 1u);
    bystander->readAll();
    EXPECT_EQ(bystander->received.size(), 0u);
}
