// The TextStream object of the file-system object, also the StdIn, StdOut and
// StdErr of a command started with WScript.Shell's Exec: reads lines,
// characters or everything, writes text and lines, and counts Line and Column.
//
// Reading takes files written on Windows as they are meant: a UTF-16 (either
// order) or UTF-8 byte-order mark selects that encoding whatever format was
// asked for, a line ends at LF or CR LF and ReadLine returns it without them.
// Files are read in pieces, so a long file or a long line costs only itself.
#pragma once

#include <memory>
#include <string>

#include "scripting/vbscript/Runtime.h"

namespace tarvelo::vbs {

// Where a stream's bytes come from or go to. Read returns 0 at the end; both
// raise the language's error on failure.
class ByteChannel {
public:
    virtual ~ByteChannel() = default;
    virtual size_t Read(char* buffer, size_t size) = 0;
    virtual void Write(const char* data, size_t size) = 0;
    virtual void Close() = 0;
    // Bytes still to come when known (a regular file), else 0.
    virtual size_t Remaining() const { return 0; }
};

enum class StreamText {
    Bytes,   // the engine's 8-bit text as it is (format 0, -2)
    Utf16LE  // format -1 ("Unicode"); writing a new file starts with its byte-order mark
};

// A descriptor opened by OsCalls, closed with the stream unless it is one of
// the program's own standard streams (owned false).
std::unique_ptr<ByteChannel> FileChannel(int fd, bool owned = true);

class TextStream final : public Object {
public:
    // reading: a stream to read from, else one to write to. writeMark: start
    // with the byte-order mark (a new or emptied Unicode file).
    TextStream(std::unique_ptr<ByteChannel> channel, bool reading, StreamText text, bool writeMark);
    ~TextStream() override;
    std::string TypeName() const override { return "TextStream"; }
    Value Invoke(std::string_view name, InvokeKind kind, CallArgs& args) override;

    // For C++ callers (and tests): the same as the script methods.
    std::string ReadLine();
    std::string ReadAll();
    bool AtEndOfStream();
    void Write(const std::string& text);
    void Close();

private:
    enum class Decode { Unknown, Bytes, Utf8, Utf16LE, Utf16BE };
    bool Fill();  // decodes one more piece into buf_; false at the end
    void Take(size_t count, std::string* out);  // consumes count characters of buf_
    std::string TakeLine(bool keep);
    void CountWritten(const std::string& text);
    void RequireOpen() const;
    void RequireReading() const;
    void RequireWriting() const;

    std::unique_ptr<ByteChannel> channel_;
    bool reading_;
    bool closed_ = false;
    bool ended_ = false;  // the channel has no more bytes
    StreamText text_;
    bool writeMark_;
    Decode decode_ = Decode::Unknown;
    std::string raw_;    // bytes read but not decoded yet (a split character)
    std::string buf_;    // decoded text
    size_t pos_ = 0;     // next character of buf_
    int32_t line_ = 1;
    int32_t column_ = 1;
};

}  // namespace tarvelo::vbs
