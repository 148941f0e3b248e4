// One open document as the program LOAD would make of it (see program.h).
#include "tools/lsp/program.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>

#include "tools/lsp/textpos.h"
#include "vxs/base/failure.h"
#include "vxs/command/cmdshared.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/keywords.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/lister.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/errors/errors.h"
#include "vxs/form/form.h"
#include "vxs/screen/terminal.h"

namespace vxs::lsp {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isNameStartChar(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool isNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::unique_ptr<pcb> emptyProgram() {
    auto pc = std::make_unique<pcb>();
    VXASSERT(allocatePCBTables(*pc, kDefaultLineCapacity, kDefaultDictCapacity));
    resetProgram(*pc);
    initConditionTargets(*pc);
    return pc;
}

// Where the trimmed text of a document line lies, as LOAD trims it (and, on the first line,
// after a byte-order mark, which LOAD passes over too).
void placeText(DocLine& l, bool first) {
    const std::string_view t = l.text;
    size_t from = 0;
    if (first && t.starts_with("\xEF\xBB\xBF")) from = 3;
    while (from < t.size() && isBlank(t[from])) ++from;
    size_t to = t.size();
    while (to > from && isBlank(t[to - 1])) --to;
    l.lead = from;
    l.size = to - from;
}

// ---- the pieces of a line ----

// Names, numbers, strings and a comment in text[from, to), as typed.
void lexical(std::string_view text, size_t from, size_t to, std::vector<Span>& out) {
    size_t i = from;
    while (i < to) {
        const char c = text[i];
        if (c == '!') {
            out.push_back({i, to, SpanKind::kComment});
            return;
        }
        if (c == '"' || c == '\'') {
            size_t j = i + 1;
            while (j < to) {
                if (text[j] == c) {
                    if (j + 1 < to && text[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            out.push_back({i, j, SpanKind::kString});
            i = j;
        } else if (isNameStartChar(c)) {
            size_t j = i + 1;
            while (j < to && isNameCharacter(text[j])) ++j;
            if (j < to && text[j] == '$') ++j;
            out.push_back({i, j, SpanKind::kName});
            i = j;
        } else if (isDigit(c) || (c == '.' && i + 1 < to && isDigit(text[i + 1]))) {
            size_t j = i;
            while (j < to && isDigit(text[j])) ++j;
            if (j < to && text[j] == '.') ++j;
            while (j < to && isDigit(text[j])) ++j;
            if (j < to && (text[j] == 'E' || text[j] == 'e')) {
                size_t k = j + 1;
                if (k < to && (text[k] == '+' || text[k] == '-')) ++k;
                if (k < to && isDigit(text[k])) {
                    while (k < to && isDigit(text[k])) ++k;
                    j = k;
                }
            }
            out.push_back({i, j, SpanKind::kNumber});
            i = j;
        } else {
            ++i;
        }
    }
}

// Walks the stored source of a compiled line beside its typed text from `p` (the first byte
// after the line number), so that keywords, line references and comments are the compiler's
// own; the text between them is read as typed.  False when the two do not agree.
bool storedSpans(std::string_view text, size_t p, size_t end, std::string_view stored,
                 std::vector<Span>& out) {
    if (p < end && text[p] == ' ') ++p;  // the blank after the number is not stored
    size_t run = p;
    auto flush = [&] { lexical(text, run, p, out); };
    bool inComment = false;
    size_t i = 0;
    while (i < stored.size()) {
        const uint8_t b = static_cast<uint8_t>(stored[i]);
        switch (b) {
            case kSrcLiteral:
                if (i + 1 >= stored.size() || p >= end || text[p] != stored[i + 1]) return false;
                ++p;
                i += 2;
                break;
            case kSrcClauseKw: {
                if (i + 1 >= stored.size()) return false;
                const char* name = clauseKeywordName(static_cast<uint8_t>(stored[i + 1]));
                const size_t n = name ? strlen(name) : 0;
                if (n == 0 || p + n > end || text.compare(p, n, name) != 0) return false;
                flush();
                out.push_back({p, p + n, SpanKind::kClauseKeyword});
                p += n;
                run = p;
                i += 2;
                break;
            }
            case kSrcLineNum: {
                if (i + 4 >= stored.size()) return false;
                const uint32_t number = static_cast<uint8_t>(stored[i + 1]) |
                                        uint32_t{static_cast<uint8_t>(stored[i + 2])} << 8 |
                                        uint32_t{static_cast<uint8_t>(stored[i + 3])} << 16;
                const size_t width = static_cast<uint8_t>(stored[i + 4]);
                if (width == 0 || p + width > end) return false;
                for (size_t k = p; k < p + width; ++k)
                    if (!isDigit(text[k])) return false;
                flush();
                out.push_back({p, p + width, SpanKind::kLineRef, number});
                p += width;
                run = p;
                i += 5;
                break;
            }
            case kSrcKeyword:
            case kSrcComment: {
                if (i + 1 >= stored.size()) return false;
                const size_t n = static_cast<uint8_t>(stored[i + 1]);
                if (i + 2 + n > stored.size()) return false;
                const std::string_view word = stored.substr(i + 2, n);
                flush();
                const size_t from = p;
                if (b == kSrcComment && !inComment) {
                    if (p >= end || text[p] != '!') return false;
                    ++p;
                }
                if (p + n > end || text.compare(p, n, word) != 0) return false;
                p += n;
                if (b == kSrcKeyword) {
                    out.push_back({from, p, SpanKind::kKeyword});
                } else if (inComment && !out.empty() && out.back().kind == SpanKind::kComment) {
                    out.back().to = p;
                } else {
                    out.push_back({from, p, SpanKind::kComment});
                }
                run = p;
                i += 2 + n;
                inComment = b == kSrcComment;
                continue;
            }
            default:
                if (p >= end || text[p] != static_cast<char>(b)) return false;
                ++p;
                ++i;
                break;
        }
        inComment = false;
    }
    flush();
    return p == end;
}

std::vector<Span> makeSpans(const DocLine& l) {
    std::vector<Span> out;
    const LineFacts* f = l.facts.get();
    const size_t end = l.lead + l.size;
    size_t p = l.lead;
    if (f && f->digits > 0 && f->digits <= l.size) {
        out.push_back({p, p + f->digits, SpanKind::kOwnNumber, f->number});
        p += f->digits;
    }
    if (f && f->kind == LineKind::kCompiled) {
        const size_t kept = out.size();
        if (storedSpans(l.text, p, end, f->stored, out)) return out;
        out.resize(kept);
    }
    lexical(l.text, p, end, out);
    return out;
}

// The end of the clause that holds trimmed-text position `at`: the next '\' or '!' outside
// quotes, or the end of the text.
size_t clauseEnd(std::string_view t, size_t at) {
    char quote = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (i >= at && (c == '\\' || c == '!')) {
            return i;
        } else if (c == '!') {
            return t.size();  // `at` lies in the comment
        }
    }
    return t.size();
}

std::string errorMessage(int number, std::string_view detail) {
    std::string m = "ERROR " + std::to_string(number) + ": " + errorText(number);
    if (!detail.empty()) m.append(" (").append(detail).append(")");
    return m;
}

// The code of a line's clauses, decoded; stops at damaged code.
std::vector<ClauseView> clausesOf(std::span<const uint8_t> code) {
    std::vector<ClauseView> out;
    size_t pos = 0;
    while (!atLineEnd(code, pos)) {
        ClauseView v;
        if (decodeClause(code, pos, v)) break;
        out.push_back(v);
        pos = v.next;
    }
    return out;
}

int16_t wordAt(std::span<const uint8_t> code, size_t at) {
    return static_cast<int16_t>(readWord(code.data() + at));
}

}  // namespace

std::string listedLine(const LineFacts& facts) {
    return fiveDigits(facts.number) + " " + restoreSource(facts.stored);
}

Program::Program() : pc_(emptyProgram()) {}
Program::~Program() = default;

// ---- the text ----

void Program::setLines(std::vector<std::string> texts, size_t at, size_t count) {
    std::vector<DocLine> fresh(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) fresh[i].text = std::move(texts[i]);
    lines_.erase(lines_.begin() + static_cast<long>(at),
                 lines_.begin() + static_cast<long>(at + count));
    lines_.insert(lines_.begin() + static_cast<long>(at), std::make_move_iterator(fresh.begin()),
                  std::make_move_iterator(fresh.end()));
    for (size_t i = at; i < at + texts.size(); ++i) placeText(lines_[i], i == 0);
    if (at > 0 || texts.empty()) {
        // The first line may have changed beneath a byte-order mark's rule.
        if (!lines_.empty() && lines_[0].facts) {
            DocLine& first = lines_[0];
            const size_t lead = first.lead, size = first.size;
            placeText(first, true);
            if (lead != first.lead || size != first.size) first.facts.reset();
        }
    }
}

void Program::setText(std::string_view text) {
    // Every line is looked up again, but only texts the cache does not hold are compiled.
    lines_.clear();
    setLines(splitLines(text), 0, 0);
}

bool Program::replace(int fromLine, size_t fromByte, int toLine, size_t toByte,
                      std::string_view text) {
    if (lines_.empty()) lines_.emplace_back();
    const int last = static_cast<int>(lines_.size()) - 1;
    auto clamp = [&](int& line, size_t& byte) {
        if (line < 0) {
            line = 0;
            byte = 0;
        } else if (line > last) {
            line = last;
            byte = lines_[static_cast<size_t>(last)].text.size();
        }
        byte = std::min(byte, lines_[static_cast<size_t>(line)].text.size());
    };
    clamp(fromLine, fromByte);
    clamp(toLine, toByte);
    if (toLine < fromLine || (toLine == fromLine && toByte < fromByte)) return false;
    const std::string& a = lines_[static_cast<size_t>(fromLine)].text;
    const std::string& b = lines_[static_cast<size_t>(toLine)].text;
    std::string joined = a.substr(0, fromByte);
    joined.append(text);
    joined.append(b, toByte);
    setLines(splitLines(joined), static_cast<size_t>(fromLine),
             static_cast<size_t>(toLine - fromLine + 1));
    return true;
}

// ---- compiling ----

std::shared_ptr<const LineFacts> Program::compileFacts(std::string_view t) {
    auto f = std::make_shared<LineFacts>();
    if (t.empty()) return f;
    size_t digits = 0;
    uint32_t number = 0;
    while (digits < t.size() && isDigit(t[digits])) {
        if (number <= static_cast<uint32_t>(kMaxLineNumber))
            number = number * 10 + static_cast<uint32_t>(t[digits] - '0');
        ++digits;
    }
    const bool validNumber =
        digits > 0 && digits <= 5 && number >= 1 && number <= static_cast<uint32_t>(kMaxLineNumber);
    f->digits = digits;
    f->number = validNumber ? number : 0;
    if (t.size() > static_cast<size_t>(kCommandFieldWidth)) {
        f->kind = LineKind::kTooLong;
        f->error = kErrCommandTooLong;
        return f;
    }
    if (digits == 0) {
        f->kind = LineKind::kNoNumber;
        f->error = kErrUnrecognized;  // every line of a program's source has its number
        return f;
    }
    PendingDict pending;
    CompiledLine out;
    ++compiles_;
    const int err = compileLine(*pc_, t, pending, CompileOptions{}, out, true);
    pendingDiscard(pending);
    if (err) {
        f->kind = LineKind::kFailed;
        f->error = err < 0 ? -err : err;
        f->errorAt = std::min(out.errorPos, t.size());
    } else if (out.empty) {
        f->kind = LineKind::kNumberOnly;
    } else {
        f->kind = LineKind::kCompiled;
        f->stored = std::move(out.source);
    }
    return f;
}

std::shared_ptr<const LineFacts> Program::factsFor(std::string_view trimmed) {
    const std::string key(trimmed);
    if (auto it = cache_.find(key); it != cache_.end()) return it->second;
    auto f = compileFacts(trimmed);
    cache_.emplace(key, f);
    return f;
}

void Program::rebuild() {
    pc_ = emptyProgram();
    held_.clear();
    // The facts came from a dictionary that is now gone; a line's facts depend on it only in
    // rare cases (whether a string name is an array), but a rebuild starts clean.
    cache_.clear();
    for (DocLine& l : lines_) l.facts.reset();
    for (size_t i = 0; i < lines_.size(); ++i) placeText(lines_[i], i == 0);
    ++rebuilds_;
}

void Program::syncProgram() {
    // The program loses the numbers no line keeps any more.
    for (auto it = held_.begin(); it != held_.end();) {
        if (!winner_.contains(it->first)) {
            (void)deleteLine(*pc_, it->first);
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
    // Changed lines go in in document order, as LOAD would take them.
    for (size_t d = 0; d < lines_.size(); ++d) {
        DocLine& l = lines_[d];
        const LineFacts& f = *l.facts;
        if (f.kind != LineKind::kCompiled) continue;
        const auto w = winner_.find(f.number);
        if (w == winner_.end() || w->second != static_cast<int>(d)) continue;
        const std::string_view t = l.trimmed();
        auto h = held_.find(f.number);
        if (h != held_.end() && h->second == t) continue;
        size_t errorPos = 0;
        ++compiles_;
        const int err = enterLine(*pc_, t, CompileOptions{}, &errorPos);
        if (err == 0) {
            held_[f.number] = std::string(t);
            continue;
        }
        // The dictionary the program holds now refuses what the line compiled to before:
        // the line is what the compiler says now.
        (void)deleteLine(*pc_, f.number);
        held_.erase(f.number);
        auto refusedFacts = std::make_shared<LineFacts>(f);
        refusedFacts->kind = LineKind::kFailed;
        refusedFacts->error = err < 0 ? -err : err;
        refusedFacts->errorAt = std::min(errorPos, t.size());
        refusedFacts->stored.clear();
        cache_[std::string(t)] = refusedFacts;
        l.facts = refusedFacts;
        l.spans.reset();
        winner_.erase(f.number);
        refused_.insert(f.number);
    }
    const size_t count = static_cast<size_t>(pc_->linecnt);
    docOfIndex_.assign(count, -1);
    indexOfDoc_.assign(lines_.size(), -1);
    for (size_t i = 0; i < count; ++i) {
        const auto w = winner_.find(pc_->lineptr[i].lineno());
        if (w == winner_.end()) continue;
        docOfIndex_[i] = w->second;
        indexOfDoc_[static_cast<size_t>(w->second)] = static_cast<int>(i);
    }
}

void Program::refresh() {
    const bool grown = pc_->codearea.size() > 2 * codeAtRebuild_ + (256u << 10) ||
                       pc_->dictcnt > 2 * dictAtRebuild_ + 2000;
    if (fresh_ || grown) rebuild();
    for (DocLine& l : lines_) {
        if (l.facts) continue;
        l.facts = factsFor(l.trimmed());
        l.spans.reset();
    }
    winner_.clear();
    refused_.clear();
    for (size_t d = 0; d < lines_.size(); ++d) {
        const LineFacts& f = *lines_[d].facts;
        if (f.kind == LineKind::kCompiled) {
            winner_[f.number] = static_cast<int>(d);
        } else if (f.kind == LineKind::kNumberOnly) {
            winner_.erase(f.number);  // LOAD deletes the line of that number here
        } else if (f.number != 0) {
            refused_.insert(f.number);
        }
    }
    syncProgram();
    if (fresh_ || grown) {
        codeAtRebuild_ = pc_->codearea.size();
        dictAtRebuild_ = pc_->dictcnt;
        fresh_ = false;
    }
    // The cache keeps what the document may soon hold again (an undone change), not every
    // text it ever held.
    if (cache_.size() > 2 * lines_.size() + 4096) {
        std::unordered_map<std::string, std::shared_ptr<const LineFacts>> kept;
        for (const DocLine& l : lines_) kept.emplace(std::string(l.trimmed()), l.facts);
        cache_.swap(kept);
    }
    (void)resolveProgram(*pc_);
    diagnostics_.clear();
    checkLines();
    checkProgram();
    std::stable_sort(diagnostics_.begin(), diagnostics_.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
}

int Program::lineOfNumber(uint32_t number) const {
    const auto w = winner_.find(number);
    return w == winner_.end() ? -1 : w->second;
}

int Program::lineOfIndex(int index) const {
    return index >= 0 && static_cast<size_t>(index) < docOfIndex_.size()
               ? docOfIndex_[static_cast<size_t>(index)]
               : -1;
}

int Program::indexOfLine(int line) const {
    return line >= 0 && static_cast<size_t>(line) < indexOfDoc_.size()
               ? indexOfDoc_[static_cast<size_t>(line)]
               : -1;
}

const std::vector<Span>& Program::spans(int line) const {
    static const std::vector<Span> none;
    if (line < 0 || static_cast<size_t>(line) >= lines_.size()) return none;
    const DocLine& l = lines_[static_cast<size_t>(line)];
    if (!l.spans) l.spans = std::make_shared<const std::vector<Span>>(makeSpans(l));
    return *l.spans;
}

// ---- checks ----

// Each line by itself: what LOAD reports for it, and the lines LOAD replaces or deletes.
void Program::checkLines() {
    for (size_t d = 0; d < lines_.size(); ++d) {
        const DocLine& l = lines_[d];
        const LineFacts& f = *l.facts;
        const int line = static_cast<int>(d);
        const size_t from = l.lead, to = l.lead + l.size;
        switch (f.kind) {
            case LineKind::kBlank: break;
            case LineKind::kNoNumber:
                diagnostics_.push_back({line, from, to, Severity::kError, f.error,
                                        errorMessage(f.error,
                                                     "a program line begins with its "
                                                     "line number")});
                break;
            case LineKind::kTooLong:
                diagnostics_.push_back(
                    {line, from, to, Severity::kError, f.error,
                     errorMessage(f.error, "a line may hold " + std::to_string(kCommandFieldWidth) +
                                               " characters")});
                break;
            case LineKind::kFailed: {
                const std::string_view t = l.trimmed();
                size_t a = f.errorAt, b = clauseEnd(t, f.errorAt);
                if (a >= t.size()) {
                    a = t.empty() ? 0 : t.size() - 1;
                    b = t.size();
                } else if (b <= a) {
                    b = a + 1;
                }
                diagnostics_.push_back({line, from + a, from + b, Severity::kError, f.error,
                                        errorMessage(f.error, "")});
                break;
            }
            case LineKind::kNumberOnly:
                diagnostics_.push_back({line, from, to, Severity::kWarning, 0,
                                        "a line number alone: LOAD deletes line " +
                                            fiveDigits(f.number) + " when it reaches this line"});
                break;
            case LineKind::kCompiled: {
                const int kept = lineOfNumber(f.number);
                if (kept == line) break;
                std::string message = "line " + fiveDigits(f.number) + " is given again";
                if (kept >= 0)
                    message +=
                        " on line " + std::to_string(kept + 1) + ": LOAD keeps the later one";
                else
                    message += " later: LOAD keeps neither";
                diagnostics_.push_back(
                    {line, from, from + f.digits, Severity::kWarning, 0, std::move(message)});
                break;
            }
        }
    }
}

namespace {

struct Checker {
    const Program& prog;
    const pcb& pc;
    const std::unordered_set<uint32_t>& refused;
    std::vector<Diagnostic>& out;
    bool hasLibrary = false;
    std::set<std::pair<int, size_t>> reported;  // (line, from): one error per place

    void add(int line, size_t from, size_t to, Severity severity, int number, std::string detail) {
        if (severity == Severity::kError && !reported.emplace(line, from).second) return;
        out.push_back({line, from, to, severity, number, errorMessage(number, detail)});
    }
    void addWholeLine(int line, Severity severity, int number, std::string detail) {
        const DocLine& l = prog.lines()[static_cast<size_t>(line)];
        add(line, l.lead, l.lead + l.size, severity, number, std::move(detail));
    }

    std::string_view textOf(int line, const Span& s) const {
        return std::string_view(prog.lines()[static_cast<size_t>(line)].text)
            .substr(s.from, s.to - s.from);
    }
    // The first span of the line that `pick` accepts; null when none.
    template <class Pick>
    const Span* find(int line, Pick pick) const {
        for (const Span& s : prog.spans(line))
            if (pick(s)) return &s;
        return nullptr;
    }
    // The statement keyword span of `name` (abbreviations count), or ELSE in any case.
    const Span* keyword(int line, std::string_view name) const {
        return find(line, [&](const Span& s) {
            const std::string word = upperCase(textOf(line, s));
            if (name == "ELSE") return word == "ELSE";
            if (s.kind != SpanKind::kKeyword) return false;
            if (word == name) return true;
            const KeywordTable& t = statementKeywords();
            const int k = t.lookup(word);
            return k && t.name(k) == name;
        });
    }
    void atKeyword(int line, std::string_view name, Severity severity, int number,
                   std::string detail) {
        if (const Span* s = keyword(line, name))
            add(line, s->from, s->to, severity, number, std::move(detail));
        else
            addWholeLine(line, severity, number, std::move(detail));
    }

    std::string labelName(int entry) const {
        const std::string_view n = dictNameView(pc, entry);
        return std::string(n.starts_with(':') ? n.substr(1) : n);
    }

    // A line reference of line `line` (code words at `at`); `usingForm` when it names a FORM.
    void reference(int line, std::span<const uint8_t> code, size_t at, bool usingForm) {
        if (at + 6 > code.size()) return;
        const LineRef r = readLineRef(code.data() + at);
        std::string what;
        std::vector<const Span*> places;
        if (r.label) {
            const std::string name = labelName(r.label);
            what = "label " + name;
            for (const Span& s : prog.spans(line))
                if (s.kind == SpanKind::kName && upperCase(textOf(line, s)) == name)
                    places.push_back(&s);
        } else {
            if (r.index < 0 && refused.contains(r.number)) return;  // reported on that line
            what = "line " + fiveDigits(r.number);
            for (const Span& s : prog.spans(line))
                if (s.kind == SpanKind::kLineRef && s.number == r.number) places.push_back(&s);
        }
        auto report = [&](int number, const std::string& detail) {
            if (places.empty()) addWholeLine(line, Severity::kError, number, detail);
            for (const Span* s : places)
                add(line, s->from, s->to, Severity::kError, number, detail);
        };
        if (r.index < 0 || r.index >= pc.linecnt) {
            report(kErrNoTarget, what + " does not exist");
            return;
        }
        if (!usingForm) return;
        const std::span<const uint8_t> target = lineCode(pc, r.index);
        ClauseView fv;
        if (atLineEnd(target, 0) || decodeClause(target, 0, fv) || fv.code != StForm ||
            fv.count != 1)
            report(kErrFormStructure, what + " is not a FORM line");
    }

    // The text of a FORM line, compiled as a statement that uses it compiles it.
    void formText(int line, std::span<const uint8_t> code, const ClauseView& v) {
        const de* e = dictEntry(pc, readWord(code.data() + v.start + 1));
        if (!e || !e->isString()) return;
        const std::string_view text = e->stringValue();
        const pcb* program = &pc;
        FormNameLookup lookup = [program](std::string_view name, uint16_t& index) -> int {
            const int i = findName(*program, name);
            if (i == 0) return kErrFormStructure;
            const de* entry = dictEntry(*program, i);
            if (!entry || entry->isString() || entry->isFunction()) return kErrFormStructure;
            index = static_cast<uint16_t>(i);
            return 0;
        };
        CompiledForm form;
        int err = formCompile(text, form, lookup);
        if (!err) return;
        if (err != kErrFormTooLong && err != kErrFormNumber) err = kErrFormStructure;
        // Point at the offending character when the FORM text stands in the line as typed.
        const DocLine& l = prog.lines()[static_cast<size_t>(line)];
        const Span* kw = keyword(line, "FORM");
        const size_t at = kw ? l.text.find(text, kw->to) : std::string::npos;
        if (at != std::string::npos && form.errorAt >= 1 && form.errorAt <= text.size()) {
            const size_t p = at + form.errorAt - 1;
            add(line, p, p + 1, Severity::kError, err, "in this FORM");
        } else {
            atKeyword(line, "FORM", Severity::kError, err, "in this FORM");
        }
    }

    void clause(int line, std::span<const uint8_t> code, const ClauseView& v) {
        const size_t w = v.wordsAt;
        switch (v.code) {
            case StGoto:
            case StGosub:
                if (v.direct) {
                    if (v.words >= kLrefWords) reference(line, code, w, false);
                } else if (v.words >= 2) {
                    const int n = readWord(code.data() + w);
                    for (int k = 0; k < n && 1 + 3 * (k + 1) <= v.words; ++k)
                        reference(line, code, w + 2 + 6 * static_cast<size_t>(k), false);
                    const size_t none = 2 + 6 * static_cast<size_t>(n);
                    if (static_cast<int>(none / 2) + 4 <= v.words &&
                        readWord(code.data() + w + none))
                        reference(line, code, w + none + 2, false);
                }
                break;
            case StOn:
                if (v.words == 5 && readWord(code.data() + w + 2) == kOnGoto)
                    reference(line, code, w + 4, false);
                break;
            case StSkip:
                if (v.words >= 2 && wordAt(code, w) == kTargetUnresolved) {
                    const uint16_t kind = readWord(code.data() + w + 2);
                    if (kind == kBlockDef) {
                        std::string fn = "DEF";
                        const std::vector<ClauseView> all = clausesOf(code);
                        for (const ClauseView& c : all)
                            if (c.code == StDef && !c.direct && c.words >= 1)
                                fn = "DEF " + std::string(dictNameView(
                                                  pc, readWord(code.data() + c.wordsAt)));
                        atKeyword(line, "DEF", Severity::kError, kErrNoTarget,
                                  fn + " has no FNEND");
                    } else if (kind == kBlockElse) {
                        atKeyword(line, "ELSE", Severity::kError, kErrNoTarget,
                                  "ELSE without END IF");
                    } else if (kind == kBlockCase) {
                        atKeyword(line, "CASE", Severity::kError, kErrNoTarget,
                                  "CASE without END SELECT");
                    }
                }
                break;
            case StIf:
                if (!v.direct && v.words == 1 && wordAt(code, w) == kTargetUnresolved)
                    atKeyword(line, "IF", Severity::kError, kErrNoTarget,
                              "IF ... THEN without END IF");
                break;
            case StCase:
                if (!v.direct && v.words >= 1 && wordAt(code, w) == kTargetUnresolved)
                    atKeyword(line, "CASE", Severity::kError, kErrNoTarget,
                              "CASE without END SELECT");
                break;
            case StDo:
                if (!v.direct && v.words >= 1 && wordAt(code, w) == kTargetUnresolved)
                    atKeyword(line, "DO", Severity::kError, kErrNoTarget, "DO without LOOP");
                break;
            case StLoop:
                if (v.words >= 2 && wordAt(code, w) == kTargetUnresolved)
                    atKeyword(line, "LOOP", Severity::kError, kErrNoTarget, "LOOP without DO");
                break;
            case StNext:
                if (v.words == 2 && wordAt(code, w) == kTargetUnresolved)
                    atKeyword(line, "NEXT", Severity::kError, kErrNextWithoutFor, "");
                break;
            case StFor:
                if (v.words == 2 && wordAt(code, w) == kTargetUnresolved)
                    atKeyword(line, "FOR", Severity::kWarning, kErrNoTarget,
                              "FOR without NEXT: a loop that is not entered stops here");
                break;
            case StForm:
                if (v.count == 1 && v.start == 0) formText(line, code, v);
                break;
            default: break;
        }
        // User functions called by the clause's expression.
        for (size_t p = v.itemsAt; p < v.stmtAt;) {
            uint8_t h;
            size_t at, next;
            int n;
            if (decodeItem(code, p, h, at, n, next)) break;
            if ((h & 0x3F) == OpCallFn && n >= 1 && !hasLibrary) {
                const int fn = readWord(code.data() + at);
                const de* e = dictEntry(pc, fn);
                if (e && e->isFunction() && e->fnline == kFnUnlinked) {
                    const std::string name(dictNameView(pc, fn));
                    const Span* s = find(line, [&](const Span& sp) {
                        return sp.kind == SpanKind::kName && upperCase(textOf(line, sp)) == name;
                    });
                    if (s)
                        add(line, s->from, s->to, Severity::kError, kErrNotLinked,
                            name + " has no DEF");
                    else
                        addWholeLine(line, Severity::kError, kErrNotLinked, name + " has no DEF");
                }
            }
            p = next;
        }
        // Line references among the clause parts: USING lines, RESTORE lines, error exits.
        if (!v.direct) {
            bool afterUsing = false;
            for (size_t p = v.partsAt; p < v.endAt;) {
                uint8_t h;
                size_t at, next;
                int n;
                if (decodeItem(code, p, h, at, n, next)) break;
                const uint8_t kind = h & 0x3F;
                if (kind == kPartLine && n == 3) reference(line, code, at, afterUsing);
                if (kind == kPartExit && n == 4) reference(line, code, at + 2, false);
                afterUsing = kind == K_USING;
                p = next;
            }
        }
    }
};

}  // namespace

// The checks that need the whole program, with the error numbers a run gives for them.
void Program::checkProgram() {
    Checker c{*this, *pc_, refused_, diagnostics_, false, {}};
    const std::vector<int> order = linesInOrder(*pc_);
    std::vector<std::vector<ClauseView>> decoded(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
        decoded[k] = clausesOf(lineCode(*pc_, order[k]));
        for (const ClauseView& v : decoded[k])
            if (v.code == StLibrary) c.hasLibrary = true;
    }
    for (size_t k = 0; k < order.size(); ++k) {
        const int line = lineOfIndex(order[k]);
        if (line < 0) continue;
        const std::span<const uint8_t> code = lineCode(*pc_, order[k]);
        for (const ClauseView& v : decoded[k]) c.clause(line, code, v);
    }
}

std::string fiveDigits(uint32_t number) {
    char buf[16];
    snprintf(buf, sizeof buf, "%05u", number);
    return buf;
}

}  // namespace vxs::lsp
