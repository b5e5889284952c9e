// "#include" expansion of script files.
#include "scripting/vbscript/ScriptFiles.h"

#include "scripting/vbscript/Value.h"

namespace tarvelo::vbs {
namespace {

size_t FindDirective(const std::string& text, size_t from) {
    static const std::string_view kWord = "#include";
    for (size_t i = from; i + kWord.size() <= text.size(); ++i)
        if (NameEquals(std::string_view(text).substr(i, kWord.size()), kWord)) return i;
    return std::string::npos;
}

std::string Trim(std::string s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

void Expand(const std::string& file, std::string text, const ReadScriptFile& read, std::vector<std::string>& chain,
            std::vector<SourcePiece>& out, std::vector<std::string>& notes) {
    chain.push_back(LowerName(file));
    for (size_t pos = 0;;) {
        size_t at = FindDirective(text, pos);
        if (at == std::string::npos) break;
        size_t open = text.find('"', at + 8);
        size_t close = open == std::string::npos ? open : text.find('"', open + 1);
        if (close == std::string::npos) break;
        std::string name = Trim(text.substr(open + 1, close - open - 1));
        text.erase(at, close + 1 - at);
        pos = at;
        bool loops = false;
        for (const auto& f : chain) loops = loops || f == LowerName(name);
        if (loops) {
            notes.push_back(file + ": #include \"" + name + "\" would load a file that is already being loaded; left out");
            continue;
        }
        if (std::optional<std::string> included = read(name))
            Expand(name, std::move(*included), read, chain, out, notes);
    }
    chain.pop_back();
    out.push_back({file, std::move(text)});
}

}  // namespace

std::vector<SourcePiece> ExpandIncludes(const std::string& file, std::string text, const ReadScriptFile& read,
                                        std::vector<std::string>& notes) {
    std::vector<SourcePiece> out;
    std::vector<std::string> chain;
    Expand(file, std::move(text), read, chain, out, notes);
    return out;
}

}  // namespace tarvelo::vbs
