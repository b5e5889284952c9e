#include "sim/SimProcess.h"

#include <memory>

#include "sim/SimPlatform.h"

namespace tarvelo::sim {

namespace {

class SimProcess final : public platform::Process {
public:
    explicit SimProcess(SimPlatform& platform) : platform_(platform) {}
    ~SimProcess() override { *alive_ = false; }

    bool start(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& workingDir) override {
        if (running_) return false;
        const SimProgram* registered = platform_.programs().find(program);
        if (!registered) return false;
        SimProgramRun run{program, arguments, workingDir};
        platform_.programs().started.push_back(run);
        running_ = true;
        ++generation_;
        later(registered->runMs, [this, registered = *registered, run] {
            int exitCode = registered.exitCode;
            if (registered.behaviour) {
                exitCode = -1;  // a behaviour that throws is a program that crashed
                platform_.runHandler("simulated program", [&] { exitCode = registered.behaviour(run); });
            }
            finish(exitCode);
        });
        return true;
    }

    bool running() const override { return running_; }

    void kill() override {
        if (!running_) return;
        ++generation_;  // its own end is not reached any more
        later(0, [this] { finish(-1); });
    }

private:
    void finish(int exitCode) {
        running_ = false;
        if (auto handler = onFinished) handler(exitCode);
    }

    void later(int64_t delayMs, std::function<void()> call) {
        platform_.at(delayMs, [this, alive = alive_, generation = generation_, call = std::move(call)] {
            if (*alive && generation == generation_) call();
        });
    }

    SimPlatform& platform_;
    bool running_ = false;
    uint64_t generation_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace

std::unique_ptr<platform::Process> SimPlatform::createProcess() { return std::make_unique<SimProcess>(*this); }

} // namespace tarvelo::sim
