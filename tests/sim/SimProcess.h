#pragma once
// Started processes on the simulation platform: a test registers the programs
// that exist, each with its virtual run time and exit code (or a behaviour
// that decides it), and reads back every start.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tarvelo::sim {

struct SimProgramRun {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDir;
};

struct SimProgram {
    int64_t runMs = 0;  // virtual time from start to end
    int exitCode = 0;
    // When set, runs as the program ends and gives its exit code.
    std::function<int(const SimProgramRun& run)> behaviour;
};

class SimPrograms {
public:
    // Starting any other program fails, as for a missing file.
    void add(const std::string& program, SimProgram registered) { programs_[program] = std::move(registered); }
    const SimProgram* find(const std::string& program) const {
        auto it = programs_.find(program);
        return it == programs_.end() ? nullptr : &it->second;
    }

    // Every successful start, in order.
    std::vector<SimProgramRun> started;

private:
    std::map<std::string, SimProgram> programs_;
};

} // namespace tarvelo::sim
