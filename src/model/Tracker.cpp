#include "model/Tracker.h"

#include <cctype>
#include <cmath>

#include "common/Text.h"
#include "common/VbDate.h"

namespace tarvelo::model {

namespace {

// Characters at a 1-based position of the packet text; short text gives
// what is there (possibly nothing).
std::string Mid(const std::string& text, size_t position, size_t length) {
    if (position - 1 >= text.size()) return {};
    return text.substr(position - 1, length);
}

// The byte at a 1-based position. A packet cut short or holding other than
// hex digits is an error: reading it as 0 would switch devices off.
int ByteAt(const std::string& packet, size_t position) {
    const std::string digits = Mid(packet, position, 2);
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (digits.size() != 2 || !hex(digits[0]) || !hex(digits[1])) throw VbError("Type mismatch");
    return HexValue(digits);
}

// A hex id as the model's keys write it: decimal text, no leading zeros.
std::string HexId(const std::string& packet, size_t position) { return Dec(ByteAt(packet, position)); }

} // namespace

Tracker::Tracker(Network& network, LogSink& log, platform::Platform& platform, Callbacks callbacks)
    : network_(network), log_(log), platform_(platform), callbacks_(std::move(callbacks)) {}

Tracker::~Tracker() = default;

void Tracker::UPBReceive(const std::string& packet) {
    Guard(&log_, "UPBReceive", [&] {
        const std::string mdid = Mid(packet, 11, 2);
        if (mdid == "20" || mdid == "21") LinkCommand(packet, mdid);
        else if (mdid == "86") StateReport(packet);
    });
}

void Tracker::LinkCommand(const std::string& packet, const std::string& mdid) {
    const std::string linkId = HexId(packet, 7);
    const LinkEntry* entry = network_.findLink(linkId);
    if (!entry) {
        log_.WriteLog("Tarvelo", "Received Unrecognized Link Command " + mdid + " / " + packet);
        return;
    }
    const int16_t value = mdid == "20" ? 100 : 0;
    // Every used state of every module on the link follows it, whatever link
    // the state itself names: a device on a link changes as a whole.
    const std::vector<std::string> modules(entry->items.begin() + 3, entry->items.end());
    for (const std::string& id : modules) {
        // A module the import did not reach (it stopped early) has nothing to change.
        const std::shared_ptr<UPBModule>* found = network_.UPBModules.find(id);
        if (!found || !*found) continue;
        std::shared_ptr<UPBModule> module = *found;
        if (module->Kind == 5) continue;
        auto channels = module->ChannelCollection();
        for (const auto& channel : channels) {
            auto states = channel->LinkCollection;
            for (const auto& state : states)
                if (state->Used) SetLinkStateValue(state, value);
        }
    }
}

void Tracker::StateReport(const std::string& packet) {
    const std::string moduleId = HexId(packet, 9);
    if (callbacks_.RemovePendingStatusRequests) callbacks_.RemovePendingStatusRequests(moduleId);
    const std::shared_ptr<UPBModule>* found = network_.UPBModules.find(moduleId);
    if (!found || !*found) return;
    std::shared_ptr<UPBModule> module = *found;
    const int kind = module->Kind;
    auto channels = module->ChannelCollection();

    if (kind == 1 || kind == 3 || kind == 4 || kind == 5 || kind == 8) {
        // Unsigned: a first data byte of 0x80 or more is a valid status word.
        const uint16_t word =
            static_cast<uint16_t>(ByteAt(packet, 13) * 256 + ByteAt(packet, 15));
        for (const auto& channel : channels) {
            auto states = channel->LinkCollection;
            for (const auto& state : states) {
                const bool on = (static_cast<uint16_t>(state->StatusMask) & word) != 0;
                if (state->Value == 0 && on) SetLinkStateValue(state, 1);
                else if (state->Value != 0 && !on) SetLinkStateValue(state, 0);
            }
        }
    } else if (kind == 2) {
        const int16_t level = static_cast<int16_t>(ByteAt(packet, 13));
        for (const auto& channel : channels) {
            auto states = channel->LinkCollection;
            for (const auto& state : states) {
                if (state->Value == level) continue;
                state->Value = level;
                Notify(state);
            }
        }
    }
}

void Tracker::SetLinkStateValue(const std::shared_ptr<UPBLinkState>& state, int16_t newValue) {
    if (state->Timerindex > 0 && !ApplyDelayRule(*state, newValue)) return;

    const platform::Clock& clock = platform_.clock();
    double elapsed = clock.secondsSinceMidnight() - state->Milliseconds;
    // The stamp is rounded to a whole second, so a repeat within half a
    // second of it comes out slightly negative: that is not a new day. The
    // seconds count restarts when the date of the last change lies behind
    // today's (whole days are added, so the same time a day later is a day);
    // a difference beyond rounding on the same date means the clock was set
    // back (daylight saving), which counts as time gone by.
    const double days = std::floor(DateFromLocalMillis(clock.localMillis())) - std::floor(state->LastChange);
    if (days > 0) elapsed += 86400.0 * days;
    else if (elapsed < -1.0) elapsed += 86400.0;
    StampNow(*state, clock);
    if (elapsed > 1.0 || state->Value != newValue) {
        state->Sequence = network_.NextSequence();
        state->Value = newValue;
        Notify(state);
    }
}

bool Tracker::ApplyDelayRule(UPBLinkState& state, int16_t newValue) {
    const size_t t = static_cast<size_t>(state.Timerindex);
    if (t > timers_.size()) return true;
    DelayTimer& dt = timers_[t - 1];
    int32_t d = 0;
    if (!dt.timer->enabled()) {
        d = ToInt32(Val(state.Delay));
        // Without a delay there is nothing to hold on: off changes must go
        // through, or the state would stay on for good.
        if (d <= 0) return true;
    }
    const bool effectivelyOn = (newValue != 0) != state.Invert;
    if (!effectivelyOn) return !started();
    if (dt.timer->enabled()) {
        // Retriggered: the current interval starts again; the minutes left stay.
        dt.timer->setEnabled(false);
        dt.timer->setEnabled(true);
        return false;
    }
    int32_t minutes = 0;
    if (d >= 61) {
        minutes = d / 60;
        d %= 60;
        if (d == 0) {
            minutes -= 1;
            d = 60;
        }
    }
    dt.minutes = minutes;
    dt.timer->start(d * 1000);
    return true;
}

void Tracker::DelayOffTimerTick(size_t t) {
    Guard(&log_, "DelayOffTimer_Timer", [&] {
        DelayTimer& dt = timers_.at(t - 1);
        dt.minutes -= 1;
        if (dt.minutes >= 0) {
            dt.timer->setInterval(60000);
            return;
        }
        std::shared_ptr<UPBLinkState> state = dt.state;
        StampNow(*state, platform_.clock());
        state->Sequence = network_.NextSequence();
        state->Value = state->Invert ? 1 : 0;
        dt.timer->setEnabled(false);
        Notify(state);
    });
}

void Tracker::Notify(const std::shared_ptr<UPBLinkState>& state) {
    if (callbacks_.NotifyUPBState) callbacks_.NotifyUPBState(state);
}

void Tracker::ClearDelayTimers() {
    for (DelayTimer& dt : timers_) {
        dt.timer->setEnabled(false);
        if (dt.state) dt.state->Timerindex = 0;
    }
    timers_.clear();
}

int16_t Tracker::AddDelayTimer(const std::shared_ptr<UPBLinkState>& state) {
    if (timers_.size() >= 32767) throw VbError("Overflow");
    DelayTimer dt;
    dt.timer = platform_.createTimer();
    dt.state = state;
    const size_t t = timers_.size() + 1;
    dt.timer->setHandler([this, t] { DelayOffTimerTick(t); });
    timers_.push_back(std::move(dt));
    state->Timerindex = static_cast<int16_t>(t);
    return state->Timerindex;
}

bool Tracker::delayTimerRunning(int t) const {
    return t >= 1 && static_cast<size_t>(t) <= timers_.size() && timers_[t - 1].timer->enabled();
}

int Tracker::delayTimerInterval(int t) const {
    return t >= 1 && static_cast<size_t>(t) <= timers_.size() ? timers_[t - 1].timer->interval() : 0;
}

int32_t Tracker::delayMinutes(int t) const {
    return t >= 1 && static_cast<size_t>(t) <= timers_.size() ? timers_[t - 1].minutes : 0;
}

} // namespace tarvelo::model
