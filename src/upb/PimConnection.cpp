#include "upb/PimConnection.h"

#include <algorithm>

#include "common/Text.h"

namespace tarvelo::upb {

namespace {
constexpr int kConnectTickMs = 2000;
constexpr int kConnectTicks = 6;
constexpr int kHoldAfterWriteMs = 15000;
constexpr int kHoldAfterInputMs = 2000;

uint16_t PortNumber(const std::string& port) {
    const double n = Val(port);
    return n >= 1 && n <= 65535 ? static_cast<uint16_t>(n) : 0;
}
} // namespace

PimConnection::PimConnection(platform::Platform& platform, LogSink& log, const app::ProgramSettings& settings,
                             Trace& trace, Callbacks callbacks)
    : platform_(platform), log_(log), settings_(settings), trace_(trace), callbacks_(std::move(callbacks)) {
    connectTimer_ = platform_.createTimer();
    connectTimer_->setHandler([this] { Guard(&log_, "ConnectTimer_Timer", [&] { ConnectTimer_Timer(); }); });
    reconnectTimer_ = platform_.createTimer();
    reconnectTimer_->setInterval(kFirstReconnectMs);
    reconnectTimer_->setHandler([this] { Guard(&log_, "ReconnectTimer_Timer", [&] { ReconnectTimer_Timer(); }); });
    // Both only stop themselves when they fire; others test whether they still run.
    queueTimer_ = platform_.createTimer();
    queueTimer_->setHandler([this] { queueTimer_->setEnabled(false); });
    sendTimer_ = platform_.createTimer();
    sendTimer_->setHandler([this] {
        sendTimer_->setEnabled(false);
        if (callbacks_.replyTimeout) callbacks_.replyTimeout();
    });
}

PimConnection::~PimConnection() {
    // No late event may reach a half-destroyed connection.
    if (socket_) {
        socket_->onConnected = nullptr;
        socket_->onClosed = nullptr;
        socket_->onError = nullptr;
        socket_->onData = nullptr;
    }
    if (serial_) serial_->onData = nullptr;
}

bool PimConnection::tcpMode() const { return settings_.SerialIP.find('.') != std::string::npos; }

bool PimConnection::IsOpen() const {
    if (tcpMode()) return socket_ && socket_->state() == platform::TcpSocket::Connected;
    return serial_ && serial_->isOpen();
}

bool PimConnection::OpenCommPort(const std::string& port) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (OpenPort(port)) {
            log_.WriteLog("Tarvelo", "UPB PIM Comm Port " + port + " Opened");
            return true;
        }
        log_.WriteLog("Tarvelo", "Error Opening UPB PIM Comm Port number  " + port);
        ClosePort(port);
    }
    return false;
}

bool PimConnection::OpenPort(const std::string& port) {
    bool ok = false;
    Guard(&log_, "OpenPort", [&] {
        attempts_ = 0;
        ok = tcpMode() ? OpenTcp(port) : OpenSerial(port);
    });
    trace_.SetStatus(ok ? "Port Open / " + std::to_string(attempts_) + " tries" : "Port Not Connected");
    return ok;
}

bool PimConnection::OpenSerial(const std::string& port) {
    if (!serial_) {
        serial_ = platform_.createSerialPort();
        serial_->onData = [this](const std::string& bytes, int code) {
            Guard(&log_, "MSComm1_OnComm", [&] { ProcessInput(bytes, code); });
        };
    }
    // The port text is handed over whole: a number names the n-th serial port,
    // anything else is a device path.
    if (!serial_->isOpen()) serial_->open(port);
    return serial_->isOpen();
}

void PimConnection::EnsureSocket() {
    if (socket_) return;
    socket_ = platform_.createTcpSocket();
    socket_->onConnected = [this] { Winsock1_Connect(); };
    socket_->onClosed = [this] { Guard(&log_, "Winsock1_Close", [&] { Winsock1_Close(); }); };
    socket_->onError = [this](int number, const std::string& text) {
        Guard(&log_, "Winsock1_Error", [&] { Winsock1_Error(number, text); });
    };
    socket_->onData = [this](const std::string& bytes) {
        Guard(&log_, "Winsock1_DataArrival", [&] { ProcessInput(bytes, kEventReceive); });
    };
}

bool PimConnection::OpenTcp(const std::string& port) {
    EnsureSocket();
    if (socket_->state() == platform::TcpSocket::Connected) return true;
    // One open at a time: the error and close events of a refused attempt, or a
    // send, land here while an open waits; its connect timer does the retrying.
    if (opening_) return false;
    opening_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{opening_};

    connectPort_ = port;
    socket_->close();
    socket_->connectToHost(settings_.SerialIP, PortNumber(port));
    connectTimer_->start(kConnectTickMs);
    while (socket_->state() != platform::TcpSocket::Connected && connectTimer_->enabled() && !closing_)
        platform_.pumpOnce();
    connectTimer_->setEnabled(false);

    if (socket_->state() == platform::TcpSocket::Connected) {
        reconnectTimer_->setEnabled(false);
        reconnectTimer_->setInterval(kFirstReconnectMs);
        if (retryingQuietly_) log_.WriteLog("Tarvelo", "UPB PIM reconnected via TCP " + port);
        return true;
    }
    if (closing_) return false;
    if (!retryingQuietly_) log_.WriteLog("Tarvelo", "Unable to connect to UPB PIM via TCP " + port);
    // A gateway that only listens would otherwise stay deaf until its next send.
    reconnectTimer_->setEnabled(true);
    return false;
}

