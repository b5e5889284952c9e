#include "scripting/vbscript/VbsRegExp.h"

#include "scripting/vbscript/VbsFormat.h"

#include <bitset>
#include <cstring>

namespace tarvelo::vbs {

namespace {

using CharSet = std::bitset<256>;

constexpr int kMaxDepth = 200;              // nesting of groups in a pattern
constexpr size_t kMaxProgram = 200000;      // instructions after expanding {n,m}
constexpr size_t kMaxFrames = 4000000;      // backtrack entries (about 48 MB)
constexpr uint64_t kStepBudget = 50000000;  // per search: well under a second

[[noreturn]] void Fail(int number) {
    const char* text = "Syntax error in regular expression";
    switch (number) {
    case 5018: text = "Unexpected quantifier"; break;
    case 5019: text = "Expected ']' in regular expression"; break;
    case 5020: text = "Expected ')' in regular expression"; break;
    case 5021: text = "Invalid range in character set"; break;
    case 28: text = "Out of stack space (the regular expression is too complex for this text)"; break;
    }
    throw RegExpError{number, text};
}

unsigned char Fold(unsigned char c) { return LowerByte(c); }

bool IsWord(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == 0xA0; }
bool IsLineEnd(unsigned char c) { return c == '\n' || c == '\r'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

enum Op : uint8_t { kChar, kCharFold, kAny, kClass, kSplit, kJmp, kSave, kBol, kEol, kWordB, kNotWordB,
                    kBackref, kLook, kMark, kProgress, kRepeatChar, kMatch };

struct Inst {
    Op op;
    bool flag = false;  // kLook: negative; kBackref: fold case
    int a = 0;
    int b = 0;
};

struct Node {
    enum Kind { Empty, Char, Any, Set, Bol, Eol, WordB, NotWordB, Group, NonCap, Look, Backref, Concat, Alt, Repeat };
    Kind kind = Empty;
    int value = 0;  // character, group number or class index
    bool neg = false;
    int min = 0, max = 0;  // Repeat; max -1 = no limit
    bool greedy = true;
    std::vector<Node> kids;
};

class Parser {
public:
    Parser(std::string_view p, bool fold, std::vector<CharSet>& sets) : p_(p), fold_(fold), sets_(sets) {}

    Node Parse() {
        CountGroups();
        Node n = Alternation(0);
        if (i_ < p_.size()) Fail(5017);  // an unmatched ')'
        return n;
    }
    int Groups() const { return groups_; }

private:
    bool More() const { return i_ < p_.size(); }
    char Peek() const { return p_[i_]; }

    void CountGroups() {
        bool inClass = false;
        for (size_t k = 0; k < p_.size(); ++k) {
            char c = p_[k];
            if (c == '\\') ++k;
            else if (inClass) inClass = c != ']';
            else if (c == '[') inClass = true;
            else if (c == '(' && (k + 1 >= p_.size() || p_[k + 1] != '?')) ++total_;
        }
    }

    Node Alternation(int depth) {
        if (depth > kMaxDepth) Fail(5017);
        Node first = Sequence(depth);
        if (!More() || Peek() != '|') return first;
        Node alt;
        alt.kind = Node::Alt;
        alt.kids.push_back(std::move(first));
        while (More() && Peek() == '|') {
            ++i_;
            alt.kids.push_back(Sequence(depth));
        }
        return alt;
    }

    Node Sequence(int depth) {
        Node seq;
        seq.kind = Node::Concat;
        while (More() && Peek() != '|' && Peek() != ')') {
            Node atom = Atom(depth);
            Quantify(atom);
            seq.kids.push_back(std::move(atom));
        }
        if (seq.kids.size() == 1) return std::move(seq.kids[0]);
        return seq;
    }

    // Reads {n}, {n,} or {n,m} at i_; false (i_ unchanged) when it is not one.
    bool Braces(int& min, int& max) {
        size_t k = i_ + 1;
        auto number = [&](int& out) {
            size_t start = k;
            long v = 0;
            while (k < p_.size() && p_[k] >= '0' && p_[k] <= '9') {
                v = v * 10 + (p_[k++] - '0');
                if (v > 100000) v = 100000;
            }
            out = static_cast<int>(v);
            return k > start;
        };
        if (!number(min)) return false;
        max = min;
        if (k < p_.size() && p_[k] == ',') {
            ++k;
            if (!number(max)) max = -1;
        }
        if (k >= p_.size() || p_[k] != '}') return false;
        i_ = k + 1;
        return true;
    }

    void Quantify(Node& atom) {
        if (!More()) return;
        int min, max;
        char c = Peek();
        if (c == '*') { min = 0; max = -1; ++i_; }
        else if (c == '+') { min = 1; max = -1; ++i_; }
        else if (c == '?') { min = 0; max = 1; ++i_; }
        else if (c == '{' && Braces(min, max)) {}
        else return;
        if (max != -1 && max < min) Fail(5017);
        if (atom.kind == Node::Bol || atom.kind == Node::Eol || atom.kind == Node::WordB ||
            atom.kind == Node::NotWordB || atom.kind == Node::Empty)
            Fail(5018);
        Node rep;
        rep.kind = Node::Repeat;
        rep.min = min;
        rep.max = max;
        if (More() && Peek() == '?') { rep.greedy = false; ++i_; }
        rep.kids.push_back(std::move(atom));
        atom = std::move(rep);
        if (More()) {
            int a, b;
            char n = Peek();
            size_t save = i_;
            if (n == '*' || n == '+' || n == '?' || (n == '{' && Braces(a, b))) Fail(5018);
            i_ = save;
        }
    }

    Node CharNode(unsigned char c) {
        Node n;
        n.kind = Node::Char;
        n.value = fold_ ? Fold(c) : c;
        return n;
    }

    // Case folding widens the positive set; a negated class is flipped after that.
    Node SetNode(CharSet set, bool negate = false) {
        if (fold_) {
            CharSet more = set;
            for (int b = 0; b < 256; ++b)
                if (set[b]) more.set(Fold(static_cast<unsigned char>(b)));
            for (int b = 0; b < 256; ++b)
                if (more[Fold(static_cast<unsigned char>(b))]) more.set(b);
            set = more;
        }
        if (negate) set.flip();
        Node n;
        n.kind = Node::Set;
        n.value = static_cast<int>(sets_.size());
        sets_.push_back(set);
        return n;
    }

    static CharSet ClassOf(char letter) {
        CharSet s;
        char lower = static_cast<char>(letter | 0x20);
        for (int b = 0; b < 256; ++b) {
            unsigned char c = static_cast<unsigned char>(b);
            if ((lower == 'd' && c >= '0' && c <= '9') || (lower == 'w' && IsWord(c)) || (lower == 's' && IsSpace(c)))
                s.set(b);
        }
        if (letter != lower) s.flip();
        return s;
    }

    // The character of an escape that stands for one (after the '\'), or -1.
    int CharEscape(bool inClass) {
        char c = p_[i_++];
        switch (c) {
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        case 'f': return '\f';
        case 'v': return '\v';
        case 'b': return inClass ? 8 : -1;
        case 'x':
            if (i_ + 1 < p_.size() && HexDigit(p_[i_]) >= 0 && HexDigit(p_[i_ + 1]) >= 0) {
                int v = HexDigit(p_[i_]) * 16 + HexDigit(p_[i_ + 1]);
                i_ += 2;
                return v;
            }
            return 'x';
        case 'u':
            if (i_ + 3 < p_.size() && HexDigit(p_[i_]) >= 0 && HexDigit(p_[i_ + 1]) >= 0 &&
                HexDigit(p_[i_ + 2]) >= 0 && HexDigit(p_[i_ + 3]) >= 0) {
                int v = 0;
                for (int k = 0; k < 4; ++k) v = v * 16 + HexDigit(p_[i_++]);
                return v > 255 ? 256 : v;  // 256: a character no byte text holds
            }
            return 'u';
        case 'c':
            if (i_ < p_.size() && ((p_[i_] | 0x20) >= 'a' && (p_[i_] | 0x20) <= 'z')) return p_[i_++] % 32;
            --i_;
            return '\\';
        default:
            if (c >= '0' && c <= '7') {  // octal
                int v = c - '0';
                for (int k = 0; k < 2 && i_ < p_.size() && p_[i_] >= '0' && p_[i_] <= '7' && v * 8 + (p_[i_] - '0') < 256; ++k)
                    v = v * 8 + (p_[i_++] - '0');
                return v;
            }
            return static_cast<unsigned char>(c);
        }
    }

    Node Class() {
        ++i_;  // '['
        bool negate = More() && Peek() == '^';
        if (negate) ++i_;
        CharSet set;
        bool closed = false;
        while (More()) {
            char c = p_[i_];
            if (c == ']') { ++i_; closed = true; break; }
            int lo;
            if (c == '\\') {
                if (++i_ >= p_.size()) Fail(5019);
                char e = p_[i_];
                if (e == 'd' || e == 'D' || e == 'w' || e == 'W' || e == 's' || e == 'S') {
                    set |= ClassOf(e);
                    ++i_;
                    continue;
                }
                lo = CharEscape(true);
            } else {
                lo = static_cast<unsigned char>(c);
                ++i_;
            }
            if (i_ + 1 < p_.size() && p_[i_] == '-' && p_[i_ + 1] != ']') {
                ++i_;
                int hi;
                if (p_[i_] == '\\') {
                    ++i_;
                    char e = p_[i_];
                    if (e == 'd' || e == 'D' || e == 'w' || e == 'W' || e == 's' || e == 'S') Fail(5021);
                    hi = CharEscape(true);
                } else {
                    hi = static_cast<unsigned char>(p_[i_++]);
                }
                if (hi < lo) Fail(5021);
                for (int b = lo; b <= hi && b < 256; ++b) set.set(b);
            } else if (lo < 256) {
                set.set(lo);
            }
        }
        if (!closed) Fail(5019);
        return SetNode(set, negate);
    }

    Node Atom(int depth) {
        char c = p_[i_];
        Node n;
        switch (c) {
        case '(': {
            ++i_;
            int group = 0;
            if (More() && Peek() == '?') {
                if (i_ + 1 >= p_.size()) Fail(5017);
                char k = p_[i_ + 1];
                if (k == ':') n.kind = Node::NonCap;
                else if (k == '=' || k == '!') { n.kind = Node::Look; n.neg = k == '!'; }
                else Fail(5017);
                i_ += 2;
            } else {
                n.kind = Node::Group;
                group = ++groups_;
            }
            n.value = group;
            n.kids.push_back(Alternation(depth + 1));
            if (!More() || Peek() != ')') Fail(5020);
            ++i_;
            return n;
        }
        case '[': return Class();
        case '.': ++i_; n.kind = Node::Any; return n;
        case '^': ++i_; n.kind = Node::Bol; return n;
        case '$': ++i_; n.kind = Node::Eol; return n;
        case '*': case '+': case '?': Fail(5018);
        case '{': {
            int a, b;
            size_t save = i_;
            if (Braces(a, b)) Fail(5018);
            i_ = save + 1;
            return CharNode('{');
        }
        case '\\': {
            if (++i_ >= p_.size()) Fail(5017);
            char e = Peek();
            if (e == 'd' || e == 'D' || e == 'w' || e == 'W' || e == 's' || e == 'S') { ++i_; return SetNode(ClassOf(e)); }
            if (e == 'b') { ++i_; n.kind = Node::WordB; return n; }
            if (e == 'B') { ++i_; n.kind = Node::NotWordB; return n; }
            if (e >= '1' && e <= '9') {
                size_t k = i_;
                int v = 0;
                while (k < p_.size() && p_[k] >= '0' && p_[k] <= '9' && v * 10 + (p_[k] - '0') <= total_)
                    v = v * 10 + (p_[k++] - '0');
                if (v >= 1) {
                    i_ = k;
                    n.kind = Node::Backref;
                    n.value = v;
                    return n;
                }
            }
            int ch = CharEscape(false);
            if (ch > 255) return SetNode(CharSet());
            return CharNode(static_cast<unsigned char>(ch));
        }
        default: ++i_; return CharNode(static_cast<unsigned char>(c));
        }
    }

    std::string_view p_;
    size_t i_ = 0;
    bool fold_;
    std::vector<CharSet>& sets_;
    int groups_ = 0;
    int total_ = 0;
};

bool Nullable(const Node& n) {
    switch (n.kind) {
    case Node::Char: case Node::Any: case Node::Set: return false;
    case Node::Group: case Node::NonCap: return Nullable(n.kids[0]);
    case Node::Concat:
        for (const Node& k : n.kids)
            if (!Nullable(k)) return false;
        return true;
    case Node::Alt:
        for (const Node& k : n.kids)
            if (Nullable(k)) return true;
        return false;
    case Node::Repeat: return n.min == 0 || Nullable(n.kids[0]);
    default: return true;
    }
}

} // namespace

class RegExpProgram {
public:
    RegExpProgram(std::string_view pattern, bool ignoreCase, bool multiline) : multiline_(multiline) {
        Parser parser(pattern, ignoreCase, sets_);
        Node root = parser.Parse();
        groups_ = parser.Groups();
        marks_ = 2 * (groups_ + 1);
        Emit(root, ignoreCase);
        code_.push_back({kMatch});
        hasFirst_ = FirstBytes(0, first_, 0);
    }
    int Groups() const { return groups_; }

