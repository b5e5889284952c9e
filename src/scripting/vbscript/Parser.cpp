// Statements, declarations and expressions to a syntax tree.
#include "scripting/vbscript/Parser.h"

namespace tarvelo::vbs {
namespace {

class Parser {
public:
    explicit Parser(std::string_view src, int firstLine)
        : lex_(src, firstLine), stackTop_(static_cast<const char*>(__builtin_frame_address(0))) {}

    Chunk Program() {
        Chunk chunk;
        chunk_ = &chunk;
        for (;;) {
            SkipSeparators();
            if (Is(Tok::End)) break;
            ParseTopLevel(chunk.statements);
            EndOfStatement();
        }
        return chunk;
    }

    ExprPtr WholeExpression() {
        SkipNewlines();
        ExprPtr e = Expr0();
        SkipNewlines();
        if (!Is(Tok::End)) Fail(1025);
        return e;
    }

private:
    // ------------------------------------------------------------ helpers
    const Token& Peek(size_t n = 0) { return lex_.Peek(n); }
    bool Is(Tok k, size_t n = 0) { return lex_.Peek(n).kind == k; }
    bool IsWord(const char* w, size_t n = 0) {
        const Token& t = lex_.Peek(n);
        return t.kind == Tok::Ident && NameEquals(t.text, w);
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
        if (!Is(Tok::Ident)) Fail(1010);
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

    // ------------------------------------------------------------ top level
    void ParseTopLevel(Block& out) {
        const Token& t = Peek();
        bool isPublic = true, isDefault = false, hadScope = false;
        if (t.kind == Tok::Option) {
            Take();
            if (!IsWord("explicit")) Fail(1002);
            Take();
            chunk_->optionExplicit = true;
            return;
        }
        if (t.kind == Tok::Public || t.kind == Tok::Private) {
            isPublic = t.kind == Tok::Public;
            hadScope = true;
            Take();
            if (IsWord("default")) {
                if (!isPublic) Fail(1057);
                Take();
                isDefault = true;
            }
        }
        Tok k = Peek().kind;
        if (k == Tok::Sub || k == Tok::Function || k == Tok::Property) {
            if (k == Tok::Property && !inClass_) Fail(1048);
            ProcPtr p = ParseProc(isPublic, isDefault);
            if (inClass_) currentClass_->procs.push_back(p);
            else chunk_->procs.push_back(p);
            return;
        }
        if (isDefault) Fail(1058);
        if (k == Tok::Class) {
            if (hadScope || inClass_) Fail(1024);
            ParseClass();
            return;
        }
        if (hadScope) {
            if (Is(Tok::Const)) { Take(); out.push_back(ParseConst(true)); return; }
            out.push_back(ParseDim(true));
            return;
        }
        if (k == Tok::Dim) {
            Take();
            out.push_back(ParseDim(true));
            return;
        }
        if (k == Tok::Const) {
            Take();
            out.push_back(ParseConst(true));
            return;
        }
        out.push_back(ParseStatement());
    }

    ProcPtr ParseProc(bool isPublic, bool isDefault) {
        if (inProc_) Fail(1024);
        auto p = std::make_shared<Proc>();
        Token kw = Take();
        p->line = kw.line;
        p->col = kw.col;
        p->isPublic = isPublic;
        p->isDefault = isDefault;
        if (kw.kind == Tok::Sub) p->kind = ProcKind::Sub;
        else if (kw.kind == Tok::Function) p->kind = ProcKind::Function;
        else {
            if (Is(Tok::Set)) { Take(); p->kind = ProcKind::PropSet; }
            else if (IsWord("let")) { Take(); p->kind = ProcKind::PropLet; }
            else if (IsWord("get")) { Take(); p->kind = ProcKind::PropGet; }
            else Fail(1049);
        }
        if (isDefault && (p->kind == ProcKind::PropLet || p->kind == ProcKind::PropSet)) Fail(1058);
        p->name = Ident();
        if (Accept(Tok::LParen)) {
            if (!Is(Tok::RParen)) {
                do {
                    Param prm;
                    if (Accept(Tok::ByVal)) prm.byVal = true;
                    else Accept(Tok::ByRef);
                    prm.name = Ident();
                    if (Accept(Tok::LParen)) Expect(Tok::RParen, 1006);
                    p->params.push_back(std::move(prm));
                } while (Accept(Tok::Comma));
            }
            Expect(Tok::RParen, 1006);
        }
        if ((p->kind == ProcKind::PropLet || p->kind == ProcKind::PropSet) && p->params.empty()) Fail(1054);
        inProc_ = true;
        procKind_ = p->kind;
        Block body;
        ParseBlockUntil(body, [&] { return Is(Tok::EndKw); });
        Expect(Tok::EndKw, 1014);
        Tok want = kw.kind;
        if (!Accept(want)) Fail(want == Tok::Sub ? 1016 : want == Tok::Function ? 1015 : 1050);
        inProc_ = false;
        p->body = std::move(body);
        return p;
    }

    void ParseClass() {
        Token kw = Take();
        auto c = std::make_shared<ClassDef>();
        c->name = Ident();
        c->line = kw.line;
        c->col = kw.col;
        inClass_ = true;
        currentClass_ = c.get();
        EndOfStatement();
        for (;;) {
            SkipSeparators();
            if (Is(Tok::EndKw)) break;
            if (Is(Tok::End)) Fail(1014);
            bool isPublic = true, isDefault = false;
            if (Is(Tok::Public) || Is(Tok::Private)) {
                isPublic = Take().kind == Tok::Public;
                if (IsWord("default")) {
                    if (!isPublic) Fail(1057);
                    Take();
                    isDefault = true;
                }
            } else if (Is(Tok::Dim)) {
                Take();
            } else if (!Is(Tok::Sub) && !Is(Tok::Function) && !Is(Tok::Property)) {
                Fail(1024);
            }
            if (Is(Tok::Sub) || Is(Tok::Function) || Is(Tok::Property)) {
                ProcPtr p = ParseProc(isPublic, isDefault);
                p->owner = c.get();
                c->procs.push_back(p);
            } else {
                if (isDefault) Fail(1058);
                do {
                    ClassDef::Field f;
                    f.name = Ident();
                    f.isPublic = isPublic;
                    if (Accept(Tok::LParen)) {
                        f.isArray = true;
                        if (!Is(Tok::RParen)) {
                            do {
                                if (!Is(Tok::Number)) Fail(1026);
                                f.dims.push_back(ToLong(Take().value));
                            } while (Accept(Tok::Comma));
                        }
                        Expect(Tok::RParen, 1006);
                    }
                    c->fields.push_back(std::move(f));
                } while (Accept(Tok::Comma));
            }
            EndOfStatement();
        }
        Take();
        if (!Accept(Tok::Class)) Fail(1047);
        inClass_ = false;
        currentClass_ = nullptr;
        chunk_->classes.push_back(std::move(c));
    }

    StmtPtr ParseDim(bool) {
        const Token& t = Peek();
        auto s = std::make_unique<DimStmt>(t.line, t.col);
        do {
            DimStmt::Item item;
            item.var = NameHere();
            if (Accept(Tok::LParen)) {
                item.isArray = true;
                if (!Is(Tok::RParen)) {
                    do item.bounds.push_back(Expr0());
                    while (Accept(Tok::Comma));
                }
                Expect(Tok::RParen, 1006);
            }
            if (!inProc_ && !inClass_) {
                chunk_->globals.push_back(LowerName(item.var->name));
                chunk_->globalPos.emplace_back(item.var->line, item.var->col);
            }
            s->items.push_back(std::move(item));
        } while (Accept(Tok::Comma));
        return s;
    }

    StmtPtr ParseConst(bool) {
        // Several constants become a block of assignments in a Nop-free wrapper.
        auto wrapper = std::make_unique<IfStmt>(Peek().line, Peek().col);
        Block items;
        do {
            auto name = NameHere();
            auto a = std::make_unique<AssignStmt>(name->line, name->col);
            if (!inProc_) {
                chunk_->globals.push_back(LowerName(name->name));
                chunk_->globalPos.emplace_back(name->line, name->col);
            }
            a->target = std::move(name);
            Expect(Tok::Eq, 1011);
            a->value = Expr0();
            a->isConst = true;
            items.push_back(std::move(a));
        } while (Accept(Tok::Comma));
        if (items.size() == 1) return std::move(items.front());
        // "If True Then" holding the assignments keeps one statement per Const line.
        wrapper->conds.push_back(std::make_unique<LiteralExpr>(wrapper->line, wrapper->col, Value::Bool(true), false));
        wrapper->blocks.push_back(std::move(items));
        return wrapper;
    }

    // ------------------------------------------------------------ blocks
    template <class Stop>
    void ParseBlockUntil(Block& out, Stop stop) {
        Depth d(*this);
        for (;;) {
            SkipSeparators();
            if (Is(Tok::End)) Fail(1014);
            if (stop()) return;
            const Token& t = Peek();
            if (t.kind == Tok::Sub || t.kind == Tok::Function || t.kind == Tok::Class ||
                t.kind == Tok::Property || t.kind == Tok::Public || t.kind == Tok::Private || t.kind == Tok::Option)
                Fail(1024);
            if (t.kind == Tok::Dim) {
                Take();
                out.push_back(ParseDim(false));
            } else if (t.kind == Tok::Const) {
                Take();
                out.push_back(ParseConst(false));
            } else {
                out.push_back(ParseStatement());
            }
            if (!Is(Tok::Newline) && !Is(Tok::Colon) && !stop()) Fail(1025);
        }
    }

    StmtPtr ParseStatement() {
        const Token& t = Peek();
        int line = t.line, col = t.col;
        switch (t.kind) {
        case Tok::If: return ParseIf();
        case Tok::Select: return ParseSelect();
        case Tok::For: return ParseFor();
        case Tok::Do: return ParseDo();
        case Tok::While: {
            Take();
            auto s = std::make_unique<DoStmt>(line, col);
            s->form = DoStmt::PreWhile;
            s->cond = Expr0();
            ParseBlockUntil(s->body, [&] { return Is(Tok::Wend); });
            Take();
            return s;
        }
        case Tok::Exit: {
            Take();
            ExitKind w = ExitKind::None;
            if (Accept(Tok::Do)) { w = ExitKind::Do; if (!doDepth_) Fail(1039); }
            else if (Accept(Tok::For)) { w = ExitKind::For; if (!forDepth_) Fail(1039); }
            else if (Accept(Tok::Sub)) { w = ExitKind::Sub; if (!inProc_ || procKind_ != ProcKind::Sub) Fail(1039); }
            else if (Accept(Tok::Function)) { w = ExitKind::Function; if (!inProc_ || procKind_ != ProcKind::Function) Fail(1039); }
            else if (Accept(Tok::Property)) {
                w = ExitKind::Property;
                if (!inProc_ || procKind_ == ProcKind::Sub || procKind_ == ProcKind::Function) Fail(1039);
            } else Fail(1039);
            return std::make_unique<ExitStmt>(line, col, w);
        }
        case Tok::On: {
            Take();
            if (!IsWord("error")) Fail(1002);
            Take();
            if (IsWord("resume")) {
                Take();
                if (!Accept(Tok::Next)) Fail(1002);
                return std::make_unique<OnErrorStmt>(line, col, true);
            }
            if (IsWord("goto")) {
                Take();
                if (!Is(Tok::Number) || ToLong(Peek().value) != 0) Fail(1002);
                Take();
                return std::make_unique<OnErrorStmt>(line, col, false);
            }
            Fail(1002);
        }
        case Tok::ReDim: {
            Take();
            auto s = std::make_unique<ReDimStmt>(line, col);
            if (IsWord("preserve")) { Take(); s->preserve = true; }
            do {
                ReDimStmt::Item item;
                auto name = NameHere();
                if (!inProc_) {
                    chunk_->globals.push_back(LowerName(name->name));
                    chunk_->globalPos.emplace_back(name->line, name->col);
                }
                item.var = std::move(name);
                Expect(Tok::LParen, 1005);
                do item.bounds.push_back(Expr0());
                while (Accept(Tok::Comma));
                Expect(Tok::RParen, 1006);
                s->items.push_back(std::move(item));
            } while (Accept(Tok::Comma));
            return s;
        }
        case Tok::Erase: {
            Take();
            auto s = std::make_unique<EraseStmt>(line, col);
            do s->vars.push_back(NameHere());
            while (Accept(Tok::Comma));
            return s;
        }
        case Tok::With: {
            Take();
            auto s = std::make_unique<WithStmt>(line, col);
            s->object = Expr0();
            ParseBlockUntil(s->body, [&] { return Is(Tok::EndKw); });
            Take();
            if (!Accept(Tok::With)) Fail(1029);
            return s;
        }
        case Tok::Set: {
            Take();
            auto s = std::make_unique<AssignStmt>(line, col);
            s->isSet = true;
            s->target = Target(false);
            Expect(Tok::Eq, 1011);
            s->value = Expr0();
            return s;
        }
        case Tok::Call: {
            Take();
            auto s = std::make_unique<CallStmt>(line, col);
            s->call = Target(false);
            return s;
        }
        case Tok::Ident: case Tok::Dot: case Tok::Me:
            if (t.kind == Tok::Ident && NameEquals(t.text, "let") && Peek(1).kind == Tok::Ident) Take();
            return AssignOrCall();
        case Tok::Loop: Fail(1038);
        case Tok::Next: Fail(1055);
        default: Fail(1024);
        }
    }

    // "target = value" or a call; the target decides: "Echo a = 1" passes a comparison.
    StmtPtr AssignOrCall() {
        const Token& t = Peek();
        int line = t.line, col = t.col;
        ExprPtr callee = Target(true);
        if (Is(Tok::Eq)) {
            Take();
            auto s = std::make_unique<AssignStmt>(line, col);
            s->target = std::move(callee);
            s->value = Expr0();
            if (s->target->kind == EK::Name && s->value->kind == EK::Binary) {
                auto* b = static_cast<BinaryExpr*>(s->value.get());
                if (b->op == BinOp::Concat && b->lhs->kind == EK::Name &&
                    NameEquals(static_cast<NameExpr*>(b->lhs.get())->name, static_cast<NameExpr*>(s->target.get())->name))
                    s->append = true;
            }
            return s;
        }
        auto s = std::make_unique<CallStmt>(line, col);
        if (AtStatementEnd()) {
            // "f(x)" as a statement: the parentheses belong to the argument.
            if (callee->kind == EK::Call) {
                auto* c = static_cast<CallExpr*>(callee.get());
                if (c->args.size() == 1 && c->args[0] && c->target->kind != EK::Call) {
                    const Expr* a = c->args[0].get();
                    c->args[0] = std::make_unique<ParenExpr>(a->line, a->col, std::move(c->args[0]));
                }
            }
            s->call = std::move(callee);
            return s;
        }
        auto call = std::make_unique<CallExpr>(callee->line, callee->col, std::move(callee));
        ParseArgs(call->args, false);
        s->call = std::move(call);
        return s;
    }

    // Assignment target or callee: name, .name (With), Me, then members and argument lists.
    // In a call statement, "(" after a blank starts the first argument instead.
    ExprPtr Target(bool callStatement) {
        const Token& t = Peek();
        ExprPtr e;
        if (t.kind == Tok::Ident) {
            e = std::make_unique<NameExpr>(t.line, t.col, t.text);
            Take();
        } else if (t.kind == Tok::Dot) {
            Take();
            const Token& n = Peek();
            int l = n.line, c = n.col;
            e = std::make_unique<MemberExpr>(l, c, nullptr, Ident());
        } else if (t.kind == Tok::Me) {
            e = std::make_unique<Expr>(EK::Me, t.line, t.col);
            Take();
        } else {
            Fail(1010);
        }
        return Postfix(std::move(e), callStatement);
    }

    ExprPtr Postfix(ExprPtr e, bool callStatement) {
        int chain = 0;
        ChainDepth restore{*this, chain};
        for (;;) {
            if (Is(Tok::Dot) || Is(Tok::LParen)) {
                ++chain;
                if (++depth_ > kMaxNesting) Fail(28);
            }
            if (Is(Tok::Dot) && !Peek().spaceBefore) {
                Take();
                const Token& n = Peek();
                int l = n.line, c = n.col;
                e = std::make_unique<MemberExpr>(l, c, std::move(e), Ident());
            } else if (Is(Tok::LParen)) {
                if (callStatement && Peek().spaceBefore) {
                    // "f (a), b" or "f (a) + 1": the parenthesis opens an argument.
                    size_t depth = 0, i = 0;
                    for (;; ++i) {
                        Tok k = Peek(i).kind;
                        if (k == Tok::LParen) ++depth;
                        else if (k == Tok::RParen && --depth == 0) break;
                        else if (k == Tok::End || k == Tok::Newline) break;
                    }
                    Tok after = Peek(i + 1).kind;
                    if (after != Tok::Newline && after != Tok::Colon && after != Tok::End && after != Tok::Else &&
                        after != Tok::Dot && after != Tok::LParen && after != Tok::Eq)
                        return e;
                }
                Take();
                auto call = std::make_unique<CallExpr>(e->line, e->col, std::move(e));
                if (!Is(Tok::RParen)) ParseArgs(call->args, true);
                Expect(Tok::RParen, 1006);
                e = std::move(call);
            } else {
                return e;
            }
        }
    }

    void ParseArgs(std::vector<ExprPtr>& args, bool inParens) {
        for (;;) {
            if (Is(Tok::Comma)) args.push_back(nullptr);
            else if (inParens ? Is(Tok::RParen) : AtStatementEnd()) { args.push_back(nullptr); return; }
            else args.push_back(Expr0());
            if (!Accept(Tok::Comma)) return;
        }
    }

    StmtPtr ParseIf() {
        Token kw = Take();
        auto s = std::make_unique<IfStmt>(kw.line, kw.col);
        s->conds.push_back(Expr0());
        Expect(Tok::Then, 1017);
        if (!Is(Tok::Newline) && !Is(Tok::End)) {
            // Single-line form: statements up to Else or the end of the line.
            Depth d(*this);
            s->blocks.emplace_back();
            SingleLine(s->blocks.back());
            if (Accept(Tok::Else)) {
                s->blocks.emplace_back();
                SingleLine(s->blocks.back());
            }
            if (Is(Tok::EndKw) && Peek(1).kind == Tok::If) { Take(); Take(); }
            return s;
        }
        auto stop = [&] { return Is(Tok::ElseIf) || Is(Tok::Else) || Is(Tok::EndKw); };
        s->blocks.emplace_back();
        ParseBlockUntil(s->blocks.back(), stop);
        while (Accept(Tok::ElseIf)) {
            s->conds.push_back(Expr0());
            Expect(Tok::Then, 1017);
            s->blocks.emplace_back();
            ParseBlockUntil(s->blocks.back(), stop);
        }
        if (Accept(Tok::Else)) {
            s->blocks.emplace_back();
            ParseBlockUntil(s->blocks.back(), [&] { return Is(Tok::EndKw); });
        }
        Expect(Tok::EndKw, 1014);
        Expect(Tok::If, 1012);
        return s;
    }

    void SingleLine(Block& out) {
        for (;;) {
            while (Accept(Tok::Colon)) {}
            if (Is(Tok::Newline) || Is(Tok::End) || Is(Tok::Else)) return;
            if (Is(Tok::EndKw) && Peek(1).kind == Tok::If) return;
            if (Is(Tok::Dim)) { Take(); out.push_back(ParseDim(false)); }
            else out.push_back(ParseStatement());
            if (!Is(Tok::Colon) && !Is(Tok::Newline) && !Is(Tok::End) && !Is(Tok::Else) && !Is(Tok::EndKw)) Fail(1025);
        }
    }

    StmtPtr ParseSelect() {
        Token kw = Take();
        auto s = std::make_unique<SelectStmt>(kw.line, kw.col);
        Expect(Tok::Case, 1021);
        s->subject = Expr0();
        Depth d(*this);
        for (;;) {
            SkipSeparators();
            if (Is(Tok::EndKw)) break;
            if (!Is(Tok::Case)) Fail(Is(Tok::End) ? 1014 : 1021);
            Token ck = Take();
            SelectStmt::Case c;
            c.line = ck.line;
            c.col = ck.col;
            if (Accept(Tok::Else)) {
                c.isElse = true;
            } else {
                // No "To" ranges and no "Is" comparisons: an expression list only.
                do c.values.push_back(Expr0());
                while (Accept(Tok::Comma));
            }
            if (!Is(Tok::Newline) && !Is(Tok::Colon)) Fail(1025);
            ParseBlockUntil(c.body, [&] { return Is(Tok::Case) || Is(Tok::EndKw); });
            bool wasElse = c.isElse;
            s->cases.push_back(std::move(c));
            if (wasElse) {
                SkipSeparators();
                if (!Is(Tok::EndKw)) Fail(1014);
            }
        }
        Take();
        Expect(Tok::Select, 1022);
        return s;
    }

    StmtPtr ParseFor() {
        Token kw = Take();
        if (Accept(Tok::Each)) {
            auto s = std::make_unique<ForEachStmt>(kw.line, kw.col);
            s->var = NameHere();
            Expect(Tok::In, 1046);
            s->collection = Expr0();
            ++forDepth_;
            ParseBlockUntil(s->body, [&] { return Is(Tok::Next); });
            --forDepth_;
            Take();
            return s;
        }
        auto s = std::make_unique<ForStmt>(kw.line, kw.col);
        if (!Is(Tok::Ident)) Fail(1040);
        s->var = NameHere();
        Expect(Tok::Eq, 1011);
        s->from = Expr0();
        Expect(Tok::To, 1013);
        s->to = Expr0();
        if (IsWord("step")) {
            Take();
            s->step = Expr0();
        }
        ++forDepth_;
        ParseBlockUntil(s->body, [&] { return Is(Tok::Next); });
        --forDepth_;
        Take();
        if (Is(Tok::Ident)) Take();  // "Next i"
        return s;
    }

    StmtPtr ParseDo() {
        Token kw = Take();
        auto s = std::make_unique<DoStmt>(kw.line, kw.col);
        if (Accept(Tok::While)) { s->form = DoStmt::PreWhile; s->cond = Expr0(); }
        else if (Accept(Tok::Until)) { s->form = DoStmt::PreUntil; s->cond = Expr0(); }
        else if (!Is(Tok::Newline) && !Is(Tok::Colon)) Fail(1028);
        ++doDepth_;
        ParseBlockUntil(s->body, [&] { return Is(Tok::Loop); });
        --doDepth_;
        Take();
        if (Accept(Tok::While)) {
            if (s->form != DoStmt::Plain) Fail(1025);
            s->form = DoStmt::PostWhile;
            s->cond = Expr0();
        } else if (Accept(Tok::Until)) {
            if (s->form != DoStmt::Plain) Fail(1025);
            s->form = DoStmt::PostUntil;
            s->cond = Expr0();
        }
        return s;
    }

    // ------------------------------------------------------------ expressions
    // Precedence climbing over the language's table, loosest first:
    // Imp, Eqv, Xor, Or, And, (Not), comparisons and Is, &, + -, Mod, \, * /, (unary -), ^.
    static int Precedence(Tok k, BinOp& op) {
        switch (k) {
        case Tok::Imp: op = BinOp::Imp; return 1;
        case Tok::Eqv: op = BinOp::Eqv; return 2;
        case Tok::Xor: op = BinOp::Xor; return 3;
        case Tok::Or: op = BinOp::Or; return 4;
        case Tok::And: op = BinOp::And; return 5;
        case Tok::Eq: op = BinOp::Eq; return 7;
        case Tok::Ne: op = BinOp::Ne; return 7;
        case Tok::Lt: op = BinOp::Lt; return 7;
        case Tok::Le: op = BinOp::Le; return 7;
        case Tok::Gt: op = BinOp::Gt; return 7;
        case Tok::Ge: op = BinOp::Ge; return 7;
        case Tok::Is: op = BinOp::Is; return 7;
        case Tok::Amp: op = BinOp::Concat; return 8;
        case Tok::Plus: op = BinOp::Add; return 9;
        case Tok::Minus: op = BinOp::Sub; return 9;
        case Tok::Mod: op = BinOp::Mod; return 10;
        case Tok::Backslash: op = BinOp::IntDiv; return 11;
        case Tok::Star: op = BinOp::Mul; return 12;
        case Tok::Slash: op = BinOp::Div; return 12;
        case Tok::Caret: op = BinOp::Pow; return 14;
        default: return 0;
        }
    }
    static constexpr int kNotLevel = 6;
    static constexpr int kNegLevel = 13;

    ExprPtr Expr0() { return Climb(1); }

    // Operators of at least minPrec, all left-associative.
    ExprPtr Climb(int minPrec) {
        Depth d(*this);
        ExprPtr lhs = Prefix();
        int chain = 0;
        ChainDepth restore{*this, chain};
        for (;;) {
            const Token& t = Peek();
            BinOp op;
            int prec = Precedence(t.kind, op);
            if (prec == 0 || prec < minPrec) return lhs;
            // Each operator of a chain deepens the (left-leaning) tree by one.
            ++chain;
            if (++depth_ > kMaxNesting) throw SyntaxError{28, t.line, t.col};
            int l = t.line, c = t.col;
            Take();
            ExprPtr rhs = Climb(prec + 1);
            lhs = std::make_unique<BinaryExpr>(l, c, op, std::move(lhs), std::move(rhs));
        }
    }

    // Not binds looser than comparisons, negation looser than ^ only: "Not a = b" is Not (a = b), "-2 ^ 2" is -4.
    ExprPtr Prefix() {
        const Token& t = Peek();
        if (t.kind == Tok::Not || t.kind == Tok::Minus || t.kind == Tok::Plus) {
            Depth d(*this);
            Token op = Take();
            ExprPtr operand = Climb(op.kind == Tok::Not ? kNotLevel + 1 : kNegLevel + 1);
            if (op.kind == Tok::Plus) return operand;
            return std::make_unique<UnaryExpr>(op.line, op.col, op.kind == Tok::Not, std::move(operand));
        }
        return Primary();
    }

    ExprPtr Primary() {
        const Token& t = Peek();
        int l = t.line, c = t.col;
        switch (t.kind) {
        case Tok::Number: return std::make_unique<LiteralExpr>(l, c, Take().value, true);
        case Tok::String: return std::make_unique<LiteralExpr>(l, c, Value::Str(Take().text), false);
        case Tok::Date: return std::make_unique<LiteralExpr>(l, c, Take().value, false);
        case Tok::True: Take(); return std::make_unique<LiteralExpr>(l, c, Value::Bool(true), false);
        case Tok::False: Take(); return std::make_unique<LiteralExpr>(l, c, Value::Bool(false), false);
        case Tok::Empty: Take(); return std::make_unique<LiteralExpr>(l, c, Value(), false);
        case Tok::Null: Take(); return std::make_unique<LiteralExpr>(l, c, Value::Null(), false);
        case Tok::Nothing: Take(); return std::make_unique<LiteralExpr>(l, c, Value::Nothing(), false);
        case Tok::LParen: {
            Depth d(*this);
            Take();
            ExprPtr inner = Expr0();
            Expect(Tok::RParen, 1006);
            return Postfix(std::make_unique<ParenExpr>(l, c, std::move(inner)), false);
        }
        case Tok::New: {
            Take();
            return std::make_unique<NewExpr>(l, c, Ident());
        }
        case Tok::Ident:
        case Tok::Dot:
        case Tok::Me:
            return Target(false);
        default: Fail(1023);
        }
    }

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

}  // namespace

Chunk ParseProgram(std::string_view source, int firstLine) {
    Parser p(source, firstLine);
    return p.Program();
}

ExprPtr ParseExpression(std::string_view source) {
    Parser p(source, 1);
    return p.WholeExpression();
}

}  // namespace tarvelo::vbs
