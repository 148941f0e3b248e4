// The configuration sections of the STATUS report (see statusconfig.h).  Texts that a reader
// would take for a comment or split at a blank are written as statements write them: "!" as
// "\!", an argument with blanks between quotes.
#include "vxs/command/statusconfig.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "vxs/config/config.h"
#include "vxs/base/logger.h"
#include "vxs/interpreter/strsub.h"
#include "vxs/registry/ktsession.h"

namespace vxs {

namespace {

// Hands lines to the sink until it asks to stop.
class Lines {
  public:
    explicit Lines(const ReportSink& out) : out_(out) {}
    void add(std::string line) {
        if (ok_) ok_ = out_(line + "\n");
    }
    bool ok() const { return ok_; }

  private:
    const ReportSink& out_;
    bool ok_ = true;
};

const char* onOff(bool on) {
    return on ? "ON" : "OFF";
}

std::string num(int v) {
    return std::to_string(v);
}

// The request STATUS shows: the one the registry took once the workstation has joined it,
// before that the one start-up would make of the configuration.
WsidRequest shownRequest() {
    if (fieldsConfig().wsid > 0) return ktLastRequest();
    return ktChooseRequest(0, commandLineWsid(), wsidRequest(), wsidIncrement());
}

void optionLines(Lines& out) {
    out.add("The following option descriptions are for the ON state.");
    for (int n = 1; n < 98; ++n) {
        const char* text = optionText(n);
        if (!text) continue;
        std::string value;
        switch (n) {
            case 9: value = num(maxWorkstations()); break;
            case 13: value = num(fieldsConfig().scanMilliseconds); break;
            case 33: value = num(lockOptionValue()); break;
            case 97: value = num(stackCountOption()); break;
            default: value = onOff(optionOn(n));
        }
        out.add("OPTION " + num(n) + " is " + value + " - " + text);
    }
    out.add(std::string("OPTIONS 98 and 99 check for NULL records is ") + onOff(nullRecordCheck()));
}

void screenLines(Lines& out) {
    const auto& screen = displayConfig().screen;
    for (char letter : std::string_view("NUHRBICS")) {
        std::string line = std::string("SCREEN ") + letter + " DEFAULT";
        for (const auto& item : screen)
            if (item[0] == letter) line = "SCREEN " + statementText(item);
        out.add(line);
    }
    out.add("SCREEN OPENDFLT " +
            (openDefault().empty() ? "NOT SPECIFIED" : openDefaultArgument(openDefault())));
}

// A KEYBOARD text that begins with a key code in hex and a comma is shown with the code as four
// digits; any other text as it was given.
std::string keyboardLine(const std::string& text) {
    size_t n = 0;
    while (n < text.size() && std::isxdigit(static_cast<unsigned char>(text[n]))) ++n;
    if (n == 0 || n > 4 || n >= text.size() || text[n] != ',') return "KEYBOARD " + statementText(text);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04lX,", std::stoul(text.substr(0, n), nullptr, 16));
    return "KEYBOARD " + std::string(buf) + statementText(text.substr(n + 1));
}

}  // namespace

bool reportConfigSection(const ReportSink& sink) {
    Lines out(sink);
    const FieldsConfig& f = fieldsConfig();
    const ConfigLimits& l = configLimits();
    const DisplayConfig& d = displayConfig();
    char buf[64];

    out.add(std::string("3D_FIELDS ") + onOff(f.fields3d) + ", 3D_FIELDS UNDR_" + onOff(f.underline));
    out.add("APPLICATION_NAME " + statementText(applicationName()));
    std::snprintf(buf, sizeof buf, "BASEYEAR %02d%02d", l.baseYear / 100, l.baseYear % 100);
    out.add(buf);
    out.add("BREAK " + num(l.breakLines) + ", " + num(l.breakSecond));
    if (l.chainDflt == 'O')
        out.add("CHAINDFLT O - Look for object files first.");
    else
        out.add(std::string("CHAINDFLT ") + l.chainDflt + " - Look for object files with source first.");
    out.add(std::string("COLLATE ") + (l.collateAlternate ? "ALTERNATE" : "NATIVE"));
    out.add(std::string("CONSOLE ") + (f.console ? consoleWord(f.console) : "NOT SET"));
    std::snprintf(buf, sizeof buf, "CURSOR %04X", static_cast<unsigned>(f.cursor));
    out.add(buf);
    if (!f.dataHiliteAttr.empty())
        out.add("DATAHILITE " + statementText(f.dataHiliteAttr));
    else if (f.dataHilite == 2)
        out.add("DATAHILITE WIN_ON - using windows selected colors");
    else if (f.dataHilite == 3)
        out.add("DATAHILITE ON - using inverse colors");
    else
        out.add(std::string("DATAHILITE ") + dataHiliteWord(f.dataHilite));
    out.add(std::string("DECIMAL ") + (l.decimalRequired ? "REQUIRED" : "ASSUMED"));
    out.add(std::string("DIMONLY is ") + onOff(l.dimOnly));
    out.add("EDITOR " + (editorCommand().empty() ? "" : statementArgument(editorCommand())) +
            (editorNoWait() ? ", NOWAIT" : "") + (editorRemove() ? ", REMOVE" : ""));
    if (executeCommand().empty()) {
        out.add("EXECUTE WAS NOT SET");
    } else {
        out.add("EXECUTE " + executeArgument(executeCommand()));
        out.add("EXECUTE came from " + executeSource());
    }
    out.add("FIELDBREAK MIN_SPACES " + num(f.fieldBreakMinSpaces) + ", UNDERSCORE " +
            onOff(f.fieldBreakUnderscore));
    for (const auto& h : d.fieldHelp) out.add("FIELDHELP " + statementText(h));
    out.add(std::string("FILENAMES ") + fileNamesWord(l.fileNameCase));
    out.add(std::string("FORCE VISIBILITY ") + onOff(f.forceVisibility));
    out.add(std::string("GRAPHIC_LINEDRAW ") + lineDrawWord(f.lineDraw));
    out.add(std::string("GUI ") + onOff(d.gui == 1));
    out.add(std::string("GUI VXVB - use VXVB as console is ") + onOff(d.gui == 2) + ".");
    out.add(std::string("GUI SUPPRESS - ignore VXVB syntax is ") + onOff(d.guiSuppress) + ".");
    out.add(helpFile().empty() ? "HELPDFLT is not defined"
                               : "HELPDFLT is " + statementText(helpFile()) + "," +
                                     statementText(helpTopic()));
    switch (f.insertMode) {
        case 1: out.add("INSERT OFF"); break;
        case 2: out.add("INSERT ON"); break;
        case 3: out.add("INSERT MIN_LENGTH " + num(f.insertMinLength)); break;
        default: out.add("INSERT not defined - default to datahilite setting");
    }
    if (logFileName().empty() && logLevel() == 0 && !l.unattended)
        out.add("LOGGING is off");
    else
        // A level without a file keeps an empty file name: UNATTENDED would read as one.
        out.add("LOGGING " + num(logLevel()) + ", " +
                (logFileName().empty() ? std::string(l.unattended ? "\"\"" : "")
                                       : statementArgument(logFileName())) +
                (l.unattended ? " UNATTENDED" : ""));
    out.add("LOGIN_NAME " + statementText(loginName()));
    out.add("MAX_SORT_MEMORY " + num(l.maxSortMemoryMb) + " MB");
    out.add("MAXRECALL " + num(l.maxRecall));
    out.add("ONQPATH " + (onqPath().empty() ? "NOT DEFINED" : statementText(onqPath())));
    optionLines(out);
    out.add("PAGEOFLOW " + num(l.pageOflow));
    out.add(std::string("PICTURE ") + (d.pictureCache == 1 ? "CACHE_ON" : "CACHE_OFF"));
    out.add("PRINTDIR " + (printDirectory().empty() ? "IS NOT SPECIFIED" : statementText(printDirectory())));
    {
        const PrintScreenConfig& ps = printScreenConfig();
        std::string items = std::string(ps.replace ? " REPLACE" : "") + (ps.newPage ? " NEWPAGE" : "") +
                            (ps.gui ? " GUI" : "");
        if (!ps.openString.empty()) items += " " + statementText(ps.openString.substr(5));
        out.add(items.empty() ? "PRINTSCREEN all defaults" : "PRINTSCREEN" + items);
    }
    out.add("RD " + num(l.rd));
    out.add("S23DRIVES " + s23Drives());
    out.add(std::string("S36MODE is ") + onOff(l.s36Mode));
    screenLines(out);
    out.add(std::string("SHELL DEFAULT ") + (l.shellOnServer ? "SERVER" : "CLIENT"));
    out.add("SHELL LIMIT " + num(l.shellLimit));
    out.add("SPOOLCMD " + (spoolCommand().empty() ? "IS NOT DEFINED" : statementText(spoolCommand())));
    out.add(std::string("STATUSLINE ROWCOL ") + onOff(f.statusRowCol));
    // The message of STATUSLINE OFF is shown as the statement gives it.
    out.add(d.statusLine ? "STATUSLINE ON"
                         : "STATUSLINE OFF" + (d.statusMessage.empty()
                                                   ? std::string()
                                                   : " " + statementText(d.statusMessage)));
    if (l.styleIndent >= 0)
        out.add("STYLE INDENT " + num(l.styleIndent) + ", " + num(l.styleCommentColumn));
    else
        out.add("STYLE INDENT CLEAR" + (l.styleCommentColumn ? ", " + num(l.styleCommentColumn) : ""));
    out.add(std::string("STYLE COMMENT ") + styleCaseWord(l.styleCase[0]) + ", LABELS " +
            styleCaseWord(l.styleCase[3]) + ", KEYWORDS " + styleCaseWord(l.styleCase[2]) +
            ", EXPRESSIONS " + styleCaseWord(l.styleCase[1]));
    out.add(std::string("TYPEAHEAD ") + onOff(!f.typeaheadOff));
    out.add(std::string("USERLEVEL ") + f.userLevel);
    out.add(ktRequestText(shownRequest()));
    out.add("WSID assigned  " + num(f.wsid));
    out.add(std::string("WSID=SESSION is ") + onOff(wsidSession()));
    out.add(std::string("WSID=UNIQUE is ") + onOff(wsidUnique()));
    return out.ok();
}

bool reportAttributesSection(const ReportSink& sink) {
    Lines out(sink);
    const DisplayConfig& d = displayConfig();
    for (const auto& a : d.attributes) out.add("ATTRIBUTE " + statementText(a));
    if (!d.escSpace) out.add("ATTRIBUTE ESC NOSPACE");
    return out.ok();
}

bool reportPrinterSection(const ReportSink& sink) {
    Lines out(sink);
    for (auto& line : printerStatements()) out.add(std::move(line));
    return out.ok();
}

bool reportBtreeVerifySection(const ReportSink& sink) {
    Lines out(sink);
    for (const auto& file : btreeVerifyFiles()) out.add("BTREE_VERIFY " + statementText(file));
    return out.ok();
}

bool reportKeyboardSection(const ReportSink& sink) {
    Lines out(sink);
    for (const auto& k : displayConfig().keyboard) out.add(keyboardLine(k));
    return out.ok();
}

bool reportColorsSection(const ReportSink& sink) {
    Lines out(sink);
    char buf[16];
    for (const auto& c : displayConfig().colors) {
        // Kept as "[NAME]#RRGGBB", checked when the statement was read.
        const size_t close = c.find(']');
        std::snprintf(buf, sizeof buf, " #%06lX", std::stoul(c.substr(close + 2), nullptr, 16));
        out.add("COLOR " + statementText(c.substr(0, close + 1)) + buf);
    }
    return out.ok();
}

bool reportSubstituteSection(const ReportSink& sink) {
    Lines out(sink);
    out.add(" ");
    for (const auto& [from, to] : substitutions())
        out.add("Substitute " + statementArgument(from) + " " +
                (to.empty() ? std::string() : statementArgument(to)));
    return out.ok();
}

}  // namespace vxs
