#pragma once
// The connection to the PIM: a serial port, or a TCP serial bridge when
// SerialIP holds a "." (decided at every open). Opens and re-opens it, writes
// frames, splits what comes back into lines and routes each line: to the
// transmission awaiting a reply, else (a "PU" line) to the received-message
// interpretation.
//
// It also owns the two timers the transmit queue shares with it: the transmit
// hold (UPBQueueTimer: 15 s after a write, 2 s after received text) and the
// reply wait (UPBSendTimer, with the pending reply).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "app/ProgramSettings.h"
#include "common/Guard.h"
#include "platform/Platform.h"
#include "upb/codec/LineFramer.h"
#include "upb/Trace.h"

namespace tarvelo::upb {

class PimConnection {
public:
    // Serial line events as the port reports them; 2 carries received text.
    static constexpr int kEventReceive = 2;
    static constexpr int kEventQuiet = 3;  // a line-state event nobody needs to hear about

    // Where received lines go; each may be empty.
    struct Callbacks {
        std::function<void()> reply;         // a reply ended the reply wait
        std::function<void()> replyTimeout;  // the reply wait ran out
        // "PU" lines heard outside a reply wait, without the "PU".
        std::function<void(const std::string& packet)> upbReceive;
    };

    PimConnection(platform::Platform& platform, LogSink& log, const app::ProgramSettings& settings, Trace& trace,
                  Callbacks callbacks);
    ~PimConnection();
    PimConnection(const PimConnection&) = delete;
    PimConnection& operator=(const PimConnection&) = delete;

    // Two tries of OpenPort, each outcome logged.
    bool OpenCommPort(const std::string& port);
    bool OpenPort(const std::string& port);
    // Closes the serial port and the bridge connection (without reporting the close).
    void ClosePort(const std::string& port);
    // Serial: whether open. TCP: whether connected, else the result of OpenPort.
    bool PortOpen(const std::string& port);
    // Whether the connection is up right now, without trying to open it.
    bool IsOpen() const;
    void SendRaw(const std::string& text);

    // Splits received text into lines and handles each in order. A line is a
    // reply only to a write made before it arrived: when one line of a read
    // ends a transmission attempt and the next attempt is written at once, the
    // later lines of the same read are not its reply (a "PU" among them is a
    // received packet).
    void ProcessInput(std::string_view text, int eventCode);
    void HandlePIMLine(const std::string& line);

    // While held, received text is buffered but not split (start-up).
    void SetHold(bool hold) { framer_.setHold(hold); }
    bool hold() const { return framer_.hold(); }
    // Set by the program's exit: closing the connection is neither reported nor answered.
    void SetClosing(bool closing) { closing_ = closing; }
    bool closing() const { return closing_; }
    // Empties the receive buffer and the count of connect attempts.
    void ResetReceiveBuffer();

    platform::Timer& UPBQueueTimer() { return *queueTimer_; }

    // The reply wait of a transmission: the next line received while it runs
    // becomes the pending reply and ends the wait; the reply callback is then
    // called. When the wait runs out, the replyTimeout callback is called.
    void AwaitReply(int milliseconds) { sendTimer_->start(milliseconds); }
    bool ReplyAwaited() const { return sendTimer_->enabled(); }
    void StopReplyWait() { sendTimer_->setEnabled(false); }
    std::string TakePendingReply() { return std::exchange(pendingReply_, std::string()); }

    bool tcpMode() const;
    int connectAttempts() const { return attempts_; }
    const LineFramer& framer() const { return framer_; }
    struct Counters {
        uint64_t linesReceived = 0;
        uint64_t linesDropped = 0;  // neither a reply nor a "PU" line
        uint64_t framesWritten = 0;
        uint64_t writesRefused = 0; // the port was not open
    };
    const Counters& counters() const { return counters_; }

    // Whether a lost bridge connection is tried again in the background, and how
    // soon (doubling up to ten minutes while it stays down).
    static constexpr int kFirstReconnectMs = 30000;
    static constexpr int kLastReconnectMs = 600000;

private:
    bool OpenSerial(const std::string& port);
    bool OpenTcp(const std::string& port);
    void EnsureSocket();
    void ConnectTimer_Timer();
    void ReconnectTimer_Timer();
    void Winsock1_Connect();
    void Winsock1_Error(int number, const std::string& description);
    void Winsock1_Close();
    void DebugLog(const std::string& data);
    // `reply`: the line answers the write whose reply is awaited.
    void HandleLine(const std::string& line, bool reply);
    const std::string& portSetting() const { return settings_.UPBCommPort; }

    platform::Platform& platform_;
    LogSink& log_;
    const app::ProgramSettings& settings_;
    Trace& trace_;
    Callbacks callbacks_;

    std::unique_ptr<platform::SerialPort> serial_;
    std::unique_ptr<platform::TcpSocket> socket_;
    std::unique_ptr<platform::Timer> connectTimer_;
    std::unique_ptr<platform::Timer> reconnectTimer_;
    std::unique_ptr<platform::Timer> queueTimer_;
    std::unique_ptr<platform::Timer> sendTimer_;

    LineFramer framer_;
    std::string pendingReply_;
    std::string connectPort_;  // the port of the open in progress
    int attempts_ = 0;
    size_t heardBeforeWrite_ = 0;  // buffered characters received before the last write
    bool closing_ = false;
    bool opening_ = false;  // an OpenPort is waiting for the bridge
    // A background reconnect is under way: its refusals were said when the
    // outage began, so only the recovery is logged.
    bool retryingQuietly_ = false;
    Counters counters_;
};

} // namespace tarvelo::upb
