// Configuration state (see config.h): the record and its reset, the queries, the substitution
// and drive tables, the command-line switch parser, the hand-over of settings to the
// interpreter, and the settings written back as statements.
#include "vxs/config/config.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "vxs/config/configstate.h"
#include "vxs/errors/errors.h"
#include "vxs/base/logger.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/files.h"

namespace vxs {

namespace cfgi {
namespace {
ConfigState g_state;
}
ConfigState& state() {
    return g_state;
}
}  // namespace cfgi

namespace {

using cfgi::state;
FieldsConfig g_fields;

// Built-in substitution entries: kept across SUBSTITUTE CLEAR, never removed.
constexpr const char* kBuiltinSubs[] = {"[WSID]", "[SESSION]", "[SPOOLPATH]", "[REMOTESPOOLPATH]",
                                        "CON:"};

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

bool isBuiltinSub(std::string_view fromUpper) {
    for (const char* b : kBuiltinSubs)
        if (fromUpper == b) return true;
    return false;
}

std::string builtinDefault(std::string_view fromUpper) {
    if (fromUpper == "[SPOOLPATH]") return ".";
    if (fromUpper == "[REMOTESPOOLPATH]") return "@:.";
    if (fromUpper == "CON:") return "CON:";
    return "";
}

int driveIndex(char letter) {
    const int c = std::toupper(static_cast<unsigned char>(letter));
    return c >= 'A' && c <= 'Z' ? c - 'A' : -1;
}

}  // namespace

// ---- fields record ----

FieldsConfig& fieldsConfig() {
    return g_fields;
}
void resetFieldsConfig() {
    const int wsid = g_fields.wsid, session = g_fields.sessionID;
    g_fields = FieldsConfig{};
    g_fields.wsid = wsid;
    g_fields.sessionID = session;
}

// ---- OPTION ----

namespace {
bool keptInFields(int n) {
    return n == 2 || n == 24 || (n >= 36 && n <= 46);
}
}  // namespace

bool optionOn(int number) {
    const auto& s = state();
    switch (number) {
        case 5: return s.indexType == 4;
        case 22: return s.btreeType == 2;
        case 98: return false;  // OPTION 98 only switches OPTION 99 off
        case 99: return s.nullRecordCheck;
        default: break;
    }
    if (keptInFields(number)) return g_fields.options[number] != 0;
    return number > 0 && number < 100 && s.options[number];
}

void setOption(int number, bool on) {
    auto& s = state();
    switch (number) {
        case 5: s.indexType = on ? 4 : 7; return;
        case 22: s.btreeType = on ? 2 : 1; return;
        case 98: s.nullRecordCheck = !on; return;
        case 99: s.nullRecordCheck = on; return;
        default: break;
    }
    if (keptInFields(number))
        g_fields.options[number] = on;
    else if (number > 0 && number < 100)
        s.options[number] = on;
}

int maxWorkstations() {
    return state().maxWorkstations;
}
int lockOptionValue() {
    return state().lockOption;
}
int stackCountOption() {
    return state().option97;
}
int defaultIndexType() {
    return state().indexType;
}
int defaultBtreeType() {
    return state().btreeType;
}
bool nullRecordCheck() {
    return state().nullRecordCheck;
}

const ConfigLimits& configLimits() {
    return state().limits;
}
double roundingConstant() {
    double r = 0.5;
    for (int i = 0; i < state().limits.rd; ++i) r /= 10;
    return r;
}

// ---- strings ----

const std::string& workPath() {
    return state().workPath;
}
void setWorkPath(const std::string& path) {
    auto& w = state().workPath;
    w = path;
    if (!w.empty() && w.back() != '/') w += '/';
}
const std::string& configuredWorkPath() {
    return state().configuredWorkPath;
}
const std::string& registryPath() {
    return state().registryPath;
}
const std::string& editorCommand() {
    return state().editor;
}
void setEditorCommand(const std::string& command) {
    state().editor = command;
}
bool editorRemove() {
    return state().editorRemove;
}
bool editorNoWait() {
    return state().editorNoWait;
}
const std::string& executeCommand() {
    return state().execute;
}
void setExecuteCommand(const std::string& command, const char* source) {
    state().execute = command;
    state().executeSource = source ? source : "";
}
const std::string& executeSource() {
    return state().executeSource;
}
const std::string& onqPath() {
    return state().onqPath;
}
const std::string& printDirectory() {
    return state().printDir;
}
const std::string& spoolCommand() {
    return state().spoolCmd;
}
const std::string& helpFile() {
    return state().helpFile;
}
const std::string& helpTopic() {
    return state().helpTopic;
}
const std::string& applicationName() {
    return state().applicationName;
}
const std::string& openDefault() {
    return state().openDflt;
}
const std::string& configFileName() {
    return state().configFile;
}
const std::string& clientCurrentDirectory() {
    return state().clientCurrentDir;
}
const std::string& logFileName() {
    return state().logFile;
}
const std::vector<std::string>& btreeVerifyFiles() {
    return state().btreeVerify;
}
const std::string& s23Drives() {
    return state().s23Drives;
}
const DisplayConfig& displayConfig() {
    return state().display;
}
const PrinterTable& defaultPrinter() {
    return state().defaultPrinter;
}
const std::vector<PrinterTable>& namedPrinters() {
    return state().printers;
}
bool printerTranslation() {
    return state().printerTranslation;
}
const std::vector<PrinterType>& printerTypes() {
    return state().printerTypes;
}
const PrintScreenConfig& printScreenConfig() {
    return state().printScreen;
}
const std::vector<std::string>& configMessages() {
    return state().messages;
}
bool configStartupDone() {
    return state().startupDone;
}

// ---- workstation ----

int wsidRequest() {
    return state().wsidRequest;
}
int wsidIncrement() {
    return state().wsidIncrement;
}
bool wsidSession() {
    return state().wsidSession;
}
bool wsidUnique() {
    return state().wsidUnique;
}
void setCommandLineWsid(int wsid) {
    state().commandLineWsid = wsid;
}
int commandLineWsid() {
    return state().commandLineWsid;
}

// The switches start-up offers before its own rules: the two WSID selection statements, with
// or without blanks around "=", in any case.
int parseConfigSwitch(std::string_view text) {
    std::string t;
    for (char c : text)
        if (c != ' ') t += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (t == "WSID=SESSION") return 1;
    if (t == "WSID=UNIQUE") return 2;
    return -1;
}

// ---- substitution ----

void resetSubstitutions() {
    auto& subs = state().substitutions;
    std::vector<std::pair<std::string, std::string>> kept;
    for (const char* b : kBuiltinSubs) {
        std::string value;
        for (const auto& [from, to] : subs)
            if (from == b) value = to;
        if (value.empty()) value = builtinDefault(b);
        kept.emplace_back(b, value);
    }
    subs = std::move(kept);
}

void setSubstitution(std::string_view from, std::string_view to) {
    const std::string key = upper(from);
    std::string value(to);
    if (value.empty() && isBuiltinSub(key)) value = builtinDefault(key);
    for (auto& e : state().substitutions)
        if (e.first == key) {
            e.second = value;
            return;
        }
    state().substitutions.emplace_back(key, value);
}

bool removeSubstitution(std::string_view from) {
    const std::string key = upper(from);
    if (isBuiltinSub(key)) return false;
    auto& subs = state().substitutions;
    for (auto it = subs.begin(); it != subs.end(); ++it)
        if (it->first == key) {
            subs.erase(it);
            return true;
        }
    return false;
}

const std::vector<std::pair<std::string, std::string>>& substitutions() {
    return state().substitutions;
}

int substituteName(std::string_view name, std::string& out) {
    if (!name.empty() && name.front() == '~') {
        out.assign(name.substr(1));
        return 0;
    }
    out.assign(name);
    if (out.size() >= kVxMaxPath) return kErrSubstituteOverflow;
    std::string up = upper(out);
    for (const auto& [from, to] : state().substitutions) {
        // An entry without its value yet ([WSID] before start-up assigns one) changes nothing.
        if (from.empty() || to.empty()) continue;
        size_t pos = 0;
        while ((pos = up.find(from, pos)) != std::string::npos) {
            if (out.size() - from.size() + to.size() >= kVxMaxPath) return kErrSubstituteOverflow;
            out.replace(pos, from.size(), to);
            up.replace(pos, from.size(), upper(to));
            pos += to.size();
        }
    }
    return 0;
}

// ---- drives ----

const DriveEntry* driveEntry(char letter) {
    const int i = driveIndex(letter);
    return i < 0 ? nullptr : &state().drives[i];
}
char defaultDrive() {
    return state().driveOrder.empty() ? 0 : state().driveOrder.front();
}
bool anyDriveMapped() {
    return !state().driveOrder.empty();
}
char driveNumber(int n) {
    const auto& order = state().driveOrder;
    return n >= 1 && static_cast<size_t>(n) <= order.size() ? order[n - 1] : 0;
}

// The OS directory becomes absolute (relative to the current directory) with "/" separators
// and one trailing "/"; the current directory is kept in "\" form and must exist under it.
int defineDrive(char letter, std::string_view osDirectory, std::string_view current) {
    const int i = driveIndex(letter);
    if (i < 0 || osDirectory.empty()) return kErrBadDrive;
    DriveEntry& d = state().drives[i];
    if (!d.osDirectory.empty()) return kErrDriveDefined;
    if (osDirectory.size() >= kVxMaxPath || current.size() >= kVxMaxPath) return kErrNameTooLong;
    std::string dir(osDirectory);
    for (char& c : dir)
        if (c == '\\') c = '/';
    if (dir.front() != '/') {
        std::string cwd;
        if (int err = platform::currentDirectory(cwd)) return err;
        if (dir == ".")
            dir = cwd;
        else
            dir = cwd + (cwd.back() == '/' ? "" : "/") +
                  (dir.rfind("./", 0) == 0 ? dir.substr(2) : dir);
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir.back() != '/') dir += '/';
    if (dir.size() >= kVxMaxPath) return kErrNameTooLong;
    std::string cur(current.empty() ? "\\" : current);
    for (char& c : cur)
        if (c == '/') c = '\\';
    if (cur.front() != '\\') cur.insert(0, 1, '\\');
    std::string full = dir + cur.substr(1);
    for (char& c : full)
        if (c == '\\') c = '/';
    if (!platform::isDirectory(dir) || !platform::isDirectory(full)) return kErrPathNotFound;
    d.osDirectory = dir;
    d.current = cur;
    state().driveOrder += static_cast<char>('A' + i);
    return 0;
}

// ---- hand-over to the layers that keep settings of their own ----

namespace {
std::vector<SettingsListener> g_listeners;
}

void addSettingsListener(SettingsListener apply) {
    if (apply && std::find(g_listeners.begin(), g_listeners.end(), apply) == g_listeners.end())
        g_listeners.push_back(apply);
}

void applySettings() {
    for (SettingsListener apply : g_listeners) apply();
}

// ---- reset ----

void resetConfiguration() {
    cfgi::state() = cfgi::ConfigState{};
    resetFieldsConfig();
    resetSubstitutions();
}

void freeStringTables() {
    auto& s = state();
    s.substitutions.clear();
    s.printers.clear();
    s.printerTypes.clear();
    s.btreeVerify.clear();
    s.messages.clear();
}

// ---- settings as statement text ----

std::string statementText(std::string_view text) {
    std::string r;
    for (char c : text) {
        if (c == '!') r += '\\';
        r += c;
    }
    return r;
}

std::string statementArgument(std::string_view text) {
    if (!text.empty() && text.find(' ') == std::string_view::npos && text[0] != '"' &&
        text[0] != '\'')
        return statementText(text);
    const char q = text.find('"') == std::string_view::npos ? '"' : '\'';
    return q + statementText(text) + q;
}

std::string executeArgument(std::string_view command) {
    return statementText(command.find('"') == std::string_view::npos
                             ? std::string(command)
                             : '"' + std::string(command) + '"');
}

std::string openDefaultArgument(std::string_view text) {
    return text.find('"') == std::string_view::npos ? '"' + statementText(text) + '"'
                                                     : statementText(text);
}

const char* consoleWord(int console) {
    return console == 1 ? "ON" : console == 2 ? "OFF" : console == 3 ? "OFF ALWAYS" : "";
}
const char* dataHiliteWord(int dataHilite) {
    return dataHilite == 0 ? "OFF" : dataHilite == 1 ? "WIN_OFF" : dataHilite == 2 ? "WIN_ON" : "ON";
}
const char* fileNamesWord(int fileNameCase) {
    return fileNameCase < 0 ? "LOWER_CASE" : fileNameCase == 0 ? "MIXED_CASE" : "UPPER_CASE";
}
const char* lineDrawWord(int lineDraw) {
    static const char* const kLine[] = {"OFF", "RAISED", "SUNKEN", "THIN", "THINRAISED"};
    return lineDraw >= 0 && lineDraw <= 4 ? kLine[lineDraw] : "THIN";
}
const char* styleCaseWord(char letter) {
    return letter == 'L' ? "LOWER" : letter == 'M' ? "MIXED" : letter == 'U' ? "UPPER" : "CLEAR";
}

const char* optionText(int number) {
    switch (number) {
        case 1: return "FORM statement default count";
        case 2: return "process keyboard values in control character range";
        case 4: return "display output records to recl when EOL=NONE";
        case 5: return "default to ISAM indexes";
        case 7: return "use old syntax checking for IF statements";
        case 9: return "maximum number of concurrent workstations";
        case 11: return "don't clear unreferenced variables";
        case 13: return "terminal scan milliseconds";
        case 14: return "allow duplicate locks on the same record";
        case 15: return "suppress indentation of comment continuation";
        case 16: return "don't display program name during load";
        case 17: return "display 4000 error messages in status line";
        case 18: return "don't use century unless it is specified in date format";
        case 19: return "SCO year 2000 fix - only needed for older SCO versions";
        case 21: return "make DATE$(0) yield 12/31/1899";
        case 22: return "use BTREE2 as the default BTREE type";
        case 23: return "prevent data conversion errors from moving file position";
        case 24: return "disable X attribute during select";
        case 25: return "make FILE$(0) be CON: if in windows";
        case 26: return "suppress creation of .BAK files";
        case 27: return "ignore invalid year 2000 key data (error 4120)";
        case 28: return "force all CONFIG PRINTER statements to specify a printer";
        case 29: return "save programs as .KT files";
        case 30: return "server side printing for client-server";
        case 31: return "treat WIN:/ as direct printing";
        case 32: return "prevent printing error 6245 unsupported escape sequence";
        case 33: return "locking position for large file support";
        case 34: return "Ctrl-P uses default printer not printer select";
        case 35: return "Client-Server kill server process if keep-alive fails";
        case 36: return "enable cursor during INPUT SELECT";
        case 37: return "right arrow generates down arrow FKEY";
        case 38: return "reduced error checking for fields specifications";
        case 39: return "suppress colon right alignment for labels";
        case 40: return "change default hot field type from hot text to buttons";
        case 41: return "ignore GUI CONTROLS when GUIMODE is off";
        case 42: return "don't map drives when UNC paths are used for shell calls";
        case 43: return "INPUT SELECT changes fields before returning control";
        case 44: return "treat mouse wheel movements as up/down arrow keys";
        case 45: return "allow old style 'window on a field' syntax.";
        case 46: return "treat numpad +,- as +,- instead of field plus";
        case 47: return "allow OPEN statements to use PRINTER=";
        case 48: return "make ENTER key set FKEY to 0 even with an FKEY specification";
        case 49: return "use relative path for spool file";
        case 50: return "suppress theme usage for text controls";
        case 51: return "recover deleted records for all files";
        case 52: return "allow floating second click";
        case 53: return "allow mouse positioning inside a field";
        case 54: return "exit at command prompt";
        case 55: return "make NWP align fixed width characters individually";
        case 57: return "clear fkeys of inactive Q combo box fields";
        case 97: return "count kept with the stack sizes";
        default: return nullptr;
    }
}

namespace {

// A byte string in escape value notation: hex pairs.
std::string hexValue(std::string_view bytes) {
    std::string r;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        if (!r.empty()) r += ' ';
        r += buf;
    }
    return r.empty() ? "\"\"" : r;
}

// A raw key's bytes as hex pairs without blanks ("2B" is written in front).
std::string rawKeyHex(std::string_view bytes) {
    std::string r;
    for (char c : hexValue(bytes))
        if (c != ' ') r += c;
    return r;
}

void printerLines(const PrinterTable& p, std::vector<std::string>& out) {
    static const char* const kTypes[] = {"", "EPSON", "IBMCOLOR", "OKIDATA", "OKIDATA84"};
    const std::string head = p.name.empty() ? "PRINTER " : "PRINTER " + p.name + " ";
    if (p.name.empty() && p.type > 0) out.push_back(std::string("PRINTER ") + kTypes[p.type]);
    if (p.lpp > 0) out.push_back(head + "LPP " + std::to_string(p.lpp));
    for (const auto& [key, value] : p.keys) {
        if (key == "[INIT+]")
            out.push_back(head + "INIT " + hexValue(value));
        else if (key == "[RESET+]")
            out.push_back(head + "RESET " + hexValue(value));
        else if (key[0] == '+')
            out.push_back(head + "2B" + rawKeyHex(key.substr(1)) + "," + hexValue(value));
        else
            out.push_back(head + key + "," + hexValue(value));
    }
}

}  // namespace

