// OPEN string parsing (see openstr.h).  Items are matched against the keyword table in its
// order, the first keyword whose full text begins the item winning: so SHRI and SHRU come before
// SHR, NAME= before N=, and an item "NOSHRX" is NOSHR followed by stray text (605).
#include "vxs/datafiles/openstr.h"

#include <cctype>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

enum Kw {
    KName, KRecl, KSize, KFormat, KRecover, KPageoflow, KKfname, KKps, KKln, KKw, KNoshr, KShri,
    KShru, KShr, KReserve, KNew, KReplace, KUse, KTranslate, KBaud, KParity, KDatabits,
    KStopbits, KWait, KRetry, KEol, KBufsize, KWindow, KPrinter, KNoclose, KConv, KVersion, KIsam,
    KBtree, KLinked, KCopies, KObject, KLinkage, KHost, KTmpidx, KPrinterType,
};

struct Keyword {
    const char* text;
    Kw kind;
};

// In matching order.  The window keywords all take the KWindow path (MAXIMIZE and NOMAXIMIZE
// without a value).
constexpr Keyword kKeywords[] = {
    {"NAME=", KName}, {"RECL=", KRecl}, {"SIZE=", KSize}, {"FORMAT=", KFormat},
    {"RECOVER=", KRecover}, {"PAGEOFLOW=", KPageoflow}, {"KFNAME=", KKfname}, {"KPS=", KKps},
    {"KLN=", KKln}, {"KW=", KKw}, {"NOSHR", KNoshr}, {"SHRI", KShri}, {"SHRU", KShru},
    {"SHR", KShr}, {"RESERVE", KReserve}, {"NEW", KNew}, {"REPLACE", KReplace}, {"USE", KUse},
    {"TRANSLATE=", KTranslate}, {"BAUD=", KBaud}, {"PARITY=", KParity},
    {"DATABITS=", KDatabits}, {"STOPBITS=", KStopbits}, {"WAIT=", KWait}, {"RETRY=", KRetry},
    {"EOL=", KEol}, {"BUFSIZE=", KBufsize}, {"SROW=", KWindow}, {"SCOL=", KWindow},
    {"EROW=", KWindow}, {"ECOL=", KWindow}, {"ROWS=", KWindow}, {"COLS=", KWindow},
    {"BORDER=", KWindow}, {"N=", KWindow}, {"CAPTION=", KWindow}, {"PRINTER=", KPrinter},
    {"NOCLOSE", KNoclose}, {"CONV=", KConv}, {"VERSION=", KVersion}, {"ISAM", KIsam},
    {"BTREE", KBtree}, {"LINKED", KLinked}, {"BUTTONROWS=", KWindow}, {"FONTSIZE=", KWindow},
    {"COPIES=", KCopies}, {"MAXIMIZE", KWindow}, {"NOMAXIMIZE", KWindow}, {"OBJECT=", KObject},
    {"LINKAGE=", KLinkage}, {"HOST=", KHost}, {"FONT.NAME=", KWindow}, {"FONT.SIZE=", KWindow},
    {"FONT.LABELS.NAME=", KWindow}, {"FONT.LABELS.SIZE=", KWindow},
    {"FONT.TEXT.NAME=", KWindow}, {"FONT.TEXT.SIZE=", KWindow},
    {"FONT.BUTTONS.NAME=", KWindow}, {"FONT.BUTTONS.SIZE=", KWindow},
    {"CHAR.HEIGHT=", KWindow}, {"CHAR.WIDTH=", KWindow}, {"ROW.HEIGHT=", KWindow},
    {"PROJECT=", KWindow}, {"FORM=", KWindow}, {"PICTURE=", KWindow}, {"PARENT=", KWindow},
    {"TMPIDX", KTmpidx}, {"FONT=", KWindow}, {"FONT.LABELS=", KWindow}, {"FONT.TEXT=", KWindow},
    {"FONT.BUTTONS=", KWindow}, {"TAB=", KWindow}, {"PRINTER_TYPE=", KPrinterType},
};

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (upper(s[i]) != prefix[i]) return false;
    return true;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// A decimal number that is the whole of `s`, at most 9 digits.
