// Mixed forms (see mixform.h): their translation from a clause's items, and the loop that runs
// them.
//
// The translation walks the items over a symbolic copy of the RPN stack that knows each entry's
// type (a number, a small integer word, a string, the assignment's target), so that every
// operation of the form meets the types the general path would accept; anything else keeps the
// clause on the general path, which raises its error.  The walk counts the RPN entries the
// general path would hold; the work-stack bytes of its temporaries depend on the texts' lengths
// and are counted as the form runs.
#include "vxs/interpreter/mixform.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/form/numtext.h"
#include "vxs/indexes/collation.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/fnargs.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/strsub.h"

namespace vxs {

namespace {

// ---- translation ----

enum class Type : uint8_t { Number, Small, Text, Target };

struct Symbol {
    Type type;
    int op;  // the operation that pushed it, in MixTranslation::out
};

bool isArithmeticKind(int kind) {
    return kind == OpAnd || kind == OpOr || kind == OpPower || kind == OpMul || kind == OpDiv ||
           kind == OpAdd || kind == OpSub;
}
bool isComparisonKind(int kind) {
    return kind >= OpGt && kind <= OpEq;
}
bool isUnaryKind(int kind) {
    return kind >= OpNot && kind <= OpSgn;
}
bool numeric(Type t) {
    return t == Type::Number || t == Type::Small;
}

struct MixTranslation {
    const pcb& pc;
    std::vector<MixOp> out;
    Symbol stack[kMaxFormDepth];
    int depth = 0;
    int maxDepth = 0;
    bool stored = false;

