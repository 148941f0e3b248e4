// Fuzz target: a FORM text (the input up to the first newline) compiled, and the rest of the
// input read as a record through the compiled form, then written again into a record of the
// same size.  Also the whole input taken as compiled bytes.
//
// Checked for every input:
// - compiling gives 0 or one of the compiler's error numbers, and a compiled form is at most
//   250 bytes, starts with its own size and passes the check of compiled bytes;
// - every read and write gives 0 or a conversion or structure error, and never touches a byte
//   outside its record;
// - a value read from the record is written back, and a field that a value was written into
//   (but for DATE( formats, which may lack elements) reads back without error.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/form/form.h"

namespace {

using namespace vxs;

bool compileError(int err) {
    return err == kErrFormStructure || err == kErrFormTooLong || err == kErrFormNumber;
}
bool walkError(int err) {
    return err == kErrConversion || err == kErrFormStructure || err == kErrFieldOverflow;
}

void failAt(int line) {
    fprintf(stderr, "check failed at line %d\n", line);
    abort();
}
#define check(ok) ((ok) ? (void)0 : failAt(__LINE__))

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CompiledForm raw;
    const int rawErr = formFromBytes(input, raw);
    check(rawErr == 0 || rawErr == kErrFormStructure);

    const size_t newline = input.find('\n');
    const std::string_view text = input.substr(0, newline);
    std::string_view record = newline == std::string_view::npos ? "" : input.substr(newline + 1);
    CompiledForm form;
    const int err = formCompile(text, form);
    if (err) {
        check(compileError(err) && form.errorAt >= 1 && form.errorAt <= text.size() + 1);
        return 0;
    }
    check(form.size >= 3 && form.size <= kMaxFormBytes && form.bytes[0] == form.size);
    CompiledForm again;
    check(formFromBytes(form.view(), again) == 0);

    // The record with a guard byte on either side.
    std::vector<uint8_t> in(record.size() + 2, 0xA5);
    std::copy(record.begin(), record.end(), in.begin() + 1);
    std::vector<uint8_t> out(in.size(), 0xA5);
    FormSettings s;
    s.defaultCount = 2;
    FormCursor reader(form, s, in.data() + 1, record.size(), false);
    FormCursor writer(form, s, out.data() + 1, record.size(), true);
    for (int i = 0; i < 64; ++i) {
        FormField f;
        {
            FormCursor peek(form, s, in.data() + 1, record.size(), false);
            for (int j = 0; j <= i; ++j)
                if (peek.next(f)) return 0;
        }
        if (formIsCharacter(f.code)) {
            std::string value;
            const int r = reader.readString(value);
            check(r == 0 || walkError(r));
            if (r) break;
            const int w = writer.writeString(value);
            check(w == 0 || walkError(w));
            if (w) break;
        } else {
            double value;
            const int r = reader.readNumber(value);
            check(r == 0 || walkError(r));
            if (r) break;
            check(std::isfinite(value));
            const int w = writer.writeNumber(value);
            check(w == 0 || walkError(w));
            if (w) continue;
            size_t used, written;
            std::vector<uint8_t> field(static_cast<size_t>(f.length) + 1);
            // A DATE( format may lack the elements that reading needs (a year, a month).
            if (f.length > 0 && f.code != kFormDate && formPutNumber(f, s, value, field.data(), field.size(), written) == 0) {
                double back;
                check(formGetNumber(f, s, field.data(), field.size(), back, used) == 0);
            }
        }
    }
    check(in.front() == 0xA5 && in.back() == 0xA5 && out.front() == 0xA5 && out.back() == 0xA5);

    // A planned form reads every field where the walk reads it, with the same outcome.
    FormPlan plan;
    formPlan(form, s, plan);
    if (plan.usable) {
        FormCursor walk(form, s, in.data() + 1, record.size(), false);
        for (const FormPlan::Field& p : plan.fields) {
            const bool character = formIsCharacter(p.field.code);
            std::string text, planned;
            double value = 0, plannedValue = 0;
            const int r = character ? walk.readString(text) : walk.readNumber(value);
            size_t used = 0;
            int q = kErrConversion;
            if (p.at <= record.size()) {
                const uint8_t* at = in.data() + 1 + p.at;
                q = character ? formGetString(p.field, s, at, record.size() - p.at, planned, used)
                              : formGetNumber(p.field, s, at, record.size() - p.at, plannedValue, used);
            }
            check((r == 0) == (q == 0));
            if (r) break;
            check(character ? text == planned : (value == plannedValue || (value != value && plannedValue != plannedValue)));
            check(walk.position() == p.at + used);
        }
    }
    return 0;
}
