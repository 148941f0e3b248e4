// Decoding, resolution and disassembly of compiled code (see vxexe.h).
#include "vxs/compiler/vxexe.h"

#include <cstdio>
#include <map>
#include <vector>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"

namespace vxs {

int decodeItem(std::span<const uint8_t> code, size_t pos, uint8_t& header, size_t& wordsAt,
               int& words, size_t& next) {
    if (pos >= code.size()) return kErrDamaged;
    header = code[pos];
    switch (header & 0xC0) {
        case 0x00:
            words = 0;
            wordsAt = pos + 1;
            break;
        case 0x80:
            words = 1;
            wordsAt = pos + 1;
            break;
        case 0xC0:
            if (pos + 1 >= code.size()) return kErrDamaged;
            words = code[pos + 1];
            if (words == 0 || words > 63) return kErrDamaged;
            wordsAt = pos + 2;
            break;
        default: return kErrDamaged;  // 01 is not a word count
    }
    next = wordsAt + 2 * static_cast<size_t>(words);
    return next <= code.size() ? 0 : kErrDamaged;
}

int decodeClause(std::span<const uint8_t> code, size_t pos, ClauseView& out) {
    out = ClauseView{};
    out.start = pos;
    if (pos >= code.size() || code[pos] > 63) return kErrDamaged;
    out.count = code[pos];
    size_t p = pos + 1 + 2 * static_cast<size_t>(out.count);
    out.itemsAt = p;
    for (;;) {  // the operator items, up to the terminator or a direct statement
        if (p >= code.size()) return kErrDamaged;
        const uint8_t h = code[p];
        if ((h & 0xC0) == 0x40) {
            out.direct = true;
            out.stmtAt = p;
            out.code = h & 0x3F;
            out.words = directWords(out.code);
            if (out.words < 0) return kErrDamaged;
            out.wordsAt = p + 1;
            out.next = out.wordsAt + 2 * static_cast<size_t>(out.words);
            return out.next <= code.size() ? 0 : kErrDamaged;
        }
        uint8_t header;
        size_t wordsAt, next;
        int words;
        if (int err = decodeItem(code, p, header, wordsAt, words, next)) return err;
        p = next;
        if ((header & 0x3F) == 0) break;
    }
    uint8_t header;
    size_t next;
    if (int err = decodeItem(code, p, header, out.wordsAt, out.words, next)) return err;
    out.stmtAt = p;
    out.code = header & 0x3F;
    p = next;
    out.partsAt = p;
    while (p < code.size() && (code[p] & 0xC0) != 0x40) {
        uint8_t h;
        size_t w;
        int n;
        if (int err = decodeItem(code, p, h, w, n, next)) return err;
        p = next;
    }
    if (p >= code.size()) return kErrDamaged;
    out.endAt = p;
    out.next = p + 1;
    return 0;
}

namespace {

struct Resolver {
    pcb& pc;
    std::map<uint32_t, int16_t> byNumber;
    std::map<int, int16_t> byLabel;
    int unresolved = 0;
    const std::vector<uint32_t>* renumber = nullptr;  // new number of each line index

    uint8_t* bytes(int line) {
        return pc.codearea.data() + pc.lineptr[static_cast<size_t>(line)].code;
    }

