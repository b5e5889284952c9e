// Parsing, the statements: blocks, control flow, assignments and calls.
#include "scripting/vbscript/ParserImpl.h"

namespace tarvelo::vbs {

void Parser::ParseBlockUntil(Block& out, std::initializer_list<Tok> stops) {
    Depth d(*this);
    for (;;) {
        SkipSeparators();
        if (Is(Tok::End)) Fail(1014);
        if (IsAny(stops)) return;
        if (!ParseNestedProc()) {
            const Token& t = Peek();
            if (t.kind == Tok::Sub || t.kind == Tok::Function || t.kind == Tok::Class || StartsPropertyDecl() ||
                t.kind == Tok::Public || t.kind == Tok::Private || t.kind == Tok::Option)
                Fail(1024);
            if (Accept(Tok::Dim)) out.push_back(ParseDim());
            else if (Accept(Tok::Const)) out.push_back(ParseConst());
            else out.push_back(ParseStatement());
        }
        if (!Is(Tok::Newline) && !Is(Tok::Colon) && !IsAny(stops)) Fail(1025);
    }
}

StmtPtr Parser::ParseStatement() {
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
        ParseBlockUntil(s->body, {Tok::Wend});
        Take();
        return s;
    }
    case Tok::Exit: return ParseExit(line, col);
    case Tok::On: return ParseOnError(line, col);
    case Tok::ReDim: return ParseReDim(line, col);
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
        ParseBlockUntil(s->body, {Tok::EndKw});
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
    case Tok::Call: return ParseCall(line, col);
    case Tok::Ident:
        // Stop breaks into a debugger; with none attached it does nothing.
        if (NameEquals(t.text, "stop")) {
            Tok next = Peek(1).kind;
            if (next == Tok::Newline || next == Tok::Colon || next == Tok::End || next == Tok::Else ||
                next == Tok::EndKw) {
                Take();
                return std::make_unique<Stmt>(SK::Nop, line, col);
            }
        }
        if (NameEquals(t.text, "let") && IsName(1)) Take();
        return AssignOrCall();
    case Tok::Dot: case Tok::Me: case Tok::Property: return AssignOrCall();
    case Tok::Loop: Fail(1038);
    case Tok::Next: Fail(1055);
    default: Fail(1024);
    }
}

StmtPtr Parser::ParseExit(int line, int col) {
    Take();
    ExitKind w = ExitKind::None;
    if (Accept(Tok::Do)) {
        w = ExitKind::Do;
        if (!doDepth_) Fail(1039);
    } else if (Accept(Tok::For)) {
        w = ExitKind::For;
        if (!forDepth_) Fail(1039);
    } else if (Accept(Tok::Sub)) {
        w = ExitKind::Sub;
        if (!inProc_ || procKind_ != ProcKind::Sub) Fail(1039);
    } else if (Accept(Tok::Function)) {
        w = ExitKind::Function;
        if (!inProc_ || procKind_ != ProcKind::Function) Fail(1039);
    } else if (Accept(Tok::Property)) {
        w = ExitKind::Property;
        if (!inProc_ || procKind_ == ProcKind::Sub || procKind_ == ProcKind::Function) Fail(1039);
    } else {
        Fail(1039);
    }
    return std::make_unique<ExitStmt>(line, col, w);
}

