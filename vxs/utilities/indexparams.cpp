// INDEX parameters from the command line and from procedure lines.
#include "vxs/utilities/indexparams.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

constexpr size_t kTailChars = 119;
constexpr size_t kMaxName = 512;

std::string upperCased(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The options in the order an abbreviation is resolved in (the first that it starts wins).
enum Option { kReplace, kDupKeys, kListDupKeys, kBadKeys, kListBadKeys, kReorg, kVerify, kNative,
              kShr, kShri, kBtree, kIsam, kOptions };
constexpr const char* kOptionWords[kOptions] = {"REPLACE", "DUPKEYS", "LISTDUPKEYS", "BADKEYS",
                                                "LISTBADKEYS", "REORG", "VERIFY", "NATIVE",
                                                "SHR", "SHRI", "BTREE", "ISAM"};

int optionOf(std::string_view word) {
    if (word.size() < 3) return -1;
    for (int i = 0; i < kOptions; ++i) {
        const std::string_view full = kOptionWords[i];
        if (word.size() <= full.size() && full.substr(0, word.size()) == word) return i;
    }
    return -1;
}

void setOption(int option, IndexParams& p) {
    switch (option) {
        case kReplace: p.replace = true; break;
        case kDupKeys: p.dupKeys = true; break;
        case kListDupKeys: p.listDupKeys = true; break;
        case kBadKeys: p.badKeys = true; break;
        case kListBadKeys: p.listBadKeys = true; break;
        case kReorg: p.reorg = true; break;
        case kVerify: p.verify = true; break;
        case kNative: p.native = true; break;
        case kShr: p.share = kShareAll; break;
        case kShri: p.share = kShareInput; break;
        case kBtree: p.keyType = 7; break;
        case kIsam: p.keyType = 4; break;
        default: break;
    }
}

int keyDescription(std::string_view text, bool starts, IndexParams& p) {
    int count = 0;
    if (parseKeyList(text, starts, p.keys, count) != 0) return kErrBadOption;
    (starts ? p.starts : p.lengths) = count;
    return 0;
}

// KEYSTART= and KEYLGTH= lines give one part each, in order.
int procedurePart(std::string_view text, bool starts, IndexParams& p) {
    int& count = starts ? p.starts : p.lengths;
    KeyPart one[kMaxKeyParts];
    int n = 0;
    if (count >= kMaxKeyParts || parseKeyList(text, starts, one, n) != 0 || n != 1) return kErrBadOption;
    KeyPart& k = p.keys[count++];
    (starts ? k.start : k.length) = starts ? one[0].start : one[0].length;
    k.flags |= one[0].flags;
    return 0;
}

// "-dir" or "-dir/n".
int workDirectory(std::string_view word, IndexParams& p) {
    std::string_view dir = word.substr(1);
    const size_t slash = dir.rfind('/');
    if (slash != std::string_view::npos && slash + 2 == dir.size() && dir[slash + 1] >= '1' &&
        dir[slash + 1] <= '9') {
        p.workDrive = dir[slash + 1] - '0';
        dir = dir.substr(0, slash);
    }
    if (dir.empty()) return kErrBadOption;
    p.workDir.assign(dir);
    return 0;
}

}  // namespace

int checkIndexParams(const IndexParams& p) {
    if (p.dataFile.empty()) return kErrNoParameters;
    if (p.dataFile.size() + p.dataDir.size() > kMaxName) return kErrDataNameLength;
    if (p.keyFile.size() + p.keyDir.size() > kMaxName) return kErrKeyNameLength;
    if (p.workDir.size() > kMaxName) return kErrWorkNameLength;
    if (p.starts != p.lengths) return kErrBadOption;
    return 0;
}

