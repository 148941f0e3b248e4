// The evaluator and the primitive operators (see primop.h).
//
// The loop reads one item at a time: the operator runs on the operands below it on the RPN
// stack, then the item's remaining words are pushed.  Every read of the code is checked against
// its end, and every pop against the stack's base, so damaged code ends in an error number.
#include <cmath>
#include <cstring>

#include "vxs/compiler/codes.h"
#include "vxs/errors/errors.h"
#include "vxs/interpreter/primop.h"

namespace vxs {

namespace {


// Pops a cell; a small integer or an empty stack is damaged code.
int popCell(Cell*& c) {
    RpnEntry e;
    if (!rpnPop(e)) return kErrDamaged;
    c = rpnCellOf(e);
    return c ? 0 : kErrDamaged;
}

int popString(std::string_view& s) {
    Cell* c;
    if (int err = popCell(c)) return err;
    if (!isStringCell(c)) return kErrDamaged;
    s = cellString(c);
    return 0;
}

int pushNumber(double v) {
    Cell* c = newNumberTemp(v);
    if (!c) return kErrWorkStack;
    return rpnPush(rpnCell(c));
}

// Compares two entries: as strings when the right one is a string.
int compareEntries(const EvalEnv& env, RpnEntry l, RpnEntry r, int& cmp) {
    const Cell* rc = rpnCellOf(r);
    const Cell* lc = rpnCellOf(l);
    if (rc && isStringCell(rc)) {
        if (!lc || !isStringCell(lc)) return kErrDamaged;
        cmp = compareStrings(cellString(lc), cellString(rc), env.alternate);
        return 0;
    }
    if (lc && isStringCell(lc)) return kErrDamaged;
    const double a = lc ? cellNumber(lc) : rpnSmallValue(l);
    const double b = rc ? cellNumber(rc) : rpnSmallValue(r);
    cmp = compareNumbers(a, b);
    return 0;
}

// Substring assignment target$(x:y) = source$: the three cases by where x and y fall.
int substringAssign(const EvalEnv& env) {
    Cell* source;
    double yv, xv;
    Cell* target;
    if (int err = popCell(source)) return err;
    if (int err = popNumber(yv)) return err;
    if (int err = popNumber(xv)) return err;
    if (int err = popCell(target)) return err;
    if (!isStringCell(source) || !isStringCell(target)) return kErrDamaged;
    uint8_t* lenWord;
    char* text;
    int cap;
    if (int err = writableString(target, lenWord, text, cap)) return err;
    const std::string src(cellString(source));  // the source may overlap the target
    uint16_t l16;
    memcpy(&l16, lenWord, 2);
    const int L = l16 > cap ? cap : l16;
    int W = static_cast<int>(src.size());
    int x = toSubscript(xv), y = toSubscript(yv);
    if (x < 1) x = 1;
    int newLen;
    std::string result(text, static_cast<size_t>(L));
    if (x > L) {  // beyond the end: append
        if (L + W > cap) {
            if (!env.soflowIgnore()) return kErrStringOverflow;
            W = cap - L;
        }
        result.append(src, 0, static_cast<size_t>(W));
    } else if (y > L) {  // from x to the end
        result.resize(static_cast<size_t>(x - 1));
        result += src;
        if (static_cast<int>(result.size()) > cap) {
            if (!env.soflowIgnore()) return kErrStringOverflow;
            result.resize(static_cast<size_t>(cap));
        }
    } else {  // inside: x..y replaced (y below x inserts before x)
        if (y < x) y = x - 1;
        std::string tail = result.substr(static_cast<size_t>(y));
        result.resize(static_cast<size_t>(x - 1));
        result += src;
        if (static_cast<int>(result.size()) > cap) {
            if (!env.soflowIgnore()) return kErrStringOverflow;
            result.resize(static_cast<size_t>(cap));  // the source itself reaches past C
        } else {
            result += tail;
            if (static_cast<int>(result.size()) > cap) {
                if (!env.soflowIgnore()) return kErrStringOverflow;
                result.resize(static_cast<size_t>(cap));
            }
        }
    }
    newLen = static_cast<int>(result.size());
    copyText(text, result);
    const uint16_t n = static_cast<uint16_t>(newLen);
    memcpy(lenWord, &n, 2);
    return rpnPush(rpnCell(source));
}

// Skips the right operand of a short-circuit test: items up to the chain end that closes it
// (not consumed), counting nested chains; an AND's operand also ends at an OR on its level.
int skipOperand(std::span<const uint8_t> code, size_t& pos, bool isAnd) {
    int depth = 0;
    while (pos < code.size()) {
        const uint8_t h = code[pos];
        if ((h & 0xC0) == 0x40) return kErrDamaged;  // a statement inside an expression
        const int kind = h & 0x3F;
        if (kind == OpEnd) return kErrDamaged;
        if (kind == OpChainStart) ++depth;
        if (kind == OpChainEnd) {
            if (depth == 0) return 0;
            --depth;
        }
        if (kind == OpOrTest && isAnd && depth == 0) return 0;
        size_t next = pos + 1;
        if ((h & 0xC0) == 0x80) {
            next += 2;
        } else if ((h & 0xC0) == 0xC0) {
            if (pos + 1 >= code.size() || code[pos + 1] == 0 || code[pos + 1] > 63) return kErrDamaged;
            next += 1 + 2 * static_cast<size_t>(code[pos + 1]);
        }
        if (next > code.size()) return kErrDamaged;
        pos = next;
    }
    return kErrDamaged;
}

}  // namespace

int assignString(const EvalEnv& env, Cell* target, std::string_view text) {
    uint8_t* lenWord;
    char* dst;
    int cap;
    if (int err = writableString(target, lenWord, dst, cap)) return err;
    if (static_cast<int>(text.size()) > cap) {
        if (!env.soflowIgnore()) return kErrStringOverflow;
        text = text.substr(0, static_cast<size_t>(cap));
    }
    copyText(dst, text);
    const uint16_t n = static_cast<uint16_t>(text.size());
    memcpy(lenWord, &n, 2);
    if (!(target->kind & DE_STORAGE)) target->slen = n;
    return 0;
}

int assignCell(const EvalEnv& env, Cell* target, const Cell* source) {
    if (isStringCell(target) != isStringCell(source)) return kErrDamaged;
    if (!isStringCell(target)) {
        setCellNumber(target, cellNumber(source));
        return 0;
    }
    return assignString(env, target, cellString(source));
}

void dropEntries(int n) {
    RpnEntry e;
    while (n-- > 0 && rpnPop(e)) {
    }
}

CallRequest& callRequest() {
    static CallRequest request;
    return request;
}

int evaluate(const EvalEnv& env, std::span<const uint8_t> code, size_t& pos) {
    for (;;) {
        if (pos >= code.size()) return kErrDamaged;
        const uint8_t h = code[pos];
        if ((h & 0xC0) == 0x40) return 0;  // a statement in its direct form follows
        const int kind = h & 0x3F;
        size_t wordsAt = pos + 1;
        int words = 0;
        if ((h & 0xC0) == 0x80) {
            words = 1;
        } else if ((h & 0xC0) == 0xC0) {
            if (pos + 1 >= code.size() || code[pos + 1] == 0 || code[pos + 1] > 63) return kErrDamaged;
            words = code[pos + 1];
            wordsAt = pos + 2;
        }
        const size_t next = wordsAt + 2 * static_cast<size_t>(words);
        if (next > code.size()) return kErrDamaged;
        const uint8_t* w = code.data() + wordsAt;
        auto word = [&](int i) { return readWord(w + 2 * i); };
        int params = operatorParameterWords(kind);
        if (params == 63) params = words;
        if (params > words) return kind >= OpCallFn && kind <= OpCallNum ? kErrDamagedCall : kErrDamaged;
        pos = next;
        int err = 0;
        switch (kind) {
            case OpEnd:
                for (int i = 0; i < words && !err; ++i) err = pushWord(env, word(i));
                return err;
            case OpAnd: case OpOr: case OpPower: case OpMul: case OpDiv: case OpAdd: case OpSub: {
                double l, r, v;
                if ((err = popNumber(r)) || (err = popNumber(l))) return err;
                if ((err = arithmetic(kind, l, r, v))) return err;
                if (words == 0 && pos < code.size() && code[pos] == OpAssign) {
                    // Fused: the result goes straight into the assignment's target.
                    ++pos;
                    Cell* target = rpnStack().empty() ? nullptr
                                                      : rpnCellOf(rpnStack().rpnStackNext[-1]);
                    if (!target) return kErrNoAssignTarget;
                    if (isStringCell(target)) return kErrDamaged;
                    setCellNumber(target, v);
                } else {
                    err = pushNumber(v);
                }
                break;
            }
            case OpAssign: {
                Cell* source;
                if ((err = popCell(source))) return err;
                Cell* target = rpnStack().empty() ? nullptr : rpnCellOf(rpnStack().rpnStackNext[-1]);
                if (!target) return kErrNoAssignTarget;
                err = assignCell(env, target, source);
                break;
            }
            case OpSubAssign: err = substringAssign(env); break;
            case OpConcat: {
                std::string_view r, l;
                if ((err = popString(r)) || (err = popString(l))) return err;
                if (l.size() + r.size() > static_cast<size_t>(kMaxStringLength))
                    return kErrStringTooLong;
                Cell* c = newStringTemp(static_cast<int>(l.size() + r.size()));
                if (!c) return kErrWorkStack;
                copyText(c->stringText(), l);
                copyText(c->stringText() + l.size(), r);
                err = rpnPush(rpnCell(c));
                break;
            }
            case OpGt: case OpLt: case OpGe: case OpLe: case OpNe: case OpEq: {
                RpnEntry r, l;
                if (!rpnPop(r) || !rpnPop(l)) return kErrDamaged;
                int cmp;
                if ((err = compareEntries(env, l, r, cmp))) return err;
                err = pushNumber(compareResult(kind, cmp) ? 1.0 : 0.0);
                break;
            }
            case OpMatch: {
                RpnEntry r, l;
                if (!rpnPop(r) || !rpnPop(l)) return kErrDamaged;
                int cmp, position = 0;
                if ((err = compareEntries(env, l, r, cmp))) return err;
                if (cmp == 0) position = 1;
                for (int i = 0; i < params && position == 0; ++i) {
                    const uint16_t wi = word(i);
                    Cell* listed = wi >= kFirstDictIndex ? dictEntry(*env.pc, wi) : nullptr;
                    if (!listed) return kErrDictionary;
                    if ((err = compareEntries(env, l, rpnCell(listed), cmp))) return err;
                    if (cmp == 0) position = i + 2;
                }
                err = pushNumber(position);
                break;
            }
            case OpMulAssign: case OpDivAssign: case OpAddAssign: case OpSubAssignNum: {
                double r, v;
                Cell* l;
                if ((err = popNumber(r)) || (err = popCell(l))) return err;
                if (isStringCell(l)) return kErrDamaged;
                if ((err = arithmetic(kind, cellNumber(l), r, v))) return err;
                setCellNumber(l, v);
                err = rpnPush(rpnCell(l));
                break;
            }
            case OpCallFn: {
                // The run loop runs the function's body and resumes here.
                callRequest() = {word(0), word(1), pos, wordsAt + 2 * static_cast<size_t>(params),
                                 words - params};
                return kCallPending;
            }
            case OpCallStr: err = opCallString(env, word(0), word(1)); break;
            case OpCallNum: err = opCallNumeric(env, word(0), word(1)); break;
            case OpElement:
            case OpElementConst:
            case OpRange:
            case OpDim: {
                Cell* array = dictEntry(*env.pc, word(0));
                if (!array) return kErrDictionary;
                if (kind == OpElement) err = opElement(env, array, word(1));
                else if (kind == OpElementConst) err = opElementConstant(env, array, word(1));
                else if (kind == OpRange) err = opRange(env, array);
                else err = opDim(env, array, word(1), word(2));
                break;
            }
            case OpInteger: err = rpnPush(rpnSmall(word(0) & 0x7FFF)); break;
            case OpNot: case OpTilde: case OpNeg: case OpAbs: case OpInt: case OpSgn: {
                double x;
                if ((err = popNumber(x))) return err;
                err = pushNumber(unaryOperation(kind, x));
                break;
            }
            case OpChainStart:
            case OpChainEnd:
                break;
            case OpAndTest:
            case OpOrTest: {
                RpnEntry e;
                if (!rpnPop(e)) return kErrDamaged;
                const Cell* c = rpnCellOf(e);
                if (c && isStringCell(c)) return kErrDamaged;
                const bool truth = isTrue(c ? cellNumber(c) : rpnSmallValue(e));
                if (truth == (kind == OpAndTest)) break;  // the right operand decides
                // The left operand decides: it is the result; the right operand (this item's
                // words included) is skipped.
                if ((err = rpnPush(e))) return err;
                if ((err = skipOperand(code, pos, kind == OpAndTest))) return err;
                continue;
            }
            case 1: case 2: case 5: case 6: case 10:
                break;  // kinds without an operation: passed over
            default:
                return kErrDamaged;
        }
        if (err) return err;
        for (int i = params; i < words; ++i)
            if ((err = pushWord(env, word(i)))) return err;
    }
}

}  // namespace vxs
