// UPStart exports come from another program and from users' copies: any
// bytes must import without a fault, and whatever the import keeps must be a
// well-formed model (every state under its channel, every channel under its
// module, names and identifiers computable).
//
// Byte-level mutation rarely keeps a record's field count while changing one
// field to a telling value, and that is where the import's faults are (a
// channel field of "-1", a kind of 70000, a link id that names nothing). The
// fuzzer therefore also mutates whole records: a field set to a value from a
// short list, a record repeated, dropped, moved or added from the record
// shapes of the export format.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "model/UpstartImport.h"

namespace {
struct NullLog : tarvelo::LogSink {
    void WriteLog(const std::string&, const std::string&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvelo::model;
    NullLog log;
    Network net;
    UpstartImport(net, log).ReadUPSText(std::string_view(reinterpret_cast<const char*>(data), size));
    net.forEachState(
        [&](UPBModule& m, UPBChannel& c, const std::shared_ptr<UPBLinkState>& s) {
            if (s->channel().get() != &c || s->module().get() != &m) __builtin_trap();
            ComponentUID(*s);
            xapName(net, *s, &log);
        },
        true);
    net.UPBLinks.forEach([](const LinkEntry& e) {
        if (e.Count() < 3) __builtin_trap();
    });
    return 0;
}

#ifdef TARVELO_LIBFUZZER
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

// Values that sit on an edge of some field: none, negative, the current
// channel number before any channel, "no link", the ends of 16 bits, past
// the status-mask table, not a number.
const char* const kValues[] = {"-1", "0", "1", "2", "3", "4", "5", "7", "8", "9", "10", "255", "256", "-2",
                               "32767", "32768", "-32769", "70000", "1e9", "", "x", " 1", "-1x", "0255"};

// One record of each type the import reads (and some it skips), shaped as
// the configuration tool writes them.
const char* const kRecords[] = {
    "3,21,42,1,1,5,12,2,1,1,6,Hall,Lamp,0", "3,22,42,4,3,2,1,4,1,1,6,Office,Input,0",
    "3,23,42,4,30,2,0,5,1,2,4,Basement,IO,0", "3,24,42,5,1,3,2,1,1,6,0,Hall,Keypad,1",
    "3,25,42,4,8,1,8,3,2,0,12,Hall,Lamps,0", "4,0,0,21,5,100,3", "4,1,1,25,6,50,3", "4,0,2,23,255,100,0",
    "5,0,0,21,5,1,0,22,23,6,0,0,18,19", "6,0,0,24,1,1,0,1,0,1,0,1,0,1,1", "7,0,2,23,110,1,0,111,0,0",
    "8,0,21,1,3", "2,77,Extra Link", "1", "13,0,0,24,1,1,0", "17,0,0,24,All Off", "0,5,3,2,42,4711"};

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == ',') fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}

std::string JoinFields(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
    return out;
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
    std::minstd_rand rng(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    if (size == 0 || pick(5) == 0) return LLVMFuzzerMutate(data, size, maxSize);

    std::vector<std::string> lines = Lines(std::string_view(reinterpret_cast<const char*>(data), size));
    if (lines.empty()) lines.emplace_back(kRecords[pick(std::size(kRecords))]);
    const size_t at = pick(lines.size());
    switch (pick(6)) {
    case 0:
    case 1: {  // one field to an edge value, or to a field of another record
        std::vector<std::string> f = Fields(lines[at]);
        const size_t i = pick(f.size());
        if (pick(4) == 0) {
            std::vector<std::string> other = Fields(lines[pick(lines.size())]);
            f[i] = other[pick(other.size())];
        } else {
            f[i] = kValues[pick(std::size(kValues))];
        }
        lines[at] = JoinFields(f);
        break;
    }
    case 2: lines.insert(lines.begin() + static_cast<long>(pick(lines.size() + 1)), lines[at]); break;
    case 3: lines.erase(lines.begin() + static_cast<long>(at)); break;
    case 4: std::swap(lines[at], lines[pick(lines.size())]); break;
    default:
        lines.insert(lines.begin() + static_cast<long>(pick(lines.size() + 1)), kRecords[pick(std::size(kRecords))]);
        break;
    }
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    if (text.size() > maxSize) text.resize(maxSize);
    std::memcpy(data, text.data(), text.size());
    return text.size();
}
#endif
