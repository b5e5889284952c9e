// Parsing, the expressions: operators by precedence, literals, names, member
// chains and argument lists.
#include "scripting/vbscript/ParserImpl.h"

namespace tarvelo::vbs {
namespace {

// Precedence climbing over the language's table, loosest first:
// Imp, Eqv, Xor, Or, And, (Not), comparisons and Is, &, + -, Mod, \, * /, ^, (unary -).
int Precedence(Tok k, BinOp& op) {
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
constexpr int kNotLevel = 6;

// "(f)" and "((f))" before an argument list name the function itself.
ExprPtr UnwrapCallee(ExprPtr e) {
    const Expr* inner = e.get();
    while (inner->kind == EK::Paren) inner = static_cast<const ParenExpr*>(inner)->inner.get();
    if (inner->kind != EK::Name && inner->kind != EK::Member) return e;
    while (e->kind == EK::Paren) e = std::move(static_cast<ParenExpr&>(*e).inner);
    return e;
}

}  // namespace

// Assignment target or callee: name, .name (With), Me, then members and argument lists.
// In a call statement, "(" after a blank starts the first argument instead.
ExprPtr Parser::Target(bool callStatement) {
    const Token& t = Peek();
    ExprPtr e;
    if (IsName()) {
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

ExprPtr Parser::Postfix(ExprPtr e, bool callStatement) {
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
                    after != Tok::Dot && after != Tok::LParen && after != Tok::Eq && after != Tok::EndKw)
                    return e;
            }
            Take();
            e = UnwrapCallee(std::move(e));
            auto call = std::make_unique<CallExpr>(e->line, e->col, std::move(e));
            if (!Is(Tok::RParen)) ParseArgs(call->args, true);
            Expect(Tok::RParen, 1006);
            e = std::move(call);
        } else {
            return e;
        }
    }
}

void Parser::ParseArgs(std::vector<ExprPtr>& args, bool inParens) {
    for (;;) {
        if (Is(Tok::Comma)) args.push_back(nullptr);
        else if (inParens ? Is(Tok::RParen) : (AtStatementEnd() || Is(Tok::EndKw))) {
            args.push_back(nullptr);
            return;
        } else {
            args.push_back(Expr0());
        }
        if (!Accept(Tok::Comma)) return;
    }
}

// Operators of at least minPrec, all left-associative.
ExprPtr Parser::Climb(int minPrec) {
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

// Not binds looser than comparisons: "Not a = b" is Not (a = b). Negation binds
// tighter than every binary operator, ^ included: "-3 ^ 2" is 9.
ExprPtr Parser::Prefix() {
    const Token& t = Peek();
    if (t.kind == Tok::Not || t.kind == Tok::Minus || t.kind == Tok::Plus) {
        Depth d(*this);
        Token op = Take();
        ExprPtr operand = op.kind == Tok::Not ? Climb(kNotLevel + 1) : Prefix();
        if (op.kind == Tok::Plus) return operand;
        return std::make_unique<UnaryExpr>(op.line, op.col, op.kind == Tok::Not, std::move(operand));
    }
    return Primary();
}

ExprPtr Parser::Primary() {
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
        // "New C.Init(a, b)": members of the new object in the same expression.
        return Postfix(std::make_unique<NewExpr>(l, c, Ident()), false);
    }
    case Tok::Ident:
    case Tok::Property:
    case Tok::Dot:
    case Tok::Me:
        return Target(false);
    default: Fail(1023);
    }
}

}  // namespace tarvelo::vbs