    // Finds the first match starting at or after `from`; caps gets 2*(groups+1) positions (-1: unset).
    bool Search(std::string_view s, size_t from, std::vector<int>& caps) const;

private:
    friend class Matcher;
    void Add(Inst i) {
        if (code_.size() >= kMaxProgram) Fail(5017);
        code_.push_back(i);
    }
    int Here() const { return static_cast<int>(code_.size()); }

    void Emit(const Node& n, bool fold) {
        switch (n.kind) {
        case Node::Empty: break;
        case Node::Char: Add({fold ? kCharFold : kChar, false, n.value}); break;
        case Node::Any: Add({kAny}); break;
        case Node::Set: Add({kClass, false, n.value}); break;
        case Node::Bol: Add({kBol}); break;
        case Node::Eol: Add({kEol}); break;
        case Node::WordB: Add({kWordB}); break;
        case Node::NotWordB: Add({kNotWordB}); break;
        case Node::Backref: Add({kBackref, fold, n.value}); break;
        case Node::Group:
            Add({kSave, false, 2 * n.value});
            Emit(n.kids[0], fold);
            Add({kSave, false, 2 * n.value + 1});
            break;
        case Node::NonCap: Emit(n.kids[0], fold); break;
        case Node::Look: {
            int at = Here();
            Add({kLook, n.neg, at + 1});
            Emit(n.kids[0], fold);
            Add({kMatch});
            code_[at].b = Here();
            break;
        }
        case Node::Concat:
            for (const Node& k : n.kids) Emit(k, fold);
            break;
        case Node::Alt: {
            std::vector<int> exits;
            for (size_t k = 0; k < n.kids.size(); ++k) {
                int split = -1;
                if (k + 1 < n.kids.size()) {
                    split = Here();
                    Add({kSplit, false, split + 1});
                }
                Emit(n.kids[k], fold);
                if (k + 1 < n.kids.size()) {
                    exits.push_back(Here());
                    Add({kJmp});
                    code_[split].b = Here();
                }
            }
            for (int e : exits) code_[e].a = Here();
            break;
        }
        case Node::Repeat: EmitRepeat(n, fold); break;
        }
    }

