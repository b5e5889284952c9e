#include "app/Logger.h"

#include <cstdio>
#include <fstream>
#include <utility>
#include <vector>

#include "common/VbDate.h"

namespace tarvelo::app {

namespace {
constexpr int64_t kWindowMs = 1000;
// Type and data, apart: no type ends in this character.
std::string RepeatKey(const std::string& type, const std::string& data) { return type + '\x1f' + data; }
} // namespace

Logger::Logger(platform::Platform& platform, Options options)
    : platform_(&platform), clock_(platform.clock()), options_(std::move(options)), repeatTimer_(platform.createTimer()) {
    repeatTimer_->setHandler([this] { RepeatTimerTick(false); });
}

Logger::Logger(const platform::Clock& clock, Options options) : clock_(clock), options_(std::move(options)) {}

Logger::~Logger() = default;

void Logger::WriteLog(const std::string& type, const std::string& data) {
    const int64_t now = nowMs();
    Repeats& r = recent_[RepeatKey(type, data)];
    if (r.inWindow == 0 || now - r.windowStart >= kWindowMs || now < r.windowStart) {
        r.windowStart = now;
        r.inWindow = 0;
    }
    r.lastAt = now;
    // The timer forgets entries that have gone quiet, and writes their summaries.
    if (!repeatTimer_) {
        if (now - lastSweep_ >= kWindowMs || now < lastSweep_) {
            lastSweep_ = now;
            RepeatTimerTick(false);
        }
    } else if (!repeatTimer_->enabled()) {
        repeatTimer_->start(static_cast<int>(kWindowMs));
    }
    if (++r.inWindow > kRepeatsPerSecond) {
        ++r.leftOut;
        ++repeatsLeftOut_;
        return;
    }
    Write(type, data);
}

void Logger::RepeatTimerTick(bool all) {
    const int64_t now = nowMs();
    std::vector<std::pair<std::string, uint64_t>> summaries;
    for (auto it = recent_.begin(); it != recent_.end();) {
        const Repeats& r = it->second;
        if (!all && now - r.lastAt < kWindowMs && now >= r.lastAt) {
            ++it;
            continue;
        }
        if (r.leftOut > 0) summaries.emplace_back(it->first, r.leftOut);
        it = recent_.erase(it);
    }
    if (recent_.empty() && repeatTimer_) repeatTimer_->setEnabled(false);
    // Written after the walk: writing may log again.
    for (const auto& [key, leftOut] : summaries) {
        const size_t split = key.find('\x1f');
        Write(key.substr(0, split), std::to_string(leftOut) + " more identical entries not logged: " + key.substr(split + 1));
    }
}

void Logger::FlushRepeats() { RepeatTimerTick(true); }

void Logger::Write(const std::string& type, const std::string& data) {
    LogEntry entry{FormatDateTime(DateFromLocalMillis(clock_.localMillis())), type, data};
    if (options_.mirror)
        std::fprintf(stderr, "%s %s %s\n", entry.time.c_str(), entry.type.c_str(), entry.data.c_str());
    if (options_.observer) options_.observer(entry);
    if (sending_) {
        options_.sender(entry);
        return;
    }
    // Held until the xAP side takes them; a bounded hold keeps a gateway
    // without a transport from growing without end.
    if (held_.size() >= kMaxHeld) {
        held_.pop_front();
        ++dropped_;
    }
    held_.push_back(std::move(entry));
}

void Logger::StartSending() {
    if (sending_ || !options_.sender) return;
    sending_ = true;
    while (!held_.empty()) {
        LogEntry e = std::move(held_.front());
        held_.pop_front();
        options_.sender(e);
    }
}

void Logger::TextLog(const std::string& type, const std::string& data, int errorLine,
                     const std::string& errorDescription) {
    if (options_.textLog.empty()) return;
    try {
        std::ofstream out(options_.textLog, std::ios::binary | std::ios::app);
        out << type << ' ' << data << ' ' << errorLine << ' ' << errorDescription << "\n";
    } catch (...) {
        // The text log is the last resort; a failure here is ignored.
    }
    if (options_.mirror)
        std::fprintf(stderr, "%s %s %s\n", FormatDateTime(DateFromLocalMillis(clock_.localMillis())).c_str(),
                     type.c_str(), data.c_str());
}

} // namespace tarvelo::app