bool number(std::string_view s, int& value) {
    if (s.empty() || s.size() > 9) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

int keyList(std::string_view value, bool starts, OpenSpec& o) {
    return parseKeyList(value, starts, o.keys, starts ? o.kpsCount : o.klnCount);
}

// One item: `kw` matched its start, `value` is the rest up to the next comma.
int item(const Keyword& kw, std::string_view value, bool printerKeyword, OpenSpec& o) {
    const bool takesValue = kw.text[std::char_traits<char>::length(kw.text) - 1] == '=';
    value = trimmed(value);
    if (!takesValue && !value.empty()) return kErrOpenSyntax;  // text after the keyword
    if (value.size() > kMaxOpenValue) return kErrSubstituteOverflow;
    int n = 0;
    auto positive = [&](int& field, int max) -> int {
        if (!number(value, n) || n > max) return kErrOpenSyntax;
        field = n;
        return 0;
    };
    auto creation = [&](uint8_t c) -> int {
        // SIZE= implies NEW; only REPLACE may still change that.
        if (o.create != kCreateNone && !(o.sizeGiven && o.create == kCreateNew && c == kCreateReplace))
            return kErrOpenSyntax;
        o.create = c;
        return 0;
    };
    switch (kw.kind) {
        case KName: o.name.assign(value); return 0;
        case KRecl:
            if (!number(value, n) || n == 0 || n > 32767) return kErrOpenSyntax;
            o.recl = n;
            return 0;
        case KSize:
            if (!number(value, n)) return kErrOpenSyntax;
            if (o.create == kCreateUse) return kErrOpenSyntax;
            o.sizeGiven = true;
            if (o.create == kCreateNone) o.create = kCreateNew;
            return 0;
        case KFormat:
            if (!equalsNoCase(value, "ASYNC")) return kErrOpenSyntax;
            o.async = true;
            return 0;
        case KRecover:
        case KKw: return 0;
        case KPageoflow: return positive(o.pageOverflow, 32767);
        case KKfname:
            o.kfnameGiven = true;
            o.kfname.assign(value);
            return 0;
        case KKps: return keyList(value, true, o);
        case KKln: return keyList(value, false, o);
        case KNoshr: o.share = kShareNone; o.shareGiven = true; return 0;
        case KShri: o.share = kShareInput; o.shareGiven = true; return 0;
        case KShru:
        case KShr: o.share = kShareAll; o.shareGiven = true; return 0;
        case KReserve: o.reserve = true; return 0;
        case KNew: return creation(kCreateNew);
        case KReplace: return creation(kCreateReplace);
        case KUse: return creation(kCreateUse);
        case KTranslate: o.translate.assign(value); return 0;
        case KBaud: return positive(o.baud, 999999);
        case KParity:
            if (value.size() != 1) return kErrOpenSyntax;
            switch (upper(value[0])) {
                case 'E': case 'O': case 'N': case 'M': case 'S': o.parity = upper(value[0]); return 0;
                default: return kErrOpenSyntax;
            }
        case KDatabits:
            if (!number(value, n) || (n != 7 && n != 8)) return kErrOpenSyntax;
            o.dataBits = n;
            return 0;
        case KStopbits:
            if (!number(value, n) || (n != 1 && n != 2)) return kErrOpenSyntax;
            o.stopBits = n;
            return 0;
        case KWait: return positive(o.wait, 99999);
        case KRetry: return positive(o.retry, 99999);
        case KEol:
            if (equalsNoCase(value, "LF")) o.eol = kEolLf;
            else if (equalsNoCase(value, "CRLF")) o.eol = kEolCrlf;
            else if (equalsNoCase(value, "NONE")) o.eol = kEolNone;
            else return kErrOpenSyntax;
            return 0;
        case KBufsize: return positive(o.bufSize, 32000);
        case KWindow:
            o.window.emplace_back(kw.text, std::string(value));
            return 0;
        case KPrinter:
            if (!printerKeyword) return kErrOpenSyntax;
            o.printer.assign(value);
            return 0;
        case KPrinterType: o.printerType.assign(value); return 0;
        case KNoclose: o.noClose = true; return 0;
        case KConv:
            if (value.size() != 1) return kErrOpenSyntax;
            o.conv = value[0];
            return 0;
        case KVersion:
            if (!number(value, n)) return kErrOpenSyntax;
            o.versionGiven = true;
            o.version = n;
            return 0;
        case KIsam: o.keyType = 4; return 0;
        case KBtree: o.keyType = 7; return 0;
        case KLinked: o.linked = true; return 0;
        case KCopies: return positive(o.copies, 999);
        case KObject:
            o.objectGiven = true;
            o.object.assign(value);
            return 0;
        case KLinkage: o.linkage.assign(value); return 0;
        case KHost: o.host.assign(value); return 0;
        case KTmpidx: return kErrOpenSyntax;
    }
    return kErrOpenSyntax;
}

}  // namespace

int parseOpenString(std::string_view text, bool printerKeyword, OpenSpec& out) {
    OpenSpec o;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(',', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view it = text.substr(at, end - at);
        while (!it.empty() && it.front() == ' ') it.remove_prefix(1);
        if (it.empty()) {
            // An empty string opens with every default; an empty item between commas does not
            // name anything.
            if (text.find_first_not_of(' ') != std::string_view::npos) return kErrOpenSyntax;
            break;
        }
        const Keyword* kw = nullptr;
        for (const Keyword& k : kKeywords) {
            if (startsWithNoCase(it, k.text)) {
                kw = &k;
                break;
            }
        }
        if (!kw) return kErrOpenSyntax;
        if (int err = item(*kw, it.substr(std::char_traits<char>::length(kw->text)), printerKeyword, o))
            return err;
        at = end + 1;
    }
    out = std::move(o);
    return 0;
}

int parseKeyList(std::string_view value, bool starts, KeyPart (&keys)[kMaxKeyParts], int& count) {
    count = 0;
    size_t at = 0;
    while (count < kMaxKeyParts) {
        size_t end = value.find('/', at);
        if (end == std::string_view::npos) end = value.size();
        std::string_view part = trimmed(value.substr(at, end - at));
        uint8_t flags = 0;
        while (!part.empty()) {
            const char c = upper(part.back());
            const uint8_t f = c == 'U' ? kKeyUpper : c == 'Y' ? kKeyYear : c == 'B' ? kKeyBinary
                              : c == 'P' ? kKeyPacked : 0;
            if (!f) break;
            flags |= f;
            part.remove_suffix(1);
        }
        int n = 0;
        if (!number(trimmed(part), n)) return kErrOpenSyntax;
        KeyPart& k = keys[count];
        (starts ? k.start : k.length) = n;
        k.flags |= flags;
        ++count;
        if (end == value.size()) break;
        at = end + 1;
    }
    return 0;
}

}  // namespace vxs
