// Parsing, the declarations: the script's own level, procedures, classes,
// Dim and Const. Statements and expressions are in ParseStatements.cpp and
// ParseExpressions.cpp.
#include "scripting/vbscript/Parser.h"

#include "scripting/vbscript/ParserImpl.h"

namespace tarvelo::vbs {

Chunk Parser::Program() {
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

ExprPtr Parser::WholeExpression() {
    SkipNewlines();
    ExprPtr e = Expr0();
    SkipNewlines();
    if (!Is(Tok::End)) Fail(1025);
    return e;
}

void Parser::ParseTopLevel(Block& out) {
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
    if (k == Tok::Sub || k == Tok::Function || StartsPropertyDecl()) {
        if (k == Tok::Property) Fail(1048);
        chunk_->procs.push_back(ParseProc(isPublic, isDefault));
        return;
    }
    if (isDefault) Fail(1058);
    if (k == Tok::Class) {
        if (hadScope) Fail(1024);
        ParseClass();
        return;
    }
    if (hadScope) {
        if (Accept(Tok::Const)) out.push_back(ParseConst());
        else out.push_back(ParseDim());
        return;
    }
    if (Accept(Tok::Dim)) {
        out.push_back(ParseDim());
        return;
    }
    if (Accept(Tok::Const)) {
        out.push_back(ParseConst());
        return;
    }
    out.push_back(ParseStatement());
}

bool Parser::ParseNestedProc() {
    if (inProc_ || inClass_) return false;
    size_t at = Is(Tok::Public) || Is(Tok::Private) ? 1 : 0;
    if (!Is(Tok::Sub, at) && !Is(Tok::Function, at)) return false;
    bool isPublic = !Is(Tok::Private);
    if (at) Take();
    int saveDo = doDepth_, saveFor = forDepth_;
    doDepth_ = forDepth_ = 0;
    chunk_->procs.push_back(ParseProc(isPublic, false));
    doDepth_ = saveDo;
    forDepth_ = saveFor;
    return true;
}

ProcPtr Parser::ParseProc(bool isPublic, bool isDefault) {
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
    ParseBlockUntil(body, {Tok::EndKw});
    Expect(Tok::EndKw, 1014);
    Tok want = kw.kind;
    if (!Accept(want)) Fail(want == Tok::Sub ? 1016 : want == Tok::Function ? 1015 : 1050);
    inProc_ = false;
    p->body = std::move(body);
    return p;
}

void Parser::ParseClass() {
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
        } else if (!Is(Tok::Sub) && !Is(Tok::Function) && !StartsPropertyDecl()) {
            Fail(1024);
        }
        if (Is(Tok::Sub) || Is(Tok::Function) || StartsPropertyDecl()) {
            ProcPtr p = ParseProc(isPublic, isDefault);
            p->owner = c.get();
            c->procs.push_back(p);
        } else {
            if (isDefault) Fail(1058);
            ParseField(*c, isPublic);
        }
        EndOfMember();
    }
    Take();
    if (!Accept(Tok::Class)) Fail(1047);
    inClass_ = false;
    currentClass_ = nullptr;
    chunk_->classes.push_back(std::move(c));
}

void Parser::ParseField(ClassDef& c, bool isPublic) {
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
        c.fields.push_back(std::move(f));
    } while (Accept(Tok::Comma));
}

void Parser::DeclareGlobal(const NameExpr& name) {
    chunk_->globals.push_back(LowerName(name.name));
    chunk_->globalPos.emplace_back(name.line, name.col);
}

StmtPtr Parser::ParseDim() {
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
        if (!inProc_ && !inClass_) DeclareGlobal(*item.var);
        s->items.push_back(std::move(item));
    } while (Accept(Tok::Comma));
    return s;
}

StmtPtr Parser::ParseConst() {
    // Several constants become a block of assignments in a Nop-free wrapper.
    auto wrapper = std::make_unique<IfStmt>(Peek().line, Peek().col);
    Block items;
    do {
        auto name = NameHere();
        auto a = std::make_unique<AssignStmt>(name->line, name->col);
        if (!inProc_) DeclareGlobal(*name);
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

Chunk ParseProgram(std::string_view source, int firstLine) {
    Parser p(source, firstLine);
    return p.Program();
}

ExprPtr ParseExpression(std::string_view source) {
    Parser p(source, 1);
    return p.WholeExpression();
}

}  // namespace tarvelo::vbs