    void EmitRepeat(const Node& n, bool fold) {
        const Node& body = n.kids[0];
        if (n.greedy && (body.kind == Node::Char || body.kind == Node::Any || body.kind == Node::Set)) {
            // One character at a time: a single backtrack entry however many it takes.
            Add({kRepeatChar, false, n.min, n.max});
            Emit(body, fold);
            return;
        }
        for (int k = 0; k < n.min; ++k) Emit(body, fold);
        bool guard = Nullable(body);  // stop a loop that matches nothing from spinning
        auto optional = [&](int loopTo) {
            int split = Here();
            Add({kSplit});
            int mark = guard ? marks_++ : -1;
            if (guard) Add({kMark, false, mark});
            Emit(body, fold);
            if (guard) Add({kProgress, false, mark});
            if (loopTo >= 0) Add({kJmp, false, split});
            return split;
        };
        auto patch = [&](int split) {
            int bodyAt = split + 1, exitAt = loopExit_;
            code_[split].a = n.greedy ? bodyAt : exitAt;
            code_[split].b = n.greedy ? exitAt : bodyAt;
        };
        if (n.max == -1) {
            int split = optional(0);
            loopExit_ = Here();
            patch(split);
        } else {
            std::vector<int> splits;
            for (int k = n.min; k < n.max; ++k) splits.push_back(optional(-1));
            loopExit_ = Here();
            for (int s : splits) patch(s);
        }
    }

