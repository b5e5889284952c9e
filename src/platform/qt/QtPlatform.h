#pragma once
// The Qt implementation of the platform port. Needs a QCoreApplication (or
// QApplication) to exist before it is created.

#include <functional>

#include "platform/Platform.h"

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
    std::string computerName() override;
    std::vector<std::string> ipv4Addresses() override;
    std::string executablePath() override;
    void run() override;
    void quit() override;
    std::unique_ptr<Database> openDatabase(const std::string& connection, std::string& error) override;

private:
    bool quit_ = false;
};

// The web server's listener (QtListener.cpp).
std::unique_ptr<TcpListener> MakeTcpListener();

// The database port on Qt SQL (QtDatabase.cpp).
std::unique_ptr<Database> OpenQtDatabase(const std::string& connection, std::string& error);

// SIGTERM and SIGINT call `handler` from the event loop (never from the signal
// handler itself).
void InstallQuitSignals(std::function<void()> handler);

} // namespace tarvelo::platform::qt
