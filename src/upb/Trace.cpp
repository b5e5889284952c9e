#include "upb/Trace.h"

#include <cmath>

#include "common/Text.h"
#include "common/VbDate.h"

namespace tarvelo::upb {

namespace {
constexpr size_t kLineWidth = 92;
} // namespace

std::string Trace::HexForm(std::string_view sent) {
    std::string out;
    out.reserve(sent.size() * 2);
    bool blankNext = false;
    for (char c : sent) {
        if (static_cast<unsigned char>(c) < static_cast<unsigned char>('0')) {
            out += '<';
            out += Hex2(static_cast<unsigned char>(c));
            out += '>';
            continue;
        }
        out += c;
        if (blankNext) out += ' ';
        blankNext = !blankNext;
    }
    return out;
}

std::string Trace::SecondsText(double seconds) {
    // Integer arithmetic: a formatted double costs more than the rest of a
    // transmission's trace together.
    const long long hundredths = std::llround(seconds * 100.0);
    std::string s = std::to_string(hundredths / 100);
    const int fraction = static_cast<int>(hundredths % 100);
    if (fraction != 0) {
        s += '.';
        s += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) s += static_cast<char>('0' + fraction % 10);
    }
    return s;
}

const std::string& Trace::Stamp(bool withDate) {
    const int64_t ms = clock_.localMillis();
    const int64_t second = ms / 1000;
    if (second != stampSecond_) {
        const VbDate now = DateFromLocalMillis(ms);
        stampSecond_ = second;
        dateTime_ = FormatDateTime(now);
        time_ = FormatTime(now);
    }
    return withDate ? dateTime_ : time_;
}

void Trace::EchoHex(std::string_view sent) { EchoMessage(HexForm(sent)); }

void Trace::EchoMessage(std::string_view traceText) {
    std::string line;
    line.reserve(traceText.size() + 64);
    line += "\r\nSent to PIM ";
    line += traceText;
    line += "    <";
    line += Stamp(true);
    line += ' ';
    line += SecondsText(clock_.secondsSinceMidnight());
    line += ">\r\n";
    append(line);
    Changed(true);
}

void Trace::Received(std::string_view text) {
    if (frozen_) return;
    std::string stamp;
    size_t start = 0;
    while (start < text.size()) {
        const size_t cr = text.find('\r', start);
        if (cr == std::string_view::npos) {
            append(text.substr(start));
            break;
        }
        if (stamp.empty()) {
            stamp = "<" + Stamp(false) + " " + SecondsText(clock_.secondsSinceMidnight()) + ">\r\n";
        }
        std::string line(text.substr(start, cr - start));
        line.resize(kLineWidth, ' ');
        append(line);
        append(stamp);
        start = cr + 1;
    }
    Changed(windowOpen_);
}

void Trace::MarkAttempt(int number) {
    const std::string mark = "<try " + std::to_string(number) + ">";
    // Only a line break inside the kept text counts.
    const size_t windowStart = text_.size() > kMaxChars ? text_.size() - kMaxChars : 0;
    const size_t crlf = text_.rfind("\r\n");
    if (crlf != std::string::npos && crlf >= windowStart) text_.insert(crlf, mark);
    else append(mark);
    Changed(false);
}

void Trace::SetStatus(std::string text) {
    status_ = std::move(text);
    Changed(false);
}

std::string_view Trace::text() const {
    std::string_view all(text_);
    return all.size() > kMaxChars ? all.substr(all.size() - kMaxChars) : all;
}

void Trace::append(std::string_view piece) {
    text_.append(piece);
    if (text_.size() > 2 * kMaxChars) text_.erase(0, text_.size() - kMaxChars);
}

void Trace::Changed(bool scroll) {
    if (callbacks_.changed) callbacks_.changed(scroll && !frozen_);
}

} // namespace tarvelo::upb