    bool push(Type type, const MixOp& op) {
        if (depth == kMaxFormDepth) return false;
        stack[depth++] = {type, static_cast<int>(out.size())};
        out.push_back(op);
        if (depth > maxDepth) maxDepth = depth;
        return true;
    }
    // An operation that takes `n` operands (of the types `types` gives, last on top) and pushes a
    // result of type `result` (none for Type::Target).
    bool apply(std::string_view types, const MixOp& op, Type result) {
        const int n = static_cast<int>(types.size());
        if (depth < n) return false;
        for (int i = 0; i < n; ++i) {
            const Type t = stack[depth - n + i].type;
            const char want = types[static_cast<size_t>(i)];
            if (want == 'n' ? !numeric(t) : t != Type::Text) return false;
        }
        depth -= n;
        if (result == Type::Target) {
            out.push_back(op);
            return true;
        }
        return push(result, op);
    }
    // Operand word `w` as the general path pushes it.
    bool pushWord(uint16_t w) {
        if (w < kFirstDictIndex) return push(Type::Small, {MNumber, 0, 0, static_cast<double>(w)});
        const Cell* e = cellAt(pc, w);
        if (!e || e->isFunction() || isArrayCell(e)) return false;
        if (isStringCell(e)) return push(Type::Text, {MString, 0, w, 0});
        if (e->isLiteral() && !(e->kind & DE_STORAGE))
            return push(Type::Number, {MNumber, 0, 0, e->number()});
        return push(Type::Number, {MNumberVar, 0, w, 0});
    }
    // The assignment of the top value to the entry below it, the clause's first.
    bool assign(Type value) {
        if (stored || depth != 1 || value == Type::Small || value == Type::Target) return false;
        Symbol& target = stack[0];
        MixOp& op = out[static_cast<size_t>(target.op)];
        const bool text = value == Type::Text;
        if ((target.type == Type::Text) != text) return false;
        if (op.code == MNumberVar || op.code == MString) {
            const Cell* e = cellAt(pc, op.index);
            if (!e || e->isLiteral()) return false;
            op.code = MTargetVar;
        } else if (op.code == MElement || op.code == MElementText) {
            op.code = MTargetElement;
        } else {
            return false;
        }
        target.type = Type::Target;
        out.push_back({static_cast<uint8_t>(text ? MStoreText : MStoreNumber), 0, 0, 0});
        stored = true;
        return true;
    }
    bool stringFunction(int code, int args) {
        switch (code) {
            case 100: return args == 3 && apply("snn", {MSubstring, 0, 0, 0}, Type::Text);
            case 48: return args == 1 && apply("n", {MStr, 0, 0, 0}, Type::Text);
            case 49: return args == 1 && apply("n", {MChr, 0, 0, 0}, Type::Text);
            case 81:
            case 82: {
                const MixOp op{MPad, static_cast<uint8_t>(args), static_cast<uint16_t>(code == 81),
                               0};
                return (args == 2 && apply("sn", op, Type::Text)) ||
                       (args == 3 && apply("sns", op, Type::Text));
            }
            default: return false;
        }
    }
    bool numericFunction(int code, int args) {
        switch (code) {
            case 32: return args == 1 && apply("s", {MLen, 0, 0, 0}, Type::Number);
            case 33: return args == 1 && apply("s", {MVal, 0, 0, 0}, Type::Number);
            case 34: return args == 1 && apply("s", {MOrd, 0, 0, 0}, Type::Number);
            case 102: {
                const MixOp op{MPos, static_cast<uint8_t>(args), 0, 0};
                return (args == 2 && apply("ss", op, Type::Number)) ||
                       (args == 3 && apply("ssn", op, Type::Number));
            }
            case 99:
            case 100:
                return args == 2 &&
                       apply("nn", {MRemainder, 0, static_cast<uint16_t>(code == 100), 0},
                             Type::Number);
            default: return false;
        }
    }
};

}  // namespace

bool translateMixedForm(const pcb& pc, std::span<const uint8_t> code, CachedLine& l,
                        CachedClause& c) {
    const ClauseView& v = c.view;
    if (v.direct || (v.code != StLet && v.code != StIf)) return false;
    MixTranslation x{pc, {}, {}, 0, 0, false};
    for (int i = 0; i < v.count; ++i)
        if (!x.pushWord(readWord(code.data() + v.start + 1 + 2 * static_cast<size_t>(i))))
            return false;
    size_t pos = v.itemsAt;
    for (;;) {
        uint8_t h;
        size_t wordsAt, next;
        int words;
        if (decodeItem(code, pos, h, wordsAt, words, next)) return false;
        const int kind = h & 0x3F;
        const int params = operatorParameterWords(kind);
        if (params > words) return false;
        auto word = [&](int i) {
            return readWord(code.data() + wordsAt + 2 * static_cast<size_t>(i));
        };
        pos = next;
        if (x.stored && kind != OpEnd) return false;  // the assignment is the last operation
        bool ok;
        if (kind == OpEnd) {
            for (int i = 0; i < words; ++i)
                if (!x.pushWord(word(i))) return false;
            break;
        } else if (isArithmeticKind(kind)) {
            ok = x.apply("nn", {MArith, static_cast<uint8_t>(kind), 0, 0}, Type::Number);
            if (ok && words == 0 && pos < code.size() && code[pos] == OpAssign) {
                // The general path's fused form: the result goes straight into the target.
                ++pos;
                --x.depth;
                ok = x.assign(Type::Number);
            }
        } else if (isComparisonKind(kind)) {
            const bool text = x.depth >= 1 && x.stack[x.depth - 1].type == Type::Text;
            ok = text
                     ? x.apply("ss", {MCompareText, static_cast<uint8_t>(kind), 0, 0}, Type::Number)
                     : x.apply("nn", {MCompare, static_cast<uint8_t>(kind), 0, 0}, Type::Number);
        } else if (isUnaryKind(kind)) {
            ok = x.apply("n", {MUnary, static_cast<uint8_t>(kind), 0, 0}, Type::Number);
        } else if (kind == OpAssign) {
            ok = x.depth >= 2;
            if (ok) {
                const Type value = x.stack[--x.depth].type;
                ok = x.assign(value);
            }
        } else if (kind == OpConcat) {
            ok = x.apply("ss", {MConcat, 0, 0, 0}, Type::Text);
        } else if (kind == OpCallStr) {
            ok = x.stringFunction(word(0), word(1));
        } else if (kind == OpCallNum) {
            ok = x.numericFunction(word(0), word(1));
        } else if (kind == OpElement || kind == OpElementConst) {
            const int subscripts = kind == OpElement ? word(1) : 0;
            const Cell* array = cellAt(pc, word(0));
            if (!array || array->isFunction() || subscripts > kMaxDims ||
                (kind == OpElement && subscripts < 1))
                return false;
            const bool text = isStringCell(array);
            const MixOp op{static_cast<uint8_t>(text ? MElementText : MElement),
                           static_cast<uint8_t>(subscripts), word(0),
                           kind == OpElementConst ? static_cast<double>(word(1)) : 0.0};
            ok = x.apply(std::string_view("nnnnnnnn", static_cast<size_t>(subscripts)), op,
                         text ? Type::Text : Type::Number);
        } else if (kind == OpInteger) {
            ok = x.push(Type::Small, {MNumber, 0, 0, static_cast<double>(word(0) & 0x7FFF)});
        } else {
            return false;
        }
        if (!ok) return false;
        for (int i = params; i < words; ++i)
            if (!x.pushWord(word(i))) return false;
    }
    if (v.code == StLet) {
        if (!x.stored || x.depth != 1) return false;
        c.form = FastForm::MixLet;
    } else {
        if (x.stored || x.depth != 1 || !numeric(x.stack[0].type)) return false;
        x.out.push_back({MIfEnd, 0, 0, 0});
        c.form = FastForm::MixIf;
    }
    if (l.mix.size() + x.out.size() > 0xFFFF) {
        c.form = FastForm::None;
        return false;
    }
    c.opsAt = static_cast<uint16_t>(l.mix.size());
    c.opsCount = static_cast<uint16_t>(x.out.size());
    c.rpnDepth = static_cast<uint16_t>(x.maxDepth);
    c.workBytes = 0;  // counted as the form runs
    l.mix.insert(l.mix.end(), x.out.begin(), x.out.end());
    return true;
}

// ---- running ----

namespace {

// The texts a form makes while it runs.  Forms do not nest, so one buffer serves them all; a
// form whose texts do not fit gives up.
constexpr size_t kScratchBytes = 1 << 17;
char g_scratch[kScratchBytes];

struct Value {
    const char* text;
    uint32_t length;
    double number;
    std::string_view view() const { return {text, length}; }
};

// A string element's text, as the general path's reference to it reads it.
std::string_view elementText(const Cell* array, const uint8_t* at) {
    uint16_t n;
    memcpy(&n, at, 2);
    const int cap = array->dimlen ? array->dimlen : kInlineStringCapacity;
    return {reinterpret_cast<const char*>(at + 2), static_cast<size_t>(n > cap ? cap : n)};
}

}  // namespace

bool runMixedForm(const EvalEnv& env, const MixOp* op, ptrdiff_t workRoom, bool& truth) {
    const pcb& pc = *env.pc;
    Value s[kMaxFormDepth];
    int n = 0;
    size_t used = 0;  // of the scratch buffer
    size_t work = 0;  // bytes the general path's temporaries would take
    const size_t numberTemp = tempBytes(8);
    Cell* targetCell = nullptr;  // the target: a variable, or an element of targetArray at targetAt
    Cell* targetArray = nullptr;
    uint8_t* targetAt = nullptr;
    // Room for a made text of `length` bytes; null when the scratch buffer is full.
    auto makeText = [&](size_t length) -> char* {
        if (length > kScratchBytes - used) return nullptr;
        char* p = g_scratch + used;
        used += length;
        return p;
    };
    auto pushText = [&](const char* text, size_t length) {
        s[n++] = {text, static_cast<uint32_t>(length), 0};
    };
    auto pushNumber = [&](double v) {
        s[n++] = {nullptr, 0, v};
        work += numberTemp;
    };
    // The element of array op.index at op.kind subscripts off the stack (0: the constant one);
    // `text` 1 or 0 is the array's type, -1 takes either.
    auto element = [&](const MixOp& o, int text, Cell*& array, uint8_t*& at) {
        array = cellAt(pc, o.index);
        if (!array || (text >= 0 && isStringCell(array) != (text == 1))) return false;
        if (o.kind == 0)
            return elementAddressConstant(env, array, static_cast<int>(o.value), at) == 0;
        double sub[kMaxDims];
        n -= o.kind;
        for (int i = 0; i < o.kind; ++i) sub[i] = s[n + i].number;
        return elementAddress(env, array, sub, o.kind, at) == 0;
    };
    for (;; ++op) {
        switch (op->code) {
            case MNumber: s[n++] = {nullptr, 0, op->value}; break;
            case MNumberVar: {
                const Cell* e = cellAt(pc, op->index);
                if (!e || isStringCell(e) || isArrayCell(e) || e->isFunction()) return false;
                s[n++] = {nullptr, 0, cellNumber(e)};
                break;
            }
            case MString: {
                const Cell* e = cellAt(pc, op->index);
                if (!e || !isStringCell(e) || isArrayCell(e) || e->isFunction()) return false;
                const std::string_view t = cellString(e);
                pushText(t.data(), t.size());
                break;
            }
            case MElement:
            case MElementText: {
                Cell* array;
                uint8_t* at;
                const bool text = op->code == MElementText;
                if (!element(*op, text ? 1 : 0, array, at)) return false;
                work += numberTemp;  // the reference to it
                if (text) {
                    const std::string_view t = elementText(array, at);
                    pushText(t.data(), t.size());
                } else {
                    double v;
                    memcpy(&v, at, sizeof v);
                    s[n++] = {nullptr, 0, v};
                }
                break;
            }
            case MArith: {
                double v;
                if (arithmetic(op->kind, s[n - 2].number, s[n - 1].number, v)) return false;
                n -= 2;
                pushNumber(v);
                break;
            }
            case MCompare: {
                const bool r =
                    compareResult(op->kind, compareNumbers(s[n - 2].number, s[n - 1].number));
                n -= 2;
                pushNumber(r ? 1.0 : 0.0);
                break;
            }
            case MCompareText: {
                const bool r = compareResult(
                    op->kind, compareStrings(s[n - 2].view(), s[n - 1].view(), env.alternate));
                n -= 2;
                pushNumber(r ? 1.0 : 0.0);
                break;
            }
            case MUnary: {
                const double v = unaryOperation(op->kind, s[n - 1].number);
                --n;
                pushNumber(v);
                break;
            }
            case MConcat: {
                const std::string_view a = s[n - 2].view(), b = s[n - 1].view();
                if (a.size() + b.size() > static_cast<size_t>(kMaxStringLength)) return false;
                char* p = makeText(a.size() + b.size());
                if (!p) return false;
                copyText(p, a);
                copyText(p + a.size(), b);
                n -= 2;
                pushText(p, a.size() + b.size());
                work += tempBytes(2 + a.size() + b.size());
                break;
            }
            case MSubstring: {
                // s$(x:y): empty when y <= 0, y < x or x past the end; otherwise x..y clipped.
                const std::string_view t = s[n - 3].view();
                int x = toSubscript(s[n - 2].number), y = toSubscript(s[n - 1].number);
                std::string_view part;
                if (!(y <= 0 || y < x || x > static_cast<int>(t.size()))) {
                    if (y > static_cast<int>(t.size())) y = static_cast<int>(t.size());
                    if (x < 1) x = 1;
                    part = t.substr(static_cast<size_t>(x - 1), static_cast<size_t>(y - x + 1));
                }
                n -= 3;
                pushText(part.data(), part.size());
                work += tempBytes(2 + part.size());
                break;
            }
            case MLen: {
                const double v = static_cast<double>(s[n - 1].length);
                --n;
                pushNumber(v);
                break;
            }
            case MVal: {
                double v;
                if (valueOfText(s[n - 1].view(), fn::decimalCharOf(env), v)) return false;
                --n;
                pushNumber(v);
                break;
            }
            case MOrd: {
                const std::string_view t = s[n - 1].view();
                double v = 0;
                if (!t.empty()) {
                    const uint8_t b = static_cast<uint8_t>(t[0]);
                    v = env.alternate ? alternateCollation(b) : b;
                }
                --n;
                pushNumber(v);
                break;
            }
            case MPos: {
                // POS(s, t [, p]): forward from p (1 for 0 or absent); a negative p searches
                // backward from the last possible position (-1) or that many bytes before it.
                const int args = op->kind;
                n -= args;
                const std::string_view a = s[n].view(), b = s[n + 1].view();
                const int start = args == 3 ? fn::positionOf(s[n + 2].number) : 1;
                const int last = static_cast<int>(a.size()) - static_cast<int>(b.size()) + 1;
                double v = 0;
                if (!b.empty() && last >= 1) {
                    if (start >= 0) {
                        const int from = start == 0 ? 1 : start;
                        if (from <= last) {
                            const size_t found = a.find(b, static_cast<size_t>(from - 1));
                            v = found == std::string_view::npos ? 0
                                                                : static_cast<double>(found + 1);
                        }
                    } else {
                        for (int p = last + 1 + start; p >= 1; --p)
                            if (memcmp(a.data() + p - 1, b.data(), b.size()) == 0) {
                                v = p;
                                break;
                            }
                    }
                }
                pushNumber(v);
                break;
            }
            case MStr: {
                char text[kDisplayCapacity];
                int length;
                if (textOfNumber(s[n - 1].number, fn::decimalCharOf(env), text, length))
                    return false;
                char* p = makeText(static_cast<size_t>(length));
                if (!p) return false;
                memcpy(p, text, static_cast<size_t>(length));
                --n;
                pushText(p, static_cast<size_t>(length));
                work += tempBytes(2 + static_cast<size_t>(length));
                break;
            }
            case MChr: {
                // CHR$(n): the byte n; under COLLATE ALTERNATE the byte that collates as n.
                const double v = std::trunc(s[n - 1].number);
                if (!(v >= 0 && v <= 255)) return false;
                uint8_t b = static_cast<uint8_t>(v);
                if (env.alternate) b = alternateCollation(b);
                char* p = makeText(1);
                if (!p) return false;
                *p = static_cast<char>(b);
                --n;
                pushText(p, 1);
                work += tempBytes(3);
                break;
            }
            case MPad: {
                const int args = op->kind;
                n -= args;
                const std::string_view t = s[n].view();
                const double wanted = s[n + 1].number;
                if (wanted > kMaxStringLength) return false;
                char fill = ' ';
                if (args == 3) {
                    if (s[n + 2].length != 1) return false;
                    fill = s[n + 2].text[0];
                }
                const int want = fn::countOf(wanted);
                if (want <= static_cast<int>(t.size())) {
                    pushText(t.data(), t.size());
                    work += tempBytes(2 + t.size());
                    break;
                }
                char* p = makeText(static_cast<size_t>(want));
                if (!p) return false;
                const size_t extra = static_cast<size_t>(want) - t.size();
                if (op->index) {  // LPAD$
                    memset(p, fill, extra);
                    copyText(p + extra, t);
                } else {
                    copyText(p, t);
                    memset(p + t.size(), fill, extra);
                }
                pushText(p, static_cast<size_t>(want));
                work += tempBytes(2 + static_cast<size_t>(want));
                break;
            }
            case MRemainder: {
                // REM and MOD: a - b x q with q = a / b truncated toward zero (REM) or rounded
                // down (MOD).
                const double a = s[n - 2].number, b = s[n - 1].number;
                double v = 0;
                if (b != 0) {
                    const double q = a / b;
                    if (std::isfinite(q)) v = a - b * (op->index ? std::floor(q) : std::trunc(q));
                }
                n -= 2;
                pushNumber(v);
                break;
            }
            case MTargetVar: {
                Cell* e = cellAt(pc, op->index);
                if (!e || isArrayCell(e) || e->isFunction() || e->isLiteral()) return false;
                targetCell = e;
                break;
            }
            case MTargetElement: {
                // Typed by its array as it is now; the store checks the value's type against it.
                if (!element(*op, -1, targetArray, targetAt)) return false;
                work += numberTemp;
                break;
            }
            case MStoreNumber: {
                if (work > static_cast<size_t>(workRoom)) return false;
                const double v = s[n - 1].number;
                if (targetAt) {
                    if (isStringCell(targetArray)) return false;
                    memcpy(targetAt, &v, sizeof v);
                } else {
                    if (!targetCell || isStringCell(targetCell)) return false;
                    setCellNumber(targetCell, v);
                }
                return true;
            }
            case MStoreText: {
                if (work > static_cast<size_t>(workRoom)) return false;
                std::string_view t = s[n - 1].view();
                if (targetAt) {
                    if (!isStringCell(targetArray)) return false;
                    const int cap =
                        targetArray->dimlen ? targetArray->dimlen : kInlineStringCapacity;
                    if (static_cast<int>(t.size()) > cap) {
                        if (!env.soflowIgnore()) return false;
                        t = t.substr(0, static_cast<size_t>(cap));
                    }
                    copyText(targetAt + 2, t);
                    const uint16_t length = static_cast<uint16_t>(t.size());
                    memcpy(targetAt, &length, 2);
                    return true;
                }
                if (!targetCell || !isStringCell(targetCell)) return false;
                if (static_cast<int>(t.size()) > stringCapacity(targetCell) && !env.soflowIgnore())
                    return false;
                // Only a failed allocation of the target's storage fails here, before it writes.
                return assignString(env, targetCell, t) == 0;
            }
            case MIfEnd:
                if (work > static_cast<size_t>(workRoom)) return false;
                truth = isTrue(s[n - 1].number);
                return true;
            default: return false;
        }
    }
}

}  // namespace vxs
