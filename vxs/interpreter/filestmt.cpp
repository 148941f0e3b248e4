// The file statements (see filestmt.h): each decodes its clause's parts, takes its operands from
// the RPN stack in source order, converts between values and the record image through the FORM
// of its USING clause (or the plain layout below), and asks the data-file engine for one
// operation.
//
// Without USING a record holds each number as an 8-byte double and each string as its
// variable's capacity in bytes (blank-padded on output, trailing blanks removed on input); a
// DISPLAY file takes values as INPUT does, separated by commas.
#include "vxs/interpreter/filestmt.h"

#include <array>
#include <cstring>
#include <vector>

#include "vxs/clientserver/remoteops.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/engine.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/interpreter/fnargs.h"
#include "vxs/interpreter/formio.h"
#include "vxs/interpreter/items.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/flow.h"
#include "vxs/form/numtext.h"
#include "vxs/interpreter/run.h"
#include "vxs/interpreter/state.h"
#include "vxs/interpreter/values.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

constexpr FileStatementState& g = interp.files;

// ---- the clause's parts ----
struct IoParts {
    int file = -2;           // -2 none; -1 the next operand; else the constant
    bool usingGiven = false;
    int usingLine = -1;      // the line index of USING line; -1: a string operand
    uint8_t where = 0;       // K_RECEQ, K_POSEQ, K_KEYEQ, ... (0: none)
    bool wait = false;
    uint8_t lock = 0;        // K_RESERVE or K_RELEASE
    bool freeKw = false, dropKw = false, releaseKw = false;
    uint8_t type = 0, mode = 0, access = 0;  // OPEN's trailing keywords
    int listCount = 0;
    bool lineGiven = false;  // RESTORE line
    int line = -1;
    bool other = false;      // FIELDS and the like
};

int decodeIoParts(std::span<const uint8_t> code, const ClauseView& v, IoParts& out) {
    for (size_t p = v.partsAt; p < v.endAt;) {
        uint8_t h;
        size_t w, next;
        int n;
        if (int err = decodeItem(code, p, h, w, n, next)) return err;
        const uint8_t kind = h & 0x3F;
        switch (kind) {
            case kPartFile: out.file = n ? static_cast<int16_t>(readWord(code.data() + w)) : -1; break;
            case kPartLine:
                if (n != kLrefWords) return kErrDamaged;
                if (out.usingGiven && out.usingLine == -2) {
                    out.usingLine = static_cast<int16_t>(readWord(code.data() + w));
                } else {
                    out.lineGiven = true;
                    out.line = static_cast<int16_t>(readWord(code.data() + w));
                }
                break;
            case kPartList:
                if (n != 1) return kErrDamaged;
                out.listCount = readWord(code.data() + w);
                return 0;  // the list is last (its bytes follow for PRINT only)
            case kPartExit: break;
            case K_USING:
                out.usingGiven = true;
                out.usingLine = -2;  // a line part may follow
                break;
            case K_RECEQ:
            case K_POSEQ:
            case K_KEYEQ:
            case K_KEYGE:
            case K_SEARCHEQ:
            case K_SEARCHGE: out.where = kind; break;
            case K_WAIT: out.wait = true; break;
            case K_RESERVE:
            case K_RELEASE:
                if (v.code == StClose && kind == K_RELEASE) out.releaseKw = true;
                else out.lock = kind;
                break;
            case K_FREE: out.freeKw = true; break;
            case K_DROP: out.dropKw = true; break;
            case K_DISPLAY: out.type = kFileDisplay; break;
            case K_EXTERNAL: out.type = kFileExternal; break;
            case K_INTERNAL: out.type = kFileInternal; break;
            case K_INPUT: out.mode = kModeInput; break;
            case K_OUTPUT: out.mode = kModeOutput; break;
            case K_OUTIN: out.mode = kModeOutin; break;
            case K_SEQUENTIAL: out.access = kAccessSequential; break;
            case K_RELATIVE: out.access = kAccessRelative; break;
            case K_KEYED: out.access = kAccessKeyed; break;
            default: out.other = true; break;
        }
        if (kind != K_USING && out.usingLine == -2) out.usingLine = -1;
        p = next;
    }
    if (out.usingLine == -2) out.usingLine = -1;
    return 0;
}

// The parts of recently run clauses, found again by the address of their bytes and checked
// against a copy of them (a line edited in place can reuse the address).
struct CachedParts {
    const uint8_t* at = nullptr;
    size_t size = 0;
    std::array<uint8_t, 48> bytes{};
    IoParts parts;
};
std::array<CachedParts, 64> g_parts;

int readIoParts(std::span<const uint8_t> code, const ClauseView& v, IoParts& out) {
    const uint8_t* at = code.data() + v.partsAt;
    const size_t size = v.endAt > v.partsAt ? v.endAt - v.partsAt : 0;
    CachedParts& c = g_parts[(reinterpret_cast<uintptr_t>(at) >> 2) % g_parts.size()];
    if (c.at == at && c.size == size && memcmp(c.bytes.data(), at, size) == 0) {
        out = c.parts;
        return 0;
    }
    if (int err = decodeIoParts(code, v, out)) return err;
    if (size <= c.bytes.size()) {
        c.at = at;
        c.size = size;
        memcpy(c.bytes.data(), at, size);
        c.parts = out;
    }
    return 0;
}

int formLineText(const EvalEnv& env, int line, const de*& textEntry);