int parseIndexCommand(std::string_view tail, IndexParams& p) {
    p = IndexParams{};
    // Words are matched upper-cased; names keep the case typed (the name mapping applies the
    // case rule to relative names, and absolute paths must stay as they are).
    const std::string typed(tail.substr(0, std::min(tail.size(), kTailChars)));
    std::vector<std::string> words, asTyped;
    for (size_t at = 0; at < typed.size();) {
        const size_t end = typed.find_first_of(" ,", at);
        const size_t stop = end == std::string::npos ? typed.size() : end;
        if (stop > at) {
            asTyped.push_back(typed.substr(at, stop - at));
            words.push_back(upperCased(asTyped.back()));
        }
        at = stop + 1;
    }
    if (words.empty()) return kErrNoParameters;
    size_t positional = 0;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        const std::string& name = asTyped[i];
        if (w == "-N") {
            p.quiet = true;
        } else if (w == "-M") {
            p.tempFile = true;
        } else if (w[0] == '-') {
            if (int err = workDirectory(name, p)) return err;
        } else if (w[0] == '>') {
            p.listingAppends = w.size() > 1 && w[1] == '>';
            p.listing = name.substr(p.listingAppends ? 2 : 1);
            if (p.listing.empty()) return kErrBadOption;
        } else if (positional == 0) {
            p.dataFile = name;
            ++positional;
        } else if (positional == 1 && optionOf(w) < 0) {
            p.keyFile = name;
            ++positional;
        } else if (positional >= 2 && positional <= 3 && std::isdigit(static_cast<unsigned char>(w[0]))) {
            if (int err = keyDescription(w, positional == 2, p)) return err;
            ++positional;
        } else {
            const int option = optionOf(w);
            if (option < 0) return kErrBadOption;
            setOption(option, p);
            positional = 4;  // options end the positional words
        }
    }
    return checkIndexParams(p);
}

int parseIndexProcedureLine(std::string_view line, IndexParams& p, int& end) {
    end = 0;
    // A "!" ends what the line says; blanks before it go.
    std::string text(line.substr(0, line.find('!')));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    size_t lead = 0;
    while (lead < text.size() && text[lead] == ' ') ++lead;
    text.erase(0, lead);
    if (text.empty()) return 0;  // a comment ("!") or nothing
    const std::string up = upperCased(text);
    struct Keyword {
        const char* word;
        int what;
    };
    // In table order; what: 0 ignored, 1.. the parameter.
    static constexpr Keyword kKeywords[] = {
        {"CHOICE=", 0},   {"MASFILE=", 1},     {"MASVOLID=", 16}, {"MASDRVNO=", 0},
        {"KEYLGTH=", 2},  {"KEYSTART=", 3},    {"IDXFILE=", 4},   {"IDXVOLID=", 17},
        {"IDXDRVNO=", 0}, {"DUPKEY=", 5},      {"REPLIDXFILE=", 6}, {"WRKVOLID=", 7},
        {"WRKDRVNO=", 8}, {"MESSAGES=", 0},    {"PRINTER=", 0},   {"LISTDUPKEYS=", 9},
        {"ENDLINK", 10},  {"CONT", 11},        {"MODE=", 0},      {"DISPLAY=", 0},
        {"ISAM", 12},     {"BTREE", 13},       {"BADKEY", 14},    {"LISTBADKEYS", 15},
    };
    for (const Keyword& k : kKeywords) {
        const size_t n = strlen(k.word);
        if (up.compare(0, n, k.word) != 0) continue;
        const std::string value = text.substr(n);
        const std::string upValue = up.substr(n);
        auto yes = [&] { return !upValue.empty() && upValue[0] == 'Y'; };
        switch (k.what) {
            case 1: p.dataFile = value; break;
            case 2: return procedurePart(upValue, false, p);
            case 3: return procedurePart(upValue, true, p);
            case 4: p.keyFile = value; break;
            case 5: p.dupKeys = yes(); break;
            case 6: p.replace = yes(); break;
            case 7: p.workDir = value; break;
            case 8:
                if (upValue.size() != 1 || upValue[0] < '0' || upValue[0] > '9') return kErrBadOption;
                p.workDrive = upValue[0] - '0';
                break;
            case 9: p.listDupKeys = yes(); break;
            case 10: end = 1; break;
            case 11: end = 2; break;
            case 12: p.keyType = 4; break;
            case 13: p.keyType = 7; break;
            case 14: p.badKeys = upValue.empty() || yes(); break;
            case 15: p.listBadKeys = upValue.empty() || yes(); break;
            case 16: p.dataDir = value; break;
            case 17: p.keyDir = value; break;
            default: break;
        }
        return 0;
    }
    return kErrUnrecognized;
}

}  // namespace vxs
