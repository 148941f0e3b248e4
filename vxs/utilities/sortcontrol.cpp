// Sort control lines and the key form of sort fields (see sortcontrol.h).
//
// Key form of a field, fixed in length so that fields concatenate and a descending field is
// its complement:
//   character fields   the bytes through the collating table (a Y date: the text date made to
//                      order by century, as key files do, without the table)
//   B, BL, BH          the signed integer as 4 bytes, high byte first, sign bit flipped
//   DT, DH, DL         the day number as 4 bytes, high byte first
//   other numerics     the value as an 8-byte double, high byte first, sign bit flipped for
//                      positive values and every bit for negative ones; bytes that are not a
//                      valid number give 8 zero bytes, before every number
// A Y date held as a number (YYMMDD) gets 1,000,000 added when its year lies in the next
// century, so that it orders after the dates of the base century.
#include "vxs/utilities/sortcontrol.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/openstr.h"
#include "vxs/indexes/collation.h"
#include "vxs/form/form.h"

namespace vxs {

namespace {

constexpr size_t kMaxName = 512;
constexpr int kMaxKeyFileBytes = 128;

// One comma-separated item of a control line: outside quotes upper-cased, quoted text kept.
struct Item {
    std::string text;
    bool quoted = false;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && isBlank(s[a])) ++a;
    while (b > a && isBlank(s[b - 1])) --b;
    return std::string(s.substr(a, b - a));
}

// Splits at commas outside quotes; false for a quote left open.
bool splitItems(std::string_view rest, std::vector<Item>& items) {
    items.clear();
    Item cur;
    std::string raw;  // the unquoted text of the item, trimmed when the item ends
    bool any = false;
    auto finish = [&] {
        if (!cur.quoted) cur.text = trimmed(raw);
        items.push_back(std::move(cur));
        cur = Item{};
        raw.clear();
    };
    for (size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        any = true;
        if (c == '"' || c == '\'') {
            const size_t close = rest.find(c, i + 1);
            if (close == std::string_view::npos) return false;
            if (!cur.quoted && !trimmed(raw).empty()) return false;  // text before a quote
            if (!cur.quoted) {
                cur.quoted = true;
                cur.text.clear();
            }
            cur.text.append(rest.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == ',') {
            finish();
        } else if (!cur.quoted) {
            raw += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (!isBlank(c)) {
            return false;  // text after a quoted part
        }
    }
    if (any) finish();
    return true;
}

// The blank-separated words of an unquoted item.
std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    for (size_t at = 0; at < text.size();) {
        while (at < text.size() && isBlank(text[at])) ++at;
        size_t end = at;
        while (end < text.size() && !isBlank(text[end])) ++end;
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// A whole number of at most 9 digits.
bool number(std::string_view s, int& out) {
    if (s.empty() || s.size() > 9) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

struct TypeWord {
    const char* word;
    uint8_t code;
};
constexpr TypeWord kTypes[] = {
    {"C", kFormC},   {"V", kFormV},   {"CC", kFormCC}, {"CR", kFormCR}, {"N", kFormN},
    {"G", kFormG},   {"NZ", kFormNZ}, {"GZ", kFormGZ}, {"GF", kFormGF}, {"ZD", kFormZD},
    {"PD", kFormPD}, {"B", kFormB},   {"BL", kFormBL}, {"BH", kFormBH}, {"D", kFormD},
    {"S", kFormS},   {"L", kFormL},   {"DT", kFormDT}, {"DH", kFormDH}, {"DL", kFormDL},
};

bool isCharacterCode(uint8_t code) { return code >= kFormV && code <= kFormCR; }
bool isBinaryCode(uint8_t code) { return code >= kFormB && code <= kFormBH; }
bool isDateCode(uint8_t code) { return code >= kFormDT && code <= kFormDL; }

// Whether a field of this type may have this length.
bool lengthFits(uint8_t code, int length) {
    if (length < 1) return false;
    if (isCharacterCode(code)) return length <= 32767;
    if (isBinaryCode(code)) return length <= 4;
    if (isDateCode(code)) return length == 3 || length == 4;
    switch (code) {
        case kFormD: return length == 8;
        case kFormS: return length == 4 || length == 5;
        case kFormL: return length == 9;
        default: return length <= kMaxNumericLength;
    }
}

// The type item: a type word, then optionally "length[.decimals]" (the field's length) and, when
// `letters` is given, key letters.  False when malformed.
bool typeItem(const Item& item, SortField& f, std::string* letters) {
    if (item.quoted) return false;
    const std::vector<std::string> words = wordsOf(item.text);
    if (words.empty()) return false;
    const TypeWord* t = std::find_if(std::begin(kTypes), std::end(kTypes),
                                     [&](const TypeWord& w) { return words[0] == w.word; });
    if (t == std::end(kTypes)) return false;
    f.code = t->code;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (std::isdigit(static_cast<unsigned char>(w[0]))) {
            const size_t dot = w.find('.');
            int len = 0, dec = 0;
            if (!number(w.substr(0, dot), len) || len != f.length) return false;
            if (dot != std::string::npos && (!number(w.substr(dot + 1), dec) || dec > 99)) return false;
            f.decimals = dec;
        } else if (letters) {
            *letters += w;
        } else {
            return false;
        }
    }
    return lengthFits(f.code, f.length) && !(isCharacterCode(f.code) && f.decimals != 0);
}

bool nextCentury(int year) { return year < configLimits().baseYear % 100; }

// A text date (YYMMDD, YY/MM/DD): the first year digit of a next-century year raised above
// every digit.  Text that is not a date stays as it is.
void textDate(uint8_t* p, size_t n) {
    size_t first = n;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] >= '0' && p[i] <= '9') {
            if (first == n) first = i;
        } else if (p[i] != '/' && p[i] != ' ') {
            return;
        }
    }
    if (first + 1 >= n || p[first + 1] < '0' || p[first + 1] > '9') return;
    if (nextCentury((p[first] - '0') * 10 + (p[first + 1] - '0')))
        p[first] = static_cast<uint8_t>(0xC0 + (p[first] - '0'));
}

void put32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

uint64_t rawInteger(const uint8_t* p, int n, bool highFirst) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[highFirst ? i : n - 1 - i];
    return v;
}