StmtPtr Parser::ParseOnError(int line, int col) {
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

StmtPtr Parser::ParseReDim(int line, int col) {
    Take();
    auto s = std::make_unique<ReDimStmt>(line, col);
    if (IsWord("preserve")) {
        Take();
        s->preserve = true;
    }
    do {
        ReDimStmt::Item item;
        auto name = NameHere();
        if (!inProc_) DeclareGlobal(*name);
        item.var = std::move(name);
        Expect(Tok::LParen, 1005);
        do item.bounds.push_back(Expr0());
        while (Accept(Tok::Comma));
        Expect(Tok::RParen, 1006);
        s->items.push_back(std::move(item));
    } while (Accept(Tok::Comma));
    return s;
}

// "Call target": a name, a member chain, or a parenthesised start such as
// "Call (New C).Run()" or "Call (f) (x)".
StmtPtr Parser::ParseCall(int line, int col) {
    Take();
    auto s = std::make_unique<CallStmt>(line, col);
    ExprPtr e = Is(Tok::LParen) ? Primary() : Target(false);
    while (e->kind == EK::Paren) e = std::move(static_cast<ParenExpr&>(*e).inner);
    s->call = std::move(e);
    return s;
}

// "target = value" or a call; the target decides: "Echo a = 1" passes a comparison.
StmtPtr Parser::AssignOrCall() {
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
    if (AtStatementEnd() || Is(Tok::EndKw)) {
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

StmtPtr Parser::ParseIf() {
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
        if (Is(Tok::EndKw) && Peek(1).kind == Tok::If) {
            Take();
            Take();
        }
        return s;
    }
    s->blocks.emplace_back();
    ParseBlockUntil(s->blocks.back(), {Tok::ElseIf, Tok::Else, Tok::EndKw});
    while (Accept(Tok::ElseIf)) {
        s->conds.push_back(Expr0());
        Expect(Tok::Then, 1017);
        s->blocks.emplace_back();
        ParseBlockUntil(s->blocks.back(), {Tok::ElseIf, Tok::Else, Tok::EndKw});
    }
    if (Accept(Tok::Else)) {
        s->blocks.emplace_back();
        ParseBlockUntil(s->blocks.back(), {Tok::EndKw});
    }
    Expect(Tok::EndKw, 1014);
    Expect(Tok::If, 1012);
    return s;
}

void Parser::SingleLine(Block& out) {
    for (;;) {
        while (Accept(Tok::Colon)) {}
        if (Is(Tok::Newline) || Is(Tok::End) || Is(Tok::Else)) return;
        if (Is(Tok::EndKw) && Peek(1).kind == Tok::If) return;
        if (Accept(Tok::Dim)) out.push_back(ParseDim());
        else if (Accept(Tok::Const)) out.push_back(ParseConst());
        else out.push_back(ParseStatement());
        if (!Is(Tok::Colon) && !Is(Tok::Newline) && !Is(Tok::End) && !Is(Tok::Else) && !Is(Tok::EndKw)) Fail(1025);
    }
}

StmtPtr Parser::ParseSelect() {
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
            if (Is(Tok::To) || Is(Tok::Is)) Fail(1025);
        }
        // The first statement may follow on the same line, with or without a colon.
        ParseBlockUntil(c.body, {Tok::Case, Tok::EndKw});
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

StmtPtr Parser::ParseFor() {
    Token kw = Take();
    if (Accept(Tok::Each)) {
        auto s = std::make_unique<ForEachStmt>(kw.line, kw.col);
        s->var = NameHere();
        Expect(Tok::In, 1046);
        s->collection = Expr0();
        ++forDepth_;
        ParseBlockUntil(s->body, {Tok::Next});
        --forDepth_;
        Take();
        return s;
    }
    auto s = std::make_unique<ForStmt>(kw.line, kw.col);
    if (!IsName()) Fail(1040);
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
    ParseBlockUntil(s->body, {Tok::Next});
    --forDepth_;
    Take();
    if (IsName()) Take();  // "Next i"
    return s;
}

StmtPtr Parser::ParseDo() {
    Token kw = Take();
    auto s = std::make_unique<DoStmt>(kw.line, kw.col);
    if (Accept(Tok::While)) {
        s->form = DoStmt::PreWhile;
        s->cond = Expr0();
    } else if (Accept(Tok::Until)) {
        s->form = DoStmt::PreUntil;
        s->cond = Expr0();
    } else if (!Is(Tok::Newline) && !Is(Tok::Colon)) {
        Fail(1028);
    }
    ++doDepth_;
    ParseBlockUntil(s->body, {Tok::Loop});
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

}  // namespace tarvelo::vbs
