// The parser's state and helpers, shared by its three parts: declarations
// (Parser.cpp), statements (ParseStatements.cpp) and expressions
// (ParseExpressions.cpp). Not part of the engine's interface.
#pragma once

#include <initializer_list>

#include "scripting/vbscript/Parser.h"

namespace tarvelo::vbs {

class Parser {
public:
    explicit Parser(std::string_view src, int firstLine)
        : lex_(src, firstLine), stackTop_(static_cast<const char*>(__builtin_frame_address(0))) {}

    Chunk Program();
    ExprPtr WholeExpression();

private:
    // ------------------------------------------------------------ helpers
    const Token& Peek(size_t n = 0) { return lex_.Peek(n); }
    bool Is(Tok k, size_t n = 0) { return lex_.Peek(n).kind == k; }
    bool IsAny(std::initializer_list<Tok> ks) {
        Tok k = Peek().kind;
        for (Tok s : ks)
            if (k == s) return true;
        return false;
    }
    bool IsWord(const char* w, size_t n = 0) {
        const Token& t = lex_.Peek(n);
        return t.kind == Tok::Ident && NameEquals(t.text, w);
    }
    // "Property" names a variable, class or member wherever no property
    // declaration can start (a declaration needs Get, Let or Set after it).
    bool IsName(size_t n = 0) {
        Tok k = Peek(n).kind;
        return k == Tok::Ident || k == Tok::Property;
    }
    bool StartsPropertyDecl(size_t n = 0) {
        if (!Is(Tok::Property, n)) return false;
        return Is(Tok::Set, n + 1) || IsWord("let", n + 1) || IsWord("get", n + 1);
    }
    Token Take() { return lex_.Next(); }
    bool Accept(Tok k) {
        if (!Is(k)) return false;
        lex_.Next();
        return true;
    }
    void Expect(Tok k, int number) {
        if (!Accept(k)) Fail(number);
    }
    [[noreturn]] void Fail(int number) {
        const Token& t = Peek();
        throw SyntaxError{number, t.line, t.col};
    }
    std::string Ident() {
        if (!IsName()) Fail(1010);
        return Take().text;
    }
    // An identifier as a name node at its own position.
    std::unique_ptr<NameExpr> NameHere() {
        int line = Peek().line, col = Peek().col;
        return std::make_unique<NameExpr>(line, col, Ident());
    }
    bool AtStatementEnd() {
        Tok k = Peek().kind;
        return k == Tok::Newline || k == Tok::Colon || k == Tok::End || k == Tok::Else;
    }
    void EndOfStatement() {
        if (Is(Tok::Newline) || Is(Tok::Colon)) { Take(); return; }
        if (Is(Tok::End)) return;
        Fail(1025);
    }
    // After a class member: a separator, or the "End" of the class on the same line.
    void EndOfMember() {
        if (Is(Tok::EndKw)) return;
        EndOfStatement();
    }
    void SkipSeparators() {
        while (Is(Tok::Newline) || Is(Tok::Colon)) Take();
    }
    void SkipNewlines() {
        while (Is(Tok::Newline)) Take();
    }

    // Levels an operator or member chain added, given back when it ends.
    struct ChainDepth {
        Parser& p;
        int& n;
        ~ChainDepth() { p.depth_ -= n; }
    };
    struct Depth {
        Parser& p;
        int n;
        explicit Depth(Parser& parser, int levels = 1) : p(parser), n(levels) {
            p.depth_ += n;
            // The stack check catches builds whose frames are larger than planned (sanitizers).
            const char* here = static_cast<const char*>(__builtin_frame_address(0));
            if (p.depth_ > kMaxNesting || static_cast<size_t>(p.stackTop_ - here) > kParserStack) {
                const Token& t = p.Peek();
                throw SyntaxError{28, t.line, t.col};
            }
        }
        ~Depth() { p.depth_ -= n; }
    };
    static constexpr size_t kParserStack = 2u << 20;

    // ------------------------------------------------------------ declarations (Parser.cpp)
    void ParseTopLevel(Block& out);
    // A Sub or Function among statements of the script's own level (inside an
    // If block, say): declared for the whole script like any other.
    bool ParseNestedProc();
    ProcPtr ParseProc(bool isPublic, bool isDefault);
    void ParseClass();
    void ParseField(ClassDef& c, bool isPublic);
    StmtPtr ParseDim();
    StmtPtr ParseConst();
    void DeclareGlobal(const NameExpr& name);

    // ------------------------------------------------------------ statements (ParseStatements.cpp)
    // Statements up to (not including) one of the stop tokens.
    void ParseBlockUntil(Block& out, std::initializer_list<Tok> stops);
    StmtPtr ParseStatement();
    StmtPtr ParseExit(int line, int col);
    StmtPtr ParseOnError(int line, int col);
    StmtPtr ParseReDim(int line, int col);
    StmtPtr ParseCall(int line, int col);
    StmtPtr AssignOrCall();
    StmtPtr ParseIf();
    void SingleLine(Block& out);
    StmtPtr ParseSelect();
    StmtPtr ParseFor();
    StmtPtr ParseDo();

    // ------------------------------------------------------------ expressions (ParseExpressions.cpp)
    ExprPtr Target(bool callStatement);
    ExprPtr Postfix(ExprPtr e, bool callStatement);
    void ParseArgs(std::vector<ExprPtr>& args, bool inParens);
    ExprPtr Expr0() { return Climb(1); }
    ExprPtr Climb(int minPrec);
    ExprPtr Prefix();
    ExprPtr Primary();

    Lexer lex_;
    Chunk* chunk_ = nullptr;
    ClassDef* currentClass_ = nullptr;
    bool inClass_ = false;
    bool inProc_ = false;
    ProcKind procKind_ = ProcKind::Sub;
    const char* stackTop_;
    int depth_ = 0;
    int doDepth_ = 0;
    int forDepth_ = 0;
};

}  // namespace tarvelo::vbs
