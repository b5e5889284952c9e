#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Logger.h"
#include "sim/SimPlatform.h"

using namespace tarvelo;
using namespace tarvelo::app;

namespace {
struct LogRig {
    sim::SimPlatform platform;
    std::vector<LogEntry> seen;  // as written (standard error and the observer)
    std::vector<LogEntry> sent;  // as handed to xAP
    Logger log{platform, {.mirror = false,
                          .observer = [this](const LogEntry& e) { seen.push_back(e); },
                          .sender = [this](const LogEntry& e) { sent.push_back(e); }}};
    size_t count(const std::string& data) const {
        return static_cast<size_t>(
            std::count_if(seen.begin(), seen.end(), [&](const LogEntry& e) { return e.data == data; }));
    }
};

const std::string kFault = "From XAP Line 118 Subscript out of range";
} // namespace

// A flood of one fault: a few entries a second get through, and once it has
// stopped one entry says how many were left out. Other entries are untouched.
TEST(Logger, RepeatedEntriesAreHeldToAFewASecondAndSummedUpOnce) {
    LogRig r;
    r.log.StartSending();
    for (int i = 0; i < 1000; ++i) r.platform.at(i * 2, [&] { r.log.WriteLog("Tarvelo", kFault); });
    for (int i = 0; i < 3; ++i) r.platform.at(500 + i, [&r, i] { r.log.WriteLog("Tarvelo", "Web Log " + std::to_string(i)); });
    r.platform.at(700, [&] { r.log.WriteLog("IniTool", kFault); });  // another type is another entry
    r.platform.advance(2000);
    const size_t through = r.count(kFault);
    EXPECT_EQ(through, 2u * Logger::kRepeatsPerSecond + 1);  // two seconds of flood, and the IniTool one
    const std::string summary = std::to_string(1000 - 2 * Logger::kRepeatsPerSecond) +
                                " more identical entries not logged: " + kFault;
    EXPECT_EQ(r.count(summary), 0u);  // not before the flood is over
    r.platform.advance(3000);
    EXPECT_EQ(r.count(summary), 1u);
    EXPECT_EQ(r.seen.back().type, "Tarvelo");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r.count("Web Log " + std::to_string(i)), 1u);
    EXPECT_EQ(r.log.repeatsLeftOut(), 1000u - 2 * Logger::kRepeatsPerSecond);
    EXPECT_EQ(r.sent.size(), r.seen.size());  // what is left out is not sent either

    // Later, the same fault is an entry again, with no summary.
    const size_t before = r.seen.size();
    r.log.WriteLog("Tarvelo", kFault);
    r.platform.advance(5000);
    EXPECT_EQ(r.seen.size(), before + 1);
}

TEST(Logger, ShutDownWritesTheSummaryOfAFloodStillGoingOn) {
    LogRig r;
    for (int i = 0; i < 10; ++i) r.log.WriteLog("Tarvelo", kFault);
    EXPECT_EQ(r.count(kFault), static_cast<size_t>(Logger::kRepeatsPerSecond));
    r.log.FlushRepeats();
    EXPECT_EQ(r.count("7 more identical entries not logged: " + kFault), 1u);
    // Held entries (xAP not ready) follow the same rule.
    EXPECT_EQ(r.log.held().size(), static_cast<size_t>(Logger::kRepeatsPerSecond) + 1);
}
