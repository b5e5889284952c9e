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

struct LoggerOptions {
    bool mirror = true;             // every entry also on standard error
    std::filesystem::path textLog;  // empty: no text log
    // Sees every entry (tests).
    std::function<void(const LogEntry&)> observer;
    // Takes entries once StartSending has run (the xAP side).
    std::function<void(const LogEntry&)> sender;
};

class Logger : public LogSink {
public:
    using Options = LoggerOptions;

    explicit Logger(const platform::Clock& clock, Options options = {})
        : clock_(clock), options_(std::move(options)) {}

    void WriteLog(const std::string& type, const std::string& data) override;

    // The plain text log (Data/Tarvelo.txt): type, data, error line and
    // description. Never fails.
    void TextLog(const std::string& type, const std::string& data, int errorLine = 0,
                 const std::string& errorDescription = "");

    // The sender is ready: held entries go to it in order, later ones at once.
    void StartSending();
    const std::deque<LogEntry>& held() const { return held_; }
    uint64_t droppedWhileHeld() const { return dropped_; }

    static constexpr size_t kMaxHeld = 2000;

private:
    const platform::Clock& clock_;
    Options options_;
    bool sending_ = false;
    std::deque<LogEntry> held_;
    uint64_t dropped_ = 0;
};

} // namespace tarvelo::app
