#pragma once
// Qt adapters of the platform port: PIM connection (TCP client, serial port),
// UDP, stream listeners and connections, processes.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

class QObject;

namespace tarvelo::platform::qt {

// What every adapter needs of its platform: the object its queued calls run
// on (it lives as long as the platform, so a call still queued when the
// platform goes is dropped with it) and the last-resort catch.
struct QtEdge {
    QObject* loop = nullptr;
    HandlerGuard* guard = nullptr;

    // Runs `call` from the loop through the guard, unless `alive` has expired
    // by then (its object is gone).
    void later(std::weak_ptr<void> alive, const char* what, std::function<void()> call) const;
};

std::unique_ptr<TcpSocket> MakeTcpSocket(const QtEdge& edge);
std::unique_ptr<SerialPort> MakeSerialPort(const QtEdge& edge);
std::unique_ptr<UdpSocket> MakeUdpSocket(const QtEdge& edge);
std::vector<std::string> Ipv4Addresses();

std::unique_ptr<TcpListener> MakeTcpListener(const QtEdge& edge);
std::unique_ptr<LocalListener> MakeLocalListener(const QtEdge& edge);
std::unique_ptr<StreamConnection> ConnectLocal(const QtEdge& edge, const std::string& path);
std::unique_ptr<Process> MakeProcess(const QtEdge& edge);

} // namespace tarvelo::platform::qt