FormField formFieldOf(const SortField& f) {
    FormField ff;
    ff.code = f.code;
    ff.length = f.length;
    ff.decimals = f.decimals;
    return ff;
}

int parseFile(const std::vector<Item>& items, SortControl& c) {
    if (c.haveFile || items.size() < 2) return kErrSortFileLine;
    for (size_t i = 0; i < 3 && i < items.size(); ++i)
        if (items[i].text.size() > kMaxName) return kErrSortFileLine;
    if (items[0].text.empty() || items[1].text.empty()) return kErrSortFileLine;
    c.input = items[0].text;
    c.output = items[1].text;
    if (items.size() > 2) c.workDir = items[2].text;
    if (items.size() > 3) {
        const std::string& k = items[3].text;
        if (items[3].quoted || k.size() > 1) return kErrSortFileLine;
        if (k.empty() || k == "R") c.kind = SortOutput::kRecords;
        else if (k == "A" || k == "3") c.kind = SortOutput::kNumbers3;
        else if (k == "B") c.kind = SortOutput::kNumbers4;
        else if (k == "I") c.kind = SortOutput::kKeyFile;
        else return kErrSortFileLine;
    }
    bool first = true;
    for (size_t i = 4; i < items.size(); ++i) {
        if (items[i].quoted) return kErrSortFileLine;
        for (const std::string& w : wordsOf(items[i].text)) {
            if (first && (w == "A" || w == "N")) c.collation = w[0];
            else if (w == "NOSHR") c.share = kShareNone, c.lockFree = false;
            else if (w == "SHRI") c.share = kShareInput, c.lockFree = false;
            else if (w == "SHR" || w == "SHRU") c.share = kShareAll, c.lockFree = true;
            else if (w == "REPLACE") c.replace = true;
            else return kErrSortFileLine;
            first = false;
        }
    }
    c.haveFile = true;
    return 0;
}

