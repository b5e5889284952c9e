#pragma once
// The program log. Each entry becomes an xAP "Homeseer.Event" message once the
// xAP transport takes it; until then entries are held. Every entry is also
// written to standard error in one line, so a daemon shows up in the journal.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>

#include "common/Guard.h"
#include "platform/Platform.h"

namespace tarvelo::app {

struct LogEntry {
    std::string time;  // "yyyy-mm-dd hh:mm:ss"
    std::string type;
    std::string data;
};

class Logger : public LogSink {
public:
    explicit Logger(const platform::Clock& clock) : clock_(clock) {}

    void WriteLog(const std::string& type, const std::string& data) override;

    // The plain text log (Data/Tarvelo.txt): type, data, error line and
    // description. Never fails.
    void TextLog(const std::string& type, const std::string& data, int errorLine = 0,
                 const std::string& errorDescription = "");

    void setMirror(bool on) { mirror_ = on; }
    void setTextLogPath(std::filesystem::path path) { textLog_ = std::move(path); }

    // The xAP side registers here; held entries are handed over in order.
    void setSender(std::function<void(const LogEntry&)> sender);
    const std::deque<LogEntry>& held() const { return held_; }
    uint64_t droppedWhileHeld() const { return dropped_; }

    // Sees every entry (tests, the --check report).
    std::function<void(const LogEntry&)> observer;

    static constexpr size_t kMaxHeld = 2000;

private:
    const platform::Clock& clock_;
    bool mirror_ = true;
    std::filesystem::path textLog_;
    std::function<void(const LogEntry&)> sender_;
    std::deque<LogEntry> held_;
    uint64_t dropped_ = 0;
};

} // namespace tarvelo::app