// ---- clauses prepared for the run ----
// READ, REREAD, WRITE and REWRITE clauses of a program's code keep their parts and the FORM of a
// USING line, with its plan, from one execution to the next.  The code area grows only by
// appending (an edited line gets new code), so the clause's bytes at its place stay what they
// were, but for the line references patched when the program is resolved again: the FORM line
// is checked each time by its code and its text literal, which change when it is edited, moved
// or deleted.  forgetForms (a new run, programs loaded or freed) forgets every clause.  Code
// outside the code area (a typed statement, EXECUTE) is not kept.
uint32_t g_preparedGeneration = 1;

struct PreparedClause {
    const uint8_t* at = nullptr;    // the clause's parts
    const pcb* program = nullptr;
    const uint8_t* area = nullptr;  // the program's code area then
    uint32_t generation = 0;
    IoParts parts;
    // The FORM of the USING line, when known.
    bool formKept = false;
    int formLine = -1;
    uint32_t formCode = 0;         // the line's code offset
    const de* formEntry = nullptr;  // its text literal
    const char* formTextAt = nullptr;
    size_t formTextSize = 0;
    CompiledForm form;
    FormPlan plan;
};
std::array<PreparedClause, 64> g_prepared;

bool isRecordStatement(uint8_t code) {
    return code == StRead || code == StReread || code == StWrite || code == StRewrite;
}

// The prepared clause of `v`, prepared now when it is not yet; null for code outside the
// program's code area or parts that do not decode (the general path then reports it).
PreparedClause* preparedClause(const RunCtx& r, const ClauseView& v) {
    if (!r.pc) return nullptr;
    const std::vector<uint8_t>& area = r.pc->codearea;
    const uint8_t* at = r.code.data() + v.partsAt;
    if (at < area.data() || at >= area.data() + area.size()) return nullptr;
    PreparedClause& c = g_prepared[(reinterpret_cast<uintptr_t>(at) >> 2) % g_prepared.size()];
    if (c.at == at && c.program == r.pc && c.area == area.data() &&
        c.generation == g_preparedGeneration)
        return &c;
    c.at = nullptr;
    c.parts = IoParts{};
    if (decodeIoParts(r.code, v, c.parts)) return nullptr;
    c.formKept = false;
    c.program = r.pc;
    c.area = area.data();
    c.generation = g_preparedGeneration;
    c.at = at;
    return &c;
}

// The FORM of a prepared clause's USING line: the one kept while the line is still the same,
// else found and compiled again (and kept when that succeeds).
int preparedForm(const EvalEnv& env, PreparedClause& c, const CompiledForm*& form,
                 const FormPlan*& plan) {
    const int line = c.parts.usingLine;
    const pcb& pc = *c.program;
    if (c.formKept && c.formLine == line && line < pc.linecnt &&
        pc.lineptr[static_cast<size_t>(line)].code == c.formCode) {
        const std::string_view text = cellString(c.formEntry);
        if (text.data() == c.formTextAt && text.size() == c.formTextSize) {
            form = &c.form;
            plan = &c.plan;
            return 0;
        }
    }
    c.formKept = false;
    if (int err = usingForm(env, line, {}, form, &plan)) return err;
    const de* entry = nullptr;
    if (formLineText(env, line, entry)) return 0;  // found by usingForm: cannot fail here
    c.form = *form;
    c.plan = *plan;
    // The texts of pictures and dates lie in the compiled bytes: in the copy kept now.
    const char* from = reinterpret_cast<const char*>(form->bytes.data());
    const char* to = reinterpret_cast<const char*>(c.form.bytes.data());
    for (FormPlan::Field& f : c.plan.fields)
        if (!f.field.text.empty())
            f.field.text = {to + (f.field.text.data() - from), f.field.text.size()};
    c.formLine = line;
    c.formCode = pc.lineptr[static_cast<size_t>(line)].code;
    c.formEntry = entry;
    const std::string_view text = cellString(entry);
    c.formTextAt = text.data();
    c.formTextSize = text.size();
    c.formKept = true;
    form = &c.form;
    plan = &c.plan;
    return 0;
}

int takeNumber(Operands& ops, double& v) {
    RpnEntry e;
    if (!ops.take(e)) return kErrDamaged;
    const Cell* c = rpnCellOf(e);
    if (c && isStringCell(c)) return kErrArgumentKind;
    v = numberOf(e);
    return 0;
}

int takeString(Operands& ops, std::string_view& s) {
    RpnEntry e;
    if (!ops.take(e)) return kErrDamaged;
    const Cell* c = rpnCellOf(e);
    if (!c || !isStringCell(c)) return kErrArgumentKind;
    s = cellString(c);
    return 0;
}

}  // namespace

// ---- values and targets, arrays expanded ----

// The one list of a statement's values or targets (statements do not nest), kept with its room.
std::vector<Item>& itemList() {
    static std::vector<Item> items;
    return items;
}

int expand(Operands& ops, int count, std::vector<Item>& out, std::vector<int>* counts) {
    out.clear();
    if (counts) counts->clear();
    for (int i = 0; i < count; ++i) {
        const size_t before = out.size();
        RpnEntry e;
        if (!ops.take(e)) return kErrItems;
        Cell* c = rpnCellOf(e);
        if (!c) {
            out.push_back({nullptr, static_cast<double>(rpnSmallValue(e)), -1});
        } else if (isArrayCell(c) && (c->kind & DE_STORAGE)) {
            const int32_t n = elementCount(c);
            for (int32_t k = 0; k < n; ++k) out.push_back({c, 0, k});
        } else {
            out.push_back({c, 0, -1});
        }
        if (counts) counts->push_back(static_cast<int>(out.size() - before));
    }
    return 0;
}