// ALTS: entries of RO n "list" or EQ n "list", the list's characters separated by commas.
int parseAlts(std::string_view rest, SortControl& c) {
    // Words at blanks and commas outside quotes; a quoted word keeps everything.
    struct Word {
        std::string text;
        bool quoted;
    };
    std::vector<Word> words;
    for (size_t i = 0; i < rest.size();) {
        const char ch = rest[i];
        if (isBlank(ch) || ch == ',') {
            ++i;
        } else if (ch == '"' || ch == '\'') {
            const size_t close = rest.find(ch, i + 1);
            if (close == std::string_view::npos) return kErrSortLine;
            words.push_back({std::string(rest.substr(i + 1, close - i - 1)), true});
            i = close + 1;
        } else {
            size_t end = i;
            while (end < rest.size() && !isBlank(rest[end]) && rest[end] != ',' &&
                   rest[end] != '"' && rest[end] != '\'')
                ++end;
            std::string w(rest.substr(i, end - i));
            for (char& x : w) x = static_cast<char>(std::toupper(static_cast<unsigned char>(x)));
            words.push_back({std::move(w), false});
            i = end;
        }
    }
    if (words.empty() || words.size() % 3 != 0) return kErrSortLine;
    std::array<uint8_t, 256> table = c.haveAlts ? c.alts : std::array<uint8_t, 256>{};
    if (!c.haveAlts)
        for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < words.size(); i += 3) {
        const Word& how = words[i];
        const bool ordered = how.text == "RO";
        if (how.quoted || (!ordered && how.text != "EQ") || words[i + 1].quoted ||
            !words[i + 2].quoted)
            return kErrSortLine;
        const std::string& n = words[i + 1].text;
        if (n.empty() || !std::all_of(n.begin(), n.end(), [](char d) { return d >= '0' && d <= '9'; }))
            return kErrSortLine;
        int code = 0;
        if (!number(n, code)) return kErrSortAltsCode;  // more digits than any code has
        for (char ch : words[i + 2].text) {
            if (ch == ',') continue;
            if (code > 255) return kErrSortAltsCode;
            table[static_cast<uint8_t>(ch)] = static_cast<uint8_t>(code);
            if (ordered) ++code;
        }
    }
    c.alts = table;
    c.haveAlts = true;
    return 0;
}

int parseRecord(const std::vector<Item>& items, SortControl& c) {
    if (!c.haveFile) return kErrSortBeforeFile;
    if (c.rules.size() >= static_cast<size_t>(kMaxSortRules)) return kErrSortRecordCount;
    SortRule r;
    size_t at = 0;
    if (items.empty() || items[0].quoted) return kErrSortRecordLine;
    std::vector<std::string> head = wordsOf(items[at++].text);
    if (head.empty() || head.size() > 2 || (head[0] != "I" && head[0] != "O")) return kErrSortRecordLine;
    r.omit = head[0] == "O";
    if (head.size() == 2) {
        if (head[1] != "Y") return kErrSortRecordLine;
        r.field.date = true;
    } else if (at < items.size() && !items[at].quoted && items[at].text == "Y") {
        r.field.date = true;
        ++at;
    }
    if (items.size() != at + 5) return kErrSortRecordLine;
    if (items[at].quoted || items[at + 1].quoted || !number(items[at].text, r.field.start) ||
        !number(items[at + 1].text, r.field.length) || r.field.start < 1 || r.field.length < 1)
        return kErrSortRecordLine;
    if (!typeItem(items[at + 2], r.field, nullptr)) return kErrSortRecordLine;
    for (int b = 0; b < 2; ++b) {
        const Item& item = items[at + 3 + static_cast<size_t>(b)];
        SortBound& bound = b == 0 ? r.low : r.high;
        if (item.quoted) {
            if (item.text.size() > kMaxSortConstant) return kErrSortRecordLine;
            bound.constant = item.text;
        } else {
            if (!number(item.text, bound.position) || bound.position < 1) return kErrSortRecordLine;
            bound.isField = true;
        }
    }
    c.rules.push_back(std::move(r));
    return 0;
}

