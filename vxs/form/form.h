// FORM specifications: the compiler from FORM text to the compact compiled form, the cursor
// that walks a compiled form over a record or line buffer, and the conversion of numbers and
// strings to and from the bytes of every item.  Works on byte buffers only; knows no files.
//
// Compiled form (docs/form.md has the same as a table):
//   byte 0      total size of the compiled form in bytes (3..250), this byte and the end included
//   byte 1      L, the number of variable references
//   2 .. 2L+1   L 16-bit little-endian dictionary indexes, in the order the items use them
//   then        the items; a zero byte ends them
// Item: one header byte, low 6 bits the item code, top 2 bits the header number:
//   01 the number 1; 10 one byte follows with it; 11 a 16-bit little-endian word follows;
//   00 no number: the next variable reference gives it.  For POS, X and SKIP the header number
//   is the parameter, for data items and "(" the repeat count (0 or less: the default count).
// After the header and its number:
//   V C CC CR (8-11)         16-bit length; 0 none; top bit set: a variable reference instead
//   GF..BH (14-23)           a length byte and a decimals byte
//   DT DH DL (28-30)         a byte 3 or 4
//   literal (7)              a byte count and the bytes
//   PIC( (6)                 byte count (+0x80 with an exponent field), the decimals (with an
//                            exponent: digits before the point << 4 | digits after), the bytes
//   DATE( (33)               a byte count and the format
//   D S L (24-26), ( ) (4 5) nothing more
// A form without any data item ends with the item 0x5F before the zero byte.
//
// Cursor invariants: `at_` is always the offset of a decoded item header within the form;
// `pos_` never passes the buffer's size for output; a repeat in progress (`repeatLeft_`) serves
// `field_` again before the next item is decoded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/errors/errors.h"

namespace vxs {

enum FormCode : uint8_t {
    kFormEnd = 0,
    kFormPos = 1,
    kFormX = 2,
    kFormSkip = 3,
    kFormGroup = 4,
    kFormGroupEnd = 5,
    kFormPic = 6,
    kFormLiteral = 7,
    kFormV = 8,
    kFormC = 9,
    kFormCC = 10,
    kFormCR = 11,
    kFormGF = 14,
    kFormGZ = 15,
    kFormNZ = 16,
    kFormN = 17,
    kFormG = 18,
    kFormPD = 19,
    kFormZD = 20,
    kFormB = 21,
    kFormBL = 22,
    kFormBH = 23,
    kFormL = 24,
    kFormD = 25,
    kFormS = 26,
    kFormDT = 28,
    kFormDH = 29,
    kFormDL = 30,
    kFormNoData = 31,  // header 0x5F: the form has no data item
    kFormDate = 33,
};

inline constexpr size_t kMaxFormBytes = 250;
inline constexpr int kMaxNumericLength = 126;

struct CompiledForm {
    std::array<uint8_t, kMaxFormBytes> bytes{};
    size_t size = 0;     // bytes used; bytes[0] holds it too
    size_t errorAt = 0;  // after a failed compile: 1-based offset of the offending character
    std::string_view view() const {
        return {reinterpret_cast<const char*>(bytes.data()), size};
    }
};

// Gives the dictionary index of numeric variable `name` (upper case); 0 or an error number.
using FormNameLookup = std::function<int(std::string_view name, uint16_t& index)>;
// Gives the current value of the variable at dictionary index `index`; 0 or an error number.
using FormValueLookup = std::function<int(uint16_t index, double& value)>;

// Compiles FORM text (with or without its leading keyword FORM).  Names of variables are
// accepted only with a `lookup`.  Returns 0, or 1020 (unknown, misplaced or unbalanced item),
// 1050 (more than 250 bytes) or 1070 (a bad number), with out.errorAt set.
[[nodiscard]] int formCompile(std::string_view text, CompiledForm& out,
                              const FormNameLookup& lookup = {});
// Takes a compiled form from its bytes (a CFORM$ result) after checking every item; 1020 when
// they are not a well-formed compiled form.
[[nodiscard]] int formFromBytes(std::string_view bytes, CompiledForm& out);

// What the record layer and the configuration decide for one conversion.
struct FormSettings {
    char decimalChar = '.';
    char overflowFill = 0;       // a numeric text field that overflows is filled with it; 0: fails
    bool swapBytes = false;      // B, DT, D, S and L with their bytes reversed
    bool singleFiveBytes = false;  // S followed by one zero byte
    bool impliedDecimals = true;   // numeric text without a decimal character: scaled down
    int defaultCount = 1;          // the repeat count for a count of zero or less
    int gfDecimals = 9;            // the most decimals GF writes
    char currency = '$';           // what "$" of a picture shows
    std::string_view dateFormat;   // DT, DH and DL: the program's date format ("" the default)
    FormValueLookup variable;      // values of variable references
};

// One data item as the cursor hands it out.
struct FormField {
    uint8_t code = 0;
    int length = 0;     // bytes in the record; 0 for a character item without a length
    int decimals = 0;   // numeric items; a picture's decimals
    int picBefore = 0;  // a picture with an exponent field: digits before and after the point
    int picAfter = 0;
    bool picExponent = false;
    std::string_view text;  // the picture or the date format, inside the compiled form
};

bool formIsCharacter(uint8_t code);
// The field length of a DATE( item: the widest text its format writes.
int formDateLength(std::string_view format);
bool formIsNumeric(uint8_t code);

// Conversion of one value into `dest` (`room` bytes from the field's start).  A character item
// without a length takes the string's length.  Returns 0 with `written`, 2 for a value that
// does not fit its field (or of the wrong kind), 58 for a string longer than its field.
[[nodiscard]] int formPutNumber(const FormField& f, const FormSettings& s, double value,
                                uint8_t* dest, size_t room, size_t& written);
[[nodiscard]] int formPutString(const FormField& f, const FormSettings& s, std::string_view value,
                                uint8_t* dest, size_t room, size_t& written);
// Conversion of the field at `src` (`avail` bytes from the field's start) back into a value.
// A character item without a length takes all of `avail`.  Returns 0 with `used`, or 2 when the
// bytes are not valid for the item, the item is of the wrong kind or the buffer ends early.
[[nodiscard]] int formGetNumber(const FormField& f, const FormSettings& s, const uint8_t* src,
                                size_t avail, double& value, size_t& used);
[[nodiscard]] int formGetString(const FormField& f, const FormSettings& s, const uint8_t* src,
                                size_t avail, std::string& value, size_t& used);
// The same as a view of the field's bytes (no copy): valid while the buffer is.
[[nodiscard]] int formGetStringView(const FormField& f, const uint8_t* src, size_t avail,
                                    std::string_view& value, size_t& used);

// Walks a compiled form over a buffer: POS, X, SKIP and literals are carried out on the way
// (X writes blanks and literals their bytes when the cursor writes), each data item serves one
// value, and when the items run out the walk starts again at the first one.  The form, the
// settings and the buffer must outlive the cursor.
class FormCursor final {
  public:
    FormCursor(const CompiledForm& form, const FormSettings& settings, uint8_t* buffer,
               size_t size, bool output);
    FormCursor(const FormCursor&) = delete;
    FormCursor& operator=(const FormCursor&) = delete;

