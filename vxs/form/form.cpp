// The FORM compiler, the check of compiled bytes, the cursor that walks a compiled form over a
// buffer, and CNVRT$'s one-value conversion.  The compiled layout is described in form.h; the
// conversions of the items themselves are in formconv.cpp.
#include "vxs/form/form.h"

#include <algorithm>
#include <vector>

namespace vxs {

namespace {

// The most decimals a numeric item of `length` may have: 9 for binary items, the digits of a
// packed field, else the length.  The compiler and the check of compiled bytes agree on it.
int mostDecimals(uint8_t code, int length) {
    if (code >= kFormB && code <= kFormBH) return 9;
    return code == kFormPD ? 2 * length - 1 : length;
}


struct Keyword {
    std::string_view text;
    uint8_t code;
};

// Matched in this order, the first match winning; a trailing blank keeps "C " from matching
// "CC 5".  The bare C and V come last and only before the end, "," or ")".
constexpr Keyword kKeywords[] = {
    {"POS", kFormPos}, {"SKIP", kFormSkip}, {"X", kFormX},     {"PIC(", kFormPic},
    {"DATE(", kFormDate}, {"V ", kFormV},   {"C ", kFormC},    {"CC ", kFormCC},
    {"CR ", kFormCR},  {"N ", kFormN},      {"ZD ", kFormZD},  {"PD ", kFormPD},
    {"G ", kFormG},    {"NZ ", kFormNZ},    {"GZ ", kFormGZ},  {"GF ", kFormGF},
    {"DT", kFormDT},   {"DH", kFormDH},     {"DL", kFormDL},   {"D", kFormD},
    {"S", kFormS},     {"L", kFormL},       {"B ", kFormB},    {"BL ", kFormBL},
    {"BH ", kFormBH},  {"(", kFormGroup},   {")", kFormGroupEnd},
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isNameStart(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isNameChar(char c) {
    return isNameStart(c) || isDigit(c) || c == '_';
}

// One FORM text being compiled: the text upper-cased outside quotes, the items and references
// built so far.
class Compiler {
  public:
    Compiler(std::string_view text, const FormNameLookup& lookup) : raw_(text), lookup_(lookup) {
        t_.assign(text);
        char quote = 0;
        for (char& c : t_) {
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 32);
            }
        }
    }

    int run(CompiledForm& out) {
        skipBlanks();
        if (t_.compare(p_, 4, "FORM") == 0 && (p_ + 4 == t_.size() || t_[p_ + 4] == ' ')) p_ += 4;
        skipBlanks();
        if (p_ < t_.size()) {
            for (;;) {
                if (int err = item()) return fail(out, err);
                skipBlanks();
                if (p_ >= t_.size()) break;
                if (lastCode_ == kFormGroup) continue;  // "(" needs no separator after it
                if (t_[p_] == ')') continue;            // nor an item before a ")"
                if (t_[p_] != ',') return fail(out, kErrFormStructure);
                ++p_;
                skipBlanks();
                if (p_ >= t_.size()) return fail(out, kErrFormStructure);
            }
        }
        if (inGroup_) return fail(out, kErrFormStructure);
        if (!sawData_) items_.push_back(0x40 | kFormNoData);
        items_.push_back(kFormEnd);
        const size_t total = 2 + 2 * refs_.size() + items_.size();
        if (total > kMaxFormBytes) return fail(out, kErrFormTooLong);
        out.bytes[0] = static_cast<uint8_t>(total);
        out.bytes[1] = static_cast<uint8_t>(refs_.size());
        size_t at = 2;
        for (uint16_t r : refs_) {
            out.bytes[at++] = static_cast<uint8_t>(r);
            out.bytes[at++] = static_cast<uint8_t>(r >> 8);
        }
        for (uint8_t b : items_) out.bytes[at++] = b;
        out.size = total;
        out.errorAt = 0;
        return 0;
    }

  private:
    int fail(CompiledForm& out, int err) {
        out.size = 0;
        out.errorAt = std::min(p_, t_.size()) + 1;
        return err;
    }
    void skipBlanks() {
        while (p_ < t_.size() && t_[p_] == ' ') ++p_;
    }
    bool atItemEnd() const {
        return p_ >= t_.size() || t_[p_] == ',' || t_[p_] == ')';
    }
    // Grows the items, refusing more than a form can hold (the lists stay small).
    int emit(uint8_t b) {
        if (items_.size() >= kMaxFormBytes) return kErrFormTooLong;
        items_.push_back(b);
        return 0;
    }
    int emitWord(unsigned w) {
        if (int err = emit(static_cast<uint8_t>(w))) return err;
        return emit(static_cast<uint8_t>(w >> 8));
    }

    // number := digits    Returns false (p_ kept) when there are none; 1070 above `max`.
    int number(long max, long& value, bool& found) {
        found = false;
        value = 0;
        while (p_ < t_.size() && isDigit(t_[p_])) {
            found = true;
            value = value * 10 + (t_[p_++] - '0');
            if (value > max) return kErrFormNumber;
        }
        return 0;
    }
    // A variable's name at p_ as a reference; 1070 without a lookup or for an unknown name.
    int variable() {
        const size_t from = p_;
        while (p_ < t_.size() && isNameChar(t_[p_])) ++p_;
        uint16_t index = 0;
        if (!lookup_ || lookup_(std::string_view(t_).substr(from, p_ - from), index)) {
            p_ = from;
            return kErrFormNumber;
        }
        if (refs_.size() >= 255) return kErrFormTooLong;
        refs_.push_back(index);
        return 0;
    }
    // The header with its number (value < 0: a variable reference).
    int header(uint8_t code, long value) {
        if (value < 0) return emit(code);
        if (value == 1) return emit(0x40 | code);
        if (value <= 255) {
            if (int err = emit(0x80 | code)) return err;
            return emit(static_cast<uint8_t>(value));
        }
        if (int err = emit(0xC0 | code)) return err;
        return emitWord(static_cast<unsigned>(value));
    }
    // A position or count: a number 0..65535 (`min` the least) or a variable.
    int parameter(long min, long& value) {
        skipBlanks();
        bool found;
        if (int err = number(65535, value, found)) return err;
        if (found) return value < min ? kErrFormNumber : 0;
        if (p_ < t_.size() && isNameStart(t_[p_])) {
            value = -1;
            return variable();
        }
        return kErrFormNumber;
    }

    // item := [repeat "*"] keyword [parameters]      repeat := digits | name
    int item() {
        long repeat = 1;
        bool repeated = false;
        const size_t start = p_;
        if (p_ < t_.size() && (isDigit(t_[p_]) || isNameStart(t_[p_]))) {
            size_t q = p_;
            while (q < t_.size() && isNameChar(t_[q])) ++q;
            size_t r = q;
            while (r < t_.size() && t_[r] == ' ') ++r;
            if (r < t_.size() && t_[r] == '*') {
                if (isDigit(t_[p_])) {
                    bool found;
                    if (int err = number(65535, repeat, found)) return err;
                    if (p_ != q) return kErrFormNumber;
                } else if (int err = variable()) {
                    return err;
                } else {
                    repeat = -1;
                }
                p_ = r + 1;
                skipBlanks();
                repeated = true;
            }
        }
        uint8_t code = 0;
        for (const Keyword& k : kKeywords) {
            if (t_.compare(p_, k.text.size(), k.text) == 0) {
                code = k.code;
                p_ += k.text.size();
                break;
            }
        }
        if (!code && p_ < t_.size() && (t_[p_] == 'C' || t_[p_] == 'V')) {
            const char c = t_[p_++];
            if (atItemEnd()) code = c == 'C' ? kFormC : kFormV;
            else --p_;
        }
        if (!code && p_ < t_.size() && (t_[p_] == '"' || t_[p_] == '\'')) code = kFormLiteral;
        if (!code) return kErrFormStructure;
        const bool repeatable = code >= kFormV || code == kFormPic || code == kFormGroup;
        if (repeated && !repeatable) {
            p_ = start;
            return kErrFormStructure;
        }
        lastCode_ = code;
        switch (code) {
            case kFormPos:
            case kFormX:
            case kFormSkip: {
                long value;
                if (int err = parameter(code == kFormPos ? 1 : 0, value)) return err;
                return header(code, value);
            }
            case kFormGroup:
                if (inGroup_) return kErrFormStructure;
                inGroup_ = true;
                groupItems_ = 0;
                return header(code, repeat);
            case kFormGroupEnd:
                if (!inGroup_ || groupItems_ == 0) return kErrFormStructure;
                inGroup_ = false;
                return emit(0x40 | code);
            case kFormLiteral: return literal();
            case kFormPic: return picture(repeat);
            case kFormDate: return dateFormat(repeat);
            default: break;
        }
        ++groupItems_;
        sawData_ = true;
        if (int err = header(code, repeat)) return err;
        if (formIsCharacter(code)) return characterLength();
        if (code >= kFormGF && code <= kFormBH) return numericLength(code);
        if (code >= kFormDT && code <= kFormDL) {
            skipBlanks();
            long value = 3;
            bool found;
            if (int err = number(4, value, found)) return err;
            if (!found) value = 3;
            if (value != 3 && value != 4) return kErrFormNumber;
            return emit(static_cast<uint8_t>(value));
        }
        return 0;  // D, S, L
    }

    // The length of V, C, CC or CR: a number up to 32767, a variable, or none.
    int characterLength() {
        skipBlanks();
        if (atItemEnd()) return emitWord(0);
        bool found;
        long value;
        if (int err = number(32767, value, found)) return err;
        if (found) return value < 1 ? kErrFormNumber : emitWord(static_cast<unsigned>(value));
        if (!isNameStart(t_[p_])) return kErrFormNumber;
        if (int err = variable()) return err;
        return emitWord(0x8000 | (refs_.size() - 1));
    }

    // length[.decimals] of a numeric item.
    int numericLength(uint8_t code) {
        skipBlanks();
        bool found;
        long length, decimals = 0;
        if (int err = number(kMaxNumericLength, length, found)) return err;
        if (!found || length < 1) return kErrFormNumber;
        const bool binary = code >= kFormB && code <= kFormBH;
        if (binary && length > 4) return kErrFormNumber;
        if (p_ < t_.size() && t_[p_] == '.') {
            if (code == kFormGF) return kErrFormNumber;
            ++p_;
            if (int err = number(99, decimals, found)) return err;
            if (!found) return kErrFormNumber;
        }
        if (decimals > mostDecimals(code, static_cast<int>(length))) return kErrFormNumber;
        if (int err = emit(static_cast<uint8_t>(length))) return err;
        return emit(static_cast<uint8_t>(decimals));
    }

    // 'text' or "text", a doubled quote standing for one; the bytes as typed.
    int literal() {
        const char quote = t_[p_++];
        std::string bytes;
        for (;;) {
            if (p_ >= t_.size()) return kErrFormStructure;
            if (raw_[p_] == quote) {
                if (p_ + 1 < t_.size() && raw_[p_ + 1] == quote) {
                    bytes.push_back(quote);
                    p_ += 2;
                    continue;
                }
                ++p_;
                break;
            }
            bytes.push_back(raw_[p_++]);
        }
        if (bytes.empty() || bytes.size() > 255) return kErrFormTooLong;
        if (int err = emit(0x40 | kFormLiteral)) return err;
        if (int err = emit(static_cast<uint8_t>(bytes.size()))) return err;
        for (char c : bytes)
            if (int err = emit(static_cast<uint8_t>(c))) return err;
        return 0;
    }

    // The text up to ")" of PIC( or DATE(.
    int parenthesised(std::string_view& text) {
        const size_t close = t_.find(')', p_);
        if (close == std::string::npos || close == p_) return kErrFormStructure;
        text = std::string_view(t_).substr(p_, close - p_);
        if (text.size() > 127) return kErrFormTooLong;
        p_ = close + 1;
        return 0;
    }

    // PIC(picture): the digit positions before and after the point (one point at most), the
    // sign position, an exponent field of 3 to 5 "^" after the digits, with at most 15 digit
    // positions on either side of the point.
    int picture(long repeat) {
        std::string_view pic;
        const size_t open = p_;
        if (int err = parenthesised(pic)) return err;
        int before = 0, after = 0, carets = 0, runs = 0, points = 0;
        bool point = false, afterRun = false;
        for (size_t i = 0; i < pic.size(); ++i) {
            const char c = pic[i];
            if (c == '^') {
                if (i == 0 || pic[i - 1] != '^') ++runs;
                ++carets;
                continue;
            }
            // Only a trailing sign may follow the exponent field.
            if (carets > 0 && !(i + 1 == pic.size() && (c == '+' || c == '-'))) afterRun = true;
            if (c == '.') {
                point = true;
                ++points;
            } else if ((c == '+' || c == '-') && i + 1 == pic.size() && i > 0 && pic[i - 1] != c) {
                // the trailing sign position
            } else if (c == '#' || c == '$' || c == '(' || c == '*' || c == '+' || c == '-' ||
                       c == 'Z') {
                ++(point ? after : before);
            }
        }
        const bool exponent = carets > 0;
        if (before + after == 0 || points > 1 ||
            (exponent && (afterRun || runs != 1 || carets < 3 || carets > 5 || before > 15 || after > 15 ||
                          before == 0))) {
            p_ = open;
            return kErrFormStructure;
        }
        ++groupItems_;
        sawData_ = true;
        if (int err = header(kFormPic, repeat)) return err;
        if (int err = emit(static_cast<uint8_t>(pic.size() | (exponent ? 0x80 : 0)))) return err;
        const int digits = exponent ? before << 4 | after : after;
        if (digits > 255) return kErrFormNumber;
        if (int err = emit(static_cast<uint8_t>(digits))) return err;
        for (char c : pic)
            if (int err = emit(static_cast<uint8_t>(c))) return err;
        return 0;
    }

    int dateFormat(long repeat) {
        std::string_view format;
        if (int err = parenthesised(format)) return err;
        ++groupItems_;
        sawData_ = true;
        if (int err = header(kFormDate, repeat)) return err;
        if (int err = emit(static_cast<uint8_t>(format.size()))) return err;
        for (char c : format)
            if (int err = emit(static_cast<uint8_t>(c))) return err;
        return 0;
    }

    std::string_view raw_;
    std::string t_;
    const FormNameLookup& lookup_;
    size_t p_ = 0;
    std::vector<uint8_t> items_;
    std::vector<uint16_t> refs_;
    uint8_t lastCode_ = 0;
    bool inGroup_ = false;
    int groupItems_ = 0;
    bool sawData_ = false;
};

// One decoded item of a compiled form.
struct Decoded {
    uint8_t code = 0;
    bool variable = false;  // the header number is a variable reference
    int number = 0;         // the header number
    bool lengthVariable = false;
    FormField field;
    size_t next = 0;  // offset of the following item
};

// Decodes the item at `at` of `b` (`size` bytes), within bounds; 1020 for damaged bytes.
int decodeItem(const uint8_t* b, size_t size, size_t at, Decoded& d) {
    auto need = [&](size_t n) { return at + n <= size; };
    if (!need(1)) return kErrFormStructure;
    const uint8_t h = b[at++];
    d = Decoded{};
    d.code = h & 0x3F;
    d.field.code = d.code;
    if (h == kFormEnd) {
        d.next = at;
        return 0;
    }
    switch (h >> 6) {
        case 0: d.variable = true; break;
        case 1: d.number = 1; break;
        case 2:
            if (!need(1)) return kErrFormStructure;
            d.number = b[at++];
            break;
        default:
            if (!need(2)) return kErrFormStructure;
            d.number = b[at] | b[at + 1] << 8;
            at += 2;
            break;
    }
    FormField& f = d.field;
    switch (d.code) {
        case kFormPos:
        case kFormX:
        case kFormSkip:
        case kFormGroup:
        case kFormD:
        case kFormL: break;
        case kFormS: f.length = 4; break;
        case kFormGroupEnd:
        case kFormNoData:
            if (d.variable) return kErrFormStructure;
            break;
        case kFormV:
        case kFormC:
        case kFormCC:
        case kFormCR: {
            if (!need(2)) return kErrFormStructure;
            const int w = b[at] | b[at + 1] << 8;
            at += 2;
            d.lengthVariable = (w & 0x8000) != 0;
            f.length = w & 0x7FFF;
            break;
        }
        case kFormLiteral:
        case kFormDate:
        case kFormPic: {
            if (!need(1)) return kErrFormStructure;
            int n = b[at++];
            if (d.code == kFormPic) {
                if (!need(1)) return kErrFormStructure;
                f.picExponent = (n & 0x80) != 0;
                n &= 0x7F;
                const int digits = b[at++];
                if (f.picExponent) {
                    f.picBefore = digits >> 4;
                    f.picAfter = digits & 15;
                    f.decimals = f.picAfter;
                } else {
                    f.decimals = digits;
                }
            }
            if (n == 0 || !need(static_cast<size_t>(n))) return kErrFormStructure;
            f.text = std::string_view(reinterpret_cast<const char*>(b + at), static_cast<size_t>(n));
            at += static_cast<size_t>(n);
            if (d.code == kFormPic) f.length = n;
            if (d.code == kFormDate && (f.length = formDateLength(f.text)) <= 0)
                return kErrFormStructure;
            break;
        }
        case kFormDT:
        case kFormDH:
        case kFormDL:
            if (!need(1) || (b[at] != 3 && b[at] != 4)) return kErrFormStructure;
            f.length = b[at++];
            break;
        default:
            if (d.code < kFormGF || d.code > kFormBH || !need(2)) return kErrFormStructure;
            f.length = b[at];
            f.decimals = b[at + 1];
            at += 2;
            if (f.length < 1 || f.length > kMaxNumericLength ||
                f.decimals > mostDecimals(d.code, f.length) || (d.code >= kFormB && f.length > 4))
                return kErrFormStructure;
            break;
    }
    if (d.code == kFormD) f.length = 8;
    if (d.code == kFormL) f.length = 9;
    d.next = at;
    return 0;
}

}  // namespace

bool formIsCharacter(uint8_t code) {
    return code >= kFormV && code <= kFormCR;
}
bool formIsNumeric(uint8_t code) {
    return code == kFormPic || code == kFormDate || (code >= kFormGF && code <= kFormDL);
}

int formCompile(std::string_view text, CompiledForm& out, const FormNameLookup& lookup) {
    Compiler c(text, lookup);
    return c.run(out);
}

int formFromBytes(std::string_view bytes, CompiledForm& out) {
    out.size = 0;
    if (bytes.size() < 3 || bytes.size() > kMaxFormBytes) return kErrFormStructure;
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    if (b[0] != bytes.size()) return kErrFormStructure;
    size_t at = 2 + 2 * size_t{b[1]};
    bool group = false;
    while (at < bytes.size()) {
        Decoded d;
        if (decodeItem(b, bytes.size(), at, d)) return kErrFormStructure;
        if (d.code == kFormGroup) {
            if (group) return kErrFormStructure;
            group = true;
        } else if (d.code == kFormGroupEnd) {
            if (!group) return kErrFormStructure;
            group = false;
        }
        at = d.next;
        if (d.code == kFormEnd) {
            if (at != bytes.size() || group) return kErrFormStructure;
            std::copy(b, b + bytes.size(), out.bytes.begin());
            out.size = bytes.size();
            return 0;
        }
    }
    return kErrFormStructure;
}

// ---- the cursor ----

FormCursor::FormCursor(const CompiledForm& form, const FormSettings& settings, uint8_t* buffer,
                       size_t size, bool output)
    : form_(form), s_(settings), buf_(buffer), size_(size), output_(output) {
    if (form.size >= 3) {
        refs_ = form.bytes[1];
        itemsStart_ = at_ = 2 + 2 * static_cast<size_t>(refs_);
    }
}

// The value of the next variable reference, rounded to a whole number.
int FormCursor::variableValue(int& value) {
    if (varIndex_ >= refs_ || !s_.variable) return kErrFormStructure;
    const size_t at = 2 + 2 * static_cast<size_t>(varIndex_++);
    const uint16_t index = static_cast<uint16_t>(form_.bytes[at] | form_.bytes[at + 1] << 8);
    double v = 0;
    if (int err = s_.variable(index, v)) return err;
    if (!(v > -2147483648.0 && v < 2147483647.0)) return kErrConversion;
    value = static_cast<int>(v >= 0 ? v + 0.5 : v - 0.5);
    return 0;
}

// Moves the position on by n bytes, writing blanks on the way when asked.
int FormCursor::advance(size_t n, bool blanks) {
    if (output_ && (pos_ > size_ || n > size_ - pos_)) return kErrConversion;
    if (blanks && output_) {
        std::fill(buf_ + pos_, buf_ + pos_ + n, ' ');
        high_ = std::max(high_, pos_ + n);
    }
    pos_ += n;
    return 0;
}

int FormCursor::next(FormField& f) {
    if (repeatLeft_ > 0) {
        --repeatLeft_;
        f = field_;
        return 0;
    }
    if (form_.size < 3) return kErrFormStructure;
    // Every pass over the items meets a data item or fails, so the walk ends.
    for (int passes = 0; passes < 2;) {
        Decoded d;
        if (decodeItem(form_.bytes.data(), form_.size, at_, d)) return kErrFormStructure;
        int number = d.number;
        if (d.variable)
            if (int err = variableValue(number)) return err;
        switch (d.code) {
            case kFormEnd:
                if (groupStart_) return kErrFormStructure;
                if (!sawData_) return kErrFormStructure;
                at_ = itemsStart_;
                varIndex_ = 0;
                sawData_ = false;
                ++passes;
                ++restarts_;
                continue;
            case kFormNoData: break;
            case kFormPos:
                if (number < 1 || (output_ && static_cast<size_t>(number) > size_ + 1))
                    return kErrConversion;
                pos_ = static_cast<size_t>(number) - 1;
                furthestPos_ = std::max(furthestPos_, pos_);
                break;
            case kFormX:
                ++fillers_;
                if (number < 0) return kErrConversion;
                if (int err = advance(static_cast<size_t>(number), true)) return err;
                break;
            case kFormSkip:
                ++fillers_;
                if (number > 0) lines_ += number;
                break;
            case kFormLiteral:
                ++fillers_;
                if (output_) {
                    if (int err = advance(0, false)) return err;
                    if (d.field.text.size() > size_ - pos_) return kErrConversion;
                    std::copy(d.field.text.begin(), d.field.text.end(), buf_ + pos_);
                    high_ = std::max(high_, pos_ + d.field.text.size());
                }
                pos_ += d.field.text.size();
                break;
            case kFormGroup:
                if (groupStart_) return kErrFormStructure;
                groupStart_ = d.next;
                groupLeft_ = (number <= 0 ? s_.defaultCount : number) - 1;
                groupVarIndex_ = varIndex_;
                break;
            case kFormGroupEnd:
                if (!groupStart_) return kErrFormStructure;
                if (groupLeft_ > 0) {
                    --groupLeft_;
                    at_ = groupStart_;
                    varIndex_ = groupVarIndex_;
                    continue;
                }
                groupStart_ = 0;
                break;
            default: {
                field_ = d.field;
                if (formIsCharacter(d.code) && d.lengthVariable) {
                    int length = 0;
                    if (int err = variableValue(length)) return err;
                    if (length < 1 || length > 32767) return kErrConversion;
                    field_.length = length;
                }
                if (d.code == kFormS && s_.singleFiveBytes) field_.length = 5;
                const int count = number <= 0 ? s_.defaultCount : number;
                repeatLeft_ = count > 0 ? count - 1 : 0;
                sawData_ = true;
                at_ = d.next;
                f = field_;
                return 0;
            }
        }
        at_ = d.next;
    }
    return kErrFormStructure;
}

int FormCursor::writeNumber(double value) {
    FormField f;
    if (int err = next(f)) return err;
    if (pos_ > size_) return kErrConversion;
    size_t written = 0;
    if (int err = formPutNumber(f, s_, value, buf_ + pos_, size_ - pos_, written)) return err;
    pos_ += written;
    high_ = std::max(high_, pos_);
    return 0;
}

int FormCursor::writeString(std::string_view value) {
    FormField f;
    if (int err = next(f)) return err;
    if (pos_ > size_) return kErrConversion;
    size_t written = 0;
    if (int err = formPutString(f, s_, value, buf_ + pos_, size_ - pos_, written)) return err;
    pos_ += written;
    high_ = std::max(high_, pos_);
    return 0;
}

int FormCursor::readNumber(double& value) {
    FormField f;
    if (int err = next(f)) return err;
    if (pos_ > size_) return kErrConversion;
    size_t used = 0;
    if (int err = formGetNumber(f, s_, buf_ + pos_, size_ - pos_, value, used)) return err;
    pos_ += used;
    return 0;
}

int FormCursor::readString(std::string& value) {
    FormField f;
    if (int err = next(f)) return err;
    if (pos_ > size_) return kErrConversion;
    size_t used = 0;
    if (int err = formGetString(f, s_, buf_ + pos_, size_ - pos_, value, used)) return err;
    pos_ += used;
    return 0;
}

void formPlan(const CompiledForm& form, const FormSettings& s, FormPlan& out) {
    out = FormPlan{};
    if (form.size < 3 || form.bytes[1] != 0) return;  // variable references move with values
    constexpr size_t kRoom = 1 << 20;
    constexpr size_t kMostFields = 512;
    FormCursor cursor(form, s, nullptr, kRoom, false);
    size_t need = 0;
    for (;;) {
        FormField f;
        if (cursor.next(f)) return;
        if (cursor.restarts() > 0) break;  // one whole pass
        if (f.length <= 0 || out.fields.size() == kMostFields) return;
        const size_t at = cursor.position();
        need = std::max({need, cursor.furthestPos(), at + static_cast<size_t>(f.length)});
        out.fields.push_back({at, need, cursor.fillers() == 0, f});
        cursor.skip(static_cast<size_t>(f.length));
    }
    out.usable = !out.fields.empty();
}

int formConvertNumber(std::string_view items, double value, const FormSettings& s,
                      std::string& out) {
    CompiledForm form;
    std::string text("FORM ");
    text.append(items);
    if (formCompile(text, form)) return kErrFormSpec;
    std::string buffer(32767, ' ');
    FormCursor cursor(form, s, reinterpret_cast<uint8_t*>(buffer.data()), buffer.size(), true);
    if (int err = cursor.writeNumber(value)) {
        return err == kErrFormStructure ? kErrFormSpec : kErrConversion;
    }
    buffer.resize(cursor.highest());
    out = std::move(buffer);
    return 0;
}

}  // namespace vxs
