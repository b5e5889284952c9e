#pragma once
// What tarvelo-xap prints: received datagrams read with the gateway's codec
// (heartbeats too), as blocks or one-line summaries, and the table of BSC
// answers that a query collects. Text in, text out.

#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"

namespace tarvelo::xapcli {

struct Received {
    std::string text;      // as received, CR LF read as LF, trailing NULs removed
    bool xap = false;      // a message or a heartbeat the codec could read
    bool heartbeat = false;
    std::string msgClass;
    std::string source;
    std::string target;
    std::string uid;
    std::string interval;  // heartbeats: interval= and port= ("" when absent)
    std::string port;
    std::vector<Section> sections;  // keys as written (trimmed), values trimmed
    std::string problem;   // why the codec stopped reading, "" when it did not
};

Received ParseDatagram(std::string_view datagram);

// An empty pattern lets everything through.
bool PassesFilters(const Received& message, const std::string& classPattern, const std::string& sourcePattern);

// Control characters (other than LF and TAB) as \xNN: a datagram must not be
// able to drive the terminal it is shown on.
std::string Printable(std::string_view text);

// A time-stamp line, the message text, and an empty line.
std::string FormatBlock(const std::string& time, const Received& message);
// One line: time, source, class, and the status items of the first section
// that has any.
std::string FormatBrief(const std::string& time, const Received& message);

// One component in a query's answers.
struct BscRow {
    std::string source;
    std::string uid;
    std::string io;     // "in" or "out"
    std::string state;
    std::string level;
    std::string text;   // Text, else DisplayText
    int values = 0;     // entries of its values list
};

// Whether the message is an info or values answer from a source that the
// query's wire target names (whether or not the table takes it in).
bool IsQueryAnswer(const Received& message, const std::string& wireTarget);

// Collects the answers to one xAPBSC.query: info, values and (newer) events
// from sources that `target` matches.
class AnswerTable {
public:
    explicit AnswerTable(std::string target) : target_(std::move(target)) {}
    // True when the message answered the query (and was taken in).
    bool Add(const Received& message);
    const std::vector<BscRow>& rows() const { return rows_; }
    // Column table with a heading; "" when there are no rows.
    std::string Format() const;

private:
    BscRow& row(const std::string& source);

    std::string target_;
    std::vector<BscRow> rows_;
};

// A command for one component, chosen from a query's answers.
struct PlannedCommand {
    std::string target;
    std::string state;
    std::string level;
};

// The commands for `action` (on, off, level or toggle) on each row. Inputs
// are not commanded, and toggle skips a row whose state is neither on nor
// off; each skipped row's source is added to `skipped`.
std::vector<PlannedCommand> PlanCommands(const std::vector<BscRow>& rows, BscAction action, const std::string& level,
                                         std::vector<std::string>* skipped);

} // namespace tarvelo::xapcli
