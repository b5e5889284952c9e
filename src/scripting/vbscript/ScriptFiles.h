// Script files as the gateway's loader reads them: the file's bytes become the
// engine's text (Encoding.h), and each `#include "name"` directive is replaced
// by the named file's code, which reaches the engine first. The command-line
// runner uses the same rules, so a script that runs there loads in the gateway.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvelo::vbs {

// One file's code with its directives taken out, in the order it is to be added.
struct SourcePiece {
    std::string file;  // the name as written (the top file: as passed)
    std::string text;
};

// Reads a file by the name written in a directive; nullopt when there is none
// (a missing include is skipped, as the loader skips it).
using ReadScriptFile = std::function<std::optional<std::string>(const std::string& name)>;

// The pieces of `file` (whose text is given) and everything it includes,
// included files first. An
// include that would load a file already being loaded further up the chain is
// cut and reported in `notes`; a directive without its closing quote ends the
// expansion of that file (its remaining text is kept as it is).
std::vector<SourcePiece> ExpandIncludes(const std::string& file, std::string text, const ReadScriptFile& read,
                                        std::vector<std::string>& notes);

}  // namespace tarvelo::vbs
