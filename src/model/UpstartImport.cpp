#include "model/UpstartImport.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/IniTool.h"
#include "common/Text.h"
#include "upb/codec/Packet.h"

namespace tarvelo::model {

namespace fs = std::filesystem;

namespace {
// An export is hundreds of kilobytes of short lines of short fields: line
// ends and commas are found eight bytes at a time. Marks() sets the 0x80 bit
// of each byte of `word` equal to the spread byte (exactly those).
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr bool kLittle = std::endian::native == std::endian::little;
inline uint64_t Marks(uint64_t word, uint64_t spread) {
    constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
    const uint64_t x = word ^ spread;  // a zero byte where the byte matched
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}
inline uint64_t Load(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// The first CR or LF from `from` on (text.size() when none).
size_t LineEnd(std::string_view text, size_t from) {
    size_t i = from;
#if defined(__SSE2__)
    // Sixteen bytes a step: a record line is done in two.
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const int m = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (m) return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(m)));
    }
#endif
    if constexpr (kLittle) {
        for (; i + 8 <= text.size(); i += 8) {
            const uint64_t w = Load(text.data() + i);
            const uint64_t m = Marks(w, kOnes * '\n') | Marks(w, kOnes * '\r');
            if (m) return i + static_cast<size_t>(std::countr_zero(m) >> 3);
        }
    }
    while (i < text.size() && text[i] != '\n' && text[i] != '\r') ++i;
    return i;
}
} // namespace

bool ExportLines::next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = LineEnd(text_, pos_);
    line = text_.substr(pos_, end - pos_);
    ++number_;
    if (end < text_.size() && text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') ++end;
    pos_ = end + 1;
    return true;
}

void SplitFields(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* start = begin;
    const char* p = begin;
    if constexpr (kLittle) {
        for (; end - p >= 8; p += 8) {
            for (uint64_t m = Marks(Load(p), kOnes * ','); m; m &= m - 1) {
                const char* comma = p + (std::countr_zero(m) >> 3);
                fields.emplace_back(start, static_cast<size_t>(comma - start));
                start = comma + 1;
            }
        }
    }
    for (; p != end; ++p) {
        if (*p != ',') continue;
        fields.emplace_back(start, static_cast<size_t>(p - start));
        start = p + 1;
    }
    fields.emplace_back(start, static_cast<size_t>(end - start));
}

namespace {

const char* const kPastEnd = "Input past end of file";

// Field i of a record; a missing field is an error, as indexing past the end
// of a split array is.
std::string_view Field(const std::vector<std::string_view>& f, size_t i) {
    if (i >= f.size()) throw VbError("Subscript out of range");
    return f[i];
}
std::string Text(const std::vector<std::string_view>& f, size_t i) { return std::string(Field(f, i)); }

// Val and the 16-bit rounding of a field. Fields are nearly always plain
// decimal integers: those are converted here; anything else (blanks, "&H",
// a fraction, an exponent) goes through Val.
int16_t Number(const std::vector<std::string_view>& f, size_t i) {
    const std::string_view t = Field(f, i);
    const bool negative = !t.empty() && t[0] == '-';
    const size_t first = negative ? 1 : 0;
    if (t.size() > first && t.size() - first <= 9) {
        int32_t v = 0;
        size_t k = first;
        for (; k < t.size() && t[k] >= '0' && t[k] <= '9'; ++k) v = v * 10 + (t[k] - '0');
        if (k == t.size()) {
            if (negative) v = -v;
            if (v < INT16_MIN || v > INT16_MAX) throw VbError("Overflow");
            return static_cast<int16_t>(v);
        }
    }
    return ToInt16(Val(t));
}

// Byte comparison without a library call: the values are a few bytes.
inline bool Same(const char* p, size_t n, std::string_view value) {
    if (n != value.size()) return false;
    for (size_t k = 0; k < n; ++k)
        if (p[k] != value[k]) return false;
    return true;
}

// Whether field i of a record exists and equals `value`, without splitting
// the record: most component records name link 255 (no link) and are
// skipped on this alone.
bool FieldIs(std::string_view line, size_t i, std::string_view value) {
#if defined(__SSE2__)
    // The commas of the first sixteen bytes at once: a component record's
    // link field nearly always ends within them.
    if (line.size() >= 16 && i >= 1 && i < 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data()));
        unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(','))));
        for (size_t k = 1; k < i && m; ++k) m &= m - 1;  // drop the first i - 1 commas
        if (m) {
            const size_t start = static_cast<size_t>(std::countr_zero(m)) + 1;
            m &= m - 1;
            if (m) {
                const size_t end = static_cast<size_t>(std::countr_zero(m));
                return Same(line.data() + start, end - start, value);
            }
        }
    }
