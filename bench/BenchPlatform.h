#pragma once
// The parts of a benchmark platform that never change: a fixed clock, no
// sockets, no serial ports, no listeners or processes, no main loop. A
// benchmark adds its own timers and event handling.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tarvelo::bench {

class FixedClock : public platform::Clock {
public:
    int64_t localMillis() const override { return 1796540400000LL; }  // 2026-12-06 07:00:00
};

// Keeps its interval and enabled flag; never ticks.
class InertTimer : public platform::Timer {
public:
    void setInterval(int ms) override { interval_ = ms; }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override { enabled_ = on; }
    bool enabled() const override { return enabled_; }
    void setHandler(std::function<void()>) override {}

private:
    int interval_ = 0;
    bool enabled_ = false;
};

class NoIoPlatform : public platform::Platform {
public:
    const platform::Clock& clock() const override { return clock_; }
    std::unique_ptr<platform::TcpSocket> createTcpSocket() override { return nullptr; }
    std::unique_ptr<platform::SerialPort> createSerialPort() override { return nullptr; }
    std::unique_ptr<platform::UdpSocket> createUdpSocket() override { return nullptr; }
    std::unique_ptr<platform::TcpListener> createTcpListener() override { return nullptr; }
    std::unique_ptr<platform::LocalListener> createLocalListener() override { return nullptr; }
    std::unique_ptr<platform::StreamConnection> connectLocal(const std::string&) override { return nullptr; }
    std::unique_ptr<platform::Process> createProcess() override { return nullptr; }
    int64_t monotonicMillis() const override { return 0; }
    std::string computerName() override { return "BENCH"; }
    std::vector<std::string> ipv4Addresses() override { return {}; }
    std::string executablePath() override { return "bench"; }
    void run() override {}
    void quit() override {}

private:
    FixedClock clock_;
};

} // namespace tarvelo::bench