std::vector<std::string> printerStatements() {
    const auto& s = state();
    std::vector<std::string> out;
    printerLines(s.defaultPrinter, out);
    // The default printer's table may have been filled before OPTION 28 came to require a
    // printer name: its statements are read back with the option off for the moment.
    const bool unnamed = !out.empty() && !(out.size() == 1 && s.defaultPrinter.type > 0);
    if (optionOn(28) && unnamed) {
        out.insert(out.begin() + (s.defaultPrinter.type > 0 ? 1 : 0), "OPTION 28 OFF");
        out.push_back("OPTION 28 ON");
    }
    for (const auto& p : s.printers) printerLines(p, out);
    for (auto it = s.printerTypes.rbegin(); it != s.printerTypes.rend(); ++it)
        out.push_back("PRINTER TYPE " + it->name + " SELECT " + statementText(it->select));
    return out;
}

std::vector<std::string> configStatements() {
    const auto& s = state();
    const auto& l = s.limits;
    std::vector<std::string> out;
    auto add = [&](std::string line) { out.push_back(std::move(line)); };
    auto num = [](int v) { return std::to_string(v); };

    for (char letter : s.driveOrder) {
        const DriveEntry& d = s.drives[letter - 'A'];
        add(std::string("DRIVE ") + letter + ":," + d.osDirectory + ",," + d.current);
    }
    for (const auto& [from, to] : s.substitutions) {
        // The spool paths as substitutions: SPOOLPATH would turn a value that SUBSTITUTE set
        // ("@x" for [SPOOLPATH], "@x" without ":" for [REMOTESPOOLPATH]) into another one.
        if (from == "[SPOOLPATH]" || from == "[REMOTESPOOLPATH]") {
            if (to != builtinDefault(from)) add("SUBSTITUTE " + from + " " + statementArgument(to));
        } else if (!isBuiltinSub(from)) {
            add("SUBSTITUTE " + statementArgument(from) + " " + statementArgument(to));
        }
    }
    // OPTION flags and values.
    for (int n = 1; n < 100; ++n) {
        if (n == 9 || n == 13 || n == 33 || n == 97 || n == 98 || n == 99) continue;
        if (optionOn(n))
            add("OPTION " + num(n) + (n == 5 || n == 19 || n == 22 || n == 54 ? "" : " ON"));
    }
    add("OPTION 9 " + num(s.maxWorkstations));
    add("OPTION 13 " + num(g_fields.scanMilliseconds));
    add("OPTION 33 " + num(s.lockOption));
    add("OPTION 97 " + num(s.option97));
    add(s.nullRecordCheck ? "OPTION 99" : "OPTION 98");
    // Limits and language.
    add("FLOWSTACK " + num(l.flowStack));
    add("FORSTACK " + num(l.forStack));
    add("RPNSTACK " + num(l.rpnStack));
    add("WORKSTACK " + num(l.workStack));
    add("MAXRECALL " + num(l.maxRecall));
    add("PAGEOFLOW " + num(l.pageOflow));
    add("MAX_SORT_MEMORY " + num(l.maxSortMemoryMb) + " MB");
    add("BREAK " + num(l.breakLines) + " " + num(l.breakSecond));
    add("BASEYEAR " + num(l.baseYear));
    add("RD " + num(l.rd));
    add(std::string("COLLATE ") + (l.collateAlternate ? "ALTERNATE" : "NATIVE"));
    add(std::string("DECIMAL ") + (l.decimalRequired ? "REQUIRED" : "ASSUMED"));
    add(std::string("DIMONLY ") + (l.dimOnly ? "ON" : "OFF"));
    add(std::string("IOERR_EXEMPT ") + (l.ioerrExempt ? "ON" : "OFF"));
    add(std::string("S/36-MODE ") + (l.s36Mode ? "ON" : "OFF"));
    add(std::string("SYNC ") + (l.syncWrites ? "ON" : "OFF"));
    if (l.chainDflt != ' ') add(std::string("CHAINDFLT ") + l.chainDflt);
    add(std::string("FILENAMES ") + fileNamesWord(l.fileNameCase));
    {
        static const char* const kItems[] = {"COMMENTS", "EXPRESSIONS", "KEYWORDS", "LABELS"};
        std::string st = "STYLE";
        for (int i = 0; i < 4; ++i)
            st += std::string(" ") + kItems[i] + " " + styleCaseWord(l.styleCase[i]);
        if (l.styleIndent >= 0) {
            st += " INDENT " + num(l.styleIndent);
            if (l.styleCommentColumn) st += " " + num(l.styleCommentColumn);
        }
        add(st);
    }
    add(std::string("SHELL DEFAULT ") + (l.shellOnServer ? "SERVER" : "CLIENT"));
    add("SHELL LIMIT " + num(l.shellLimit));
    // Paths, names and programs.
    if (!s.printDir.empty()) add("PRINTDIR " + statementText(s.printDir));
    if (!s.onqPath.empty()) add("ONQPATH " + statementText(s.onqPath));
    if (!s.registryPath.empty()) add("KTSERVER " + statementText(s.registryPath));
    if (!s.configuredWorkPath.empty()) add("WORKPATH " + statementText(s.configuredWorkPath));
    if (!s.spoolCmd.empty()) add("SPOOLCMD " + statementText(s.spoolCmd));
    if (!s.clientCurrentDir.empty()) add("CLIENT_CURRENT_DIR " + statementArgument(s.clientCurrentDir));
    if (!s.editor.empty())
        add("EDITOR " + statementArgument(s.editor) + (s.editorRemove ? " REMOVE" : "") +
            (s.editorNoWait ? " NOWAIT" : ""));
    // A command holding a double quote goes between quotes: only the text between the first
    // and the last is read back.
    if (!s.execute.empty()) add("EXECUTE " + executeArgument(s.execute));
    if (s.loginNameSet) add("LOGIN_NAME " + statementText(s.loginName));
    if (!s.applicationName.empty()) add("APPLICATION_NAME " + statementText(s.applicationName));
    if (!s.helpFile.empty()) add("HELPDFLT " + s.helpFile + "," + s.helpTopic);
    if (!s.logFile.empty())
        add("LOGGING " + num(logLevel()) + ", " + statementArgument(s.logFile) +
            (l.unattended ? " UNATTENDED" : ""));
    for (const auto& f : s.btreeVerify) add("BTREE_VERIFY " + f);
    if (!s.s23Drives.empty()) add("S/23-DRIVES " + s.s23Drives);
    // Screen, keyboard and fields.
    const auto& f = g_fields;
    const auto& d = s.display;
    add(std::string("3D_FIELDS ") + (!f.fields3d ? "OFF" : f.underline ? "UNDR_ON" : "ON"));
    for (const auto& a : d.attributes) add("ATTRIBUTE " + a);
    if (!d.escSpace) add("ATTRIBUTE ESC NOSPACE");
    for (const auto& c : d.colors) add("COLOR " + c);
    if (f.console) add(std::string("CONSOLE ") + consoleWord(f.console));
    if (f.cursor) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04X", f.cursor);
        add(std::string("CURSOR ") + buf);
    }
    if (!f.dataHiliteAttr.empty())
        add("DATAHILITE " + f.dataHiliteAttr);
    else
        add(std::string("DATAHILITE ") + dataHiliteWord(f.dataHilite));
    add("FIELDBREAK MIN_SPACES " + num(f.fieldBreakMinSpaces) + " UNDERSCORE " +
        (f.fieldBreakUnderscore ? "ON" : "OFF"));
    for (const auto& h : d.fieldHelp) add("FIELDHELP " + h);
    for (const auto& fo : d.fonts) add("FONT " + fo);
    add(std::string("FORCE VISIBILITY ") + (f.forceVisibility ? "ON" : "OFF"));
    add(std::string("GRAPHIC_LINEDRAW ") + lineDrawWord(f.lineDraw));
    if (d.gui >= 0) add(std::string("GUI ") + (d.gui == 0 ? "OFF" : d.gui == 1 ? "ON" : "VXVB"));
    if (!d.guiSuppress) add("GUI SUPPRESS OFF");
    if (f.insertMode == 1) add("INSERT OFF");
    if (f.insertMode == 2) add("INSERT ON");
    if (f.insertMode == 3) add("INSERT MIN_LENGTH " + num(f.insertMinLength));
    for (const auto& k : d.keyboard) add("KEYBOARD " + k);
    if (d.minFontWidth) add("MIN_FONTSIZE " + num(d.minFontWidth) + "X" + num(d.minFontHeight));
    for (const auto& sc : d.screen) add("SCREEN " + sc);
    // OPENDFLT reads double quotes only; a string holding one is read to the end of the line.
    if (!s.openDflt.empty()) add("SCREEN OPENDFLT " + openDefaultArgument(s.openDflt));
    if (d.statusLine)
        add("STATUSLINE ON");
    else
        add("STATUSLINE OFF" + (d.statusMessage.empty() ? "" : " " + statementText(d.statusMessage)));
    add(std::string("STATUSLINE ROWCOL ") + (f.statusRowCol ? "ON" : "OFF"));
    add(std::string("TYPEAHEAD ") + (f.typeaheadOff ? "OFF" : "ON"));
    add(std::string("USERLEVEL ") + f.userLevel);
    if (d.pictureCache >= 0)
        add(std::string("PICTURE ") + (d.pictureCache ? "CACHE_ON" : "CACHE_OFF"));
    // Printing.
    for (auto& line : printerStatements()) add(std::move(line));
    {
        const auto& ps = s.printScreen;
        std::string line = std::string("PRINTSCREEN ") + (ps.replace ? "REPLACE" : "APPEND") +
                           (ps.newPage ? " NEWPAGE" : " NEWPAGE OFF") +
                           (ps.gui ? " GUI" : " GUI OFF");
        if (!ps.openString.empty()) line += " " + ps.openString.substr(5);
        add(line);
    }
    // Workstation.
    if (s.wsidRequest)
        add("WSID " + num(s.wsidRequest) +
            (s.wsidIncrement != 1 ? "+" + num(s.wsidIncrement) : ""));
    if (s.wsidSession) add("WSID=SESSION");
    if (s.wsidUnique) add("WSID=UNIQUE");
    return out;
}

}  // namespace vxs
