#pragma once
// The Qt implementation of the platform port. Needs a QCoreApplication (or
// QApplication) to exist before it is created.

#include <QElapsedTimer>

#include <functional>
#include <memory>

#include "platform/Platform.h"
#include "platform/qt/QtIo.h"

class QObject;

namespace tarvelo::platform::qt {

class QtPlatform : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    std::unique_ptr<Timer> createTimer() override;
    void pumpOnce() override;
    void post(std::function<void()> call) override;
    const Clock& clock() const override;
    std::unique_ptr<TcpSocket> createTcpSocket() override;
    std::unique_ptr<SerialPort> createSerialPort() override;
    std::unique_ptr<UdpSocket> createUdpSocket() override;
    std::unique_ptr<TcpListener> createTcpListener() override;
    std::unique_ptr<LocalListener> createLocalListener() override;
    std::unique_ptr<StreamConnection> connectLocal(const std::string& path) override;
    std::unique_ptr<Process> createProcess() override;
    int64_t monotonicMillis() const override;
    std::string computerName() override;
    std::vector<std::string> ipv4Addresses() override;
    std::string executablePath() override;
    void run() override;
    void quit() override;
    std::unique_ptr<Database> openDatabase(const std::string& connection, std::string& error) override;

private:
    QtEdge edge();

    std::unique_ptr<QObject> loop_;  // receives this platform's queued calls
    QElapsedTimer uptime_;
    bool quit_ = false;
};

// The database port on Qt SQL (QtDatabase.cpp).
std::unique_ptr<Database> OpenQtDatabase(const std::string& connection, std::string& error);

// SIGTERM and SIGINT call `handler` from the event loop (never from the signal
// handler itself).
void InstallQuitSignals(std::function<void()> handler);

} // namespace tarvelo::platform::qt
