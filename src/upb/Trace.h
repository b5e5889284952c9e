#pragma once
// The traffic trace: what the PIM said and what was sent to it, as the text
// the trace window shows. Written whether a window shows it or not; only the
// last 10000 characters are kept.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Platform.h"

namespace tarvelo::upb {

class Trace {
public:
    static constexpr size_t kMaxChars = 10000;

    struct Callbacks {
        // The text or the connection state changed. `scroll`: the last line
        // should come into view (never while frozen). Runs inside the writer:
        // a window only notes it and redraws later, so that writing never
        // pumps the loop under the PIM handler.
        std::function<void(bool scroll)> changed;
    };

    explicit Trace(const platform::Clock& clock, Callbacks callbacks = {})
        : clock_(clock), callbacks_(std::move(callbacks)) {}

    // A transmission: the bytes in their trace form, then EchoMessage.
    void EchoHex(std::string_view sent);
    // Appends the "Sent to PIM" line with its time stamps.
    void EchoMessage(std::string_view traceText);
    // Received text, one padded and stamped line per CR; nothing while frozen.
    void Received(std::string_view text);
    // "<try n>" at the end of the last complete line.
    void MarkAttempt(int number);

    void SetStatus(std::string text);
    const std::string& status() const { return status_; }

    // The trace text: its last kMaxChars characters.
    std::string_view text() const;
    void clear() { text_.clear(); }

    // The window's Freeze box: received text is not written, nothing scrolls.
    void setFrozen(bool frozen) { frozen_ = frozen; }
    bool frozen() const { return frozen_; }
    void setWindowOpen(bool open) { windowOpen_ = open; }
    bool windowOpen() const { return windowOpen_; }

    // A control character or one that sorts before "0" becomes "<hh>"; other
    // characters are copied, every second one followed by a blank.
    static std::string HexForm(std::string_view sent);
    // Seconds since midnight as the trace writes them ("25200.45").
    static std::string SecondsText(double seconds);

private:
    void append(std::string_view piece);
    // The time stamp texts, formatted once a second.
    const std::string& Stamp(bool withDate);
    // ScrollEchoWindows when `scroll`; a window redraws either way.
    void Changed(bool scroll);

    const platform::Clock& clock_;
    Callbacks callbacks_;
    // May hold up to twice kMaxChars; text() shows the tail. Cutting on every
    // write would move 10000 characters per line.
    std::string text_;
    std::string status_;
    bool frozen_ = false;
    bool windowOpen_ = false;
    int64_t stampSecond_ = -1;
    std::string dateTime_, time_;
};

} // namespace tarvelo::upb