#endif
    // Records are a few dozen bytes: a plain loop beats memchr's set-up.
    const char* p = line.data();
    const char* const end = p + line.size();
    for (; i > 0; --i) {
        while (p != end && *p != ',') ++p;
        if (p == end) return false;
        ++p;
    }
    const char* q = p;
    while (q != end && *q != ',') ++q;
    return Same(p, static_cast<size_t>(q - p), value);
}

} // namespace

// Working state of the device pass, reset at each device record.
struct UpstartImport::Work {
    std::shared_ptr<UPBModule> module;
    int32_t uidBase = 0;
    std::shared_ptr<UPBChannel> channel;
    // -1 after a device record, so that the first component record on any
    // channel starts a channel of its own.
    int channelNumber = -1;
    bool pending = false;    // the current channel is not attached yet
    bool moduleOwn = false;  // the pending channel holds the module's own state
    // The channel made for a dimmer's own state while it is still unattached:
    // a private link replaces it (one load, one component), a transmitter
    // record does not.
    std::shared_ptr<UPBChannel> own;
    int component = -1;
    int pair = 0;            // 1 after the first record of a kind 5 pair
    std::shared_ptr<UPBLinkState> last;
    bool kindReported = false;

    // Component records before any device record have no device to belong to.
    void requireModule() const {
        if (!module) throw VbError("Object variable or With block variable not set");
    }
    // A record whose channel field equals the current number before any
    // channel was made (e.g. "-1" on a device without an own state).
    void requireChannel() const {
        if (!channel) throw VbError("Object variable or With block variable not set");
    }

    void attachPending() {
        if (!pending || !module) return;
        channel->Parent = module;
        module->AddChannel(channel);
        pending = false;
        moduleOwn = false;
        if (channel == own) own.reset();
    }

    // replacesOwn: the record is a private-link preset, which stands for the
    // load that the pending own state would otherwise stand for twice.
    void newChannel(int number, bool replacesOwn) {
        if (pending && channel) {
            if (channel == own) {
                if (!replacesOwn) attachPending();
            } else if (!channel->LinkCollection.empty()) {
                // A pending channel that already holds states is attached
                // rather than dropped: its states are real components.
                attachPending();
            }
        }
        own.reset();
        channel = std::make_shared<UPBChannel>();
        channel->Channel = static_cast<int16_t>(number);
        channelNumber = number;
        pending = true;
        moduleOwn = false;
    }
};

void UpstartImport::ReadUPS(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        log_.WriteLog("Tarvelo", "UPStartExport not found at " + path.string());
        return;
    }
    std::string text;
    if (!Guard(&log_, "ReadUPS", [&] {
            if (!app::ReadWholeFile(path, text)) throw VbError("Path/File access error");
        }))
        return;
    ReadUPSText(text);
}

void UpstartImport::ReadUPSText(std::string_view text) {
    Guard(&log_, "ReadUPS", [&] { Import(text); });
}

void UpstartImport::Import(std::string_view text) {
    // Offsets of kept lines are 32-bit; a string that long is past what the
    // language holds anyway.
    if (text.size() > UINT32_MAX) throw VbError("Out of memory");
    ExportLines lines(text);
    Records records;
    size_t at = 0;  // the line the device pass is on
    // A failure names the export line it met, so that a user can find the
    // record among hundreds.
    auto where = [&](const VbError& e, size_t line) {
        return VbError(std::string(e.what()) + " at export line " + Dec(static_cast<long long>(line)), e.line());
    };
    try {
        if (!ReadHeaderAndLinks(lines, records)) return;
        ScanUsage(lines, records);
    } catch (const VbError& e) {
        throw where(e, lines.number());
    }
    try {
        ReadDevices(text, records, lines.number(), at);
    } catch (const VbError& e) {
        throw where(e, at);
    }
    AddSceneModule();
}