    // The next data item; 0, 1020 for a form without data items or damaged, 2 for a position
    // outside the buffer.
    [[nodiscard]] int next(FormField& f);
    // The next item's conversion at the current position, which then moves past the field.
    [[nodiscard]] int writeNumber(double value);
    [[nodiscard]] int writeString(std::string_view value);
    [[nodiscard]] int readNumber(double& value);
    [[nodiscard]] int readString(std::string& value);

    // Moves past `n` bytes without converting them (planning a form).
    void skip(size_t n) { pos_ += n; }
    // How many times the walk has started again at the first item.
    int restarts() const { return restarts_; }
    size_t position() const { return pos_; }  // 0-based
    size_t highest() const { return high_; }  // the end of the furthest byte written
    int linesSkipped() const { return lines_; }
    // Planning: how many X, literal and SKIP items the walk has carried out, and the furthest
    // place a POS item has moved to (0-based).
    int fillers() const { return fillers_; }
    size_t furthestPos() const { return furthestPos_; }

  private:
    int variableValue(int& value);
    int advance(size_t n, bool blanks);

    const CompiledForm& form_;
    const FormSettings& s_;
    uint8_t* buf_;
    size_t size_;
    bool output_;
    size_t itemsStart_ = 2;
    size_t at_ = 2;
    size_t pos_ = 0;
    size_t high_ = 0;
    int lines_ = 0;
    int refs_ = 0;          // variable references in the list
    int varIndex_ = 0;      // the next variable reference to use
    size_t groupStart_ = 0;  // 0: not in a group
    int groupLeft_ = 0;
    int groupVarIndex_ = 0;
    int repeatLeft_ = 0;
    bool sawData_ = false;
    int restarts_ = 0;
    int fillers_ = 0;
    size_t furthestPos_ = 0;
    FormField field_;
};

// The data items of a form at fixed places, for reading whole records without walking the
// items each time: usable when the form has no variable references and every data item has a
// length of its own.  Item i of a list of at most `fields.size()` values is read at
// `fields[i].at` of the record.  A list of i + 1 values is written at the same places, as an
// output cursor writes them, when fields[i].plain (no X, literal or SKIP item comes before the
// field, so that the fields' bytes are all the walk writes) and the record holds
// fields[i].need bytes (the furthest POS and field end up to it: no item fails for room).
struct FormPlan {
    struct Field {
        size_t at = 0;
        size_t need = 0;
        bool plain = true;
        FormField field;
    };
    bool usable = false;
    std::vector<Field> fields;
};
// Plans `form`; out.usable says whether it could be planned.
void formPlan(const CompiledForm& form, const FormSettings& s, FormPlan& out);

// CNVRT$: `value` converted by the FORM `items`: the bytes up to the end of the first data item.
// 0, 801 when the items do not compile, 2 when the value does not fit.
[[nodiscard]] int formConvertNumber(std::string_view items, double value, const FormSettings& s,
                                    std::string& out);

}  // namespace vxs