int parseMask(const std::vector<Item>& items, SortControl& c) {
    if (!c.haveFile) return kErrSortBeforeFile;
    std::vector<SortField> keys;
    size_t count = items.size();
    if (count > 0 && !items[count - 1].quoted && items[count - 1].text.empty()) --count;  // "...,"
    for (size_t at = 0; at < count;) {
        if (keys.size() >= static_cast<size_t>(kMaxSortKeys)) return kErrSortMaskLine;
        if (at + 3 > count) return kErrSortMaskLine;
        SortField f;
        if (items[at].quoted || items[at + 1].quoted || !number(items[at].text, f.start) ||
            !number(items[at + 1].text, f.length) || f.start < 1 || f.length < 1)
            return kErrSortMaskLine;
        std::string letters;
        if (!typeItem(items[at + 2], f, &letters)) return kErrSortMaskLine;
        at += 3;
        // Letter items until the next start position.
        while (at < count && !items[at].quoted && !items[at].text.empty() &&
               !std::isdigit(static_cast<unsigned char>(items[at].text[0]))) {
            for (const std::string& w : wordsOf(items[at].text)) letters += w;
            ++at;
        }
        for (char l : letters) {
            if (l == 'A') f.descending = false;
            else if (l == 'D') f.descending = true;
            else if (l == 'Y') f.date = true;
            else return kErrSortMaskLine;
        }
        keys.push_back(f);
    }
    if (keys.empty()) return kErrSortMaskLine;
    if (c.kind == SortOutput::kKeyFile) {
        // The key file's key parts are the fields: as many as a key file has, within its length.
        int total = 0;
        for (const SortField& f : keys) total += f.keyLength();
        if (keys.size() > static_cast<size_t>(kMaxKeyParts) || total > kMaxKeyFileBytes)
            return kErrSortMaskLine;
    }
    c.keys = std::move(keys);
    c.haveMask = true;
    return 0;
}

void parseSum(const std::vector<Item>& items, SortControl& c) {
    for (size_t i = 0; i < items.size() && i < c.sumLines.size(); ++i)
        if (!items[i].text.empty()) c.sumLines[i] = items[i].text;
    c.sum = true;
}

// The key form of constant bound text for a field (726 when it does not convert).
int constantKey(const SortField& f, const std::array<uint8_t, 256>& table, const std::string& text,
                bool high, std::vector<uint8_t>& key) {
    const size_t len = static_cast<size_t>(f.length);
    key.assign(static_cast<size_t>(f.keyLength()), 0);
    if (f.character()) {
        if (text.size() > len) return kErrNotPlainString;
        // The constant's characters in key form, padded to the field's whole length so that
        // the low bound takes every field that starts with it, and the high bound too.
        std::vector<uint8_t> bytes(text.begin(), text.end());
        if (f.date) textDate(bytes.data(), bytes.size());
        else
            for (uint8_t& b : bytes) b = table[b];
        std::copy(bytes.begin(), bytes.end(), key.begin());
        std::fill(key.begin() + static_cast<std::ptrdiff_t>(bytes.size()), key.end(),
                  high ? uint8_t{0xFF} : uint8_t{0});
        return 0;
    }
    // The constant read as numeric text, then put into a field of the rule's type and read
    // back from there as a record's field would be.
    FormField asText;
    asText.code = kFormG;
    asText.length = static_cast<int>(text.size());
    double value = 0;
    size_t used = 0;
    const FormSettings s;
    if (text.empty() || formGetNumber(asText, s, reinterpret_cast<const uint8_t*>(text.data()),
                                      text.size(), value, used) != 0)
        return kErrNotPlainString;
    std::vector<uint8_t> field(len, ' ');
    size_t written = 0;
    if (formPutNumber(formFieldOf(f), s, value, field.data(), len, written) != 0)
        return kErrNotPlainString;
    SortField at1 = f;
    at1.start = 1;
    sortFieldKey(at1, table, field.data(), len, key.data());
    return 0;
}

}  // namespace

// ---- fields and the control ----
bool SortField::character() const { return isCharacterCode(code); }