    std::vector<Inst> code_;
    std::vector<CharSet> sets_;
    int groups_ = 0;
    int marks_ = 0;  // registers: captures, then loop marks
    int loopExit_ = 0;
    // The bytes a match can start with, into `set`; false when any position may match
    // (an assertion, a back-reference or an empty match comes first).
    bool FirstBytes(int pc, CharSet& set, int depth) const {
        if (depth > 32) return false;
        const Inst& in = code_[pc];
        switch (in.op) {
        case kChar: set.set(in.a); return true;
        case kCharFold:
            for (int b = 0; b < 256; ++b)
                if (Fold(static_cast<unsigned char>(b)) == in.a) set.set(b);
            return true;
        case kAny: set |= ~CharSet().set('\n'); return true;
        case kClass: set |= sets_[in.a]; return true;
        case kSave: case kMark: return FirstBytes(pc + 1, set, depth + 1);
        case kJmp: return FirstBytes(in.a, set, depth + 1);
        case kSplit: return FirstBytes(in.a, set, depth + 1) && FirstBytes(in.b, set, depth + 1);
        case kRepeatChar:
            if (!FirstBytes(pc + 1, set, depth + 1)) return false;
            return in.a > 0 || FirstBytes(pc + 2, set, depth + 1);
        default: return false;
        }
    }

