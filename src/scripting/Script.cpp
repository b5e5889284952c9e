#include "scripting/Script.h"

#include <fstream>
#include <sstream>

#include "common/Text.h"
#include "scripting/vbscript/Encoding.h"
#include "scripting/vbscript/ScriptFiles.h"

namespace tarvelo::scripting {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> ReadFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buf;
    buf << in.rdbuf();
    return vbs::ScriptTextFromFile(buf.str());
}

} // namespace

fs::path Script::Resolve(const fs::path& scripts, const std::string& name) {
    if (name.find(':') != std::string::npos) return fs::path(name);
    if (!name.empty() && name.front() == '/') return fs::path(name);
    std::string relative = Replace(name, "\\", "/");
    while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
    return scripts / relative;
}

void Script::Add(const std::string& fileName, const std::string& moduleName) {
    fileName_ = fileName;
    moduleName_ = moduleName;
    engine_.AddModule(moduleName);
    added_ = true;
    Load(fileName);
}

void Script::Load(const std::string& fileName) {
    std::optional<std::string> text = ReadFile(Resolve(scripts_, fileName));
    if (!text) return;
    std::vector<std::string> notes;
    const auto pieces = vbs::ExpandIncludes(
        fileName, std::move(*text), [&](const std::string& name) { return ReadFile(Resolve(scripts_, name)); }, notes);
    for (const std::string& note : notes) log_.WriteLog("Tarvelo", note);
    vbs::ScriptModule module(engine_, moduleName_);
    for (const vbs::SourcePiece& piece : pieces) {
        try {
            module.AddCode(piece.text);
        } catch (const vbs::ScriptException& e) {
            const vbs::ScriptErrorInfo& err = e.info;
            log_.WriteLog("Tarvelo", "Error in script syntax " + err.Message() + " / " + piece.file + " " +
                                         err.Message() + "@ Line " + Dec(err.line) + " col " + Dec(err.column));
            engine_.Error().Clear();
        }
    }
}

vbs::Value Script::Run(const std::string& procedureName, const std::string& argument) {
    if (!added_) return {};
    engine_.Error().Clear();
    vbs::ScriptModule module(engine_, moduleName_);
    const vbs::ProcedureInfo* found = nullptr;
    const auto procedures = module.Procedures();
    for (const auto& p : procedures) {
        if (EqualsNoCase(p.name, procedureName)) {
            found = &p;
            break;
        }
    }
    if (!found) return {};
    try {
        std::vector<vbs::Value> args;
        if (found->numArgs > 0) args.push_back(vbs::Value::Str(argument));
        vbs::Value result = module.Run(found->name, std::move(args));
        return found->hasReturnValue ? result : vbs::Value();
    } catch (const vbs::ScriptException& e) {
        const vbs::ScriptErrorInfo& err = e.info;
        log_.WriteLog("Tarvelo", "Script Run Error " + err.Message() + " / " + Dec(err.number) + " - " +
                                     err.Message() + "@ Line " + Dec(err.line) + " col " + Dec(err.column));
        engine_.Error().Clear();
    }
    return {};
}

void ScriptVBS::RemoveMessageHandle(const std::string& handle) {
    for (auto it = handles_.begin(); it != handles_.end(); ++it) {
        if (EqualsNoCase(*it, handle)) {
            handles_.erase(it);
            return;
        }
    }
}

std::string ScriptVBS::MessageHandle() {
    if (handles_.empty()) return "";
    std::string h = std::move(handles_.front());
    handles_.pop_front();
    return h;
}

} // namespace tarvelo::scripting
