#include "sim/SimPlatform.h"

#include <algorithm>
#include <limits>

#include "sim/SimProcess.h"
#include "sim/SimStream.h"

namespace tarvelo::sim {

class SimTimer : public platform::Timer {
public:
    SimTimer(SimPlatform& p, std::shared_ptr<SimPlatform::TimerState> s) : p_(p), s_(std::move(s)) {}
    ~SimTimer() override {
        s_->alive = false;
        s_->enabled = false;
        s_->handler = nullptr;
    }
    void setInterval(int ms) override {
        s_->interval = ms;
        if (s_->enabled) p_.schedule(*s_);
    }
    int interval() const override { return s_->interval; }
    void setEnabled(bool on) override {
        if (on == s_->enabled) return;
        s_->enabled = on;
        if (on) p_.schedule(*s_);
    }
    bool enabled() const override { return s_->enabled; }
    void setHandler(std::function<void()> h) override { s_->handler = std::move(h); }

private:
    SimPlatform& p_;
    std::shared_ptr<SimPlatform::TimerState> s_;
};

SimPlatform::SimPlatform(int64_t start)
    : start_(start), streams_(std::make_unique<SimStreamNet>(*this)), programs_(std::make_unique<SimPrograms>()) {
    clock_.now_ = start;
}
SimPlatform::~SimPlatform() {
    // Pending calls may own simulated objects whose ends schedule more as they
    // go: drop them until nothing is left.
    while (!events_.empty() || !posted_.empty()) {
        auto events = std::move(events_);
        auto posted = std::move(posted_);
        events_.clear();
        posted_.clear();
    }
}

std::unique_ptr<platform::Timer> SimPlatform::createTimer() {
    auto state = std::make_shared<TimerState>();
    timers_.push_back(state);
    return std::make_unique<SimTimer>(*this, state);
}

void SimPlatform::schedule(TimerState& t) {
    t.due = clock_.now_ + t.interval;
    t.order = ++order_;
}

void SimPlatform::post(std::function<void()> call) { posted_.push_back(std::move(call)); }

void SimPlatform::at(int64_t delayMs, std::function<void()> call) {
    events_.push_back(Event{clock_.now_ + std::max<int64_t>(0, delayMs), ++order_, std::move(call)});
}

bool SimPlatform::runOneDue(bool mayAdvance) {
    if (!posted_.empty()) {
        auto call = std::move(posted_.front());
        posted_.pop_front();
        runHandler("posted call", call);
        return true;
    }
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [](auto& t) { return !t->alive; }), timers_.end());

    // Earliest due item: a timer that can tick, or a scheduled event.
    int64_t bestDue = std::numeric_limits<int64_t>::max();
    uint64_t bestOrder = std::numeric_limits<uint64_t>::max();
    std::shared_ptr<TimerState> bestTimer;
    size_t bestEvent = events_.size();
    for (auto& t : timers_) {
        if (!t->enabled || t->interval <= 0) continue;
        if (t->inHandler) {
            // A tick that falls due while its own handler runs is skipped.
            while (t->due <= clock_.now_) t->due += t->interval;
        }
        if (t->due < bestDue || (t->due == bestDue && t->order < bestOrder)) {
            bestDue = t->due;
            bestOrder = t->order;
            bestTimer = t;
        }
    }
    for (size_t i = 0; i < events_.size(); ++i) {
        const Event& e = events_[i];
        if (e.due < bestDue || (e.due == bestDue && e.order < bestOrder)) {
            bestDue = e.due;
            bestOrder = e.order;
            bestTimer = nullptr;
            bestEvent = i;
        }
    }
    if (bestDue == std::numeric_limits<int64_t>::max()) return false;
    if (bestDue > clock_.now_) {
        if (!mayAdvance) return false;
        clock_.now_ = bestDue;
    }
    if (bestTimer) {
        if (bestTimer->inHandler) return true;  // only in-handler timers: time moved on
        bestTimer->due = clock_.now_ + bestTimer->interval;
        bestTimer->order = ++order_;
        // However the handler ends, the timer must tick again.
        struct Leave {
            TimerState& timer;
            ~Leave() { timer.inHandler = false; }
        } leave{*bestTimer};
        bestTimer->inHandler = true;
        auto handler = bestTimer->handler;  // the handler may replace itself
        if (handler) runHandler("timer tick", handler);
    } else {
        auto call = std::move(events_[bestEvent].call);
        events_.erase(events_.begin() + static_cast<std::ptrdiff_t>(bestEvent));
        runHandler("event", call);
    }
    return true;
}

void SimPlatform::pumpOnce() {
    // Only in-handler timers left means nothing else can ever run.
    bool anything = !posted_.empty() || !events_.empty();
    if (!anything)
        for (auto& t : timers_)
            if (t->alive && t->enabled && t->interval > 0 && !t->inHandler) { anything = true; break; }
    if (!anything) throw SimStalled();
    while (!runOneDue(true)) throw SimStalled();
}

void SimPlatform::drain() {
    while (runOneDue(false)) {}
}

void SimPlatform::advance(int64_t ms) {
    const int64_t end = clock_.now_ + ms;
    while (true) {
        if (!posted_.empty()) { runOneDue(false); continue; }
        // Find whether something is due by `end`.
        int64_t next = std::numeric_limits<int64_t>::max();
        for (auto& t : timers_)
            if (t->alive && t->enabled && t->interval > 0 && !t->inHandler) next = std::min(next, t->due);
        for (auto& e : events_) next = std::min(next, e.due);
        if (next > end) break;
        runOneDue(true);
    }
    clock_.now_ = std::max(clock_.now_, end);  // time never goes back
}

void SimPlatform::runUntil(const std::function<bool()>& done, int64_t maxMs) {
    const int64_t limit = clock_.now_ + maxMs;
    while (!done()) {
        if (clock_.now_ > limit) throw std::runtime_error("runUntil: condition not met in time");
        pumpOnce();
    }
}

void SimPlatform::run() {
    quit_ = false;
    while (!quit_) pumpOnce();
}

std::unique_ptr<platform::TcpSocket> SimPlatform::createTcpSocket() {
    if (!tcpFactory) throw std::runtime_error("no simulated TCP network in this test");
    return tcpFactory();
}

std::unique_ptr<platform::SerialPort> SimPlatform::createSerialPort() {
    if (!serialFactory) throw std::runtime_error("no simulated serial line in this test");
    return serialFactory();
}

} // namespace tarvelo::sim
