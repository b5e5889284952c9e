// Script text to tokens: "_" continues a line, "'" and Rem start comments,
// "" is a quote inside a string, &H/&O are hex and octal, #...# is a date.
#include "scripting/vbscript/Lexer.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "scripting/vbscript/TextForms.h"

namespace tarvelo::vbs {
namespace {

struct Keyword { const char* name; Tok tok; };
const Keyword kKeywords[] = {
    {"and", Tok::And}, {"byref", Tok::ByRef}, {"byval", Tok::ByVal}, {"call", Tok::Call}, {"case", Tok::Case},
    {"class", Tok::Class}, {"const", Tok::Const}, {"dim", Tok::Dim}, {"do", Tok::Do}, {"each", Tok::Each},
    {"else", Tok::Else}, {"elseif", Tok::ElseIf}, {"empty", Tok::Empty}, {"end", Tok::EndKw}, {"eqv", Tok::Eqv},
    {"erase", Tok::Erase}, {"exit", Tok::Exit}, {"false", Tok::False}, {"for", Tok::For},
    {"function", Tok::Function}, {"if", Tok::If}, {"imp", Tok::Imp}, {"in", Tok::In}, {"is", Tok::Is},
    {"loop", Tok::Loop}, {"me", Tok::Me}, {"mod", Tok::Mod}, {"new", Tok::New}, {"next", Tok::Next},
    {"not", Tok::Not}, {"nothing", Tok::Nothing}, {"null", Tok::Null}, {"on", Tok::On}, {"option", Tok::Option},
    {"or", Tok::Or}, {"private", Tok::Private}, {"property", Tok::Property}, {"public", Tok::Public},
    {"redim", Tok::ReDim}, {"select", Tok::Select}, {"set", Tok::Set}, {"sub", Tok::Sub}, {"then", Tok::Then},
    {"to", Tok::To}, {"true", Tok::True}, {"until", Tok::Until}, {"wend", Tok::Wend}, {"while", Tok::While},
    {"with", Tok::With}, {"xor", Tok::Xor},
};

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '_'; }
// A hex digit's value; 99 for anything else.
int DigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    char l = static_cast<char>(c | 0x20);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : 99;
}

}  // namespace

Lexer::Lexer(std::string_view source, int firstLine) : src_(source), line_(firstLine) {}

const Token& Lexer::Peek(size_t ahead) {
    while (ahead_.size() <= ahead) {
        offsets_.push_back(0);
        ahead_.push_back(Scan());
    }
    return ahead_[ahead];
}

Token Lexer::Next() {
    Peek();
    Token t = std::move(ahead_.front());
    ahead_.pop_front();
    offsets_.pop_front();
    return t;
}

size_t Lexer::Offset() {
    Peek();
    return offsets_.front();
}

