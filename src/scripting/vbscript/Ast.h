// Syntax tree. The resolver fills in where each name lives (local slot,
// module global, field of Me), so the interpreter walks it without name lookups.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "scripting/vbscript/Value.h"

namespace tarvelo::vbs {

struct ClassDef;
struct Proc;
struct Module;
struct GlobalSlot;

enum class EK : uint8_t { Literal, Name, Call, Member, Unary, Binary, New, Me, Paren };

struct Expr {
    explicit Expr(EK k, int l, int c) : kind(k), line(l), col(c) {}
    virtual ~Expr() = default;
    EK kind;
    int line, col;
};
using ExprPtr = std::unique_ptr<Expr>;

struct LiteralExpr : Expr {
    LiteralExpr(int l, int c, Value v, bool num) : Expr(EK::Literal, l, c), value(std::move(v)), numeric(num) {}
    Value value;
    bool numeric;  // a number written in the text: compares numerically with strings
};

enum class Scope : uint8_t {
    Unresolved,
    Local,   // frame slot `index`
    Global,  // module name `id`
    Field,   // field `index` of Me
    Member,  // property or method of Me (called through the class)
    Implicit // assigned in a procedure, declared nowhere: the module variable of that name
             // if one exists when the code runs, else frame slot `index`
};

struct NameExpr : Expr {
    NameExpr(int l, int c, std::string n) : Expr(EK::Name, l, c), name(std::move(n)) {}
    std::string name;  // as written
    std::string lower;
    int id = -1;       // interned name
    Scope scope = Scope::Unresolved;
    int index = -1;
    mutable Module* cacheModule = nullptr;  // Global scope: where the name was last found
    mutable GlobalSlot* cacheSlot = nullptr;
};

struct CallExpr : Expr {
    CallExpr(int l, int c, ExprPtr t) : Expr(EK::Call, l, c), target(std::move(t)) {}
    ExprPtr target;              // Name, Member or another Call
    std::vector<ExprPtr> args;   // null: argument left out
};

struct MemberExpr : Expr {
    MemberExpr(int l, int c, ExprPtr o, std::string n)
        : Expr(EK::Member, l, c), object(std::move(o)), name(std::move(n)), lower(LowerName(name)) {}
    ExprPtr object;  // null: the object of the enclosing With
    std::string name;
    std::string lower;
};

struct UnaryExpr : Expr {
    UnaryExpr(int l, int c, bool n, ExprPtr e) : Expr(EK::Unary, l, c), isNot(n), operand(std::move(e)) {}
    bool isNot;  // else negation
    ExprPtr operand;
};

struct BinaryExpr : Expr {
    BinaryExpr(int l, int c, BinOp o, ExprPtr a, ExprPtr b)
        : Expr(EK::Binary, l, c), op(o), lhs(std::move(a)), rhs(std::move(b)) {}
    BinOp op;
    ExprPtr lhs, rhs;
    // Set by the resolver when both operands are literals or local variables:
    // read in place, no code runs between them.
    struct Operand { const Value* literal = nullptr; int slot = -1; };
    bool simple = false;
    Operand left, right;
};

struct NewExpr : Expr {
    NewExpr(int l, int c, std::string n) : Expr(EK::New, l, c), className(std::move(n)) {}
    std::string className;
};

struct ParenExpr : Expr {
    ParenExpr(int l, int c, ExprPtr e) : Expr(EK::Paren, l, c), inner(std::move(e)) {}
    ExprPtr inner;
};

// ---------------------------------------------------------------- statements

enum class SK : uint8_t {
    Assign, Call, If, Select, For, ForEach, Do, Exit, OnError, Dim, ReDim, Erase, With, Nop
};

struct Stmt {
    explicit Stmt(SK k, int l, int c) : kind(k), line(l), col(c) {}
    virtual ~Stmt() = default;
    SK kind;
    int line, col;
};
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct AssignStmt : Stmt {
    AssignStmt(int l, int c) : Stmt(SK::Assign, l, c) {}
    ExprPtr target, value;
    bool isSet = false;
    bool isConst = false;
    bool append = false;  // "x = x & e": appended in place
    mutable int8_t appendChecked = -1;  // whether e can be evaluated before x is read
};

struct CallStmt : Stmt {
    CallStmt(int l, int c) : Stmt(SK::Call, l, c) {}
    ExprPtr call;  // a CallExpr, or a Name/Member called without arguments
};

struct IfStmt : Stmt {
    IfStmt(int l, int c) : Stmt(SK::If, l, c) {}
    std::vector<ExprPtr> conds;
    std::vector<Block> blocks;  // one per condition, then the Else block if any
};

struct SelectStmt : Stmt {
    SelectStmt(int l, int c) : Stmt(SK::Select, l, c) {}
    ExprPtr subject;
    struct Case { std::vector<ExprPtr> values; Block body; bool isElse = false; int line = 0, col = 0; };
    std::vector<Case> cases;
};

struct ForStmt : Stmt {
    ForStmt(int l, int c) : Stmt(SK::For, l, c) {}
    ExprPtr var, from, to, step;
    Block body;
};

struct ForEachStmt : Stmt {
    ForEachStmt(int l, int c) : Stmt(SK::ForEach, l, c) {}
    ExprPtr var, collection;
    Block body;
};

struct DoStmt : Stmt {
    enum Form : uint8_t { Plain, PreWhile, PreUntil, PostWhile, PostUntil };
    DoStmt(int l, int c) : Stmt(SK::Do, l, c) {}
    Form form = Plain;
    ExprPtr cond;
    Block body;
};

enum class ExitKind : uint8_t { None, Do, For, Sub, Function, Property };

struct ExitStmt : Stmt {
    ExitStmt(int l, int c, ExitKind w) : Stmt(SK::Exit, l, c), what(w) {}
    ExitKind what;
};

struct OnErrorStmt : Stmt {
    OnErrorStmt(int l, int c, bool r) : Stmt(SK::OnError, l, c), resumeNext(r) {}
    bool resumeNext;
};

struct DimStmt : Stmt {
    DimStmt(int l, int c) : Stmt(SK::Dim, l, c) {}
    struct Item { std::unique_ptr<NameExpr> var; std::vector<ExprPtr> bounds; bool isArray = false; };
    std::vector<Item> items;
};

struct ReDimStmt : Stmt {
    ReDimStmt(int l, int c) : Stmt(SK::ReDim, l, c) {}
    bool preserve = false;
    struct Item { ExprPtr var; std::vector<ExprPtr> bounds; };
    std::vector<Item> items;
};

struct EraseStmt : Stmt {
    EraseStmt(int l, int c) : Stmt(SK::Erase, l, c) {}
    std::vector<ExprPtr> vars;
};

struct WithStmt : Stmt {
    WithStmt(int l, int c) : Stmt(SK::With, l, c) {}
    ExprPtr object;
    Block body;
};

// ---------------------------------------------------------------- declarations

enum class ProcKind : uint8_t { Sub, Function, PropGet, PropLet, PropSet };

struct Param {
    std::string name;
    bool byVal = false;
};

struct Proc {
    std::string name;
    ProcKind kind = ProcKind::Sub;
    std::vector<Param> params;
    Block body;
    bool isPublic = true;
    bool isDefault = false;
    int line = 0, col = 0;
    ClassDef* owner = nullptr;
    Module* module = nullptr;  // where it was declared
    // Filled by the resolver: slots 0..params-1 are the parameters, then the
    // result (functions and Property Get), then the Dim'd and implicit locals.
    std::vector<std::string> locals;  // lower-case names by slot
    std::unordered_map<std::string, int> localIndex;
    std::vector<char> implicitSlot;  // by slot: made for an undeclared name
    int resultSlot = -1;
    // The same counts at hand for calls.
    size_t paramCount = 0, localCount = 0;
    std::vector<char> byVal;  // by parameter
    bool resolved = false;
};
using ProcPtr = std::shared_ptr<Proc>;

struct ClassDef {
    std::string name;
    struct Field { std::string name; bool isPublic = true; std::vector<int32_t> dims; bool isArray = false; };
    std::vector<Field> fields;
    std::unordered_map<std::string, int> fieldIndex;  // lower-case name -> field
    std::vector<ProcPtr> procs;
    // lower-case name -> Get (or Sub/Function), Let, Set
    struct Member { Proc* get = nullptr; Proc* let = nullptr; Proc* set = nullptr; };
    std::unordered_map<std::string, Member> members;
    Proc* init = nullptr;
    Proc* term = nullptr;
    std::string defaultMember;  // lower-case, empty if none
    int line = 0, col = 0;
};
using ClassPtr = std::shared_ptr<ClassDef>;

// One piece of code as parsed: its declarations and top-level statements.
struct Chunk {
    Block statements;
    std::vector<ProcPtr> procs;
    std::vector<ClassPtr> classes;
    bool optionExplicit = false;
    // Top-level Dim/Public/Private/Const names (lower case), declared before any code runs.
    std::vector<std::string> globals;
    std::vector<std::pair<int, int>> globalPos;  // line and column of each
};

}  // namespace tarvelo::vbs