char UpstartImport::Records::Type(std::string_view line) {
    return line.size() == 1 || line[1] == ',' ? line[0] : '\0';
}

bool UpstartImport::Records::OnLink255(std::string_view line, char type) {
    return type >= '4' && type <= '7' && FieldIs(line, 4, "255");
}

void UpstartImport::Records::keep(std::string_view text, std::string_view line, size_t number, char type,
                                  bool onLink255) {
    if (line.empty()) return;
    // The device pass begins at the first line that begins with "3".
    if (!started) {
        if (line[0] != '3') return;
        started = true;
    }
    // It acts on records "1", "3" and "8", and on "4" to "7" unless they
    // name link 255; other types it skips.
    if (type == '1' || type == '3' || type == '8' || (type >= '4' && type <= '7' && !onLink255))
        kept.push_back({static_cast<uint32_t>(line.data() - text.data()), static_cast<uint32_t>(line.size()),
                        static_cast<uint32_t>(number)});
}

bool UpstartImport::ReadHeaderAndLinks(ExportLines& lines, Records& records) {
    std::vector<std::string_view> f;
    std::string_view header;
    if (!lines.next(header)) throw VbError(kPastEnd);
    SplitFields(header, f);
    if (f.size() < 4 || f[0] != "0") {
        log_.WriteLog("Tarvelo", "Invalid BOF Record " + std::string(header));
        return false;
    }
    const int16_t count = Number(f, 3);

    network_.UIDCounter = 0;
    network_.UPBModules.clear();
    network_.UPBLinks.clear();
    virtualLink_ = 0;

    for (int i = 1; i <= count; ++i) {
        std::string_view line;
        if (!lines.next(line)) throw VbError(kPastEnd);
        if (line.empty()) continue;  // still one of the N
        const char type = Records::Type(line);
        records.keep(lines.text(), line, lines.number(), type, Records::OnLink255(line, type));
        SplitFields(line, f);
        if (f.size() != 3) log_.WriteLog("Tarvelo", "Invalid Link Record " + std::string(line));
        if (f[0] != "2") log_.WriteLog("Tarvelo", "Invalid Link Record " + std::string(line));
        LinkEntry entry;
        // Room for the first module that uses the link, which the usage scan adds.
        entry.items.reserve(4);
        entry.items.emplace_back(Field(f, 1));
        entry.items.emplace_back(Field(f, 2));
        entry.items.emplace_back(Dec(NextUID()));
        const std::string key = entry.items[0] + "~";
        network_.UPBLinks.add(std::move(entry), key);
    }
    return true;
}

int16_t UpstartImport::NextUID() {
    if (network_.UIDCounter == INT16_MAX) throw VbError("Overflow");
    return ++network_.UIDCounter;
}

void UpstartImport::ScanUsage(ExportLines& lines, Records& records) {
    std::vector<std::string_view> f;
    std::string_view line;
    auto use = [&](std::string_view linkId, std::string_view moduleId) {
        // Keys are unique without regard to case; item 1 must still match exactly.
        LinkEntry* entry = network_.findLink(linkId);
        if (!entry || entry->items[0] != linkId) return;
        for (size_t i = 3; i < entry->items.size(); ++i)
            if (entry->items[i] == moduleId) return;
        entry->items.emplace_back(moduleId);
    };
    size_t devices = 0;
    records.kept.reserve(records.kept.size() + lines.text().size() / 64);
    while (lines.next(line)) {
        if (line.empty()) continue;
        const char t = Records::Type(line);
        // A component record on link 255 is skipped in both passes.
        const bool onLink255 = Records::OnLink255(line, t);
        records.keep(lines.text(), line, lines.number(), t, onLink255);
        if (t == '3') ++devices;
        if (onLink255) continue;
        // Only the records "4" and "5" count here: no other line is split.
        if (t != '4' && t != '5') continue;
        SplitFields(line, f);
        if (t == '4' && f.size() == 7) {
            use(f[4], f[3]);
        } else if (t == '5' && f.size() == 14) {
            use(f[4], f[3]);
            use(f[9], f[3]);
        }
    }
    // Device records add one module each (the scene module one more).
    network_.UPBModules.reserve(devices + 1);
}