    void setWord(uint8_t* at, int16_t value) {
        writeWord(at, static_cast<uint16_t>(value));
        if (value == kTargetUnresolved) ++unresolved;
    }
    void resolveRef(uint8_t* at) {
        LineRef r = readLineRef(at);
        int16_t index = kTargetUnresolved;
        if (r.label) {
            if (auto it = byLabel.find(r.label); it != byLabel.end()) index = it->second;
        } else if (auto it = byNumber.find(r.number); it != byNumber.end()) {
            index = it->second;
        }
        r.index = index;
        if (renumber && !r.label && index >= 0) r.number = (*renumber)[static_cast<size_t>(index)];
        writeLineRef(at, r);
        if (index == kTargetUnresolved) ++unresolved;
    }
};

struct Position {
    int16_t line = kTargetUnresolved;
    int16_t offset = kTargetUnresolved;
};

void writePosition(uint8_t* at, Position p) {
    writeWord(at, static_cast<uint16_t>(p.line));
    writeWord(at + 2, static_cast<uint16_t>(p.offset));
}

}  // namespace

int clauseNumberAt(std::span<const uint8_t> code, size_t offset) {
    int n = 1;
    for (size_t p = 0; p < offset && !atLineEnd(code, p);) {
        ClauseView v;
        if (decodeClause(code, p, v)) break;
        p = v.next;
        if (p <= offset) ++n;
    }
    return n;
}

int resolveProgram(pcb& pc) {
    return resolveAndRenumber(pc, nullptr);
}

namespace {

// The line numbers and labels of the program, for the references to resolve.
void indexLines(Resolver& r, const std::vector<int>& order) {
    const pcb& pc = r.pc;
    for (int i : order) {
        r.byNumber[pc.lineptr[static_cast<size_t>(i)].lineno()] = static_cast<int16_t>(i);
        const std::span<const uint8_t> code = lineCode(pc, i);
        ClauseView v;
        if (!atLineEnd(code, 0) && decodeClause(code, 0, v) == 0 && v.direct && v.code == StLabel) {
            const int label = readWord(code.data() + v.wordsAt);
            r.byLabel.emplace(label, static_cast<int16_t>(i));  // the first line with it wins
        }
    }
}

// One line to resolve: its code (writable) and the index its positions name.
struct LineBytes {
    uint8_t* b;
    std::span<const uint8_t> code;
    int16_t self;
};

// Resolves the references and block targets of `lines`, taken in that order as one program.
void resolveLines(Resolver& r, const std::vector<LineBytes>& lines);

}  // namespace

int resolveAndRenumber(pcb& pc, const std::vector<uint32_t>* renumber) {
    Resolver r{pc, {}, {}, 0, renumber};
    const std::vector<int> order = linesInOrder(pc);
    indexLines(r, order);
    std::vector<LineBytes> lines;
    lines.reserve(order.size());
    for (int line : order)
        lines.push_back({r.bytes(line), lineCode(pc, line), static_cast<int16_t>(line)});
    resolveLines(r, lines);
    linkFunctions(pc);
    pc.resolved = true;
    return r.unresolved;
}

int resolveTypedLine(pcb& pc, std::vector<uint8_t>& code, int16_t self) {
    Resolver r{pc, {}, {}, 0, nullptr};
    indexLines(r, linesInOrder(pc));
    resolveLines(r, {{code.data(), std::span<const uint8_t>(code), self}});
    return r.unresolved;
}

namespace {

void resolveLines(Resolver& r, const std::vector<LineBytes>& lines) {

    struct IfBlock {
        uint8_t* pendingTarget;           // the IF or ELSE IF waiting for its ELSE / END IF
        std::vector<uint8_t*> elseSkips;  // skips that go past END IF
    };
    struct ForLoop {
        uint8_t* afterNextWords;
        int var;
        Position loopStart;
    };
    struct DoLoop {
        uint8_t* targetWord;  // null for the plain marker
        Position at;
    };
    struct SelectBlock {
        uint16_t hidden;
        bool seenCase = false;
        uint8_t* pendingCaseTarget = nullptr;
        std::vector<uint8_t*> caseSkips;
    };
    std::vector<IfBlock> ifs;
    std::vector<ForLoop> fors;
    std::vector<DoLoop> dos;
    std::vector<SelectBlock> selects;
    // A skip waiting for its partner (FNEND, END IF, END SELECT, LOOP) holds -1 until the partner
    // fills it in: a target left from an earlier resolution may name a line that has since been
    // deleted or moved.
    std::vector<uint8_t*> defSkips;
    bool lastDefOneLine = false;

    for (const LineBytes& l : lines) {
        const std::span<const uint8_t> code = l.code;
        uint8_t* b = l.b;
        const int16_t self = l.self;
        size_t pos = 0;
        while (!atLineEnd(code, pos)) {
            ClauseView v;
            if (decodeClause(code, pos, v)) break;  // damaged: nothing further on this line
            uint8_t* w = b + v.wordsAt;
            const Position here{self, static_cast<int16_t>(v.start)};
            const Position after{self, static_cast<int16_t>(v.next)};
            switch (v.code) {
                case StGoto:
                case StGosub:
                    if (v.direct) {
                        if (v.words >= kLrefWords) r.resolveRef(w);
                    } else if (v.words >= 2) {
                        const int n = readWord(w);
                        for (int k = 0; k < n && 1 + 3 * (k + 1) <= v.words; ++k)
                            r.resolveRef(w + 2 + 6 * static_cast<size_t>(k));
                        const size_t none = 2 + 6 * static_cast<size_t>(n);
                        if (static_cast<int>(none / 2) + 4 <= v.words && readWord(w + none))
                            r.resolveRef(w + none + 2);
                    }
                    break;
                case StOn:
                    if (v.words == 5 && readWord(w + 2) == kOnGoto) r.resolveRef(w + 4);
                    break;
                case StSkip: {
                    if (v.words < 2) break;  // damaged: no target word to fill in
                    const uint16_t kind = readWord(w + 2);
                    if (kind == kBlockElse) {
                        if (!ifs.empty()) {
                            if (ifs.back().pendingTarget) r.setWord(ifs.back().pendingTarget, self);
                            ifs.back().pendingTarget = nullptr;
                            writeWord(w, static_cast<uint16_t>(kTargetUnresolved));
                            ifs.back().elseSkips.push_back(w);
                        } else {
                            r.setWord(w, kTargetUnresolved);
                        }
                    } else if (kind == kBlockEndIf) {
                        if (!ifs.empty()) {
                            if (ifs.back().pendingTarget) r.setWord(ifs.back().pendingTarget, self);
                            for (uint8_t* s : ifs.back().elseSkips) r.setWord(s, self);
                            ifs.pop_back();
                        }
                    } else if (kind == kBlockCase) {
                        if (selects.empty()) {
                            r.setWord(w, kTargetUnresolved);
                        } else {
                            SelectBlock& s = selects.back();
                            if (s.pendingCaseTarget) r.setWord(s.pendingCaseTarget, self);
                            s.pendingCaseTarget = nullptr;
                            if (!s.seenCase) {
                                r.setWord(w, kTargetNextLine);  // reached from SELECT itself
                                s.seenCase = true;
                            } else {
                                writeWord(w, static_cast<uint16_t>(kTargetUnresolved));
                                s.caseSkips.push_back(w);
                            }
                        }
                    } else if (kind == kBlockEndSelect) {
                        if (!selects.empty()) {
                            SelectBlock& s = selects.back();
                            if (s.pendingCaseTarget) r.setWord(s.pendingCaseTarget, self);
                            for (uint8_t* k : s.caseSkips) r.setWord(k, self);
                            selects.pop_back();
                        }
                    } else if (kind == kBlockDef) {
                        if (lastDefOneLine) {
                            r.setWord(w, self);
                        } else {
                            writeWord(w, static_cast<uint16_t>(kTargetUnresolved));
                            defSkips.push_back(w);
                        }
                    } else if (kind == kBlockLineElse) {
                        r.setWord(w, self);
                    }
                    break;
                }
                case StDef: lastDefOneLine = v.words >= 2 && readWord(w + 2) != 0; break;
                case StFnend:
                    if (!defSkips.empty() && !lastDefOneLine) {
                        r.setWord(defSkips.back(), self);
                        defSkips.pop_back();
                    }
                    lastDefOneLine = false;
                    break;
                case StIf:
                    if (!v.direct && b[v.endAt] == kThenEnd && atLineEnd(code, v.next) &&
                        v.words == 1) {
                        // THEN at the end of the line: a block IF.
                        if (!ifs.empty() && ifs.back().pendingTarget == nullptr &&
                            !ifs.back().elseSkips.empty() && v.start > 0) {
                            ifs.back().pendingTarget = w;  // ELSE IF ... THEN continues a chain
                        } else {
                            ifs.push_back({w, {}});
                        }
                        r.setWord(w, kTargetUnresolved);
                        --r.unresolved;  // counted again if it stays so
                    }
                    break;
                case StSelect:
                    if (v.count >= 1)
                        selects.push_back(
                            SelectBlock{readWord(b + v.start + 1), false, nullptr, {}});
                    break;
                case StCase:
                    if (!selects.empty() && v.words >= 1) {
                        if (v.count >= 1) writeWord(b + v.start + 1, selects.back().hidden);
                        selects.back().pendingCaseTarget = w;
                        r.setWord(w, kTargetUnresolved);
                        --r.unresolved;
                    }
                    break;
                case StFor:
                    if (v.count >= 1 && v.words == 2) {
                        fors.push_back({w, readWord(b + v.start + 1), after});
                        writePosition(w, Position{});
                    }
                    break;
                case StNext:
                    if (v.count >= 1 && v.words == 2) {
                        const int var = readWord(b + v.start + 1);
                        size_t k = fors.size();
                        while (k > 0 && fors[k - 1].var != var) --k;
                        if (k > 0) {
                            writePosition(fors[k - 1].afterNextWords, after);
                            writePosition(w, fors[k - 1].loopStart);
                            fors.resize(k - 1);
                        } else {
                            writePosition(w, Position{});
                            ++r.unresolved;
                        }
                    }
                    break;
                case StDo:
                    if (!v.direct && v.words >= 1)
                        writeWord(w, static_cast<uint16_t>(kTargetUnresolved));
                    dos.push_back({v.direct || v.words < 1 ? nullptr : w, here});
                    break;
                case StLoop:
                    if (v.words < 2) break;
                    if (!dos.empty()) {
                        writePosition(w, dos.back().at);
                        if (dos.back().targetWord) r.setWord(dos.back().targetWord, self);
                        dos.pop_back();
                    } else {
                        writePosition(w, Position{});
                        ++r.unresolved;
                    }
                    break;
                default: break;
            }
            // Line references among the parts: USING lines, RESTORE lines, error exits.
            if (!v.direct) {
                size_t p = v.partsAt;
                while (p < v.endAt) {
                    uint8_t h;
                    size_t wordsAt, next;
                    int n;
                    if (decodeItem(code, p, h, wordsAt, n, next)) break;
                    if ((h & 0x3F) == kPartLine && n == 3) r.resolveRef(b + wordsAt);
                    if ((h & 0x3F) == kPartExit && n == 4) r.resolveRef(b + wordsAt + 2);
                    p = next;
                }
            }
            pos = v.next;
        }
    }
    // Blocks left open count as unresolved.
    for (const IfBlock& i : ifs)
        r.unresolved += (i.pendingTarget ? 1 : 0) + static_cast<int>(i.elseSkips.size());
    r.unresolved += static_cast<int>(fors.size() + dos.size() + defSkips.size());
    for (const SelectBlock& s : selects)
        r.unresolved += (s.pendingCaseTarget ? 1 : 0) + static_cast<int>(s.caseSkips.size());
}

}  // namespace

std::vector<int16_t> functionDefLines(const pcb& pc) {
    std::vector<int16_t> lines(static_cast<size_t>(pc.dictcnt), -1);
    for (int i : linesInOrder(pc)) {
        const std::span<const uint8_t> code = lineCode(pc, i);
        ClauseView v;
        if (atLineEnd(code, 0) || decodeClause(code, 0, v) || v.code != StDef || v.words < 1)
            continue;
        const int slot = readWord(code.data() + v.wordsAt) - kFirstDictIndex;
        if (slot >= 0 && slot < pc.dictcnt && lines[static_cast<size_t>(slot)] < 0)
            lines[static_cast<size_t>(slot)] = static_cast<int16_t>(i);  // the first DEF wins
    }
    return lines;
}

void linkFunctions(pcb& pc) {
    const std::vector<int16_t> lines = functionDefLines(pc);
    for (int i = 0; i < pc.dictcnt; ++i) {
        de* e = pc.dictEntryPointer[static_cast<size_t>(i)].get();
        if (!e || !e->isFunction()) continue;
        if (e->fnline != kFnUnlinked && e->fnline >= kFnLibraryLink) {
            const size_t link = e->fnline - kFnLibraryLink;
            if (link < pc.liblinks.size() && pc.liblinks[link].lib) continue;  // stays linked
        }
        const int16_t def = lines[static_cast<size_t>(i)];
        e->fnline = def >= 0 ? static_cast<uint32_t>(def) : kFnUnlinked;
    }
}

std::string disassemble(std::span<const uint8_t> code) {
    std::string out;
    char buf[160];
    auto wordsText = [&](size_t at, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            snprintf(buf, sizeof buf, " %d",
                     static_cast<int16_t>(readWord(code.data() + at + 2 * i)));
            s += buf;
        }
        return s;
    };
    size_t pos = 0;
    while (!atLineEnd(code, pos)) {
        ClauseView v;
        if (decodeClause(code, pos, v)) {
            snprintf(buf, sizeof buf, "%02zu: damaged\n", pos);
            return out + buf;
        }
        snprintf(buf, sizeof buf, "%02zu: words%s\n", v.start,
                 wordsText(v.start + 1, v.count).c_str());
        out += buf;
        for (size_t p = v.itemsAt; p < v.stmtAt;) {
            uint8_t h;
            size_t w, next;
            int n;
            if (decodeItem(code, p, h, w, n, next)) break;
            snprintf(buf, sizeof buf, "%02zu: %s%s\n", p,
                     (h & 0x3F) == 0 ? "end" : operatorName(h & 0x3F), wordsText(w, n).c_str());
            out += buf;
            p = next;
        }
        snprintf(buf, sizeof buf, "%02zu: %s%s%s\n", v.stmtAt, statementName(v.code),
                 v.direct ? " direct" : "", wordsText(v.wordsAt, v.words).c_str());
        out += buf;
        if (!v.direct) {
            for (size_t p = v.partsAt; p < v.endAt;) {
                uint8_t h;
                size_t w, next;
                int n;
                if (decodeItem(code, p, h, w, n, next)) break;
                snprintf(buf, sizeof buf, "%02zu: part %d%s\n", p, h & 0x3F,
                         wordsText(w, n).c_str());
                out += buf;
                p = next;
            }
            snprintf(buf, sizeof buf, "%02zu: end 0x%02X\n", v.endAt, code[v.endAt]);
            out += buf;
        }
        pos = v.next;
    }
    snprintf(buf, sizeof buf, "%02zu: line end\n", pos);
    return out + buf;
}

}  // namespace vxs
