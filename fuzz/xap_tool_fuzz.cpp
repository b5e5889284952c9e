// Fuzz target: any datagram as tarvelo-xap receives it, read, filtered,
// printed both ways and taken into a query's table; and the same bytes as an
// address pattern against an address. Nothing may crash or hang, and nothing
// printed may hold a control character other than LF and TAB.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Display.h"
#include "Messages.h"

using namespace tarvelo::xapcli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Received m = ParseDatagram(text);
    PassesFilters(m, "xAPBSC.*", "zantu.UPB.*:*porch*");
    AnswerTable table("zantu.*.*:>");
    table.Add(m);
    table.Add(m);
    const std::string shown = FormatBrief("t", m) + FormatBlock("t", m) + table.Format();
    for (char c : shown)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7F) std::abort();
    PlanCommands(table.rows(), BscAction::Toggle, "", nullptr);

    const size_t split = text.find('\n');
    if (split != std::string::npos) MatchAddress(text.substr(0, split), text.substr(split + 1));
    WireTarget(text);
    return 0;
}
