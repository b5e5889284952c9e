#include "app/Logger.h"

#include <cstdio>
#include <fstream>

#include "common/VbDate.h"

namespace tarvelo::app {

void Logger::WriteLog(const std::string& type, const std::string& data) {
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
