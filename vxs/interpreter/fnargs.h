// The arguments of a built-in function call as they lie on the RPN stack (the last one on top),
// and the result that replaces them: a temporary from the work stack, so a call costs no heap.
// Shared by the numeric functions (numfunct) and the string functions (strsub).
#pragma once

#include <cstdint>
#include <string_view>

#include "vxs/errors/errors.h"
#include "vxs/interpreter/primop.h"
#include "vxs/interpreter/values.h"

namespace vxs::fn {


class Args {
  public:
    // The call's `count` arguments at the top of the stack; 9302 when fewer are there.
    [[nodiscard]] int take(int count) {
        RpnStack& s = rpnStack();
        if (count < 0 || static_cast<size_t>(count) > s.size()) return kErrDamagedCall;
        at_ = s.rpnStackNext - count;
        count_ = count;
        return 0;
    }
    int count() const { return count_; }

    // A number: a numeric scalar or a small integer word.
    bool isNumber(int i) const {
        const Cell* c = rpnCellOf(at_[i]);
        return !c || (!isStringCell(c) && !isArrayCell(c));
    }
    bool isString(int i) const {
        const Cell* c = rpnCellOf(at_[i]);
        return c && isStringCell(c) && !isArrayCell(c);
    }
    bool isArray(int i) const {
        const Cell* c = rpnCellOf(at_[i]);
        return c && isArrayCell(c);
    }
    Cell* cell(int i) const { return rpnCellOf(at_[i]); }
    double number(int i) const {
        const Cell* c = rpnCellOf(at_[i]);
        return c ? cellNumber(c) : rpnSmallValue(at_[i]);
    }
    std::string_view string(int i) const { return cellString(rpnCellOf(at_[i])); }

    // Checks that there are `min` to shape.size() arguments and that argument i is a number
    // ('n'), a string ('s'), an array ('a') or anything ('*') as shape[i] says.  304 otherwise.
    [[nodiscard]] int expect(std::string_view shape, int min) const {
        if (count_ < min || count_ > static_cast<int>(shape.size())) return kErrArgumentKind;
        for (int i = 0; i < count_; ++i) {
            const char k = shape[static_cast<size_t>(i)];
            if ((k == 'n' && !isNumber(i)) || (k == 's' && !isString(i)) ||
                (k == 'a' && !isArray(i)))
                return kErrArgumentKind;
        }
        return 0;
    }

    // Replaces the arguments by the result: a temporary made here (resultNumber,
    // resultString) or filled in by the caller (stringTemp).
    [[nodiscard]] int finish(Cell* result) const {
        rpnStack().rpnStackNext = at_;
        return rpnPush(rpnCell(result));
    }
    [[nodiscard]] int resultNumber(double v) const {
        Cell* c = newNumberTemp(v);
        return c ? finish(c) : kErrWorkStack;
    }
    // A string result of `length` bytes to be written at `text` before finish().
    [[nodiscard]] static int stringTemp(int64_t length, Cell*& c, char*& text) {
        if (length > kMaxStringLength) return kErrStringTooLong;
        c = newStringTemp(static_cast<int>(length));
        if (!c) return kErrWorkStack;
        text = c->stringText();
        return 0;
    }
    [[nodiscard]] int resultString(std::string_view s) const {
        Cell* c;
        char* text;
        if (int err = stringTemp(static_cast<int64_t>(s.size()), c, text)) return err;
        copyText(text, s);
        return finish(c);
    }

  private:
    RpnEntry* at_ = nullptr;
    int count_ = 0;
};

// The running program's decimal character (period, or comma under OPTION DECIMAL COMMA).
inline char decimalCharOf(const EvalEnv& env) {
    return env.pc && env.pc->progoptions[3] ? ',' : '.';
}

// A count or size given to a string function (second clamp), and a position (first clamp).
inline int countOf(double v) {
    return toCount(v);
}
inline int positionOf(double v) {
    return toSubscript(v);
}

}  // namespace vxs::fn