bool itemIsString(const Item& it) { return it.cell && isStringCell(it.cell); }

double itemNumber(const Item& it) {
    if (!it.cell) return it.small;
    if (it.element < 0) return cellNumber(it.cell);
    double v;
    memcpy(&v, elementAt(it.cell, it.element), sizeof v);
    return v;
}

std::string_view itemString(const Item& it) {
    if (it.element < 0) return cellString(it.cell);
    const uint8_t* p = elementAt(it.cell, it.element);
    uint16_t len;
    memcpy(&len, p, 2);
    return {reinterpret_cast<const char*>(p + 2),
            static_cast<size_t>(std::min<int>(len, stringCapacity(it.cell)))};
}

int itemCapacity(const Item& it) {
    return it.cell ? stringCapacity(it.cell) : 0;
}

int assignNumber(const Item& it, double v) {
    if (!it.cell || (it.cell->kind & DE_LITERAL && !(it.cell->kind & DE_STORAGE)))
        return kErrNoAssignTarget;
    if (it.element < 0) {
        setCellNumber(it.cell, v);
    } else {
        memcpy(elementAt(it.cell, it.element), &v, sizeof v);
    }
    return 0;
}

int assignText(const EvalEnv& env, const Item& it, std::string_view s) {
    if (!it.cell) return kErrNoAssignTarget;
    if (it.element < 0) return assignString(env, it.cell, s);
    uint8_t* p = elementAt(it.cell, it.element);
    const int cap = stringCapacity(it.cell);
    if (static_cast<int>(s.size()) > cap) {
        if (!env.soflowIgnore()) return kErrStringOverflow;
        s = s.substr(0, static_cast<size_t>(cap));
    }
    const uint16_t len = static_cast<uint16_t>(s.size());
    memcpy(p, &len, 2);
    copyText(p + 2, s);
    return 0;
}

namespace {

// ---- FORM cache ----
struct CachedForm {
    const pcb* program = nullptr;
    int line = -1;
    uint32_t identity = 0;
    std::string text;  // the FORM text compiled: a hit must still find it on the line
    CompiledForm form;
    FormPlan plan;
};
std::array<CachedForm, 32> g_forms;
CompiledForm g_textForm;
FormPlan g_textPlan;
std::string g_textFormSource;
const pcb* g_textFormProgram = nullptr;

// The text literal of the FORM statement on line index `line`: 0 or an error number.
int formLineText(const EvalEnv& env, int line, const de*& textEntry) {
    textEntry = nullptr;
    if (!env.pc || line >= env.pc->linecnt) return kErrNoTarget;
    // The first clause of the line must be a FORM statement; its text is a string literal.
    const std::span<const uint8_t> code = lineCode(*env.pc, line);
    ClauseView fv;
    if (atLineEnd(code, 0) || decodeClause(code, 0, fv) || fv.code != StForm || fv.count != 1)
        return kErrFormStructure;
    textEntry = dictEntry(*env.pc, readWord(code.data() + fv.start + 1));
    if (!textEntry || !textEntry->isString()) return kErrDamaged;
    return 0;
}

int compileFormText(const EvalEnv& env, std::string_view text, CompiledForm& out) {
    const pcb* pc = env.pc;
    FormNameLookup lookup = [pc](std::string_view name, uint16_t& index) -> int {
        if (!pc) return kErrFormStructure;
        const int i = findName(*pc, name);
        if (i == 0) return kErrFormStructure;
        const de* e = dictEntry(*pc, i);
        if (!e || e->isString() || e->isFunction()) return kErrFormStructure;
        index = static_cast<uint16_t>(i);
        return 0;
    };
    const int err = formCompile(text, out, lookup);
    return err ? (err == kErrFormTooLong || err == kErrFormNumber ? err : kErrFormStructure) : 0;
}

}  // namespace

int usingForm(const EvalEnv& env, int line, std::string_view text, const CompiledForm*& form,
              const FormPlan** plan) {
    form = nullptr;
    if (line < 0) {
        if (g_textFormProgram != env.pc || g_textFormSource != text) {
            g_textFormSource.clear();
            if (int err = compileFormText(env, text, g_textForm)) return err;
            formPlan(g_textForm, FormSettings{}, g_textPlan);
            g_textFormSource.assign(text);
            g_textFormProgram = env.pc;
        }
        form = &g_textForm;
        if (plan) *plan = &g_textPlan;
        return 0;
    }
    const de* textEntry = nullptr;
    if (int err = formLineText(env, line, textEntry)) return err;
    const std::string_view formText = cellString(textEntry);
    const uint32_t identity = lineIdentity(*env.pc, static_cast<int16_t>(line));
    CachedForm& c = g_forms[static_cast<size_t>(line) % g_forms.size()];
    if (c.program == env.pc && c.line == line && c.identity == identity && c.text == formText) {
        form = &c.form;
        if (plan) *plan = &c.plan;
        return 0;
    }
    c.program = nullptr;
    if (int err = compileFormText(env, formText, c.form)) return err;
    formPlan(c.form, FormSettings{}, c.plan);
    c.text.assign(formText);
    c.program = env.pc;
    c.line = line;
    c.identity = identity;
    form = &c.form;
    if (plan) *plan = &c.plan;
    return 0;
}

void forgetForms() {
    ++g_preparedGeneration;
    for (CachedForm& c : g_forms) c.program = nullptr;
    g_textFormProgram = nullptr;
    g_textFormSource.clear();
}

