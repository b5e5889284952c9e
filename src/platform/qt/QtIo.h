#pragma once
// Qt adapters for the PIM connection: TCP client and serial port.
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tarvelo::platform::qt {

std::unique_ptr<TcpSocket> MakeTcpSocket();
std::unique_ptr<SerialPort> MakeSerialPort();
std::unique_ptr<UdpSocket> MakeUdpSocket();
std::vector<std::string> Ipv4Addresses();

} // namespace tarvelo::platform::qt
