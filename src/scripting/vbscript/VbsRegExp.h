#pragma once
// The regular expressions of the RegExp object: the language's Perl-like
// syntax (classes, \d \w \s \b, groups, (?:) (?=) (?!), greedy and lazy
// quantifiers, back-references) over 8-bit text, with IgnoreCase folding
// Windows-1252 letters, Multiline making ^ and $ match at line breaks
// (\n or \r), and "." matching anything but \n.
//
// A backtracking matcher with its own heap stack: a long input never runs
// the C++ stack out, and a step budget stops patterns that would backtrack
// for ever (error 28, instead of hanging the caller).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo::vbs {

struct RegExpError {
    int number;  // 5017 syntax, 5018 quantifier, 5019 ']', 5020 ')', 5021 range, 28 too complex
    std::string description;
};

struct RegExpMatch {
    size_t index = 0;   // FirstIndex, 0-based
    size_t length = 0;
    std::string value;
    std::vector<std::optional<std::string>> subMatches;  // nullopt: the group took no part
};

class RegExpProgram;

class RegExp {
public:
    RegExp();
    ~RegExp();
    RegExp(const RegExp&) = delete;
    RegExp& operator=(const RegExp&) = delete;

    const std::string& Pattern() const { return pattern_; }
    void SetPattern(std::string pattern) { pattern_ = std::move(pattern); program_.reset(); }
    bool IgnoreCase() const { return ignoreCase_; }
    void SetIgnoreCase(bool on) { ignoreCase_ = on; program_.reset(); }
    bool Multiline() const { return multiline_; }
    void SetMultiline(bool on) { multiline_ = on; program_.reset(); }
    bool Global() const { return global_; }
    void SetGlobal(bool on) { global_ = on; }

    // These throw RegExpError (the pattern is compiled on first use).
    bool Test(std::string_view text);
    // Every match when Global, else the first one.
    std::vector<RegExpMatch> Execute(std::string_view text);
    // $1..$99, $& (match), $` (before it), $' (after it), $$ in the replacement.
    std::string Replace(std::string_view text, std::string_view replacement);

    // Check a pattern without keeping it; throws RegExpError.
    static void Compile(std::string_view pattern);

private:
    const RegExpProgram& Program();
    std::string pattern_;
    bool ignoreCase_ = false, multiline_ = false, global_ = false;
    std::shared_ptr<const RegExpProgram> program_;  // compiled on first use
};

} // namespace tarvelo::vbs
