#include "platform/qt/QtIo.h"

#include <stdexcept>

namespace tarvelo::platform::qt {

// Placeholder until the PIM connection adapters land.
std::unique_ptr<TcpSocket> MakeTcpSocket() { throw std::runtime_error("TCP bridge not available in this build"); }
std::unique_ptr<SerialPort> MakeSerialPort() { throw std::runtime_error("serial port not available in this build"); }

} // namespace tarvelo::platform::qt
