// TextStream: decoding in pieces, lines, and the Line/Column counters.
#include "scripting/vbscript/TextStream.h"

#include <cstdio>
#include <cstring>

#include "scripting/vbscript/Encoding.h"
#include "scripting/vbscript/OsCalls.h"

namespace tarvelo::vbs {

namespace {

constexpr size_t kPiece = 64 * 1024;

class FdChannel final : public ByteChannel {
public:
    FdChannel(int fd, bool owned) : fd_(fd), owned_(owned) {}
    ~FdChannel() override { Close(); }
    size_t Read(char* buffer, size_t size) override {
        int err = 0;
        long n = os::ReadFile(fd_, buffer, size, err);
        if (n < 0) Raise(os::ErrorNumberOfErrno(err));
        return static_cast<size_t>(n);
    }
    void Write(const char* data, size_t size) override {
        // The program's own standard streams: what it printed through stdio comes first.
        if (!owned_) std::fflush(nullptr);
        int err = 0;
        if (!os::WriteFile(fd_, data, size, err)) Raise(os::ErrorNumberOfErrno(err));
    }
    void Close() override {
        if (owned_) os::CloseFile(fd_);
        fd_ = -1;
    }
    size_t Remaining() const override { return fd_ >= 0 ? os::RemainingBytes(fd_) : 0; }

private:
    int fd_;
    bool owned_;
};

void AppendUtf16(std::string& out, uint32_t cp) {
    out += static_cast<char>(cp & 0xFF);
    out += static_cast<char>((cp >> 8) & 0xFF);
}

}  // namespace

std::unique_ptr<ByteChannel> FileChannel(int fd, bool owned) { return std::make_unique<FdChannel>(fd, owned); }

TextStream::TextStream(std::unique_ptr<ByteChannel> channel, bool reading, StreamText text, bool writeMark)
    : channel_(std::move(channel)), reading_(reading), text_(text), writeMark_(writeMark) {
    // A new Unicode file carries its mark even when nothing is written to it.
    if (!reading_ && writeMark_ && text_ == StreamText::Utf16LE) {
        channel_->Write("\xFF\xFE", 2);
        writeMark_ = false;
    }
}

TextStream::~TextStream() {
    if (!closed_) channel_->Close();
}

void TextStream::RequireOpen() const {
    if (closed_) Raise(54);
}
void TextStream::RequireReading() const {
    RequireOpen();
    if (!reading_) Raise(54);
}
void TextStream::RequireWriting() const {
    RequireOpen();
    if (reading_) Raise(54);
}

bool TextStream::Fill() {
    // Drop what was read once it is most of the buffer, so a long file is
    // never held whole and a long line is not copied over and over.
    if (pos_ > 0 && pos_ * 2 >= buf_.size()) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    const size_t before = buf_.size();
    while (buf_.size() == before) {
        if (!ended_) {
            char piece[kPiece];
            size_t n = channel_->Read(piece, sizeof piece);
            if (n == 0) {
                ended_ = true;
            } else if (decode_ == Decode::Bytes) {  // nothing to convert
                buf_.append(piece, n);
                continue;
            } else {
                raw_.append(piece, n);
            }
        }
        if (raw_.empty()) return false;
        if (decode_ == Decode::Unknown) {
            if (raw_.size() < 3 && !ended_) continue;
            auto u = [&](size_t i) { return i < raw_.size() ? static_cast<unsigned char>(raw_[i]) : 0; };
            if (u(0) == 0xFF && u(1) == 0xFE) {
                decode_ = Decode::Utf16LE;
                raw_.erase(0, 2);
            } else if (u(0) == 0xFE && u(1) == 0xFF) {
                decode_ = Decode::Utf16BE;
                raw_.erase(0, 2);
            } else if (u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF) {
                decode_ = Decode::Utf8;
                raw_.erase(0, 3);
            } else {
                decode_ = text_ == StreamText::Utf16LE ? Decode::Utf16LE : Decode::Bytes;
            }
        }
        size_t used = 0;
        if (decode_ == Decode::Bytes) {
            buf_ += raw_;
            used = raw_.size();
        } else if (decode_ == Decode::Utf8) {
            buf_.reserve(buf_.size() + raw_.size());
            while (used < raw_.size()) {
                auto c = static_cast<unsigned char>(raw_[used]);
                size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
                if (extra == 9) {  // not a lead byte: the byte as it is
                    buf_ += static_cast<char>(c);
                    ++used;
                    continue;
                }
                if (used + extra >= raw_.size() && !ended_ && extra > 0) break;  // the rest comes with the next piece
                uint32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1Fu : extra == 2 ? c & 0x0Fu : c & 0x07u;
                size_t k = 1;
                for (; k <= extra && used + k < raw_.size(); ++k) {
                    auto cc = static_cast<unsigned char>(raw_[used + k]);
                    if ((cc & 0xC0) != 0x80) break;
                    cp = (cp << 6) | (cc & 0x3Fu);
                }
                if (k != extra + 1) {
                    buf_ += static_cast<char>(c);
                    ++used;
                    continue;
                }
                buf_ += ByteOf(cp);
                used += k;
            }
        } else {
            const bool le = decode_ == Decode::Utf16LE;
            buf_.reserve(buf_.size() + raw_.size() / 2);
            while (used + 1 < raw_.size()) {
                auto lo = static_cast<unsigned char>(raw_[le ? used : used + 1]);
                auto hi = static_cast<unsigned char>(raw_[le ? used + 1 : used]);
                uint32_t unit = lo | (hi << 8u);
                if (unit >= 0xD800 && unit <= 0xDBFF) {  // a pair: one character the text cannot hold
                    if (used + 3 >= raw_.size() && !ended_) break;
                    if (used + 3 < raw_.size()) {
                        auto lo2 = static_cast<unsigned char>(raw_[le ? used + 2 : used + 3]);
                        auto hi2 = static_cast<unsigned char>(raw_[le ? used + 3 : used + 2]);
                        uint32_t next = lo2 | (hi2 << 8u);
                        if (next >= 0xDC00 && next <= 0xDFFF) used += 2;
                    }
                }
                buf_ += ByteOf(unit);
                used += 2;
            }
            if (ended_ && used + 1 == raw_.size()) used = raw_.size();  // an odd last byte
        }
        raw_.erase(0, used);
        if (ended_ && buf_.size() == before) {
            raw_.clear();
            return false;
        }
    }
    return true;
}

void TextStream::Take(size_t count, std::string* out) {
    const char* p = buf_.data() + pos_;
    if (out) out->append(p, count);
    const char* end = p + count;
    const char* lastLf = nullptr;
    for (const char* q = p; (q = static_cast<const char*>(std::memchr(q, '\n', static_cast<size_t>(end - q))));) {
        ++line_;
        lastLf = q++;
    }
    column_ = lastLf ? static_cast<int32_t>(end - lastLf) : column_ + static_cast<int32_t>(count);
    pos_ += count;
}

std::string TextStream::TakeLine(bool keep) {
    if (AtEndOfStream()) Raise(62);
    size_t scanned = 0;  // characters after pos_ known to hold no LF
    for (;;) {
        const char* from = buf_.data() + pos_ + scanned;
        auto* lf = static_cast<const char*>(std::memchr(from, '\n', buf_.size() - pos_ - scanned));
        if (lf) {
            size_t len = static_cast<size_t>(lf - (buf_.data() + pos_));
            std::string line;
            if (keep) line.assign(buf_, pos_, len - (len > 0 && buf_[pos_ + len - 1] == '\r' ? 1 : 0));
            pos_ += len + 1;
            ++line_;
            column_ = 1;
            return line;
        }
        scanned = buf_.size() - pos_;
        if (!Fill()) {
            std::string rest;
            Take(buf_.size() - pos_, keep ? &rest : nullptr);
            return rest;
        }
    }
}

std::string TextStream::ReadLine() {
    RequireReading();
    return TakeLine(true);
}

std::string TextStream::ReadAll() {
    RequireReading();
    if (AtEndOfStream()) Raise(62);
    buf_.reserve(buf_.size() + raw_.size() + channel_->Remaining());  // one allocation for a whole file
    while (Fill()) {
    }
    // The buffer becomes the result: a large file is not copied once more.
    const size_t from = pos_;
    Take(buf_.size() - pos_, nullptr);
    std::string all = std::move(buf_);
    all.erase(0, from);
    buf_.clear();
    pos_ = 0;
    return all;
}

bool TextStream::AtEndOfStream() {
    RequireReading();
    return pos_ == buf_.size() && !Fill();
}

void TextStream::CountWritten(const std::string& text) {
    size_t lf = text.rfind('\n');
    if (lf == std::string::npos) {
        column_ += static_cast<int32_t>(text.size());
        return;
    }
    for (char c : text)
        if (c == '\n') ++line_;
    column_ = static_cast<int32_t>(text.size() - lf);
}

void TextStream::Write(const std::string& text) {
    RequireWriting();
    if (text_ == StreamText::Bytes) {
        channel_->Write(text.data(), text.size());
    } else {
        std::string wide;
        wide.reserve(text.size() * 2);
        for (char c : text) AppendUtf16(wide, CodePointOf(static_cast<unsigned char>(c)));
        channel_->Write(wide.data(), wide.size());
    }
    CountWritten(text);
}

void TextStream::Close() {
    if (closed_) return;
    closed_ = true;
    channel_->Close();
}

Value TextStream::Invoke(std::string_view name, InvokeKind, CallArgs& a) {
    if (NameEquals(name, "ReadLine")) {
        a.Require(0, 0);
        return Value::Str(ReadLine());
    }
    if (NameEquals(name, "AtEndOfStream")) {
        a.Require(0, 0);
        return Value::Bool(AtEndOfStream());
    }
    if (NameEquals(name, "WriteLine")) {
        a.Require(0, 1);
        Write(a.Has(0) ? ToString(a[0]) + "\n" : std::string("\n"));
        return Value();
    }
    if (NameEquals(name, "Write")) {
        a.Require(1, 1);
        Write(ToString(a[0]));
        return Value();
    }
    if (NameEquals(name, "ReadAll")) {
        a.Require(0, 0);
        return Value::Str(ReadAll());
    }
    if (NameEquals(name, "Read") || NameEquals(name, "Skip")) {
        a.Require(1, 1);
        const bool keep = NameEquals(name, "Read");
        int32_t count = ToLong(a[0]);
        RequireReading();
        if (count < 0) Raise(5);
        if (AtEndOfStream()) Raise(62);
        const auto want = static_cast<size_t>(count);
        while (buf_.size() - pos_ < want && Fill()) {
        }
        std::string out;
        Take(std::min(want, buf_.size() - pos_), keep ? &out : nullptr);
        return keep ? Value::Str(std::move(out)) : Value();
    }
    if (NameEquals(name, "SkipLine")) {
        a.Require(0, 0);
        RequireReading();
        TakeLine(false);
        return Value();
    }
    if (NameEquals(name, "AtEndOfLine")) {
        a.Require(0, 0);
        if (AtEndOfStream()) return Value::Bool(true);
        char c = buf_[pos_];
        return Value::Bool(c == '\n' || c == '\r');
    }
    if (NameEquals(name, "WriteBlankLines")) {
        a.Require(1, 1);
        int32_t n = ToLong(a[0]);
        RequireWriting();
        if (n < 0) Raise(5);
        Write(std::string(static_cast<size_t>(n), '\n'));
        return Value();
    }
    if (NameEquals(name, "Line")) {
        a.Require(0, 0);
        return Value::Long(line_);
    }
    if (NameEquals(name, "Column")) {
        a.Require(0, 0);
        return Value::Long(column_);
    }
    if (NameEquals(name, "Close")) {
        a.Require(0, 0);
        Close();
        return Value();
    }
    Raise(438);
}

}  // namespace tarvelo::vbs