    bool multiline_;
    bool hasFirst_ = false;
    CharSet first_;
};

class Matcher {
public:
    Matcher(const RegExpProgram& p, std::string_view s, std::vector<int>& regs) : p_(p), s_(s), regs_(regs) {}

    bool Run(int pc, int pos, int& end) {
        const size_t base = stack_.size();
        const int n = static_cast<int>(s_.size());
        for (;;) {
            if (++steps_ > kStepBudget) Fail(28);
            const Inst& in = p_.code_[pc];
            bool ok = true;
            switch (in.op) {
            case kChar: ok = pos < n && static_cast<unsigned char>(s_[pos]) == in.a; ++pos; ++pc; break;
            case kCharFold: ok = pos < n && Fold(static_cast<unsigned char>(s_[pos])) == in.a; ++pos; ++pc; break;
            case kAny: ok = pos < n && s_[pos] != '\n'; ++pos; ++pc; break;
            case kClass: ok = pos < n && p_.sets_[in.a][static_cast<unsigned char>(s_[pos])]; ++pos; ++pc; break;
            case kSplit: Push(in.b, pos, -1); pc = in.a; break;
            case kJmp: pc = in.a; break;
            case kSave:
            case kMark: Push(regs_[in.a], 0, in.a); regs_[in.a] = pos; ++pc; break;
            case kProgress: ok = regs_[in.a] != pos; ++pc; break;
            case kBol: ok = pos == 0 || (p_.multiline_ && IsLineEnd(s_[pos - 1])); ++pc; break;
            case kEol: ok = pos == n || (p_.multiline_ && IsLineEnd(s_[pos])); ++pc; break;
            case kWordB:
            case kNotWordB: {
                bool before = pos > 0 && IsWord(s_[pos - 1]);
                bool after = pos < n && IsWord(s_[pos]);
                ok = (before != after) == (in.op == kWordB);
                ++pc;
                break;
            }
            case kBackref: {
                int b = regs_[2 * in.a], e = regs_[2 * in.a + 1];
                if (b >= 0 && e >= b) {
                    int len = e - b;
                    ok = pos + len <= n;
                    for (int k = 0; ok && k < len; ++k) {
                        unsigned char x = s_[b + k], y = s_[pos + k];
                        ok = in.flag ? Fold(x) == Fold(y) : x == y;
                    }
                    pos += len;
                }
                ++pc;
                break;
            }
            case kLook: {
                std::vector<int> before = regs_;
                size_t mark = stack_.size();
                int ignored;
                bool found = Run(in.a, pos, ignored);
                stack_.resize(mark);
                if (in.flag || !found) {
                    regs_ = std::move(before);
                    ok = in.flag != found;
                } else {
                    for (size_t r = 0; r < regs_.size(); ++r)
                        if (regs_[r] != before[r]) Push(before[r], 0, static_cast<int>(r));
                }
                pc = in.b;
                break;
            }
            case kRepeatChar: {
                const Inst& atom = p_.code_[pc + 1];
                const int start = pos;
                const int limit = in.b < 0 || in.b >= n - pos ? n : pos + in.b;
                while (pos < limit && One(atom, static_cast<unsigned char>(s_[pos]))) ++pos;
                ok = pos - start >= in.a;
                if (ok && pos - start > in.a) Push(pc + 2, pos, -2 - (start + in.a));
                pc += 2;
                break;
            }
            case kMatch: end = pos; return true;
            }
            if (ok) continue;
            // Backtrack: undo register writes down to the latest open branch.
            for (;;) {
                if (stack_.size() == base) return false;
                Frame f = stack_.back();
                stack_.pop_back();
                if (f.reg >= 0) {
                    regs_[f.reg] = f.pc;
                } else if (f.reg <= -2) {  // give back one character of a repeat
                    pc = f.pc;
                    pos = f.pos - 1;
                    if (pos > -2 - f.reg) Push(f.pc, pos, f.reg);
                    break;
                } else {
                    pc = f.pc;
                    pos = f.pos;
                    break;
                }
            }
        }
    }

