// The expression compiler (see command7.h).
//
// Operands are written as words after the current item header; operators wait on the operator
// stack until one of lower precedence arrives (binary operators associate to the left, the
// unary operators of precedence 13 to the right).  AND and OR are written at once, before their
// right operand, inside a chain bracketed by kinds 58 and 59, so that the evaluator can skip the
// right operand.  A parenthesis pushes a flags byte (the enclosing level's chain state) and a
// marker.  Each value's type (number or string) is tracked so that mixed operands are refused at
// compile time.
#include "vxs/compiler/command7.h"

#include <charconv>
#include <cstring>
#include <string>

#include "vxs/compiler/keywords.h"

namespace vxs {

namespace {

constexpr uint8_t kChainStarted = 1;
constexpr int kMaxTypes = 64;

// Concatenation is emitted by its own rule in postfix order; on the operator stack it binds
// tighter than the relations so that A$ & B$ = C$ compares the concatenation.
int stackPrecedence(int kind) {
    return kind == OpConcat ? 7 : operatorPrecedence(kind);
}

bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

bool isRelation(int kind) {
    return kind >= OpGt && kind <= OpEq;
}

// The entry behind a dictionary index, whether committed or still pending on this line.
const de* entryOf(const CompileCtx& c, int index) {
    if (const de* e = dictEntry(*c.pc, index)) return e;
    for (const PendingEntry& p : c.pending->nodes)
        if (p.index == index) return p.entry.get();
    return nullptr;
}

bool isArrayEntry(const CompileCtx& c, int index) {
    const de* e = entryOf(c, index);
    return e && (e->attr & DA_DIMENSIONED);
}

class ExprCompiler {
  public:
    ExprCompiler(CompileCtx& c) : c_(c) {}

    int run(ExprType want, ExprType* type);

  private:
    bool pushRaw(uint8_t b) {
        if (c_.ops.top >= kOpStackSize) return false;
        c_.ops.s[static_cast<size_t>(c_.ops.top++)] = b;
        return true;
    }
    uint8_t topKind() const { return c_.ops.s[static_cast<size_t>(c_.ops.top - 1)]; }

    int pushType(ExprType t) {
        if (ntypes_ >= kMaxTypes) return kCeWorkArea;
        types_[ntypes_++] = t;
        return 0;
    }
    ExprType popType() { return ntypes_ > base_types_ ? types_[--ntypes_] : ExprType::Any; }

    int emit(uint8_t kind);
    int pushOperator(uint8_t kind);
    int pushPrefix(uint8_t kind);
    int popToMarker();
    int openParen();
    int closeParen();
    int logical(uint8_t kind);

    int operand(bool& done);
    int name();
    int arguments(int& count);
    int subscripts(int array, ExprType elementType);

