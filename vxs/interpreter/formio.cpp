// READ, WRITE and REWRITE through a planned FORM (see formio.h): every target or value is taken
// off the RPN stack as expand would take it (a whole array as its elements) and converted at its
// field's place by the conversions the cursor uses itself (formconv.cpp), so that the results
// and the errors are the cursor's.
#include "vxs/interpreter/formio.h"

#include "vxs/interpreter/primop.h"

#include <string_view>

#include "vxs/errors/errors.h"
#include "vxs/interpreter/items.h"
#include "vxs/interpreter/values.h"

namespace vxs {

namespace {

bool g_fast = true;

// Calls `each` with every item of `count` operands in order, a whole array as its elements;
// stops at the first error.  9005 when operands are missing.
template <typename Each>
int forEachItem(Operands ops, int count, Each&& each) {
    for (int i = 0; i < count; ++i) {
        RpnEntry e;
        if (!ops.take(e)) return kErrItems;
        Cell* c = rpnCellOf(e);
        if (!c) {
            if (int err = each(Item{nullptr, static_cast<double>(rpnSmallValue(e)), -1})) return err;
        } else if (isArrayCell(c) && (c->kind & DE_STORAGE)) {
            const int32_t n = elementCount(c);
            for (int32_t k = 0; k < n; ++k)
                if (int err = each(Item{c, 0, k})) return err;
        } else if (int err = each(Item{c, 0, -1})) {
            return err;
        }
    }
    return 0;
}

constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A packed field of at most 8 bytes (15 digits): an exact integer over an exact power of ten,
// as formGetNumber reads it.  False for bytes that are not packed digits and a sign.
inline bool packedValue(const uint8_t* in, int length, int decimals, double& value) {
    uint64_t m = 0;
    for (int i = 0; i + 1 < length; ++i) {
        const int hi = in[i] >> 4, lo = in[i] & 15;
        if (hi > 9 || lo > 9) return false;
        m = m * 100 + static_cast<uint64_t>(hi * 10 + lo);
    }
    const int hi = in[length - 1] >> 4, sign = in[length - 1] & 15;
    if (hi > 9 || (sign != 0x0C && sign != 0x0D && sign != 0x0F)) return false;
    m = m * 10 + static_cast<uint64_t>(hi);
    value = static_cast<double>(m) / kPowers[decimals];
    if (sign == 0x0D) value = -value;
    return true;
}

enum class Text { kNumber, kBlank, kOther };

// Numeric text of the plain kind (blanks, a sign, at most 15 significant digits with the decimal
// character once, blanks), converted as parseNumber converts it; kBlank for a field of blanks,
// kOther for anything else, which parseNumber itself then takes.
inline Text plainText(const uint8_t* p, size_t n, char decimalChar, int implied, double& value) {
    size_t i = 0;
    while (i < n && p[i] == ' ') ++i;
    if (i == n) return Text::kBlank;
    bool negative = false;
    if (p[i] == '-' || p[i] == '+') negative = p[i++] == '-';
    uint64_t mantissa = 0;
    int significant = 0, fraction = 0;
    bool point = false, digits = false;
    for (; i < n; ++i) {
        const uint8_t ch = p[i];
        if (ch >= '0' && ch <= '9') {
            if (mantissa || ch != '0') ++significant;
            mantissa = mantissa * 10 + (ch - '0');
            digits = true;
            fraction += point;
        } else if (ch == static_cast<uint8_t>(decimalChar) && !point) {
            point = true;
        } else {
            break;
        }
    }
    while (i < n && p[i] == ' ') ++i;
    if (i != n || !digits || significant > 15) return Text::kOther;
    const int scale = point ? fraction : (implied > 0 ? implied : 0);
    if (scale > 22) return Text::kOther;
    const double v = static_cast<double>(mantissa) / kPowers[scale];
    value = negative ? -v : v;
    return Text::kNumber;
}

// The number of a field: the common items here, the others (and whatever these do not take)
// through formGetNumber.
inline int numberOfField(const FormField& f, const FormSettings& s, const uint8_t* src,
                         size_t avail, double& value) {
    if (avail >= static_cast<size_t>(f.length)) {
        switch (f.code) {
            case kFormPD:
                if (f.length <= 8 && f.decimals <= 22)
                    return packedValue(src, f.length, f.decimals, value) ? 0 : kErrConversion;
                break;
            case kFormN:
            case kFormG:
            case kFormNZ:
            case kFormGZ:
            case kFormGF: {
                const int implied = s.impliedDecimals ? f.decimals : 0;
                const Text t = plainText(src, static_cast<size_t>(f.length), s.decimalChar,
                                         implied, value);
                if (t == Text::kNumber) return 0;
                if (t == Text::kBlank) {
                    value = 0;
                    return f.code == kFormN ? kErrConversion : 0;
                }
                break;
            }
            default: break;
        }
    }
    size_t used = 0;
    return formGetNumber(f, s, src, avail, value, used);
}

// One field of the record into one target.
int readField(const EvalEnv& env, const FormSettings& s, const FormPlan::Field& p,
              const uint8_t* rec, size_t len, const Item& it) {
    if (p.at > len) return kErrConversion;
    const uint8_t* src = rec + p.at;
    const size_t avail = len - p.at;
    if (it.cell && isStringCell(it.cell)) {
        std::string_view text;
        size_t used = 0;
        if (int err = formGetStringView(p.field, src, avail, text, used)) return err;
        return it.element < 0 ? assignString(env, it.cell, text) : assignText(env, it, text);
    }
    double v;
    if (int err = numberOfField(p.field, s, src, avail, v)) return err;
    if (it.cell && it.element < 0 && (!(it.cell->kind & DE_LITERAL) || (it.cell->kind & DE_STORAGE))) {
        setCellNumber(it.cell, v);
        return 0;
    }
    return assignNumber(it, v);
}

// One value into its field of the record.
int writeField(const FormSettings& s, const FormPlan::Field& p, uint8_t* rec, size_t recl,
               const Item& it) {
    size_t written = 0;
    return it.cell && isStringCell(it.cell)
               ? formPutString(p.field, s, itemString(it), rec + p.at, recl - p.at, written)
               : formPutNumber(p.field, s, itemNumber(it), rec + p.at, recl - p.at, written);
}

}  // namespace

void setFastRecordForms(bool on) { g_fast = on; }
bool fastRecordFormsOn() { return g_fast; }

int countItems(Operands ops, int count, size_t& items) {
    items = 0;
    for (int i = 0; i < count; ++i) {
        RpnEntry e;
        if (!ops.take(e)) return kErrItems;
        const Cell* c = rpnCellOf(e);
        items += c && isArrayCell(c) && (c->kind & DE_STORAGE) ? static_cast<size_t>(elementCount(c)) : 1;
    }
    return 0;
}

int readPlanned(const EvalEnv& env, const FormSettings& s, const FormPlan& plan,
                const uint8_t* rec, size_t len, Operands ops, int count, size_t items,
                int& done) {
    done = 0;
    if (!plan.usable || items > plan.fields.size()) return kFormIoDeclined;
    const FormPlan::Field* field = plan.fields.data();
    return forEachItem(ops, count, [&](const Item& it) {
        if (int err = readField(env, s, *field++, rec, len, it)) return err;
        ++done;
        return 0;
    });
}

int writePlanned(const FormSettings& s, const FormPlan& plan, Operands ops, int count,
                 size_t items, uint8_t* rec, size_t recl) {
    if (!plan.usable || items > plan.fields.size()) return kFormIoDeclined;
    if (items > 0) {
        const FormPlan::Field& last = plan.fields[items - 1];
        if (!last.plain || last.need > recl) return kFormIoDeclined;
    }
    const FormPlan::Field* field = plan.fields.data();
    return forEachItem(ops, count,
                       [&](const Item& it) { return writeField(s, *field++, rec, recl, it); });
}

}  // namespace vxs