void PimConnection::ConnectTimer_Timer() {
    ++attempts_;
    if (socket_ && socket_->state() != platform::TcpSocket::Connected && attempts_ < kConnectTicks && !closing_) {
        socket_->close();
        socket_->connectToHost(settings_.SerialIP, PortNumber(connectPort_));
    } else {
        connectTimer_->setEnabled(false);
    }
}

void PimConnection::ReconnectTimer_Timer() {
    reconnectTimer_->setEnabled(false);
    if (closing_ || !tcpMode() || IsOpen() || opening_) return;
    // Wait longer each time it stays down; OpenPort re-arms the timer on failure.
    reconnectTimer_->setInterval(std::min(reconnectTimer_->interval() * 2, kLastReconnectMs));
    retryingQuietly_ = true;
    OpenPort(portSetting());
    retryingQuietly_ = false;
}

void PimConnection::Winsock1_Connect() { connectTimer_->setEnabled(false); }

void PimConnection::Winsock1_Error(int number, const std::string& description) {
    if (closing_) return;
    if (retryingQuietly_) return;  // the open that is waiting goes on trying
    log_.WriteLog("Tarvelo", "UPB PIM Winsock1_Error at State " + std::to_string(socket_ ? socket_->state() : 0) +
                                 ", " + std::to_string(number) + " " + description);
    if (!opening_) OpenPort(portSetting());
}

void PimConnection::Winsock1_Close() {
    if (closing_) return;
    log_.WriteLog("Tarvelo", "UPB PIM IP Connection Closed " + std::to_string(socket_ ? socket_->state() : 0));
    if (!opening_) OpenPort(portSetting());
}

void PimConnection::ClosePort(const std::string& port) {
    (void)port;
    connectTimer_->setEnabled(false);
    if (serial_ && serial_->isOpen()) serial_->close();
    // Our own close: the socket raises no close event for it.
    if (socket_ && socket_->state() != platform::TcpSocket::Closed) socket_->close();
}

bool PimConnection::PortOpen(const std::string& port) {
    if (tcpMode()) return IsOpen() || OpenPort(port);
    return serial_ && serial_->isOpen();
}

void PimConnection::SendRaw(const std::string& text) {
    heardBeforeWrite_ = framer_.size();
    const std::string& port = portSetting();
    if (PortOpen(port)) {
        if (tcpMode()) socket_->send(text);
        else serial_->write(text);
        ++counters_.framesWritten;
        trace_.EchoHex(text);
    } else {
        ++counters_.writesRefused;
        log_.WriteLog("Tarvelo", "Unable to Send to UPB, Port " + port + " not open");
    }
    queueTimer_->start(kHoldAfterWriteMs);
}

void PimConnection::ProcessInput(std::string_view text, int eventCode) {
    // Nothing is sent until the line has been quiet for 2 seconds.
    queueTimer_->start(kHoldAfterInputMs);
    trace_.Received(text);
    if (eventCode == kEventReceive) {
        framer_.append(text);
        // A line is taken off the buffer before it is handled, so a handler that
        // waits (and so receives more text) keeps the lines in order.
        std::string line;
        for (size_t before = framer_.size(); framer_.nextLine(line); before = framer_.size()) {
            ++counters_.linesReceived;
            // A line that was complete before the last write cannot answer it:
            // when a line read together with others ends an attempt and the
            // next one is written at once, the rest of the read is not its reply.
            const size_t used = before - framer_.size();
            const bool heardBeforeWrite = used <= heardBeforeWrite_;
            heardBeforeWrite_ -= std::min(used, heardBeforeWrite_);
            const bool reply = sendTimer_->enabled() && !heardBeforeWrite;
            Guard(&log_, "HandlePIMLine", [&] { HandleLine(line, reply); });
            // A packet read together with the reply that ended a transmission
            // still holds the line: the end of the transmission lifted the hold.
            if (!reply) queueTimer_->start(kHoldAfterInputMs);
        }
        if (size_t n = framer_.dropIfStuck()) {
            heardBeforeWrite_ = 0;
            DebugLog("UPB receive buffer full without a line end, " + std::to_string(n) + " characters dropped");
        }
    } else if (eventCode != kEventQuiet) {
        DebugLog("UPB Comm Event Code=" + std::to_string(eventCode));
    }
}

void PimConnection::HandlePIMLine(const std::string& line) { HandleLine(line, sendTimer_->enabled()); }

void PimConnection::HandleLine(const std::string& line, bool reply) {
    if (reply) {
        // Whatever it holds: the transmission decides.
        pendingReply_ = line;
        sendTimer_->setEnabled(false);
        if (callbacks_.reply) callbacks_.reply();
        return;
    }
    if (line.compare(0, 2, "PU") == 0) {
        if (callbacks_.upbReceive) callbacks_.upbReceive(line.substr(2));
        return;
    }
    ++counters_.linesDropped;
    if (settings_.DebugLog) log_.WriteLog("Tarvelo", "UPB Received without PU prefix: " + line);
}

void PimConnection::ResetReceiveBuffer() {
    framer_.clear();
    heardBeforeWrite_ = 0;
    attempts_ = 0;
}

void PimConnection::DebugLog(const std::string& data) {
    if (settings_.DebugLog) log_.WriteLog("Tarvelo Debug", data);
}

} // namespace tarvelo::upb
