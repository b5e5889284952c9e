#pragma once
// The UPStart export import (ReadUPS): builds the whole model from the
// installation's export file, a comma-separated text written by the UPStart
// configuration tool on Windows.
//
// The text is split by two small pure pieces (ExportLines, SplitFields);
// the import itself reads it twice: header, link records and the usage scan
// in one reading, the device blocks in a second, then the scene module.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/Guard.h"
#include "model/Network.h"

namespace tarvelo::model {

// The lines of an export text. LF, CR LF and a lone CR all end a line; a
// last line without an ending still counts. Bytes pass through unchanged.
class ExportLines {
public:
    explicit ExportLines(std::string_view text) : text_(text) {}
    // The next line; false at the end of the text.
    bool next(std::string_view& line);
    std::string_view text() const { return text_; }
    // 1-based number of the line next() gave last; 0 before the first.
    size_t number() const { return number_; }

private:
    std::string_view text_;
    size_t pos_ = 0;
    size_t number_ = 0;
};

// Fields of a record, separated by ",": no quoting, no trimming. An empty
// line has one empty field.
void SplitFields(std::string_view line, std::vector<std::string_view>& fields);

class UpstartImport {
public:
    UpstartImport(Network& network, LogSink& log) : network_(network), log_(log) {}

    // Imports the export file at `path` into the network (replacing it once
    // the header is good). Problems are logged; nothing is thrown.
    void ReadUPS(const std::filesystem::path& path);
    // The same on export text already in memory.
    void ReadUPSText(std::string_view text);

private:
    struct Work;
    // A line the device pass acts on, found by the first pass: the device
    // pass never looks at the other lines again.
    struct Record {
        uint32_t offset = 0;
        uint32_t length = 0;
        uint32_t number = 0;  // line number, for messages
    };
    struct Records {
        std::vector<Record> kept;
        bool started = false;  // a line beginning "3" was seen
        // Keeps the line when the device pass acts on it. `type` is Type(line)
        // and `onLink255` OnLink255(line, type), which the caller has at hand.
        void keep(std::string_view text, std::string_view line, size_t number, char type, bool onLink255);
        // The record type when it is one character, else 0.
        static char Type(std::string_view line);
        // A component record ("4" to "7") that names link 255.
        static bool OnLink255(std::string_view line, char type);
    };

    void Import(std::string_view text);
    bool ReadHeaderAndLinks(ExportLines& lines, Records& records);  // false: bad header, model unchanged
    void ScanUsage(ExportLines& lines, Records& records);
    void ReadDevices(std::string_view text, const Records& records, size_t lineCount, size_t& at);
    void AddSceneModule();

    void DeviceRecord(Work& w, const std::vector<std::string_view>& f);
    void PresetRecord(Work& w, const std::vector<std::string_view>& f);
    void TransmitterRecord(Work& w, const std::vector<std::string_view>& f, int type);
    int16_t MaskFor(Work& w, int component);
    int16_t NextUID();

    Network& network_;
    LogSink& log_;
    int16_t virtualLink_ = 0;
};

} // namespace tarvelo::model