void UpstartImport::ReadDevices(std::string_view text, const Records& records, size_t lineCount, size_t& at) {
    at = lineCount;  // running out of records is reading past the last line
    Work w;
    std::vector<std::string_view> f;
    for (const Record& r : records.kept) {
        const std::string_view line = text.substr(r.offset, r.length);
        at = r.number;
        const char type = line[0];  // kept records have a one-character type
        if (type == '3') {
            SplitFields(line, f);
            DeviceRecord(w, f);
        } else if (type == '8') {
            if (w.pending && !w.moduleOwn) w.attachPending();
        } else if (type == '4') {
            SplitFields(line, f);
            if (f.size() == 7) PresetRecord(w, f);
        } else if (type == '5' || type == '6' || type == '7') {
            SplitFields(line, f);
            const size_t need = type == '5' ? 14 : type == '6' ? 15 : 10;
            if (f.size() == need) TransmitterRecord(w, f, type - '0');
        } else if (type == '1') {
            w.attachPending();
            return;
        }
    }
    at = lineCount;
    throw VbError(kPastEnd);
}

void UpstartImport::DeviceRecord(Work& w, const std::vector<std::string_view>& f) {
    w.attachPending();
    w = Work{};
    network_.UIDCounter = 0;

    auto module = std::make_shared<UPBModule>();
    module->ModuleID = Text(f, 1);
    module->index = Number(f, 1);
    w.uidBase = static_cast<int32_t>(module->index) * 256;
    module->NetId = Text(f, 2);
    network_.NetworkId = module->NetId;
    module->Kind = Number(f, 7);
    module->Outputs = Number(f, 10);
    module->Inputs = Number(f, 9);
    module->Channels = Number(f, 8);
    module->Room = Field(f, 11);
    for (char& c : module->Room)
        if (c == ' ') c = '_';
    module->name = Text(f, 12);
    w.module = module;

    if (module->Kind == 2 || module->Kind == 3) {
        // The device's own state, switched through a virtual link of its own.
        w.channel = std::make_shared<UPBChannel>();
        w.channel->Channel = 0;
        w.channel->Parent = module;
        auto state = std::make_shared<UPBLinkState>();
        state->Componentindex = -1;
        state->UIDindex = w.uidBase + NextUID();
        state->StatusMask = 255;
        state->Controllable = true;
        if (virtualLink_ == INT16_MIN) throw VbError("Overflow");
        const std::string link = Dec(--virtualLink_);
        state->OnLink = state->OffLink = state->DefaultOnLink = state->DefaultOffLink = link;
        state->OnCommand = 32;
        state->DefaultOnLevel = 100;
        state->DefaultOnCommand = 32;
        state->DefaultOffCommand = 33;
        state->Values = upb::CommandList(module->Kind);
        w.channel->add(w.channel, state);
        w.pending = true;
        w.moduleOwn = true;
        w.own = w.channel;
    }
    network_.UPBModules.add(module->ModuleID, module);
}

int16_t UpstartImport::MaskFor(Work& w, int component) {
    const int kind = w.module->Kind;
    if (kind > 7) {
        // Thermostats, translators and RF units have no status bits we know:
        // their components are kept but not tracked. (A negative kind is no
        // device at all: the table lookup below fails and ends the import.)
        if (!w.kindReported) {
            w.kindReported = true;
            log_.WriteLog("Tarvelo", "ReadUPS Module " + w.module->ModuleID + " (" + w.module->name + ") of kind " +
                                         Dec(kind) + " is not tracked: kind outside the status-mask table");
        }
        return 0;
    }
    return StatusMaskFor(kind, component);
}