FormSettings formSettingsFor(const EvalEnv& env, const Ufcb* u, const CompiledForm* form) {
    FormSettings s;
    s.decimalChar = fn::decimalCharOf(env);
    s.currency = interp.text.currency;
    if (u) {
        s.overflowFill = static_cast<char>(u->convChar);
        s.swapBytes = u->uffcb && u->uffcb->swapped;
    }
    if (env.pc && (!form || form->bytes[1] > 0)) {
        const pcb* program = env.pc;
        s.variable = [program](uint16_t index, double& value) -> int {
            const de* e = dictEntry(*program, index);
            if (!e || e->isString()) return kErrFormStructure;
            value = cellNumber(e);
            return 0;
        };
    }
    return s;
}

int statementFile(int number, Ufcb*& u) {
    return fileOfNumber(fileBlocks(), number, u);
}

void noteFileOutcome(Ufcb* u, int number, int err, bool input, int items) {
    systemValues().itemCount = items;
    if (u) {
        if (!err) u->status = kStatusOk;
        else if (errorCondition(err) == ErrorCondition::EOF_)
            u->status = input ? kStatusEofInput : kStatusEofOutput;
        else
            u->status = input ? kStatusErrorInput : kStatusErrorOutput;
    }
    if (err) systemValues().errorFile = number;
}

namespace {

// A number as PRINT shows it, without its leading blanks.
std::string trimmedNumber(double v, char decimalChar) {
    std::string t = displayNumber(v, 25, decimalChar);
    const size_t b = t.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : t.substr(b);
}

// ---- record image <-> values ----
int valuesToRecord(const EvalEnv& env, const Ufcb& u, const CompiledForm* form,
                   const std::vector<Item>& items, std::vector<uint8_t>& rec, size_t& used) {
    const size_t recl = static_cast<size_t>(u.ufreclen);
    used = 0;
    if (form) {
        const FormSettings s = formSettingsFor(env, &u, form);
        FormCursor cursor(*form, s, rec.data(), recl, true);
        for (const Item& it : items) {
            const int err = itemIsString(it) ? cursor.writeString(itemString(it))
                                             : cursor.writeNumber(itemNumber(it));
            if (err) return err;
        }
        used = cursor.highest();
        return 0;
    }
    if (u.uftype == kFileDisplay) {
        std::string line;
        for (size_t i = 0; i < items.size(); ++i) {
            if (i) line += ',';
            if (itemIsString(items[i]))
                line += itemString(items[i]);
            else
                line += trimmedNumber(itemNumber(items[i]), fn::decimalCharOf(env));
        }
        if (line.size() > recl) return kErrFieldOverflow;
        memcpy(rec.data(), line.data(), line.size());
        used = line.size();
        return 0;
    }
    for (const Item& it : items) {
        if (itemIsString(it)) {
            const std::string_view s = itemString(it);
            const size_t cap = static_cast<size_t>(std::max<int>(itemCapacity(it), static_cast<int>(s.size())));
            if (used + cap > recl) return kErrFieldOverflow;
            memcpy(rec.data() + used, s.data(), s.size());
            memset(rec.data() + used + s.size(), ' ', cap - s.size());
            used += cap;
        } else {
            if (used + 8 > recl) return kErrFieldOverflow;
            const double v = itemNumber(it);
            memcpy(rec.data() + used, &v, 8);
            used += 8;
        }
    }
    return 0;
}

// Splits a text line into values as INPUT does: commas separate, quotes keep commas.
std::vector<std::string> splitLine(std::string_view typed) {
    std::vector<std::string> values;
    size_t p = 0;
    do {
        std::string value;
        p = takeTypedValue(typed, p, value);
        values.push_back(std::move(value));
        if (p < typed.size()) ++p;
    } while (p < typed.size());
    return values;
}

int recordToValues(const EvalEnv& env, const Ufcb& u, const CompiledForm* form,
                   const FormPlan* plan, const std::vector<Item>& items, int& done) {
    done = 0;
    const uint8_t* rec = u.record.data();
    const size_t len = u.recordLength;
    if (form && plan && plan->usable && items.size() <= plan->fields.size()) {
        // Every field at its planned place.
        const FormSettings s = formSettingsFor(env, &u, form);
        static std::string text;  // keeps its room from record to record
        for (size_t i = 0; i < items.size(); ++i) {
            const FormPlan::Field& p = plan->fields[i];
            if (p.at > len) return kErrConversion;
            size_t used = 0;
            if (itemIsString(items[i])) {
                if (int err = formGetString(p.field, s, rec + p.at, len - p.at, text, used)) return err;
                if (int err = assignText(env, items[i], text)) return err;
            } else {
                double v;
                if (int err = formGetNumber(p.field, s, rec + p.at, len - p.at, v, used)) return err;
                if (int err = assignNumber(items[i], v)) return err;
            }
            ++done;
        }
        return 0;
    }
    if (form) {
        const FormSettings s = formSettingsFor(env, &u, form);
        FormCursor cursor(*form, s, const_cast<uint8_t*>(rec), len, false);
        static std::string text;
        for (const Item& it : items) {
            if (itemIsString(it)) {
                if (int err = cursor.readString(text)) return err;
                if (int err = assignText(env, it, text)) return err;
            } else {
                double v;
                if (int err = cursor.readNumber(v)) return err;
                if (int err = assignNumber(it, v)) return err;
            }
            ++done;
        }
        return 0;
    }
    if (u.uftype == kFileDisplay || !u.uffcb || u.uffcb->device != Device::kDisk) {
        const std::vector<std::string> values =
            splitLine(std::string_view(reinterpret_cast<const char*>(rec), len));
        for (size_t i = 0; i < items.size(); ++i) {
            const std::string value = i < values.size() ? values[i] : std::string();
            if (itemIsString(items[i])) {
                if (int err = assignText(env, items[i], value)) return err;
            } else {
                double v = 0;
                if (!value.empty() && !parseNumber(value, fn::decimalCharOf(env), 0, v))
                    return kErrConversion;
                if (int err = assignNumber(items[i], v)) return err;
            }
            ++done;
        }
        return 0;
    }
    size_t at = 0;
    for (const Item& it : items) {
        if (itemIsString(it)) {
            const size_t cap = static_cast<size_t>(itemCapacity(it));
            if (at + cap > len) return kErrConversion;
            size_t n = cap;
            while (n > 0 && rec[at + n - 1] == ' ') --n;
            if (int err = assignText(env, it, std::string_view(reinterpret_cast<const char*>(rec + at), n)))
                return err;
            at += cap;
        } else {
            if (at + 8 > len) return kErrConversion;
            double v;
            memcpy(&v, rec + at, 8);
            if (int err = assignNumber(it, v)) return err;
            at += 8;
        }
        ++done;
    }
    return 0;
}

// ---- the statements ----
struct Statement {
    RunCtx& r;
    const ClauseView& v;
    IoParts parts;
    bool decoded = false;
    Operands ops;
    int number = 0;
    Ufcb* file = nullptr;
    const CompiledForm* form = nullptr;
    const FormPlan* plan = nullptr;
    RecordOptions options;
    double whereValue = 0;
    std::string_view whereText;
    std::vector<Item>& items;
    PreparedClause* prepared = nullptr;  // the clause's preparation kept for the run