    CompileCtx& c_;
    ExprType types_[kMaxTypes];
    int ntypes_ = 0;
    int base_types_ = 0;
    uint8_t chain_ = 0;
    int parens_ = 0;
    int lastOperator_ = -1;  // kind of the last binary operator read, -1 after an operand
};

int ExprCompiler::emit(uint8_t kind) {
    c_.expr.header(kind);
    switch (kind) {
        case OpNot:
        case OpTilde:
        case OpNeg:
        case OpAbs:
        case OpInt:
        case OpSgn:
            if (popType() != ExprType::Numeric) return kCeAfterString;
            return pushType(ExprType::Numeric);
        case OpConcat: {
            const ExprType r = popType(), l = popType();
            if (l != ExprType::String || r != ExprType::String) return kCeNotAllowed;
            return pushType(ExprType::String);
        }
        default: break;
    }
    if (isRelation(kind)) {
        const ExprType r = popType(), l = popType();
        if (l != r) return l == ExprType::String ? kCeAfterString : kCeNotAllowed;
        return pushType(ExprType::Numeric);
    }
    // The arithmetic operators.
    const ExprType r = popType(), l = popType();
    if (l != ExprType::Numeric) return kCeAfterString;
    if (r != ExprType::Numeric) return kCeNotAllowed;
    return pushType(ExprType::Numeric);
}

// Pops every operator that binds at least as tightly (more tightly for precedence 13), then
// pushes `kind`.
int ExprCompiler::pushOperator(uint8_t kind) {
    const int p = stackPrecedence(kind);
    while (c_.ops.top > 0) {
        const uint8_t top = topKind();
        if (top == OpParen) break;
        const int tp = stackPrecedence(top);
        if (!(tp > p || (tp == p && p != 13))) break;
        --c_.ops.top;
        if (int err = emit(top)) return err;
    }
    if (!pushRaw(kind)) return kCeWorkArea;
    return 0;
}

// A prefix operator applies to the operand that follows it: it waits on the stack without
// completing anything before it.
int ExprCompiler::pushPrefix(uint8_t kind) {
    if (!pushRaw(kind)) return kCeWorkArea;
    return 0;
}

// Emits the operators down to the nearest marker and ends a chain started on this level.
int ExprCompiler::popToMarker() {
    while (c_.ops.top > 0 && topKind() != OpParen) {
        const uint8_t k = c_.ops.s[static_cast<size_t>(--c_.ops.top)];
        if (int err = emit(k)) return err;
    }
    if (chain_ & kChainStarted) c_.expr.header(OpChainEnd);
    return 0;
}

int ExprCompiler::openParen() {
    if (!pushRaw(chain_) || !pushRaw(OpParen)) return kCeWorkArea;
    chain_ = 0;
    ++parens_;
    return 0;
}

int ExprCompiler::closeParen() {
    if (int err = popToMarker()) return err;
    c_.ops.top -= 2;  // the marker and the saved flags
    chain_ = c_.ops.s[static_cast<size_t>(c_.ops.top)];
    --parens_;
    return 0;
}

int ExprCompiler::logical(uint8_t kind) {
    // Everything that binds more tightly than AND and OR is complete.
    while (c_.ops.top > 0 && topKind() != OpParen && stackPrecedence(topKind()) > 4) {
        const uint8_t k = c_.ops.s[static_cast<size_t>(--c_.ops.top)];
        if (int err = emit(k)) return err;
    }
    if (popType() != ExprType::Numeric) return kCeAfterString;
    if (!(chain_ & kChainStarted)) {
        c_.expr.header(OpChainStart);
        chain_ |= kChainStarted;
    }
    c_.expr.header(kind);
    return 0;
}

// Arguments in parentheses at c.pos (which is at the '('): each compiled as an expression.
int ExprCompiler::arguments(int& count) {
    count = 0;
    ++c_.pos;  // '('
    c_.skipBlanks();
    if (c_.cur() == ')') {
        ++c_.pos;
        return 0;
    }
    for (;;) {
        if (int err = compileExpression(c_, ExprType::Any)) return err;
        ++count;
        c_.skipBlanks();
        if (c_.cur() == ',') {
            ++c_.pos;
            continue;
        }
        if (c_.cur() == ')') {
            ++c_.pos;
            return 0;
        }
        return kCeParen;
    }
}

// Subscripts, a range or a substring after an array or string name, c.pos at the '('.
int ExprCompiler::subscripts(int array, ExprType elementType) {
    ++c_.pos;
    int count = 0;
    for (;;) {
        if (int err = compileExpression(c_, ExprType::Numeric)) return err;
        ++count;
        c_.skipBlanks();
        if (c_.cur() == ':' && count == 1) {  // A(x:y): a range of a one-dimensional array
            ++c_.pos;
            if (int err = compileExpression(c_, ExprType::Numeric)) return err;
            c_.skipBlanks();
            if (c_.cur() != ')') return kCeParen;
            ++c_.pos;
            c_.expr.header(OpRange);
            c_.expr.word(static_cast<uint16_t>(array));
            return pushType(elementType);
        }
        if (c_.cur() == ',') {
            ++c_.pos;
            continue;
        }
        if (c_.cur() != ')') return kCeParen;
        ++c_.pos;
        break;
    }
    c_.expr.header(OpElement);
    c_.expr.word(static_cast<uint16_t>(array));
    c_.expr.word(static_cast<uint16_t>(count));
    return pushType(elementType);
}

// A substring s$(x:y) of the string value just compiled: c.pos at the '('.
int substring(CompileCtx& c) {
    ++c.pos;
    if (int err = compileExpression(c, ExprType::Numeric)) return err;
    c.skipBlanks();
    if (c.cur() != ':') return kCeSyntax;
    ++c.pos;
    if (int err = compileExpression(c, ExprType::Numeric)) return err;
    c.skipBlanks();
    if (c.cur() != ')') return kCeParen;
    ++c.pos;
    c.expr.header(OpCallStr);
    c.expr.word(100);
    c.expr.word(3);
    return 0;
}

// Whether the subscript list at p (just after '(') is "x:y" at its top level, without
// compiling it.
bool isSubstringList(const CompileCtx& c, size_t p) {
    int depth = 0;
    char quote = 0;
    for (; p < c.upper.size(); ++p) {
        const char ch = c.typed[p];
        if (quote) {
            if (ch == quote) quote = 0;
            continue;
        }
        if (ch == '"' || ch == '\'')
            quote = ch;
        else if (ch == '(')
            ++depth;
        else if (ch == ')') {
            if (depth-- == 0) return false;
        } else if (ch == ':' && depth == 0)
            return true;
        else if (ch == ',' && depth == 0)
            return false;
    }
    return false;
}

int ExprCompiler::name() {
    const size_t n = nameLength(c_.upper, c_.pos);
    if (n > static_cast<size_t>(kMaxNameLength)) return kCeExpression;
    std::string nm = c_.upper.substr(c_.pos, n);
    size_t p = c_.pos + n;
    const bool isString = c_.at(p) == '$';
    if (isString) {
        nm += '$';
        ++p;
    }
    const ExprType type = isString ? ExprType::String : ExprType::Numeric;

    // MAT name: a whole array (in MAT statements and as an argument).
    if (nm == "MAT" && c_.at(p) == ' ') {
        size_t q = p;
        while (c_.at(q) == ' ') ++q;
        const size_t m = nameLength(c_.upper, q);
        if (m == 0 || m > static_cast<size_t>(kMaxNameLength)) return kCeExpression;
        std::string arr = c_.upper.substr(q, m);
        q += m;
        const bool s = c_.at(q) == '$';
        if (s) {
            arr += '$';
            ++q;
        }
        int index = 0;
        if (int err = internName(c_, arr, s ? DE_STRING : 0, index, true, 1)) return err;
        c_.pos = q;
        c_.expr.word(static_cast<uint16_t>(index));
        return pushType(s ? ExprType::String : ExprType::Numeric);
    }

    // User functions.
    if (nm.size() > 2 && nm.compare(0, 2, "FN") == 0) {
        int index = 0;
        if (int err = internName(
                c_, nm, static_cast<uint8_t>(DE_FUNCTION | (isString ? DE_STRING : 0)), index))
            return err;
        c_.pc->progflags |= 0x04;
        c_.pos = p;
        int count = 0;
        if (c_.cur() == '(')
            if (int err = arguments(count)) return err;
        c_.expr.header(OpCallFn);
        c_.expr.word(static_cast<uint16_t>(index));
        c_.expr.word(static_cast<uint16_t>(count));
        return pushType(type);
    }

    // ABS, INT and SGN followed directly by '(' are operators.
    if (!isString && c_.at(p) == '(' && (nm == "ABS" || nm == "INT" || nm == "SGN")) {
        c_.pos = p;
        if (int err = pushPrefix(nm == "ABS" ? OpAbs : nm == "INT" ? OpInt : OpSgn)) return err;
        return 1;  // the parenthesised operand is still to come
    }

    // Built-in functions, whole names only.
    const KeywordTable& table = isString ? stringFunctions() : numericFunctions();
    if (const int f = table.lookup(nm)) {
        c_.pos = p;
        int count = 0;
        if (c_.cur() == '(')
            if (int err = arguments(count)) return err;
        c_.expr.header(isString ? OpCallStr : OpCallNum);
        c_.expr.word(table.code(f));
        c_.expr.word(static_cast<uint16_t>(count));
        if (int err = pushType(type)) return err;
        if (isString && c_.cur() == '(' && isSubstringList(c_, c_.pos + 1)) return substring(c_);
        return 0;
    }

    // Variables and arrays.
    c_.pos = p;
    if (c_.cur() == '(') {
        int index = 0;
        const int existing = findNamePending(*c_.pc, *c_.pending, nm);
        if (isString && !(existing && isArrayEntry(c_, existing)) &&
            isSubstringList(c_, c_.pos + 1)) {
            if (int err = internName(c_, nm, DE_STRING, index)) return err;
            c_.expr.word(static_cast<uint16_t>(index));
            if (int err = pushType(ExprType::String)) return err;
            return substring(c_);
        }
        if (int err = internName(c_, nm, isString ? DE_STRING : 0, index, true, 1)) return err;
        if (int err = subscripts(index, type)) return err;
        if (isString && c_.cur() == '(' && isSubstringList(c_, c_.pos + 1)) return substring(c_);
        return 0;
    }
    int index = 0;
    if (int err = internName(c_, nm, isString ? DE_STRING : 0, index)) return err;
    c_.expr.word(static_cast<uint16_t>(index));
    return pushType(type);
}

// One operand (after any prefix operators).  `done` is set when an operand was compiled; it
// stays clear after a prefix operator or parenthesis, which leave an operand still to come.
int ExprCompiler::operand(bool& done) {
    done = false;
    c_.skipBlanks();
    const char ch = c_.cur();
    const char next = c_.at(c_.pos + 1);
    if (ch == '(') {
        ++c_.pos;
        return openParen();
    }
    if (ch == '-' && !(isDigit(next) || (next == '.' && isDigit(c_.at(c_.pos + 2))))) {
        ++c_.pos;
        return pushPrefix(OpNeg);
    }
    if (ch == '+') {
        ++c_.pos;
        return 0;
    }
    if (ch == '~' && next != '=') {
        ++c_.pos;
        return pushPrefix(OpTilde);
    }
    if (c_.upper.compare(c_.pos, 3, "NOT") == 0 &&
        (c_.at(c_.pos + 3) == ' ' || c_.at(c_.pos + 3) == '(')) {
        c_.pos += 3;
        return pushPrefix(OpNot);
    }
    if (isDigit(ch) || ch == '.' || ch == '-') {
        double value = 0;
        const int n = scanNumber(c_, c_.pos, value);
        if (n < 0) return n;
        if (n == 0) return kCeExpression;
        int index = 0;
        if (int err = internNumber(c_, value, index)) return err;
        c_.pos += static_cast<size_t>(n);
        c_.expr.word(static_cast<uint16_t>(index));
        done = true;
        return pushType(ExprType::Numeric);
    }
    if (ch == '"' || ch == '\'') {
        std::string text;
        const int n = scanString(c_, c_.pos, text);
        if (n < 0) return n;
        int index = 0;
        if (int err = internString(c_, text, index)) return err;
        c_.pos += static_cast<size_t>(n);
        c_.expr.word(static_cast<uint16_t>(index));
        done = true;
        return pushType(ExprType::String);
    }
    if (isNameStart(ch)) {
        const int r = name();
        if (r < 0) return r;
        done = r == 0;
        return 0;
    }
    return lastOperator_ >= 0 && isRelation(lastOperator_) ? kCeAfterRelation : kCeExpression;
}

int ExprCompiler::run(ExprType want, ExprType* type) {
    base_types_ = 0;
    if (!pushRaw(0) || !pushRaw(OpParen)) return kCeWorkArea;  // this expression's own level
    bool expectOperand = true;
    for (;;) {
        if (c_.expr.error()) return c_.expr.error();
        if (expectOperand) {
            bool done = false;
            if (int err = operand(done)) return err;
            if (done) {
                expectOperand = false;
                lastOperator_ = -1;
            }
            continue;
        }
        c_.skipBlanks();
        const char ch = c_.cur();
        const char next = c_.at(c_.pos + 1);
        int kind = -1;
        size_t len = 1;
        switch (ch) {
            case '*': kind = next == '*' ? (len = 2, OpPower) : OpMul; break;
            case '/': kind = OpDiv; break;
            case '%': return kCeOperator;
            case '+': kind = OpAdd; break;
            case '-': kind = OpSub; break;
            case '<':
                if (next == '<') return kCeOperator;
                kind = next == '>' ? (len = 2, OpNe) : next == '=' ? (len = 2, OpLe) : OpLt;
                break;
            case '>':
                if (next == '>') return kCeOperator;
                kind = next == '<' ? (len = 2, OpNe) : next == '=' ? (len = 2, OpGe) : OpGt;
                break;
            case '=':
                kind = next == '<'   ? (len = 2, OpLe)
                       : next == '>' ? (len = 2, OpGe)
                       : next == '=' ? (len = 2, OpEq)
                                     : OpEq;
                break;
            case '~':
                if (next == '=') kind = (len = 2, OpNe);
                break;
            case '&': kind = next == '&' ? (len = 2, OpAndTest) : OpConcat; break;
            case '|':
                if (next == '|') kind = (len = 2, OpOrTest);
                break;
            case ')':
                if (parens_ > 0) {
                    ++c_.pos;
                    if (int err = closeParen()) return err;
                    continue;
                }
                break;
            default:
                if (c_.upper.compare(c_.pos, 4, "AND ") == 0)
                    kind = (len = 3, OpAndTest);
                else if (c_.upper.compare(c_.pos, 3, "OR ") == 0)
                    kind = (len = 2, OpOrTest);
                break;
        }
        if (kind < 0) break;  // the expression ends here
        c_.pos += len;
        if (kind == OpAndTest || kind == OpOrTest) {
            if (int err = logical(static_cast<uint8_t>(kind))) return err;
        } else if (int err = pushOperator(static_cast<uint8_t>(kind))) {
            return err;
        }
        lastOperator_ = kind;
        expectOperand = true;
    }
    if (parens_ > 0) return kCeParen;
    if (int err = popToMarker()) return err;
    c_.ops.top -= 2;
    if (c_.expr.error()) return c_.expr.error();
    if (ntypes_ != 1) return kCeExpression;
    if (want != ExprType::Any && types_[0] != want)
        return types_[0] == ExprType::String ? kCeAfterString : kCeNotAllowed;
    if (type) *type = types_[0];
    return 0;
}

// Whether the text at p is one unsigned integer below 64 that ends the expression.
bool smallIntegerAt(const CompileCtx& c, size_t p, int& value) {
    size_t q = p;
    int v = 0;
    while (isDigit(c.at(q)) && v < 64) v = v * 10 + (c.at(q++) - '0');
    if (q == p || v >= 64 || isDigit(c.at(q)) || c.at(q) == '.' || c.at(q) == 'E') return false;
    while (c.at(q) == ' ') ++q;
    const char end = c.at(q);
    if (!(end == '\0' || end == ',' || end == ':' || end == ';' || end == ')' || end == '\\' ||
          end == '!'))
        return false;
    value = v;
    return true;
}

}  // namespace

int compileExpression(CompileCtx& c, ExprType want, ExprType* type, int* smallInt) {
    c.skipBlanks();
    if (smallInt) {
        *smallInt = -1;
        int v = 0;
        if (want != ExprType::String && smallIntegerAt(c, c.pos, v)) {
            while (isDigit(c.cur())) ++c.pos;
            *smallInt = v;
            if (type) *type = ExprType::Numeric;
            return 0;
        }
    }
    const CompileMark mark = markState(c);
    const int opsTop = c.ops.top;
    ExprCompiler ec(c);
    const int err = ec.run(want, type);
    if (err) {
        restoreState(c, mark);
        c.ops.top = opsTop;
        return err;
    }
    return 0;
}

int internName(CompileCtx& c, std::string_view name, uint8_t kind, int& index, bool array,
               int dims) {
    index = findNamePending(*c.pc, *c.pending, name);
    if (index) return 0;
    if (array && c.options.programActive) return kCeActive;
    const bool stringScalar = (kind & DE_STRING) && !array && !(kind & DE_FUNCTION);
    DePtr e = newDictEntry(kind, stringScalar ? kDefaultStringCapacity : 0);
    if (!e) return kCeNoMemory;
    if (kind & DE_STRING) e->dimlen = kDefaultStringCapacity;
    if (array) e->attr = static_cast<uint8_t>(DA_DIMENSIONED | (dims & DA_DIMS));
    if (pendingAdd(*c.pc, *c.pending, name, std::move(e), index)) return kCeNoMemory;
    return 0;
}

int internNumber(CompileCtx& c, double value, int& index) {
    index = findNumberLiteralPending(*c.pc, *c.pending, value);
    if (index) return 0;
    DePtr e = newNumberLiteral(value);
    if (!e || pendingAdd(*c.pc, *c.pending, "", std::move(e), index)) return kCeNoMemory;
    return 0;
}

int internString(CompileCtx& c, std::string_view text, int& index) {
    index = findStringLiteralPending(*c.pc, *c.pending, text);
    if (index) return 0;
    DePtr e = newStringLiteral(text);
    if (!e || pendingAdd(*c.pc, *c.pending, "", std::move(e), index)) return kCeNoMemory;
    return 0;
}

int scanNumber(const CompileCtx& c, size_t p, double& value) {
    size_t q = p;
    const bool negative = c.at(q) == '-';
    if (negative) ++q;
    const size_t digitsStart = q;
    size_t intDigits = 0, fracDigits = 0;
    while (isDigit(c.at(q))) ++q, ++intDigits;
    if (c.at(q) == '.') {
        ++q;
        while (isDigit(c.at(q))) ++q, ++fracDigits;
    }
    if (intDigits == 0 && fracDigits == 0) return 0;
    if (intDigits > 15 || fracDigits > 9) return kCeExpression;
    size_t end = q;
    if (c.at(q) == 'E') {
        size_t e = q + 1;
        if (c.at(e) == '+' || c.at(e) == '-') ++e;
        if (isDigit(c.at(e))) {
            int magnitude = 0;
            while (isDigit(c.at(e))) {
                magnitude = magnitude * 10 + (c.at(e) - '0');
                if (magnitude > 307) return kCeExpression;
                ++e;
            }
            end = e;
        }
    }
    std::string text = c.upper.substr(digitsStart, end - digitsStart);
    if (text[0] == '.') text.insert(text.begin(), '0');
    if (text.back() == '.') text.pop_back();
    if (const size_t dotE = text.find(".E"); dotE != std::string::npos) text.erase(dotE, 1);
    double v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size()) return kCeExpression;
    value = negative ? -v : v;
    return static_cast<int>(end - p);
}

