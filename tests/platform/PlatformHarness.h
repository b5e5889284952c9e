#pragma once
// The two implementations of the platform port side by side, for conformance
// tests that run the same typed test on both: Qt (real time, loopback
// sockets, real programs) and the simulation (virtual time, in-process).

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "sim/SimPlatform.h"
#include "sim/SimProcess.h"
#include "sim/SimStream.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"

namespace tarvelo::testing {

// What a test plays on the other end of a TCP connection: a browser.
class TestClient {
public:
    virtual ~TestClient() = default;
    virtual bool send(const std::string& bytes) = 0;
    virtual void close() = 0;
    // Everything the server sent, in order.
    virtual const std::string& received() const = 0;
    virtual bool closedByServer() const = 0;
};

// A program to start and what it needs.
struct ProgramCall {
    std::string program;
    std::vector<std::string> arguments;
};

// Pumps until done() or until a watchdog of `ms` (of the platform's time)
// expires; returns done().
inline bool PumpUntil(platform::Platform& p, const std::function<bool()>& done, int ms = 5000) {
    auto watchdog = p.createTimer();
    bool expired = false;
    watchdog->setHandler([&] { expired = true; });
    watchdog->start(ms);
    while (!done() && !expired) p.pumpOnce();
    return done();
}

struct SimHarness {
    sim::SimPlatform p;
    static constexpr int64_t kEarlyMs = 0;

    std::unique_ptr<TestClient> connect(uint16_t port) {
        struct Client : TestClient {
            explicit Client(sim::SimPlatform& p) : browser(p, "127.0.0.1") {}
            bool send(const std::string& bytes) override { return browser.send(bytes); }
            void close() override { browser.close(); }
            const std::string& received() const override { return browser.received; }
            bool closedByServer() const override { return browser.closedByServer; }
            sim::SimBrowser browser;
        };
        auto client = std::make_unique<Client>(p);
        if (!client->browser.connect(port)) return nullptr;
        return client;
    }

    std::string socketPath(const std::string& name) { return "/run/tarvelo-sim/" + name; }
    std::string folder() { return "/srv/tarvelo"; }
    // An address this machine does not have.
    std::string foreignAddress() { return "10.254.253.252"; }

    ProgramCall exitingWith(int code) {
        const std::string name = "exit-" + std::to_string(code);
        p.programs().add(name, sim::SimProgram{50, code, nullptr});
        return {name, {}};
    }
    ProgramCall runningLong() {
        p.programs().add("long", sim::SimProgram{3600000, 0, nullptr});
        return {"long", {}};
    }
    // Exits with 0 when started in `folder` with arguments "a b" and "c", else 1.
    ProgramCall checkingFolderAndArguments(const std::string& folder) {
        p.programs().add("check", sim::SimProgram{10, 0, [folder](const sim::SimProgramRun& run) {
                                                      const std::vector<std::string> want{"a b", "c"};
                                                      return run.workingDir == folder && run.arguments == want ? 0 : 1;
                                                  }});
        return {"check", {"a b", "c"}};
    }
};

struct QtHarness {
    QtHarness() { QtTestApp(); }
    platform::qt::QtPlatform p;
    TempDir dir;
    static constexpr int64_t kEarlyMs = 2;  // a real timer and the clock round apart

    std::unique_ptr<TestClient> connect(uint16_t port) {
        struct Client : TestClient {
            explicit Client(uint16_t port) {
                QObject::connect(&socket, &QTcpSocket::readyRead, [this] { take(); });
                QObject::connect(&socket, &QTcpSocket::disconnected, [this] {
                    take();
                    closed = true;
                });
                socket.connectToHost(QHostAddress::LocalHost, port);
            }
            void take() {
                const QByteArray data = socket.readAll();
                bytes.append(data.constData(), static_cast<size_t>(data.size()));
            }
            const std::string& received() const override { return bytes; }
            bool closedByServer() const override { return closed; }
            bool send(const std::string& bytes) override {
                return socket.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                       static_cast<qint64>(bytes.size());
            }
            void close() override {
                socket.disconnect();
                socket.disconnectFromHost();
            }
            std::string bytes;
            bool closed = false;
            QTcpSocket socket;
        };
        return std::make_unique<Client>(port);
    }

    std::string socketPath(const std::string& name) { return (dir / name).string(); }
    std::string folder() { return dir.path().string(); }
    std::string foreignAddress() { return "10.254.253.252"; }

    ProgramCall exitingWith(int code) { return {"/bin/sh", {"-c", "exit " + std::to_string(code)}}; }
    ProgramCall runningLong() { return {"/bin/sh", {"-c", "exec sleep 30"}}; }
    ProgramCall checkingFolderAndArguments(const std::string& folder) {
        const char* script = "[ \"$(pwd -P)\" = \"$(cd \"$1\" && pwd -P)\" ] && [ \"$2\" = 'a b' ] && [ \"$3\" = c ]";
        return {"/bin/sh", {"-c", script, "sh", folder, "a b", "c"}};
    }
};

} // namespace tarvelo::testing