void UpstartImport::PresetRecord(Work& w, const std::vector<std::string_view>& f) {
    const std::string_view linkId = f[4];
    const LinkEntry* entry = network_.findLink(linkId);
    if (!entry) throw VbError("Invalid procedure call or argument");
    if (entry->Count() != 4) return;  // a scene, or nobody's: no module state
    w.requireModule();
    w.moduleOwn = false;

    const int number = Number(f, 1);
    if (number != w.channelNumber) {
        w.newChannel(number, /*replacesOwn=*/true);
        w.pair = 0;
    }
    w.requireChannel();
    const int kind = w.module->Kind;
    if (kind != 5 && w.component >= 0) {
        // Only the first such record of a device makes a state.
        w.pair ^= 1;
        return;
    }
    if (w.pair == 1) {
        // Second record of a kind 5 pair: it names the off link.
        w.last->OffLink = w.last->DefaultOffLink = linkId;
        w.last->OffCommand = w.last->DefaultOffCommand = 33;
        w.channel->add(w.channel, w.last);
        w.attachPending();
        w.pair ^= 1;
        return;
    }
    const int16_t uid = NextUID();
    ++w.component;
    auto state = std::make_shared<UPBLinkState>();
    state->Componentindex = static_cast<int16_t>(w.component);
    state->UIDindex = w.uidBase + uid;
    state->StatusMask = MaskFor(w, w.component);
    state->Controllable = true;
    state->Parent = w.channel;
    state->OnLink = state->DefaultOnLink = linkId;
    state->OnCommand = state->DefaultOnCommand = 32;
    state->DefaultOnLevel = Number(f, 5);
    state->Values = upb::CommandList(kind);
    if (kind != 5) {
        state->OffLink = state->DefaultOffLink = linkId;
        state->OffCommand = state->DefaultOffCommand = 33;
        w.channel->add(w.channel, state);
        w.attachPending();
    }
    w.last = state;
    w.pair = kind == 5 ? 1 : 0;
}

void UpstartImport::TransmitterRecord(Work& w, const std::vector<std::string_view>& f, int type) {
    w.requireModule();
    const int number = Number(f, 1);
    if (number != w.channelNumber) w.newChannel(number, /*replacesOwn=*/false);
    w.requireChannel();
    const int16_t uid = NextUID();
    if (type == 7) ++w.component;
    else w.component = 0;

    auto state = std::make_shared<UPBLinkState>();
    state->UIDindex = w.uidBase + uid;
    state->StatusMask = MaskFor(w, w.component);
    state->Controllable = false;
    if (type == 6) {
        state->OnLink = state->OffLink = Text(f, 4);
        state->Componentindex = 128;
    } else if (type == 5) {
        state->OnLink = Text(f, 4);
        state->OffLink = Text(f, 9);
        state->Componentindex = 128;
    } else {
        state->OnLink = state->DefaultOnLink = Text(f, 4);
        state->OffLink = state->DefaultOffLink = Text(f, 7);
        state->OnCommand = state->DefaultOnCommand = 32;
        state->OffCommand = state->DefaultOffCommand = 33;
        state->DefaultOnLevel = 1;
        state->Values = upb::CommandList(w.module->Kind);
        state->Componentindex = static_cast<int16_t>(w.component);
    }
    w.channel->add(w.channel, state);
}

void UpstartImport::AddSceneModule() {
    std::shared_ptr<UPBModule> scene;
    std::shared_ptr<UPBChannel> channel;
    int component = -1;
    network_.UPBLinks.forEach([&](const LinkEntry& entry) {
        if (entry.Count() <= 4) return;
        if (!scene) {
            scene = std::make_shared<UPBModule>();
            scene->ModuleID = "0";
            scene->index = 0;
            scene->NetId = network_.NetworkId;
            scene->Kind = 0;
            scene->Channels = 1;
            scene->Room = "Global";
            scene->name = "Scene";
            channel = std::make_shared<UPBChannel>();
            channel->Channel = 1;
            channel->Parent = scene;
        }
        ++component;
        auto state = std::make_shared<UPBLinkState>();
        state->Componentindex = static_cast<int16_t>(component);
        state->UIDindex = ToInt32(Val(entry.Item(3)));
        state->StatusMask = 255;
        state->Controllable = true;
        state->OnLink = state->OffLink = state->DefaultOnLink = state->DefaultOffLink = entry.Item(1);
        state->DefaultOnCommand = state->OnCommand = 32;
        state->DefaultOffCommand = state->OffCommand = 33;
        channel->add(channel, state);
    });
    if (!scene) return;
    scene->AddChannel(channel);
    network_.UPBModules.add("0", scene);
}

} // namespace tarvelo::model