    Statement(RunCtx& run, const ClauseView& view)
        : r(run), v(view), ops(Operands::ofStack()), items(itemList()) {}

    // The clause's parts (once).
    int decode() {
        if (decoded) return 0;
        decoded = true;
        if (fastRecordFormsOn() && isRecordStatement(v.code)) {
            prepared = preparedClause(r, v);
            if (prepared) {
                parts = prepared->parts;
                return 0;
            }
        }
        return readIoParts(r.code, v, parts);
    }

    // Whether the fields go straight between the record and the list (formio.h).
    bool planned() const { return prepared && form && plan && plan->usable; }

    // The file number, the USING form, the position value and WAIT=, in source order.

    int prepare(bool needFile = true) {
        if (int err = decode()) return err;
        if (parts.other) return kErrNotAvailable;
        if (parts.file == -1) {
            double n;
            if (int err = takeNumber(ops, n)) return err;
            number = toInteger(n, -32767, 32767);
        } else if (parts.file >= 0) {
            number = parts.file;
        }
        if (needFile) {
            // Only READ and RESTORE go without a file (to the DATA), and they do not come here:
            // code that names no file for another statement is damaged.
            if (parts.file == -2) return kErrDamaged;
            if (int err = statementFile(number, file)) return err;
        }
        if (parts.usingGiven) {
            std::string_view text;
            if (parts.usingLine < 0)
                if (int err = takeString(ops, text)) return err;
            if (prepared && parts.usingLine >= 0) {
                if (int err = preparedForm(r.env, *prepared, form, plan)) return err;
            } else if (int err = usingForm(r.env, parts.usingLine, text, form, &plan)) {
                return err;
            }
        }
        if (parts.where) {
            if (parts.where == K_RECEQ || parts.where == K_POSEQ) {
                if (int err = takeNumber(ops, whereValue)) return err;
            } else if (int err = takeString(ops, whereText)) {
                return err;
            }
        }
        if (parts.wait) {
            double w;
            if (int err = takeNumber(ops, w)) return err;
            options.wait = toInteger(w, 0, 32767);
        }
        options.lock = parts.lock == K_RESERVE ? kLockReserve
                       : parts.lock == K_RELEASE ? kLockRelease
                                                 : kLockNormal;
        return 0;
    }

