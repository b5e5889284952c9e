#pragma once
// Qt adapters for the PIM connection: TCP client and serial port.
#include <memory>

#include "platform/Platform.h"

namespace tarvelo::platform::qt {

std::unique_ptr<TcpSocket> MakeTcpSocket();
std::unique_ptr<SerialPort> MakeSerialPort();

} // namespace tarvelo::platform::qt