int SortField::keyLength() const {
    if (character()) return length;
    if (isBinaryCode(code) || isDateCode(code)) return 4;
    return 8;
}

SortControl::SortControl() {
    for (int i = 0; i < 256; ++i) {
        alts[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        table[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    }
}

int SortControl::keyLength() const {
    int n = 0;
    for (const SortField& f : keys) n += f.keyLength();
    return n;
}

// ---- control lines ----
int parseSortLine(std::string_view line, SortControl& c, bool& done) {
    done = false;
    // Trailing blanks and control characters go, leading blanks are skipped.
    size_t end = line.size();
    while (end > 0 && (static_cast<unsigned char>(line[end - 1]) < 32 || line[end - 1] == ' ')) --end;
    size_t start = 0;
    while (start < end && isBlank(line[start])) ++start;
    const std::string_view text = line.substr(start, end - start);
    if (text.empty()) return 0;
    if (text[0] == '!') {
        if (c.comments.size() < kMaxSortComments)
            c.comments.emplace_back(text.substr(1, kSortCommentWidth));
        return 0;
    }
    size_t wordEnd = 0;
    while (wordEnd < text.size() && !isBlank(text[wordEnd]) && text[wordEnd] != ',') ++wordEnd;
    std::string word(text.substr(0, wordEnd));
    for (char& x : word) x = static_cast<char>(std::toupper(static_cast<unsigned char>(x)));
    // The fields start after the blanks or the one comma that end the word.
    std::string_view rest = text.substr(wordEnd);
    if (!rest.empty() && rest[0] == ',') rest.remove_prefix(1);
    else
        while (!rest.empty() && isBlank(rest[0])) rest.remove_prefix(1);
    if (word == "ALTS") return parseAlts(rest, c);
    std::vector<Item> items;
    const bool closed = splitItems(rest, items);
    if (word == "FILE") return closed ? parseFile(items, c) : kErrSortFileLine;
    if (word == "RECORD") {
        if (!c.haveFile) return kErrSortBeforeFile;
        return closed ? parseRecord(items, c) : kErrSortRecordLine;
    }
    if (word == "MASK") {
        if (!c.haveFile) return kErrSortBeforeFile;
        if (!closed) return kErrSortMaskLine;
        const int err = parseMask(items, c);
        done = err == 0;
        return err;
    }
    if (word == "SUM") {
        if (!closed) return kErrSortLine;
        parseSum(items, c);
        return 0;
    }
    return kErrSortLine;
}

int parseSortControl(const std::vector<std::string>& lines, SortControl& c) {
    for (const std::string& l : lines) {
        bool done = false;
        if (int err = parseSortLine(l, c, done)) return err;
        if (done) return 0;
    }
    return kErrSortNoMask;
}

int prepareSortControl(SortControl& c, int recordLength, bool alternate) {
    auto within = [&](int start, int length) {
        return start >= 1 && length >= 1 && int64_t{start} + length - 1 <= recordLength;
    };
    for (const SortField& f : c.keys)
        if (!within(f.start, f.length)) return kErrSortFieldBeyond;
    for (const SortRule& r : c.rules) {
        if (!within(r.field.start, r.field.length)) return kErrSortFieldBeyond;
        for (const SortBound* b : {&r.low, &r.high})
            if (b->isField && !within(b->position, r.field.length)) return kErrSortFieldBeyond;
    }
    // The collation: the ALTS table when given (and native order not asked for); otherwise the
    // system's, which N asks for too.
    for (int i = 0; i < 256; ++i) c.table[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    if (c.haveAlts && c.collation != 'N') {
        c.table = c.alts;
    } else if (alternate || (c.collation == 'A' && !c.haveAlts)) {
        for (int i = 0; i < 256; ++i)
            c.table[static_cast<size_t>(i)] = alternateCollation(static_cast<uint8_t>(i));
    }
    for (SortRule& r : c.rules) {
        r.lowKey.clear();
        r.highKey.clear();
        if (!r.low.isField)
            if (int err = constantKey(r.field, c.table, r.low.constant, false, r.lowKey)) return err;
        if (!r.high.isField)
            if (int err = constantKey(r.field, c.table, r.high.constant, true, r.highKey)) return err;
    }
    return 0;
}

// ---- key form ----
void sortFieldKey(const SortField& f, const std::array<uint8_t, 256>& table, const uint8_t* record,
                  size_t length, uint8_t* out) {
    const size_t from = static_cast<size_t>(f.start - 1);
    const size_t n = static_cast<size_t>(f.length);
    // A field is within the record (checked beforehand); a short record reads as blanks.
    uint8_t local[16];
    std::vector<uint8_t> wide;
    const uint8_t* p = record + from;
    if (from + n > length) {
        uint8_t* buf = n <= sizeof local ? local : (wide.resize(n), wide.data());
        for (size_t i = 0; i < n; ++i) buf[i] = from + i < length ? record[from + i] : ' ';
        p = buf;
    }
    if (f.character()) {
        if (f.date) {
            memcpy(out, p, n);
            textDate(out, n);
        } else {
            for (size_t i = 0; i < n; ++i) out[i] = table[p[i]];
        }
        return;
    }
    if (isBinaryCode(f.code)) {
        // BL and B low byte first, BH high byte first; sign-extended.
        uint64_t raw = rawInteger(p, f.length, f.code == kFormBH);
        const int shift = 64 - 8 * f.length;
        int64_t v = static_cast<int64_t>(raw << shift) >> shift;
        if (f.date && v >= 0 && v < 1000000 && nextCentury(static_cast<int>(v / 10000 % 100)))
            v += 1000000;
        put32(out, static_cast<uint32_t>(static_cast<int32_t>(v)) ^ 0x80000000u);
        return;
    }
    if (isDateCode(f.code)) {
        put32(out, static_cast<uint32_t>(rawInteger(p, f.length, f.code == kFormDH)));
        return;
    }
    double value = 0;
    size_t used = 0;
    if (formGetNumber(formFieldOf(f), FormSettings{}, p, n, value, used) != 0 || std::isnan(value)) {
        memset(out, 0, 8);
        return;
    }
    if (f.date && value >= 0 && value < 1000000 &&
        nextCentury(static_cast<int>(static_cast<int64_t>(value) / 10000 % 100)))
        value += 1000000;
    if (value == 0) value = 0;  // -0 orders as 0
    uint64_t bits = 0;
    memcpy(&bits, &value, 8);
    bits = (bits >> 63) ? ~bits : bits ^ (uint64_t{1} << 63);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
}

void buildSortKey(const SortControl& c, const uint8_t* record, size_t length, uint8_t* out) {
    for (const SortField& f : c.keys) {
        const size_t n = static_cast<size_t>(f.keyLength());
        sortFieldKey(f, c.table, record, length, out);
        if (f.descending)
            for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(~out[i]);
        out += n;
    }
}

bool sortSelects(const SortControl& c, const uint8_t* record, size_t length) {
    bool anyInclude = false, included = false;
    uint8_t fieldKey[256], bound[256];
    std::vector<uint8_t> wideField, wideBound;
    for (const SortRule& r : c.rules) {
        const size_t n = static_cast<size_t>(r.field.keyLength());
        uint8_t* k = fieldKey;
        uint8_t* b = bound;
        if (n > sizeof fieldKey) {
            wideField.resize(n);
            wideBound.resize(n);
            k = wideField.data();
            b = wideBound.data();
        }
        sortFieldKey(r.field, c.table, record, length, k);
        auto compareWith = [&](const SortBound& sb, const std::vector<uint8_t>& constant) {
            if (!sb.isField) return memcmp(k, constant.data(), n);
            SortField other = r.field;
            other.start = sb.position;
            sortFieldKey(other, c.table, record, length, b);
            return memcmp(k, b, n);
        };
        const bool inside = compareWith(r.low, r.lowKey) >= 0 && compareWith(r.high, r.highKey) <= 0;
        if (r.omit) {
            if (inside) return false;
        } else {
            anyInclude = true;
            included = included || inside;
        }
    }
    return !anyInclude || included;
}

}  // namespace vxs
