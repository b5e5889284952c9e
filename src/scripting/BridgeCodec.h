#pragma once
// What travels over the host object's local socket. Every message is one
// frame: a 4-byte big-endian length, then the body. A call carries the member
// name and its arguments; the answer carries the result or the error the
// member raised. Values keep their script type: numbers, dates, texts,
// Empty, Null, Nothing, missing arguments, one-dimensional arrays and the
// host object's collections. Other objects cannot cross: as an argument they
// are error 13, as a result they arrive as Nothing.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scripting/vbscript/Runtime.h"

namespace tarvelo::scripting::bridge {

// Larger frames are refused: the peer is faulty or hostile.
constexpr uint32_t kMaxFrame = 64u << 20;

std::string Frame(std::string body);

// Splits a byte stream into frame bodies.
class FrameReader {
public:
    void Feed(std::string_view bytes) { buffer_.append(bytes); }
    // The next whole body; false when none is complete yet or the stream is bad.
    bool Next(std::string& body);
    // A frame longer than kMaxFrame was announced: the connection must end.
    bool bad() const { return bad_; }

private:
    std::string buffer_;
    size_t at_ = 0;
    bool bad_ = false;
};

struct Call {
    std::string member;
    std::vector<vbs::Value> args;
};

struct Answer {
    bool ok = true;
    vbs::Value value;
    int number = 0;
    std::string description;
    std::string source;
};

// Throw vbs::ScriptError 13 for a value that cannot cross.
std::string EncodeCall(std::string_view member, const vbs::CallArgs& args);
std::string EncodeResult(const vbs::Value& value);
std::string EncodeError(int number, const std::string& description, const std::string& source);

// False when the body is malformed.
bool DecodeCall(std::string_view body, Call& out);
bool DecodeAnswer(std::string_view body, Answer& out);

} // namespace tarvelo::scripting::bridge
