#pragma once
// A script file loaded into a named engine module ("#include" directives
// expanded, included code first), its procedures run by name, and the
// selection record of SelectXapMessage. Failures are logged (source
// "Tarvelo") and never reach the caller.

#include <deque>
#include <filesystem>
#include <string>

#include "common/Guard.h"
#include "scripting/vbscript/Engine.h"

namespace tarvelo::scripting {

class Script {
public:
    // `scripts`: the folder names without a path are found in.
    Script(vbs::Engine& engine, std::filesystem::path scripts, LogSink& log)
        : engine_(engine), scripts_(std::move(scripts)), log_(log) {}

    // Makes the module and loads the file into it. A missing file leaves the
    // module empty, without a message.
    void Add(const std::string& fileName, const std::string& moduleName);
    // Runs the first procedure named so (case ignored) with the argument when
    // it takes one; its result when it has one, else Empty. An unknown
    // procedure runs nothing and logs nothing; a run-time error is logged.
    vbs::Value Run(const std::string& procedureName, const std::string& argument);

    const std::string& FileName() const { return fileName_; }
    const std::string& ModuleName() const { return moduleName_; }

    // Where a script name leads: a name with a drive letter is kept; any
    // other is found under the scripts folder, "\" read as "/"; an absolute
    // path of this system stays as it is.
    static std::filesystem::path Resolve(const std::filesystem::path& scripts, const std::string& name);

private:
    void Load(const std::string& fileName);

    vbs::Engine& engine_;
    std::filesystem::path scripts_;
    LogSink& log_;
    std::string fileName_;
    std::string moduleName_;
    bool added_ = false;
};

// One selection made by SelectXapMessage; its texts are kept lower case.
class ScriptVBS {
public:
    std::string Schema, Source, Target, Section, ScriptFile;

    void AddMessageHandle(const std::string& handle) { handles_.push_back(handle); }
    // Removes the first handle equal to it, case ignored.
    void RemoveMessageHandle(const std::string& handle);
    int16_t MessageCount() const { return static_cast<int16_t>(handles_.size() > 32767 ? 32767 : handles_.size()); }
    // Takes the oldest handle; "" when there is none.
    std::string MessageHandle();

private:
    std::deque<std::string> handles_;
};

} // namespace tarvelo::scripting