    // The record number of REC= (57 when it is not a record number).
    int recordNumber(uint32_t& n) const {
        if (!(whereValue >= 1) || whereValue > 4294967295.0) return kErrNoRecord;
        n = static_cast<uint32_t>(whereValue + 0.5);  // rounded half up
        return 0;
    }
};

int finishIo(Statement& s, int err, bool input, int items) {
    noteFileOutcome(s.file, s.number, err, input, items);
    return err;
}

int openStatement(RunCtx& r, const ClauseView& v) {
    Statement s(r, v);
    if (int err = s.prepare(false)) return err;
    std::string_view text;
    if (int err = takeString(s.ops, text)) return err;
    OpenRequest req;
    req.number = s.number;
    req.text = text;
    req.type = s.parts.type ? s.parts.type : static_cast<int>(kFileDisplay);
    req.mode = s.parts.mode ? s.parts.mode : static_cast<int>(kModeInput);
    req.access = s.parts.access;
    req.trailing = s.parts.type || s.parts.mode || s.parts.access ||
                   !(s.number == 254 || s.number == 255);
    Ufcb* u = nullptr;
    const int err = openFile(fileBlocks(), req, u);
    s.file = u;
    return finishIo(s, err, req.mode == kModeInput, 0);
}

int closeStatement(RunCtx& r, const ClauseView& v) {
    Statement s(r, v);
    if (int err = s.prepare(false)) return err;
    if (int err = statementFile(s.number, s.file)) return finishIo(s, err, false, 0);
    int option = kCloseNone;
    if (s.parts.freeKw) option = kCloseFree;
    else if (s.parts.dropKw) option = kCloseDrop;
    else if (s.parts.releaseKw) option = kCloseRelease;
    if (s.number == 0) return 0;
    const int err = closeFile(fileBlocks(), s.file, option);
    s.file = fileBlocks().find(s.number);  // still open when the close was refused
    return finishIo(s, err, false, 0);
}

int readData(RunCtx& r, const IoParts& parts);

// KEY= and SEARCH= look for a key equal over the length given, KEY>= and SEARCH>= for one not
// less.
KeyFind keyFindOf(uint8_t where) {
    return where == K_KEYGE || where == K_SEARCHGE ? KeyFind::kNotLess : KeyFind::kEqual;
}

int readStatement(RunCtx& r, const ClauseView& v, bool again) {
    Statement s(r, v);
    if (int err = s.decode()) return err;
    if (s.parts.file == -2) return readData(r, s.parts);  // READ without a file: the DATA
    if (int err = s.prepare()) return finishIo(s, err, true, 0);
    Ufcb& u = *s.file;
    // Straight from the record: the targets are taken off the stack after the read, as the
    // list would have been expanded before it.
    const bool planned = s.planned();
    size_t count = 0;
    if (planned) {
        if (int err = countItems(s.ops, s.parts.listCount, count)) return err;
    } else if (int err = expand(s.ops, s.parts.listCount, s.items)) {
        return err;
    }
    int err = 0;
    if (s.number == 0 || u.uftype == kFileWindow) {
        // A READ from the console takes one typed line.
        std::string typed;
        flushPartialLine(consoleLine());
        if (int status = readConsoleLine(typed, kConsoleWidth)) return status;
        u.record.assign(typed.begin(), typed.end());
        u.record.resize(typed.size() + 2);
        u.recordLength = static_cast<uint32_t>(typed.size());
    } else if (again) {
        // Only a READ leaves a record to read again: a write, a delete or a reposition in
        // between (or none since OPEN) would make REREAD give a record the program never read.
        err = u.lastWasRead ? readRecord(u, ReadHow::kAgain, 0, s.options) : kErrNoReadBefore;
    } else if (s.parts.where == K_RECEQ) {
        uint32_t n = 0;
        err = s.recordNumber(n);
        if (!err) err = readRecord(u, ReadHow::kRecord, n, s.options);
    } else if (s.parts.where == K_POSEQ) {
        err = kErrNotAvailable;
    } else if (s.parts.where) {
        err = readKeyed(u, keyFindOf(s.parts.where), s.whereText, s.options);
    } else {
        err = readRecord(u, ReadHow::kNext, 0, s.options);
    }
    if (s.number != 0 && u.uftype != kFileWindow && !again) u.lastWasRead = true;
    if (err) return finishIo(s, err, true, 0);
    int done = 0;
    if (planned) {
        err = readPlanned(r.env, formSettingsFor(r.env, &u, s.form), *s.plan, u.record.data(),
                          u.recordLength, s.ops, s.parts.listCount, count, done);
        if (err != kFormIoDeclined) return finishIo(s, err, true, done);
        if (int e = expand(s.ops, s.parts.listCount, s.items)) return e;
    }
    err = recordToValues(r.env, u, s.form, s.plan, s.items, done);
    return finishIo(s, err, true, done);
}

int writeStatement(RunCtx& r, const ClauseView& v, bool rewrite) {
    Statement s(r, v);
    if (int err = s.prepare()) return finishIo(s, err, false, 0);
    Ufcb& u = *s.file;
    u.lastWasRead = false;
    const bool planned = s.planned();
    size_t items = 0;
    if (planned) {
        if (int err = countItems(s.ops, s.parts.listCount, items)) return err;
    } else if (int err = expand(s.ops, s.parts.listCount, s.items)) {
        return err;
    }
    if (u.mode == kModeInput) return finishIo(s, kErrWrongMode, false, 0);
    const bool byKey = s.parts.where && s.parts.where != K_RECEQ && s.parts.where != K_POSEQ;
    if (byKey) {
        // REWRITE KEY=: the record with that key becomes the current one first.
        if (!rewrite || s.parts.where != K_KEYEQ) return finishIo(s, kErrWrongMode, false, 0);
        if (int err = readKeyed(u, KeyFind::kEqual, s.whereText, s.options))
            return finishIo(s, err, false, 0);
    }
    const bool text = u.uftype == kFileDisplay || u.uftype == kFileWindow || s.number == 0;
    if (rewrite && s.parts.where == K_RECEQ && !text) {
        // REWRITE REC=n: record n becomes the current record, whose bytes the FORM builds on.
        uint32_t n = 0;
        int err = s.recordNumber(n);
        if (!err) err = readForRewrite(u, n, s.options);
        if (err) return finishIo(s, err, false, 0);
    }
    const size_t recl = static_cast<size_t>(u.ufreclen);
    static std::vector<uint8_t> rec;  // the record being built, its room kept between writes
    rec.assign(recl + 2, ' ');
    if (rewrite && u.haveCurrent && u.recordLength)  // fields the FORM leaves keep their bytes
        memcpy(rec.data(), u.record.data(), std::min<size_t>(recl, u.recordLength));
    size_t used = 0;
    int err = kFormIoDeclined;
    if (planned && !text)
        err = writePlanned(formSettingsFor(r.env, &u, s.form), *s.plan, s.ops, s.parts.listCount,
                           items, rec.data(), recl);
    if (err == kFormIoDeclined) {
        if (planned)
            if (int e = expand(s.ops, s.parts.listCount, s.items)) return e;
        err = valuesToRecord(r.env, u, s.form, s.items, rec, used);
        items = s.items.size();
    }
    if (err) return finishIo(s, err, false, 0);
    const size_t len = text ? used : recl;
    uint32_t n = 0;
    if (s.parts.where == K_RECEQ) {
        err = s.recordNumber(n);
    } else if (s.parts.where == K_POSEQ) {
        err = kErrNotAvailable;
    }
    if (!err) {
        if (s.number == 0 || u.uftype == kFileWindow) {
            flushPartialLine(consoleLine());
            consoleOutput(std::string_view(reinterpret_cast<const char*>(rec.data()), len));
        } else if (rewrite) {
            err = rewriteRecord(u, rec.data(), len, n, s.options);
        } else {
            err = writeRecord(u, rec.data(), len, n, s.options);
        }
    }
    if (!err && !text) {
        memcpy(u.record.data(), rec.data(), recl);
        u.recordLength = static_cast<uint32_t>(recl);
    }
    return finishIo(s, err, false, err ? 0 : static_cast<int>(items));
}

int deleteStatement(RunCtx& r, const ClauseView& v) {
    Statement s(r, v);
    if (int err = s.prepare()) return finishIo(s, err, false, 0);
    s.file->lastWasRead = false;
    uint32_t n = 0;
    int err = 0;
    if (s.parts.where == K_RECEQ) err = s.recordNumber(n);
    else if (s.parts.where == K_KEYEQ) err = readKeyed(*s.file, KeyFind::kEqual, s.whereText, s.options);
    else if (s.parts.where) err = s.parts.where == K_POSEQ ? kErrNotAvailable : kErrWrongMode;
    if (!err) err = deleteRecord(*s.file, n, s.options);
    return finishIo(s, err, false, 0);
}

int restoreData(RunCtx& r, const IoParts& parts);

int restoreStatement(RunCtx& r, const ClauseView& v) {
    Statement s(r, v);
    if (int err = s.decode()) return err;
    if (s.parts.file == -2) return restoreData(r, s.parts);
    if (int err = s.prepare()) return finishIo(s, err, true, 0);
    s.file->lastWasRead = false;
    uint32_t n = 0;
    int err = 0;
    if (s.parts.where == K_RECEQ) {
        err = s.recordNumber(n);
    } else if (s.parts.where == K_POSEQ) {
        err = kErrNotAvailable;
    } else if (s.parts.where) {
        // RESTORE KEY=: the next READ takes the record found.
        err = restoreFile(*s.file, 0);
        if (!err) err = readKeyed(*s.file, keyFindOf(s.parts.where), s.whereText, s.options, false);
        return finishIo(s, err, true, 0);
    }
    if (!err) err = restoreFile(*s.file, n);
    return finishIo(s, err, true, 0);
}

int releaseStatement(RunCtx& r, const ClauseView& v) {
    Statement s(r, v);
    if (int err = s.prepare()) return finishIo(s, err, true, 0);
    releaseLocks(*s.file);
    return finishIo(s, 0, true, 0);
}

// ---- DATA ----
int readData(RunCtx& r, const IoParts& parts) {
    Operands ops(Operands::ofStack());
    std::vector<Item> items;
    if (int err = expand(ops, parts.listCount, items)) return err;
    const pcb& pc = *r.pc;
    DataPointer& d = g.data;
    int done = 0;
    for (const Item& it : items) {
        // The current DATA clause, or the next one with values.
        ClauseView cv;
        bool found = false;
        if (d.line >= 0 && d.line < pc.linecnt && d.identity == lineIdentity(pc, d.line)) {
            const std::span<const uint8_t> code = lineCode(pc, d.line);
            if (!decodeClause(code, d.at, cv) && cv.code == StData && d.item < cv.words) found = true;
        }
        if (!found) {
            DataPointer next = d;
            if (d.line >= 0 && d.line < pc.linecnt && d.identity == lineIdentity(pc, d.line)) {
                // Past the current clause.
                const std::span<const uint8_t> code = lineCode(pc, d.line);
                ClauseView cur;
                if (!decodeClause(code, d.at, cur)) next.at = cur.next;
                next.item = 0;
            } else if (d.line >= 0) {
                next.at = 0;
            }
            found = false;
            for (int line = next.line < 0 ? 0 : next.line; line < pc.linecnt && !found; ++line) {
                const std::span<const uint8_t> code = lineCode(pc, line);
                size_t at = line == next.line ? next.at : 0;
                while (!atLineEnd(code, at)) {
                    ClauseView c2;
                    if (decodeClause(code, at, c2)) break;
                    if (c2.code == StData && !c2.direct && c2.words > 0) {
                        d.line = static_cast<int16_t>(line);
                        d.at = at;
                        d.item = 0;
                        d.identity = lineIdentity(pc, static_cast<int16_t>(line));
                        cv = c2;
                        found = true;
                        break;
                    }
                    if (c2.next <= at) break;
                    at = c2.next;
                }
            }
            if (!found) {
                systemValues().itemCount = done;
                return kErrEndOfRecords;
            }
        }
        const std::span<const uint8_t> code = lineCode(pc, d.line);
        const int index = readWord(code.data() + cv.wordsAt + 2 * static_cast<size_t>(d.item));
        ++d.item;
        const de* lit = dictEntry(pc, index);
        if (!lit) return kErrDamaged;
        if (itemIsString(it)) {
            const std::string text = lit->isString() ? std::string(cellString(lit))
                                                     : trimmedNumber(cellNumber(lit), r.decimalChar);
            if (int err = assignText(r.env, it, text)) return err;
        } else {
            double value = 0;
            if (lit->isString()) {
                if (!parseNumber(cellString(lit), r.decimalChar, 0, value)) return kErrConversion;
            } else {
                value = cellNumber(lit);
            }
            if (int err = assignNumber(it, value)) return err;
        }
        ++done;
    }
    systemValues().itemCount = done;
    return 0;
}

int restoreData(RunCtx& r, const IoParts& parts) {
    DataPointer& d = g.data;
    d = DataPointer{};
    if (parts.lineGiven) {
        if (parts.line < 0 || parts.line >= r.pc->linecnt) return kErrNoTarget;
        d.line = static_cast<int16_t>(parts.line);
        d.at = 0;
        d.item = 0;
        d.identity = 0;  // not a DATA clause yet: the next READ searches from this line
    }
    return 0;
}

void consoleWriter(std::string_view line) {
    flushPartialLine(consoleLine());
    consoleOutput(line);
}

int consoleReader(std::string& line, int maxLength) {
    flushPartialLine(consoleLine());
    return readConsoleLine(line, maxLength);
}

}  // namespace

