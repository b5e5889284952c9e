// Tokens of the script text, read on demand: a 5 MB script never becomes a
// token array. Every token carries its 1-based line and column.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "scripting/vbscript/Value.h"

namespace tarvelo::vbs {

enum class Tok : uint8_t {
    End, Newline, Colon, Ident, Number, String, Date,
    LParen, RParen, Comma, Dot, Plus, Minus, Star, Slash, Backslash, Caret, Amp,
    Eq, Ne, Lt, Le, Gt, Ge,
    // keywords
    And, ByRef, ByVal, Call, Case, Class, Const, Dim, Do, Each, Else, ElseIf, Empty, EndKw, Eqv, Erase,
    Exit, False, For, Function, If, Imp, In, Is, Loop, Me, Mod, New, Next, Not, Nothing, Null, On, Option,
    Or, Private, Property, Public, ReDim, Select, Set, Sub, Then, To, True, Until, Wend, While, With, Xor
};

struct Token {
    Tok kind = Tok::End;
    int line = 1;
    int col = 1;
    bool spaceBefore = false;  // blank before it: "a .b" (With) versus "a.b"
    std::string text;          // identifier spelling or string contents
    Value value;               // Number and Date literals
};

// A syntax error: number and position (1-based).
struct SyntaxError {
    int number;
    int line;
    int col;
};

class Lexer {
public:
    explicit Lexer(std::string_view source, int firstLine = 1);
    const Token& Peek(size_t ahead = 0);
    Token Next();
    std::string_view Source() const { return src_; }
    // Source offset of the start of the next token (for Execute-style text capture).
    size_t Offset();

private:
    Token Scan();
    [[noreturn]] void Fail(int number, int line, int col) const { throw SyntaxError{number, line, col}; }
    char At(size_t i) const { return i < src_.size() ? src_[i] : '\0'; }
    std::string_view src_;
    size_t pos_ = 0;
    int line_ = 1;
    size_t lineStart_ = 0;
    std::deque<Token> ahead_;
    std::deque<size_t> offsets_;
    Tok last_ = Tok::Newline;
};

}  // namespace tarvelo::vbs