int scanString(const CompileCtx& c, size_t p, std::string& text) {
    const char quote = p < c.typed.size() ? c.typed[p] : '\0';
    if (quote != '"' && quote != '\'') return 0;
    text.clear();
    size_t q = p + 1;
    for (;;) {
        if (q >= c.typed.size()) return kCeSyntax;  // no closing quote
        const char ch = c.typed[q];
        if (ch == quote) {
            if (q + 1 < c.typed.size() && c.typed[q + 1] == quote) {
                text += quote;
                q += 2;
                continue;
            }
            ++q;
            break;
        }
        text += ch;
        ++q;
    }
    if (text.size() > static_cast<size_t>(kMaxStringLiteral)) return kCeString;
    return static_cast<int>(q - p);
}

int compileTarget(CompileCtx& c, Target& out, bool arrays) {
    c.skipBlanks();
    const CompileMark mark = markState(c);
    auto failWith = [&](int err) {
        restoreState(c, mark);
        return err;
    };
    bool wholeArray = false;
    if (c.upper.compare(c.pos, 4, "MAT ") == 0) {
        c.pos += 4;
        c.skipBlanks();
        wholeArray = true;
    }
    const size_t n = nameLength(c.upper, c.pos);
    if (n == 0) return failWith(kCeSyntax);
    if (n > static_cast<size_t>(kMaxNameLength)) return failWith(kCeExpression);
    std::string nm = c.upper.substr(c.pos, n);
    size_t p = c.pos + n;
    const bool isString = c.at(p) == '$';
    if (isString) {
        nm += '$';
        ++p;
    }
    out.type = isString ? ExprType::String : ExprType::Numeric;
    const uint8_t kind = isString ? DE_STRING : 0;

    if (!wholeArray && nm.size() > 2 && nm.compare(0, 2, "FN") == 0) {
        if (int err = internName(c, nm, static_cast<uint8_t>(DE_FUNCTION | kind), out.index))
            return failWith(err);
        c.pos = p;
        out.kind = TargetKind::Function;
        c.expr.word(static_cast<uint16_t>(out.index));
        return 0;
    }
    if (!wholeArray && (isString ? stringFunctions() : numericFunctions()).lookup(nm))
        return failWith(kCeFunction);
    c.pos = p;

    if (wholeArray) {
        if (int err = internName(c, nm, kind, out.index, true, 1)) return failWith(err);
        out.kind = TargetKind::Array;
        c.expr.word(static_cast<uint16_t>(out.index));
        if (c.cur() == '(') {  // MAT A(x:y): a range
            ++c.pos;
            if (int err = compileExpression(c, ExprType::Numeric)) return failWith(err);
            c.skipBlanks();
            if (c.cur() != ':') return failWith(kCeSyntax);
            ++c.pos;
            if (int err = compileExpression(c, ExprType::Numeric)) return failWith(err);
            c.skipBlanks();
            if (c.cur() != ')') return failWith(kCeParen);
            ++c.pos;
            c.expr.header(OpRange);
            c.expr.word(static_cast<uint16_t>(out.index));
        }
        return c.expr.error() ? failWith(c.expr.error()) : 0;
    }

    if (c.cur() == '(') {
        const int existing = findNamePending(*c.pc, *c.pending, nm);
        const bool known = existing && isArrayEntry(c, existing);
        if (isString && !known && isSubstringList(c, c.pos + 1)) {
            if (int err = internName(c, nm, kind, out.index)) return failWith(err);
            c.expr.word(static_cast<uint16_t>(out.index));
            ++c.pos;
            if (int err = compileExpression(c, ExprType::Numeric)) return failWith(err);
            c.skipBlanks();
            ++c.pos;  // ':'
            if (int err = compileExpression(c, ExprType::Numeric)) return failWith(err);
            c.skipBlanks();
            if (c.cur() != ')') return failWith(kCeParen);
            ++c.pos;
            out.kind = TargetKind::Substring;
            return c.expr.error() ? failWith(c.expr.error()) : 0;
        }
        if (int err = internName(c, nm, kind, out.index, true, 1)) return failWith(err);
        ++c.pos;
        int count = 0;
        for (;;) {
            if (int err = compileExpression(c, ExprType::Numeric)) return failWith(err);
            ++count;
            c.skipBlanks();
            if (c.cur() == ':' && count == 1 && arrays) {  // A(x:y) as a whole-array target
                ++c.pos;
                if (int err = compileExpression(c, ExprType::Numeric)) return failWith(err);
                c.skipBlanks();
                if (c.cur() != ')') return failWith(kCeParen);
                ++c.pos;
                c.expr.header(OpRange);
                c.expr.word(static_cast<uint16_t>(out.index));
                out.kind = TargetKind::Array;
                return c.expr.error() ? failWith(c.expr.error()) : 0;
            }
            if (c.cur() == ',') {
                ++c.pos;
                continue;
            }
            if (c.cur() != ')') return failWith(kCeParen);
            ++c.pos;
            break;
        }
        c.expr.header(OpElement);
        c.expr.word(static_cast<uint16_t>(out.index));
        c.expr.word(static_cast<uint16_t>(count));
        out.kind = TargetKind::Element;
        return c.expr.error() ? failWith(c.expr.error()) : 0;
    }

    if (int err = internName(c, nm, kind, out.index)) return failWith(err);
    out.kind = arrays && isArrayEntry(c, out.index) ? TargetKind::Array : TargetKind::Scalar;
    c.expr.word(static_cast<uint16_t>(out.index));
    return c.expr.error() ? failWith(c.expr.error()) : 0;
}

}  // namespace vxs
