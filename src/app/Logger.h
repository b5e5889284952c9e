#pragma once
// The program log. Each entry becomes an xAP "Homeseer.Event" message once the
// xAP transport takes it; until then entries are held. Every entry is also
// written to standard error in one line, so a daemon shows up in the journal.
//
// A fault that repeats (a flood of the same malformed datagram) must not flood
// the log and the network in turn: the same entry is written at most
// kRepeatsPerSecond times a second, and once it has been quiet for a second one
// summary entry says how many were left out.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

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

    explicit Logger(platform::Platform& platform, Options options = {});
    // Without a loop: the summaries of repeats are written with the next entry
    // written after the repeats stopped, or by FlushRepeats.
    explicit Logger(const platform::Clock& clock, Options options = {});
    ~Logger() override;

    void WriteLog(const std::string& type, const std::string& data) override;
    // Writes the summaries of repeats left out so far (shut-down).
    void FlushRepeats();

    // The plain text log (Data/Tarvelo.txt): type, data, error line and
    // description. Never fails.
    void TextLog(const std::string& type, const std::string& data, int errorLine = 0,
                 const std::string& errorDescription = "");

    // The sender is ready: held entries go to it in order, later ones at once.
    void StartSending();
    const std::deque<LogEntry>& held() const { return held_; }
    uint64_t droppedWhileHeld() const { return dropped_; }

    // Identical entries (type and data) left out, in all.
    uint64_t repeatsLeftOut() const { return repeatsLeftOut_; }

    static constexpr size_t kMaxHeld = 2000;
    static constexpr int kRepeatsPerSecond = 3;

private:
    struct Repeats {
        int64_t windowStart = 0;
        int64_t lastAt = 0;
        int inWindow = 0;
        uint64_t leftOut = 0;
    };
    void Write(const std::string& type, const std::string& data);
    void RepeatTimerTick(bool all);

    // The time repeats are measured on: the monotonic clock when there is a loop.
    int64_t nowMs() const { return platform_ ? platform_->monotonicMillis() : clock_.localMillis(); }

    platform::Platform* platform_ = nullptr;
    const platform::Clock& clock_;
    Options options_;
    // Entries of the last second or so, by type and data.
    std::unordered_map<std::string, Repeats> recent_;
    std::unique_ptr<platform::Timer> repeatTimer_;  // none without a loop
    int64_t lastSweep_ = 0;
    uint64_t repeatsLeftOut_ = 0;
    bool sending_ = false;
    std::deque<LogEntry> held_;
    uint64_t dropped_ = 0;
};

} // namespace tarvelo::app