void installConsoleFile() { setConsoleHooks(consoleWriter, consoleReader); }

int fileStatement(RunCtx& r, const ClauseView& v) {
    switch (v.code) {
        case StOpen: return openStatement(r, v);
        case StClose: return closeStatement(r, v);
        case StRead: return readStatement(r, v, false);
        case StReread: return readStatement(r, v, true);
        case StWrite: return writeStatement(r, v, false);
        case StRewrite: return writeStatement(r, v, true);
        case StDelete: return deleteStatement(r, v);
        case StRestore: return restoreStatement(r, v);
        case StRelease: return releaseStatement(r, v);
        default: return kErrNotAvailable;
    }
}

// ---- functions ----
int fileNumberFunction(int code, const double* args, int argc, double& result) {
    result = 0;
    if (argc < 1) return kErrArgumentCount;
    const int number = toInteger(args[0], -32767, 32767);
    Ufcb* u = fileBlocks().find(number);
    if (code == 64) {  // FILE
        result = u ? u->status : -1;
        return 0;
    }
    if (!u) return number < 0 || number > 999 ? kErrFileNumber : kErrFileNotOpen;
    Fcb* f = u->uffcb;
    switch (code) {
        case 65: {  // FREESP
            int64_t bytes = 0;
            std::string dir = f && f->device == Device::kDisk ? f->path : std::string(".");
            const size_t slash = dir.rfind('/');
            dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash + 1);
            if (int err = osFreeSpace(dir, bytes)) return err;
            result = static_cast<double>(bytes);
            return 0;
        }
        case 66:    // KLN
        case 67: {  // KPS
            const Fcb* k = u->ufkbfcb ? u->ufkbfcb : f;
            if (!k) return 0;
            const int part = argc > 1 ? toInteger(args[1], 0, 6) : (code == 67 ? 1 : 0);
            if (code == 66 && part == 0) {
                int total = 0;
                for (int i = 0; i < k->keyParts; ++i) total += k->keys[i].length;
                result = total;
            } else if (part >= 1 && part <= k->keyParts) {
                result = code == 66 ? k->keys[part - 1].length : k->keys[part - 1].start;
            }
            return 0;
        }
        case 68: result = u->uftype == kFileDisplay ? static_cast<double>(u->bytePosition) : u->position; return 0;  // REC
        case 69:  // RLN
            if (argc > 1) {
                const int recl = toInteger(args[1], -32767, 65535);
                if (int err = setRecordLength(*u, recl)) return err;
            }
            result = u->ufreclen;
            return 0;
        case 70: {  // LREC
            int64_t n = 0;
            if (int err = lastRecordNumber(*u, n)) return err;
            result = static_cast<double>(n);
            return 0;
        }
        case 71: {  // KREC: the keys in the key file
            uint32_t n = 0;
            if (u->ufkbfcb && u->ufkbfcb->index)
                if (int err = keyCount(*u, n)) return err;
            result = n;
            return 0;
        }
        case 72: result = u->linesWritten; return 0;                        // LINES
        case 73: result = u->pageOverflow; return 0;                        // LINESPP
        case 74:  // VERSION
            if (!f || f->type != kFileInternal) return kErrWrongMode;
            if (argc > 1)
                if (int err = setFileVersion(*u, toInteger(args[1], INT32_MIN, INT32_MAX))) return err;
            result = f->version;
            return 0;
        default: return kErrNotAvailable;
    }
}

int existsFunction(std::string_view name, double& result) {
    result = 0;
    if (name.size() >= 512) return 0;
    std::string path;
    if (mapFileName(name, path)) return 0;
    int attributes = 0;
    if (osGetAttributes(path, attributes)) return 0;
    result = (attributes & kOsAttrDirectory) ? 2 : 1;
    return 0;
}

int fileNameFunction(const double* args, int argc, std::string& result) {
    result.clear();
    int number = systemValues().errorFile;
    if (argc > 0) number = toInteger(args[0], -32767, 32767);
    else if (!lastFileErrorText().empty() && !fileBlocks().find(number)) {
        OpenSpec spec;
        if (!parseOpenString(lastFileErrorText(), true, spec)) result = spec.name;
        return 0;
    }
    Ufcb* u = fileBlocks().find(number);
    if (!u) return 0;
    result = number == 0 ? "CON:" : u->name;
    return 0;
}

}  // namespace vxs