Token Lexer::Scan() {
    Token t;
    bool space = false;
    for (;;) {
        char c = At(pos_);
        if (c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\0' ) {
            if (c == '\0' && pos_ >= src_.size()) break;
            ++pos_;
            space = true;
            continue;
        }
        if (c == '_' && !IsIdentChar(At(pos_ + 1))) {
            // Continuation: "_" then blanks then the end of the line.
            size_t p = pos_ + 1;
            while (At(p) == ' ' || At(p) == '\t') ++p;
            if (At(p) == '\r' && At(p + 1) == '\n') p += 2;
            else if (At(p) == '\n' || At(p) == '\r') p += 1;
            else if (p < src_.size()) Fail(1032, line_, static_cast<int>(pos_ - lineStart_) + 1);
            pos_ = p;
            ++line_;
            lineStart_ = p;
            space = true;
            continue;
        }
        if (c == '\'') {
            while (pos_ < src_.size() && src_[pos_] != '\n' && src_[pos_] != '\r') ++pos_;
            continue;
        }
        break;
    }
    t.spaceBefore = space;
    t.line = line_;
    t.col = static_cast<int>(pos_ - lineStart_) + 1;
    offsets_.back() = pos_;
    if (pos_ >= src_.size()) {
        t.kind = Tok::End;
        last_ = t.kind;
        return t;
    }
    char c = src_[pos_];
    auto one = [&](Tok k) { ++pos_; t.kind = k; };
    switch (c) {
    case '\r': case '\n':
        if (c == '\r' && At(pos_ + 1) == '\n') ++pos_;
        ++pos_;
        ++line_;
        lineStart_ = pos_;
        t.kind = Tok::Newline;
        break;
    case ':': one(Tok::Colon); break;
    case '(': one(Tok::LParen); break;
    case ')': one(Tok::RParen); break;
    case ',': one(Tok::Comma); break;
    case '+': one(Tok::Plus); break;
    case '-': one(Tok::Minus); break;
    case '*': one(Tok::Star); break;
    case '/': one(Tok::Slash); break;
    case '\\': one(Tok::Backslash); break;
    case '^': one(Tok::Caret); break;
    case '=':
        // "=>" and "=<" are spellings of ">=" and "<=".
        ++pos_;
        if (At(pos_) == '>') { ++pos_; t.kind = Tok::Ge; }
        else if (At(pos_) == '<') { ++pos_; t.kind = Tok::Le; }
        else t.kind = Tok::Eq;
        break;
    case '<':
        ++pos_;
        if (At(pos_) == '>') { ++pos_; t.kind = Tok::Ne; }
        else if (At(pos_) == '=') { ++pos_; t.kind = Tok::Le; }
        else t.kind = Tok::Lt;
        break;
    case '>':
        ++pos_;
        if (At(pos_) == '=') { ++pos_; t.kind = Tok::Ge; }
        else if (At(pos_) == '<') { ++pos_; t.kind = Tok::Ne; }  // "><" is "<>"
        else t.kind = Tok::Gt;
        break;
    case '"': {
        ++pos_;
        for (;;) {
            if (pos_ >= src_.size() || src_[pos_] == '\n' || src_[pos_] == '\r') Fail(1033, t.line, t.col);
            char ch = src_[pos_++];
            if (ch == '"') {
                if (At(pos_) == '"') { t.text += '"'; ++pos_; continue; }
                break;
            }
            t.text += ch;
        }
        t.kind = Tok::String;
        break;
    }
    case '#': {
        size_t p = pos_ + 1;
        while (p < src_.size() && src_[p] != '#' && src_[p] != '\n' && src_[p] != '\r') ++p;
        if (At(p) != '#') Fail(1032, t.line, t.col);
        double d;
        if (!ParseDateText(src_.substr(pos_ + 1, p - pos_ - 1), d)) Fail(1032, t.line, t.col);
        t.value = Value::Date(d);
        t.kind = Tok::Date;
        pos_ = p + 1;
        break;
    }
    case '&': {
        char k = static_cast<char>(At(pos_ + 1) | 0x20);
        int base = k == 'h' ? 16 : k == 'o' ? 8 : 0;
        // "&h" or "&o" starts a number only when a digit of that base follows:
        // "x &hi" is x & hi.
        if (!base || DigitValue(At(pos_ + 2)) >= base) {
            one(Tok::Amp);
            break;
        }
        size_t p = pos_ + 2;
        uint64_t acc = 0;
        for (;; ++p) {
            int d = DigitValue(At(p));
            if (d >= base) break;
            acc = acc * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
            if (acc > 0xFFFFFFFFull) Fail(1031, t.line, t.col);
        }
        // Up to 16 bits is an Integer pattern (&HFFFF is -1); a trailing "&" or more
        // digits make it a Long pattern (&HFFFF& is 65535). The value then takes the
        // smallest type that holds it, so &H10& and &HFFFFFFFF& are Integers.
        bool longPattern = At(p) == '&' || acc > 0xFFFF;
        if (At(p) == '&') ++p;
        int32_t v = longPattern ? static_cast<int32_t>(static_cast<uint32_t>(acc))
                                : static_cast<int16_t>(static_cast<uint16_t>(acc));
        t.value = Value::Integral(v);
        t.kind = Tok::Number;
        pos_ = p;
        break;
    }
    case '[': {
        size_t p = pos_ + 1;
        while (p < src_.size() && src_[p] != ']' && src_[p] != '\n' && src_[p] != '\r') ++p;
        if (At(p) != ']') Fail(1032, t.line, t.col);
        t.text = std::string(src_.substr(pos_ + 1, p - pos_ - 1));
        t.kind = Tok::Ident;
        pos_ = p + 1;
        break;
    }
    default:
        if (IsDigit(c) || (c == '.' && IsDigit(At(pos_ + 1)))) {
            size_t p = pos_;
            bool isFloat = false;
            while (IsDigit(At(p))) ++p;
            if (At(p) == '.' && IsDigit(At(p + 1))) { isFloat = true; ++p; while (IsDigit(At(p))) ++p; }
            else if (At(p) == '.' && (!IsAlpha(At(p + 1)) || (At(p + 1) | 0x20) == 'e')) { isFloat = true; ++p; }
            if ((At(p) | 0x20) == 'e' && (IsDigit(At(p + 1)) || ((At(p + 1) == '+' || At(p + 1) == '-') && IsDigit(At(p + 2))))) {
                isFloat = true;
                p += 2;
                while (IsDigit(At(p))) ++p;
            }
            if (IsAlpha(At(p)) || At(p) == '_') Fail(1031, t.line, t.col);  // "12abc"
            // Locale-free: the host program may run under a locale with a decimal comma.
            std::string_view text = src_.substr(pos_, p - pos_);
            double d = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
            if (ec == std::errc::result_out_of_range) {
                size_t e = text.find_first_of("eE");
                if (e == std::string_view::npos || text[e + 1] != '-') Fail(1031, t.line, t.col);
                d = 0;  // too small to hold: zero, not an error
            } else if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(d)) {
                Fail(1031, t.line, t.col);
            }
            if (!isFloat && d <= 32767) t.value = Value::Int(static_cast<int16_t>(d));
            else if (!isFloat && d <= 2147483647.0) t.value = Value::Long(static_cast<int32_t>(d));
            else t.value = Value::Double(d);
            t.kind = Tok::Number;
            pos_ = p;
            break;
        }
        if (c == '.') { one(Tok::Dot); break; }
        if (IsAlpha(c)) {
            size_t p = pos_;
            while (IsIdentChar(At(p))) ++p;
            std::string_view word = src_.substr(pos_, p - pos_);
            if (word.size() > 255) Fail(1030, t.line, t.col);
            pos_ = p;
            if (last_ != Tok::Dot) {
                if (NameEquals(word, "rem") ) {
                    while (pos_ < src_.size() && src_[pos_] != '\n' && src_[pos_] != '\r') ++pos_;
                    return Scan();
                }
                for (const Keyword& k : kKeywords)
                    if (NameEquals(word, k.name)) { t.kind = k.tok; break; }
            }
            if (t.kind == Tok::End) t.kind = Tok::Ident;
            t.text = std::string(word);
            break;
        }
        Fail(1032, t.line, t.col);
    }
    last_ = t.kind;
    return t;
}

}  // namespace tarvelo::vbs
