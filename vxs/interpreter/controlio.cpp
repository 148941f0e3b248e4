// The controls of the field statements (see controlio.h).  Cells travel as texts: a number
// goes out in its column's form when HEADERS gave one (else as PRINT shows it) and comes back
// through the numeric input conversion.
#include "vxs/interpreter/controlio.h"

#include <algorithm>
#include <map>

#include "vxs/errors/errors.h"
#include "vxs/form/form.h"
#include "vxs/form/numtext.h"
#include "vxs/interpreter/primop.h"
#include "vxs/screen/controls.h"
#include "vxs/screen/terminal.h"
#include "vxs/screen/windows.h"

namespace vxs {

namespace {

// The forms HEADERS gave the columns of each GRID and LIST, by place.
std::map<ControlPlace, std::vector<FieldSpec>> g_columnForms;

ControlKind kindOf(const FieldSpec& f) {
    if (f.controlFlags & kCtlPicture) return ControlKind::Picture;
    if (f.controlFlags & kCtlGrid) return ControlKind::Grid;
    if (f.controlFlags & kCtlList) return ControlKind::List;
    if (f.controlFlags & kCtlCombo) return ControlKind::Combo;
    if (f.controlFlags & kCtlCheck) return ControlKind::Check;
    return ControlKind::Radio;
}

ControlPlace placeOf(int window, const FieldSpec& f) {
    return {window, f.row, f.column};
}

std::string trimmed(std::string_view s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

// A value as its cell shows it: a text as it is, a number in the column's form.
int cellText(const FormSettings& s, const Item& v, const FieldSpec* form, std::string& out) {
    if (itemIsString(v)) {
        out.assign(itemString(v));
        return 0;
    }
    const double n = itemNumber(v);
    if (form && (form->kind == 'N' || form->kind == 'G') && form->length > 0) {
        if (!formatFixed(n, form->length, form->decimals, s.decimalChar, out))
            return kErrConversion;
        out = trimmed(out);
        return 0;
    }
    out = displayNumber(n, 20, s.decimalChar);
    return 0;
}

// Every item of the entries, in order.
std::vector<const Item*> allItems(const FieldEntries& entries) {
    std::vector<const Item*> out;
    for (const auto& e : entries)
        for (const Item& it : e) out.push_back(&it);
    return out;
}

int numberText(const Item& v, std::string& out) {
    if (itemIsString(v)) return kErrConversion;
    const double n = itemNumber(v);
    out = displayNumber(n, 20, '.');
    return 0;
}

// Gives a one-dimensional array `n` elements (OPTION BASE's first subscript on); an array that
// already has them stays as it is.
int resize(const EvalEnv& env, Cell* array, int n) {
    if (isArrayCell(array) && elementCount(array) == n && cellDims(array) == 1) return 0;
    if (int err = rpnPush(rpnSmall(std::max(n + env.base - 1, 0)))) return err;
    return opDim(env, array, 1, 0);
}

// Stores `texts` into one entry: a whole array takes them all, a scalar the first.
int storeEntry(const EvalEnv& env, const FormSettings& s, std::span<const Item> entry,
               const std::vector<std::string>& texts) {
    if (entry.empty()) return kErrArrayCounts;
    const Item& first = entry.front();
    const auto put = [&](const Item& target, const std::string& text) -> int {
        if (itemIsString(target)) return assignText(env, target, text);
        double v = 0;
        const std::string t = trimmed(text);
        if (!t.empty() && !parseNumber(t, s.decimalChar, 0, v)) return kErrConversion;
        return assignNumber(target, v);
    };
    if (first.cell && first.element >= 0) {  // a whole array
        if (int err = resize(env, first.cell, static_cast<int>(texts.size()))) return err;
        const int32_t n = elementCount(first.cell);
        for (int32_t k = 0; k < n; ++k) {
            const Item target{first.cell, 0, k};
            if (int err = put(target, static_cast<size_t>(k) < texts.size()
                                          ? texts[static_cast<size_t>(k)]
                                          : std::string()))
                return err;
        }
        return 0;
    }
    return put(first, texts.empty() ? std::string() : texts.front());
}

}  // namespace

int storeTexts(const EvalEnv& env, const FormSettings& s, std::span<const Item> entry,
               const std::vector<std::string>& texts) {
    return storeEntry(env, s, entry, texts);
}

bool isControlField(const FieldSpec& f) {
    return (f.kind == 'X' &&
            (f.controlFlags & (kCtlGrid | kCtlList | kCtlCombo | kCtlCheck | kCtlRadio)) != 0) ||
           (f.controlFlags & kCtlPicture) != 0;
}

bool takesEntries(const FieldSpec& f) {
    if (!isControlField(f)) return false;
    if (f.controlFlags & (kCtlGrid | kCtlList)) return true;
    return (f.controlFlags & kCtlCombo) &&
           (f.listOp == ListOp::Replace || f.listOp == ListOp::Append ||
            f.listOp == ListOp::Insert);
}

int showControl(const EvalEnv&, const FormSettings& s, int window, const FieldSpec& f,
                const FieldEntries& entries, int group) {
    ControlOutput out;
    out.place = placeOf(window, f);
    out.kind = kindOf(f);
    const bool list = out.kind == ControlKind::Grid || out.kind == ControlKind::List;
    out.height = list ? f.size[0] : 1;
    out.width = list ? f.size[1] : std::max(f.width, 1);
    out.op = static_cast<int>(f.listOp);
    out.group = group;
    out.look = f.attribute.value2;
    if (out.kind == ControlKind::Picture) {
        // The file's bytes travel with its name: the terminal side need not reach the file.
        if (entries.empty() || entries[0].size() != 1 || !itemIsString(entries[0][0]))
            return kErrConversion;
        const std::string name = trimmed(itemString(entries[0][0]));
        std::string bytes;
        if (int err = readPictureFile(name, bytes)) return err;
        out.height = std::max(f.size[0], 1);
        out.values = {name, std::move(bytes)};
        return terminalControlOutput(out);
    }
    if (!list) {
        for (const Item* it : allItems(entries)) {
            std::string text;
            if (int err = cellText(s, *it, nullptr, text)) return err;
            out.values.push_back(std::move(text));
        }
        return terminalControlOutput(out);
    }
    std::vector<FieldSpec>& forms = g_columnForms[out.place];
    switch (f.listOp) {
        case ListOp::Headers: {
            // Captions, then optional widths and forms, one entry each, of one length.
            if (entries.empty() || entries.size() > 3) return kErrArrayCounts;
            const size_t n = entries[0].size();
            for (const auto& e : entries)
                if (e.size() != n) return kErrArrayCounts;
            std::vector<FieldSpec> parsed;
            out.perRow = static_cast<int>(n);
            for (size_t row = 0; row < entries.size(); ++row)
                for (const Item& it : entries[row]) {
                    std::string text;
                    if (int err = row == 1 ? numberText(it, text) : cellText(s, it, nullptr, text))
                        return err;
                    if (row == 2) {
                        // A blank form leaves the column's cells as they are given.
                        FieldSpec form;
                        if (!trimmed(text).empty())
                            if (int err = parseFormatAttributes(text, FieldOptions{},
                                                                AttributeContext{}, form))
                                return err;
                        parsed.push_back(form);
                    }
                    out.values.push_back(std::move(text));
                }
            if (int err = terminalControlOutput(out)) return err;
            forms = std::move(parsed);
            return 0;
        }
        case ListOp::Cell:
        case ListOp::Sort:
        case ListOp::Sub:
        case ListOp::RowSub: {
            // Cells row by row; a sort column; row numbers.
            const std::vector<const Item*> items = allItems(entries);
            size_t k = 0;
            for (const Item* it : items) {
                std::string text;
                const size_t column = forms.empty() ? 0 : k++ % forms.size();
                if (int err = f.listOp == ListOp::Cell
                                  ? cellText(s, *it, forms.empty() ? nullptr : &forms[column], text)
                                  : numberText(*it, text))
                    return err;
                out.values.push_back(std::move(text));
            }
            return terminalControlOutput(out);
        }
        case ListOp::Attr: {
            // Row numbers, then the attribute each takes (one for all, or one per row).
            if (entries.size() != 2 ||
                (entries[1].size() != 1 && entries[1].size() != entries[0].size()))
                return kErrArrayCounts;
            for (size_t i = 0; i < entries[0].size(); ++i) {
                std::string row;
                if (int err = numberText(entries[0][i], row)) return err;
                const Item& a = entries[1][entries[1].size() == 1 ? 0 : i];
                if (!itemIsString(a)) return kErrConversion;
                AttributeResult r;
                if (int err = parseAttributes(itemString(a), AttributeContext{}, r)) return err;
                out.values.push_back(row);
                out.values.push_back(std::to_string(r.attr.value2));
            }
            return terminalControlOutput(out);
        }
        case ListOp::Cnt:
        case ListOp::RowCnt: return kErrFieldKind;
        default: {
            // One entry per column, all of one length: that many rows.
            if (entries.empty()) return kErrArrayCounts;
            const size_t n = entries[0].size();
            for (const auto& e : entries)
                if (e.size() != n) return kErrArrayCounts;
            out.perRow = static_cast<int>(entries.size());
            for (size_t r = 0; r < n; ++r)
                for (size_t c = 0; c < entries.size(); ++c) {
                    std::string text;
                    if (int err = cellText(s, entries[c][r], c < forms.size() ? &forms[c] : nullptr,
                                           text))
                        return err;
                    out.values.push_back(std::move(text));
                }
            return terminalControlOutput(out);
        }
    }
}

int searchControl(int window, const FieldSpec& f, std::string_view text) {
    if (!(f.controlFlags & kCtlSearch) || f.searchRow < 0 || f.searchColumn < 0) return 0;
    ControlOutput out;
    out.place = {window, f.searchRow, f.searchColumn};
    out.op = kControlSearch;
    out.values.emplace_back(text);
    return terminalControlOutput(out);
}

int showHotField(int window, const FieldSpec& f, const std::string& text) {
    if (!(f.fieldFlags & (kFieldButton | kFieldHotText)) || f.fkey == 0 || f.fkey == -1) return 0;
    ControlOutput out;
    out.place = placeOf(window, f);
    out.kind = (f.fieldFlags & kFieldButton) ? ControlKind::Button : ControlKind::HotText;
    out.width = std::max(f.width, 1);
    out.look = f.attribute.value2;
    // The key a press gives: the raw code, or the function key's number times 256.
    out.group = (f.fieldFlags & kFieldRawKey) ? f.fkey : f.fkey * 256;
    out.values.push_back(trimmed(text));
    return terminalControlOutput(out);
}

int storeControl(const EvalEnv& env, const FormSettings& s, int window, const FieldSpec& f,
                 const FieldEntries& entries) {
    const ControlAnswer a = terminalControlRead(
        placeOf(window, f),
        ControlRead{static_cast<int>(f.listOp), static_cast<int>(f.listSelect)});
    const bool rows =
        a.perRow > 1 || ((f.controlFlags & (kCtlGrid | kCtlList)) && f.listOp != ListOp::Cnt &&
                         f.listOp != ListOp::RowCnt && f.listOp != ListOp::Sub &&
                         f.listOp != ListOp::RowSub && f.listOp != ListOp::Cell);
    if (!rows)
        return storeEntry(env, s, entries.empty() ? std::span<const Item>{} : entries[0], a.values);
    // Row data: the k-th entry takes the k-th column of every row read.
    const size_t columns = static_cast<size_t>(a.perRow);
    if (entries.empty() || entries.size() > columns) return kErrArrayCounts;
    for (size_t c = 0; c < entries.size(); ++c) {
        std::vector<std::string> column;
        for (size_t at = c; at < a.values.size(); at += columns) column.push_back(a.values[at]);
        if (int err = storeEntry(env, s, entries[c], column)) return err;
    }
    return 0;
}

}  // namespace vxs
