// The answers of the language server's requests on one document (see features.h).
#include "tools/lsp/features.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <vector>

#include "vxs/command/cmdshared.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/keywords.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/vxexe.h"

namespace vxs::lsp {

namespace {

// Symbol and completion kinds of the protocol.
enum SymbolKind {
    kSymFunction = 12,
    kSymVariable = 13,
    kSymKey = 20,
    kSymStruct = 23,
    kSymArray = 18
};
enum CompletionKind { kCplFunction = 3, kCplVariable = 6, kCplKeyword = 14, kCplReference = 18 };

std::string_view textOf(const Program& p, int line, const Span& s) {
    return std::string_view(p.lines()[static_cast<size_t>(line)].text)
        .substr(s.from, s.to - s.from);
}

// The span under the cursor: one that holds the byte, else a name or number that ends there
// (the cursor just after a word).
const Span* spanAt(const Program& p, int line, size_t byte) {
    const std::vector<Span>& spans = p.spans(line);
    for (const Span& s : spans)
        if (s.from <= byte && byte < s.to) return &s;
    for (const Span& s : spans)
        if (s.to == byte && s.from < byte && s.kind != SpanKind::kComment &&
            s.kind != SpanKind::kString)
            return &s;
    return nullptr;
}

json location(const Context& c, int line, size_t from, size_t to) {
    return {{"uri", c.uri}, {"range", rangeOf(c, line, from, to)}};
}

// The whole text of a line, as a range.
json lineRange(const Context& c, int line) {
    return rangeOf(c, line, 0, c.prog.lines()[static_cast<size_t>(line)].text.size());
}

// The first name span of `line` that reads `name` (any case); null when none.
const Span* nameIn(const Program& p, int line, std::string_view name) {
    for (const Span& s : p.spans(line))
        if (s.kind == SpanKind::kName && upperCase(textOf(p, line, s)) == name) return &s;
    return nullptr;
}

json nameLocation(const Context& c, int line, std::string_view name) {
    if (const Span* s = nameIn(c.prog, line, name)) return location(c, line, s->from, s->to);
    const DocLine& l = c.prog.lines()[static_cast<size_t>(line)];
    return location(c, line, l.lead, l.lead + l.size);
}

// The line as LIST shows it, for hovers.
std::string listed(const Program& p, int line) {
    const DocLine& l = p.lines()[static_cast<size_t>(line)];
    return l.facts && l.facts->kind == LineKind::kCompiled ? listedLine(*l.facts)
                                                           : std::string(l.trimmed());
}

std::string codeBlock(const std::string& text) {
    return "```\n" + text + "\n```";
}

json markdown(const std::string& text) {
    return {{"contents", {{"kind", "markdown"}, {"value", text}}}};
}

// ---- what a name is in the program ----

// The dictionary index of a variable or array `name` (upper case); 0 when the program has none.
int variableIndex(const pcb& pc, std::string_view name) {
    const int i = findName(pc, name);
    if (i == 0) return 0;
    const de* e = dictEntry(pc, i);
    return e && !e->isFunction() && !e->isLiteral() ? i : 0;
}

int functionIndex(const pcb& pc, std::string_view name) {
    const int i = findName(pc, name);
    const de* e = i ? dictEntry(pc, i) : nullptr;
    return e && e->isFunction() ? i : 0;
}

// The document line of user function `name`'s DEF; -1 when none.
int defLine(const Program& p, std::string_view name) {
    const int fn = functionIndex(p.program(), name);
    if (fn == 0) return -1;
    const std::vector<int16_t> defs = functionDefLines(p.program());
    const size_t slot = static_cast<size_t>(fn - kFirstDictIndex);
    return slot < defs.size() && defs[slot] >= 0 ? p.lineOfIndex(defs[slot]) : -1;
}

// The document line that label `name` begins; -1 when none.
int labelLine(const Program& p, std::string_view name) {
    const pcb& pc = p.program();
    const int entry = findName(pc, ":" + std::string(name));
    if (entry == 0) return -1;
    for (int i : linesInOrder(pc)) {
        const std::span<const uint8_t> code = lineCode(pc, i);
        ClauseView v;
        if (!atLineEnd(code, 0) && decodeClause(code, 0, v) == 0 && v.direct && v.code == StLabel &&
            v.words == 1 && readWord(code.data() + v.wordsAt) == entry)
            return p.lineOfIndex(i);
    }
    return -1;
}

// The document lines whose DIM dimensions dictionary entry `index`, in program order.
std::vector<int> dimLines(const Program& p, int index) {
    std::vector<int> out;
    const pcb& pc = p.program();
    for (int i : linesInOrder(pc)) {
        const std::span<const uint8_t> code = lineCode(pc, i);
        bool found = false;
        for (size_t pos = 0; !found && !atLineEnd(code, pos);) {
            ClauseView v;
            if (decodeClause(code, pos, v)) break;
            if (v.code == StDim) {
                for (size_t q = v.itemsAt; q < v.stmtAt;) {
                    uint8_t h;
                    size_t at, next;
                    int n;
                    if (decodeItem(code, q, h, at, n, next)) break;
                    if ((h & 0x3F) == OpDim && n >= 1 && readWord(code.data() + at) == index)
                        found = true;
                    q = next;
                }
            }
            pos = v.next;
        }
        const int line = p.lineOfIndex(i);
        if (found && line >= 0) out.push_back(line);
    }
    return out;
}

bool isFunctionName(std::string_view name) {
    return (name.ends_with('$') ? stringFunctions() : numericFunctions()).lookup(name) != 0;
}

// The full name of the statement keyword typed as `word`; empty when it is none.
std::string statementName(std::string_view word) {
    const std::string u = upperCase(word);
    const KeywordTable& t = statementKeywords();
    const int k = t.lookup(u);
    if (k) return t.name(k);
    return u == "FOR" ? u : std::string();
}

// Whether the number span `s` stands where an error number is compared: after ERR or SYSERR.
bool errorNumberContext(const Program& p, int line, const Span& s) {
    const std::vector<Span>& spans = p.spans(line);
    const Span* before = nullptr;
    for (const Span& t : spans) {
        if (&t == &s) break;
        before = &t;
    }
    if (!before || before->kind != SpanKind::kName) return false;
    const std::string name = upperCase(textOf(p, line, *before));
    if (name != "ERR" && name != "SYSERR") return false;
    const std::string_view between = std::string_view(p.lines()[static_cast<size_t>(line)].text)
                                         .substr(before->to, s.from - before->to);
    return std::all_of(between.begin(), between.end(), [](char c) {
        return c == ' ' || c == '=' || c == '<' || c == '>' || c == '~';
    });
}

std::string helpHover(const Context& c, std::string_view topic) {
    HelpTopic t;
    if (!c.help.topic(topic, t)) return {};
    return "**" + (t.title.empty() ? t.name : t.title) + "**\n\n" + codeBlock(t.text);
}

std::string variableHover(const Context& c, const std::string& name, int index) {
    const de* e = dictEntry(c.prog.program(), index);
    std::string kind = e && e->isString() ? "string" : "numeric";
    if (e && (e->attr & DA_DIMENSIONED))
        kind += " array of " + std::to_string(e->dimensions()) + " dimension" +
                (e->dimensions() == 1 ? "" : "s");
    else
        kind += " variable";
    std::string text = "`" + name + "`: " + kind;
    const std::vector<int> dims = dimLines(c.prog, index);
    if (dims.empty()) {
        text += ", not in a DIM statement";
    } else {
        text += ", dimensioned on:\n\n";
        std::string block;
        for (int line : dims) block += (block.empty() ? "" : "\n") + listed(c.prog, line);
        text += codeBlock(block);
    }
    return text;
}

std::string nameHover(const Context& c, int line, const Span& s) {
    const Program& p = c.prog;
    const std::string name = upperCase(textOf(p, line, s));
    const bool label = s.to < p.lines()[static_cast<size_t>(line)].text.size() &&
                       p.lines()[static_cast<size_t>(line)].text[s.to] == ':';
    if (!label) {
        if (name.starts_with("FN") && functionIndex(p.program(), name)) {
            const int def = defLine(p, name);
            if (def < 0) return "`" + name + "`: user function without a DEF";
            return "`" + name + "`: user function\n\n" + codeBlock(listed(p, def));
        }
        if (const int index = variableIndex(p.program(), name))
            return variableHover(c, name, index);
        if (isFunctionName(name)) return helpHover(c, name);
    }
    if (const int at = labelLine(p, name); at >= 0)
        return "label `" + name + "`\n\n" + codeBlock(listed(p, at));
    // A word the compiler kept as typed: a clause keyword in another case or abbreviated.
    const KeywordTable& t = clauseKeywords();
    if (const int k = t.lookup(name)) {
        std::string full = t.name(k);
        while (!full.empty() && (full.back() == '=' || full.back() == '>')) full.pop_back();
        return helpHover(c, full);
    }
    return helpHover(c, name);
}

// The dictionary names used in the document's program lines: variables, arrays, user
// functions and labels, each once.
std::vector<std::pair<std::string, int>> usedNames(const Program& p) {
    std::set<std::string> seen;
    std::vector<std::pair<std::string, int>> out;
    const pcb& pc = p.program();
    for (size_t line = 0; line < p.lines().size(); ++line) {
        if (p.indexOfLine(static_cast<int>(line)) < 0) continue;
        for (const Span& s : p.spans(static_cast<int>(line))) {
            if (s.kind != SpanKind::kName) continue;
            std::string name = upperCase(textOf(p, static_cast<int>(line), s));
            if (seen.contains(name)) continue;
            seen.insert(name);
            if (const int i = findName(pc, name)) {
                const de* e = dictEntry(pc, i);
                if (e && !e->isLiteral())
                    out.emplace_back(name, e->isFunction() ? kCplFunction : kCplVariable);
            } else if (findName(pc, ":" + name)) {
                out.emplace_back(name, kCplReference);
            }
        }
    }
    return out;
}

}  // namespace

json rangeOf(const Context& c, int line, size_t from, size_t to) {
    const std::string& text = c.prog.lines()[static_cast<size_t>(line)].text;
    return {{"start", {{"line", line}, {"character", characterColumn(text, from, c.encoding)}}},
            {"end", {{"line", line}, {"character", characterColumn(text, to, c.encoding)}}}};
}

json diagnosticsOf(const Context& c) {
    json list = json::array();
    for (const Diagnostic& d : c.prog.diagnostics()) {
        json item = {{"range", rangeOf(c, d.line, d.from, d.to)},
                     {"severity", static_cast<int>(d.severity)},
                     {"source", "veltrix"},
                     {"message", d.message}};
        if (d.number) item["code"] = d.number;
        list.push_back(std::move(item));
    }
    return {{"uri", c.uri}, {"diagnostics", std::move(list)}};
}

json hoverAt(const Context& c, int line, size_t byte) {
    const Program& p = c.prog;
    const Span* s = spanAt(p, line, byte);
    if (!s) return nullptr;
    std::string text;
    switch (s->kind) {
        case SpanKind::kLineRef: {
            const int target = p.lineOfNumber(s->number);
            text = target >= 0 ? codeBlock(listed(p, target))
                               : "line " + fiveDigits(s->number) + " does not exist";
            break;
        }
        case SpanKind::kKeyword: text = helpHover(c, statementName(textOf(p, line, *s))); break;
        case SpanKind::kClauseKeyword: {
            std::string name(textOf(p, line, *s));
            while (!name.empty() && (name.back() == '=' || name.back() == '>')) name.pop_back();
            text = helpHover(c, name);
            break;
        }
        case SpanKind::kName: text = nameHover(c, line, *s); break;
        case SpanKind::kNumber:
            if (errorNumberContext(p, line, *s)) {
                const std::string_view digits = textOf(p, line, *s);
                if (digits.size() <= 5 && std::all_of(digits.begin(), digits.end(), [](char ch) {
                        return ch >= '0' && ch <= '9';
                    })) {
                    char topic[16];
                    snprintf(topic, sizeof topic, "ERR%04d", std::stoi(std::string(digits)));
                    text = helpHover(c, topic);
                }
            }
            break;
        default: break;
    }
    if (text.empty()) return nullptr;
    json h = markdown(text);
    h["range"] = rangeOf(c, line, s->from, s->to);
    return h;
}

json definitionAt(const Context& c, int line, size_t byte) {
    const Program& p = c.prog;
    const Span* s = spanAt(p, line, byte);
    if (!s) return nullptr;
    if (s->kind == SpanKind::kLineRef) {
        const int target = p.lineOfNumber(s->number);
        if (target < 0) return nullptr;
        const DocLine& l = p.lines()[static_cast<size_t>(target)];
        return json::array({location(c, target, l.lead, l.lead + l.facts->digits)});
    }
    if (s->kind != SpanKind::kName) return nullptr;
    const std::string name = upperCase(textOf(p, line, *s));
    if (name.starts_with("FN")) {
        const int def = defLine(p, name);
        if (def >= 0) return json::array({nameLocation(c, def, name)});
    }
    if (const int at = labelLine(p, name); at >= 0) return json::array({nameLocation(c, at, name)});
    if (const int index = variableIndex(p.program(), name)) {
        json out = json::array();
        for (int dim : dimLines(p, index)) out.push_back(nameLocation(c, dim, name));
        if (!out.empty()) return out;
    }
    return nullptr;
}

json referencesAt(const Context& c, int line, size_t byte, bool withDeclaration) {
    const Program& p = c.prog;
    const Span* s = spanAt(p, line, byte);
    if (!s) return nullptr;
    json out = json::array();
    const int lines = static_cast<int>(p.lines().size());
    if (s->kind == SpanKind::kLineRef || s->kind == SpanKind::kOwnNumber) {
        const uint32_t number = s->number;
        const int target = p.lineOfNumber(number);
        for (int l = 0; l < lines; ++l) {
            for (const Span& t : p.spans(l)) {
                const bool declaration = t.kind == SpanKind::kOwnNumber && l == target;
                if ((t.kind == SpanKind::kLineRef && t.number == number) ||
                    (declaration && withDeclaration))
                    out.push_back(location(c, l, t.from, t.to));
            }
        }
        return out;
    }
    if (s->kind != SpanKind::kName) return nullptr;
    const std::string name = upperCase(textOf(p, line, *s));
    for (int l = 0; l < lines; ++l)
        for (const Span& t : p.spans(l))
            if (t.kind == SpanKind::kName && upperCase(textOf(p, l, t)) == name)
                out.push_back(location(c, l, t.from, t.to));
    return out;
}

json completionAt(const Context& c, int /*line*/, size_t /*byte*/) {
    json items = json::array();
    auto add = [&](const std::string& label, int kind, const char* detail) {
        items.push_back({{"label", label}, {"kind", kind}, {"detail", detail}});
    };
    const KeywordTable& st = statementKeywords();
    for (int k = 1; k <= st.size(); ++k) add(st.name(k), kCplKeyword, "statement");
    const KeywordTable& cl = clauseKeywords();
    for (int k = 1; k <= cl.size(); ++k) add(cl.name(k), kCplKeyword, "clause keyword");
    for (const KeywordTable* t : {&stringFunctions(), &numericFunctions()})
        for (int k = 1; k <= t->size(); ++k) add(t->name(k), kCplFunction, "built-in function");
    for (const auto& [name, kind] : usedNames(c.prog))
        add(name, kind,
            kind == kCplFunction    ? "user function"
            : kind == kCplReference ? "label"
                                    : "variable");
    return {{"isIncomplete", false}, {"items", std::move(items)}};
}

json documentSymbols(const Context& c) {
    const Program& p = c.prog;
    const pcb& pc = p.program();
    json out = json::array();
    auto symbol = [&](int line, const std::string& name, const std::string& detail, int kind,
                      json selection) {
        out.push_back({{"name", name},
                       {"detail", detail},
                       {"kind", kind},
                       {"range", lineRange(c, line)},
                       {"selectionRange", std::move(selection)}});
    };
    for (int line = 0; line < static_cast<int>(p.lines().size()); ++line) {
        const int index = p.indexOfLine(line);
        if (index < 0) continue;
        const DocLine& l = p.lines()[static_cast<size_t>(line)];
        const std::string number = fiveDigits(l.facts->number);
        const json numberRange = rangeOf(c, line, l.lead, l.lead + l.facts->digits);
        auto named = [&](const std::string& name) {
            const Span* s = nameIn(p, line, name);
            return s ? rangeOf(c, line, s->from, s->to) : numberRange;
        };
        const std::span<const uint8_t> code = lineCode(pc, index);
        for (size_t pos = 0; !atLineEnd(code, pos);) {
            ClauseView v;
            if (decodeClause(code, pos, v)) break;
            const uint8_t* w = code.data() + v.wordsAt;
            if (v.code == StLabel && v.direct && v.words == 1) {
                std::string name(dictNameView(pc, readWord(w)));
                if (name.starts_with(':')) name.erase(0, 1);
                symbol(line, name, "label, line " + number, kSymKey, named(name));
            } else if (v.code == StDef && !v.direct && v.words >= 1) {
                const std::string name(dictNameView(pc, readWord(w)));
                symbol(line, name, "DEF, line " + number, kSymFunction, named(name));
            } else if (v.code == StForm && v.count == 1) {
                const de* e = dictEntry(pc, readWord(code.data() + v.start + 1));
                const std::string text = e && e->isString() ? std::string(e->stringValue()) : "";
                symbol(line, "FORM " + number, text, kSymStruct, numberRange);
            } else if (v.code == StDim) {
                for (size_t q = v.itemsAt; q < v.stmtAt;) {
                    uint8_t h;
                    size_t at, next;
                    int n;
                    if (decodeItem(code, q, h, at, n, next)) break;
                    if ((h & 0x3F) == OpDim && n >= 2) {
                        const std::string name(dictNameView(pc, readWord(code.data() + at)));
                        const bool array = readWord(code.data() + at + 2) > 0;
                        symbol(line, name, "DIM, line " + number, array ? kSymArray : kSymVariable,
                               named(name));
                    }
                    q = next;
                }
            }
            pos = v.next;
        }
    }
    return out;
}

json formattingEdits(const Context& c) {
    json edits = json::array();
    const std::vector<DocLine>& lines = c.prog.lines();
    for (int line = 0; line < static_cast<int>(lines.size()); ++line) {
        const DocLine& l = lines[static_cast<size_t>(line)];
        if (!l.facts || l.facts->kind != LineKind::kCompiled) continue;
        const std::string want = listedLine(*l.facts);
        // A byte-order mark before the first line stays where it is.
        const size_t from =
            line == 0 && std::string_view(l.text).starts_with("\xEF\xBB\xBF") ? 3 : 0;
        if (std::string_view(l.text).substr(from) == want) continue;
        edits.push_back({{"range", rangeOf(c, line, from, l.text.size())}, {"newText", want}});
    }
    return edits;
}

}  // namespace vxs::lsp