    void Reset() { stack_.clear(); }

    bool One(const Inst& atom, unsigned char c) const {
        switch (atom.op) {
        case kChar: return c == atom.a;
        case kCharFold: return Fold(c) == atom.a;
        case kAny: return c != '\n';
        default: return p_.sets_[atom.a][c];
        }
    }

private:
    struct Frame {
        int pc;   // branch target, or the register's old value
        int pos;
        int reg;  // -1: a branch; <= -2: a repeat that may give back down to -2 - reg
    };
    void Push(int pc, int pos, int reg) {
        if (stack_.size() >= kMaxFrames) Fail(28);
        stack_.push_back({pc, pos, reg});
    }

    const RegExpProgram& p_;
    std::string_view s_;
    std::vector<int>& regs_;
    std::vector<Frame> stack_;
    uint64_t steps_ = 0;
};

bool RegExpProgram::Search(std::string_view s, size_t from, std::vector<int>& caps) const {
    if (s.size() > 0x7fffffff) Fail(28);
    Matcher m(*this, s, caps);
    // A match can only start where one of its first bytes occurs.
    const bool literalStart = code_[0].op == kChar;
    for (size_t start = from; start <= s.size(); ++start) {
        if (literalStart) {
            const void* hit = start < s.size() ? std::memchr(s.data() + start, code_[0].a, s.size() - start) : nullptr;
            if (!hit) return false;
            start = static_cast<const char*>(hit) - s.data();
        } else if (hasFirst_) {
            while (start < s.size() && !first_[static_cast<unsigned char>(s[start])]) ++start;
            if (start == s.size()) return false;
        }
        caps.assign(marks_, -1);
        m.Reset();
        int end;
        if (m.Run(0, static_cast<int>(start), end)) {
            caps[0] = static_cast<int>(start);
            caps[1] = end;
            return true;
        }
    }
    return false;
}

RegExp::RegExp() = default;
RegExp::~RegExp() = default;

void RegExp::Compile(std::string_view pattern) { RegExpProgram(pattern, false, false); }

const RegExpProgram& RegExp::Program() {
    if (!program_) program_ = std::make_shared<const RegExpProgram>(pattern_, ignoreCase_, multiline_);
    return *program_;
}

bool RegExp::Test(std::string_view text) {
    std::vector<int> caps;
    return Program().Search(text, 0, caps);
}

std::vector<RegExpMatch> RegExp::Execute(std::string_view text) {
    const RegExpProgram& prog = Program();
    std::vector<RegExpMatch> out;
    std::vector<int> caps;
    size_t from = 0;
    while (from <= text.size() && prog.Search(text, from, caps)) {
        RegExpMatch m;
        m.index = caps[0];
        m.length = caps[1] - caps[0];
        m.value.assign(text.substr(m.index, m.length));
        for (int g = 1; g <= prog.Groups(); ++g) {
            int b = caps[2 * g], e = caps[2 * g + 1];
            if (b >= 0 && e >= b) m.subMatches.emplace_back(std::string(text.substr(b, e - b)));
            else m.subMatches.emplace_back(std::nullopt);
        }
        out.push_back(std::move(m));
        if (!global_) break;
        from = caps[1] > caps[0] ? caps[1] : caps[1] + 1;
    }
    return out;
}

std::string RegExp::Replace(std::string_view text, std::string_view replacement) {
    const RegExpProgram& prog = Program();
    const int groups = prog.Groups();
    std::string out;
    out.reserve(text.size());
    std::vector<int> caps;
    size_t from = 0, copied = 0;
    while (from <= text.size() && prog.Search(text, from, caps)) {
        const size_t b = caps[0], e = caps[1];
        out.append(text, copied, b - copied);
        for (size_t k = 0; k < replacement.size(); ++k) {
            char c = replacement[k];
            if (c != '$' || k + 1 >= replacement.size()) { out += c; continue; }
            char d = replacement[k + 1];
            if (d == '$') { out += '$'; ++k; }
            else if (d == '&') { out.append(text, b, e - b); ++k; }
            else if (d == '`') { out.append(text, 0, b); ++k; }
            else if (d == '\'') { out.append(text, e, std::string_view::npos); ++k; }
            else if (d >= '0' && d <= '9') {
                int g = d - '0';
                size_t used = 1;
                if (k + 2 < replacement.size() && replacement[k + 2] >= '0' && replacement[k + 2] <= '9' &&
                    g * 10 + (replacement[k + 2] - '0') <= groups && g * 10 + (replacement[k + 2] - '0') >= 1) {
                    g = g * 10 + (replacement[k + 2] - '0');
                    used = 2;
                }
                if (g < 1 || g > groups) { out += c; continue; }
                int gb = caps[2 * g], ge = caps[2 * g + 1];
                if (gb >= 0 && ge >= gb) out.append(text, gb, ge - gb);
                k += used;
            } else {
                out += c;
            }
        }
        copied = e;
        if (!global_) break;
        if (e > b) {
            from = e;
        } else {
            from = e + 1;
        }
    }
    out.append(text, copied, std::string_view::npos);
    return out;
}

} // namespace tarvelo::vbs
