#pragma once
// Splits the text received from the PIM into lines ending in CR. Pure: the
// PIM connection feeds it and routes the lines it hands back.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelo::upb {

class LineFramer {
public:
    // Received text is taken only while the buffer holds fewer characters.
    static constexpr size_t kLimit = 2000;

    // Appends the text when the buffer is below the limit; otherwise the text
    // is dropped (and counted).
    void append(std::string_view text);

    // Takes the text before the first CR as a line and removes it with its CR.
    // False when no complete line is buffered or the hold flag is set. Line
    // feeds stay in the line.
    bool nextLine(std::string& line);

    // A buffer at the limit without a CR can never yield a line and would
    // refuse all further input: it is emptied. Returns the characters dropped.
    size_t dropIfStuck();

    void setHold(bool hold) { hold_ = hold; }
    bool hold() const { return hold_; }
    void clear();

    size_t size() const { return buffer_.size() - head_; }
    std::string_view pending() const { return std::string_view(buffer_).substr(head_); }

    // What was thrown away, for the status display.
    uint64_t droppedCharacters() const { return dropped_; }

private:
    std::string buffer_;
    size_t head_ = 0;  // start of the unconsumed text
    bool hold_ = false;
    uint64_t dropped_ = 0;
};

} // namespace tarvelo::upb
