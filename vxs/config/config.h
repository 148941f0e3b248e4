// Configuration state of the process: the OPTION flags, screen and field settings, limits, owned
// strings, the name-substitution and drive tables, printer translation tables and the
// workstation requests.  Every layer reads them here; the processor that reads configuration
// files and statements into them is above (configfile/configfile.h).
//
// Invariants: every setting holds its default until a statement accepted by processConfig
// changes it; resetConfiguration() brings back the whole start-up state.  The substitution
// table always holds its built-in entries; a drive letter is mapped at most once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

inline constexpr size_t kVxMaxPath = 512;  // a path holds at most kVxMaxPath - 1 bytes
// How the STATUS report names a setting that a configuration file made (EXECUTE, WSID).
inline constexpr char kConfigSource[] = "vxconfig.sys";

// ---- the fields record: screen, field and workstation settings ----
// Kept as one record because the whole of it goes to the terminal side in one piece.
struct FieldsConfig {
    int wsid = 0;
    int sessionID = 0;
    bool fields3d = true;        // 3D_FIELDS
    bool underline = false;      // 3D_FIELDS UNDR_ON / UNDR_OFF
    bool typeaheadOff = false;   // TYPEAHEAD OFF
    int dataHilite = 2;          // 0 OFF, 1 WIN_OFF or an attribute, 2 WIN_ON, 3 ON
    std::string dataHiliteAttr;  // the attribute given instead of a word
    char userLevel = '3';        // USERLEVEL
    bool statusRowCol = true;    // STATUSLINE ROWCOL
    int console = 0;             // CONSOLE: 0 not set, 1 ON, 2 OFF, 3 OFF ALWAYS
    int cursor = 0;              // CURSOR: start line * 256 + end line
    int lineDraw = 3;            // GRAPHIC_LINEDRAW
    int insertMode = 0;          // INSERT: 0 not defined, 1 OFF, 2 ON, 3 MIN_LENGTH
    int insertMinLength = 0;
    bool forceVisibility = false;  // FORCE VISIBILITY
    int fieldBreakMinSpaces = 2;   // FIELDBREAK
    bool fieldBreakUnderscore = true;
    int scanMilliseconds = 20;  // OPTION 13
    uint8_t options[47] = {};   // OPTION 2, 24 and 36..46 (index = option number)
};
FieldsConfig& fieldsConfig();
void resetFieldsConfig();

// ---- OPTION ----
inline constexpr int kOptionNoBackup = 26;       // REPLACE makes no .bak copy
inline constexpr int kOptionNoCommandMode = 54;  // a program may not fall into command mode
// Whether option `number` (1..99) is on, as its name says: optionOn(11) is true when
// unreferenced variables are not cleared, optionOn(24) when the X attribute is disabled
// during select.  The value options (9, 13, 33, 97) answer false; read them below.
bool optionOn(int number);
void setOption(int number, bool on);
int maxWorkstations();   // OPTION 9: 1..1000, default 1000
int lockOptionValue();   // OPTION 33: 30, 31 (default), 32 or 64
int stackCountOption();  // OPTION 97: 1..100, default 5
int defaultIndexType();  // 7, or 4 after OPTION 5 (ISAM)
int defaultBtreeType();  // 1, or 2 after OPTION 22
bool nullRecordCheck();  // OPTION 98 (off) / 99 (on)

// ---- limits and language settings ----
struct ConfigLimits {
    int flowStack = 50, forStack = 30, rpnStack = 300, workStack = 4000;
    int maxRecall = 200, pageOflow = 60, maxSortMemoryMb = 8;
    int breakLines = 8, breakSecond = 0;
    int baseYear = 1900;
    int rd = 6;  // rounding constant 0.5 / 10^rd
    bool collateAlternate = false, decimalRequired = false, dimOnly = false, s36Mode = false;
    // IOERR_EXEMPT: an IOERR exit of an I/O statement does not catch SOFLOW, CONV and OFLOW.
    bool ioerrExempt = false;
    char chainDflt = ' ';
    int fileNameCase = -1;  // FILENAMES: -1 LOWER_CASE, 0 MIXED_CASE, 1 UPPER_CASE
    // STYLE: case letters of comments, expressions, keywords, labels; indent -1 when off;
    // comment column 0 when trailing comments are not aligned.
    char styleCase[4] = {'C', 'C', 'C', 'C'};
    int styleIndent = -1, styleCommentColumn = 0;
    bool shellOnServer = false;
    int shellLimit = 240;
    bool unattended = false;  // LOGGING ... UNATTENDED
    // SYNC ON: WRITE, REWRITE, DELETE and CLOSE of data and key files put their changes on the
    // disk before they return (fsync), so that they outlive a power loss.
    bool syncWrites = false;
};
const ConfigLimits& configLimits();
double roundingConstant();  // 0.5 / 10^RD

// ---- strings (empty when not set) ----
const std::string& workPath();  // the directory for work files (ending with its separator)
void setWorkPath(const std::string& path);
const std::string& configuredWorkPath();  // WORKPATH as configured (start-up makes it absolute)
const std::string& registryPath();        // KTSERVER
const std::string& editorCommand();       // EDITOR program; flags below
void setEditorCommand(const std::string& command);
bool editorRemove();
bool editorNoWait();
const std::string& executeCommand();  // EXECUTE: the command run when start-up finishes
void setExecuteCommand(const std::string& command, const char* source);
const std::string& executeSource();  // where it came from ("vxconfig.sys", "command line")
const std::string& onqPath();
const std::string& printDirectory();
const std::string& spoolCommand();
const std::string& helpFile();
const std::string& helpTopic();
const std::string& applicationName();
const std::string& openDefault();     // SCREEN OPENDFLT
const std::string& configFileName();  // the file read at start-up
const std::string& clientCurrentDirectory();
const std::string& logFileName();  // LOGGING's file
const std::vector<std::string>& btreeVerifyFiles();
const std::string& s23Drives();

// ---- the display settings passed on whole (stored for the display layer) ----
struct DisplayConfig {
    std::vector<std::string> attributes, colors, fonts, keyboard, fieldHelp, screen;
    bool escSpace = true;  // ATTRIBUTE ESC SPACE / NOSPACE
    int minFontWidth = 0, minFontHeight = 0;
    int gui = -1;             // -1 as start-up set it, 0 OFF, 1 ON, 2 VXVB
    bool guiSuppress = true;  // GUI SUPPRESS
    int pictureCache = -1;    // -1 not set, 0 CACHE_OFF, 1 CACHE_ON
    bool statusLine = true;
    std::string statusMessage;  // STATUSLINE OFF message
};
const DisplayConfig& displayConfig();

// ---- printers ----
struct PrinterTable {
    std::string name;  // empty for the default printer
    int type = 0;      // 0 none, 1 EPSON, 2 IBMCOLOR, 3 OKIDATA, 4 OKIDATA84
    int lpp = 0;       // lines per page, 0 when not set
    std::vector<std::pair<std::string, std::string>> keys;  // key ("[NAME]", "+bytes", "[INIT+]")
};
inline constexpr int kMaxNamedPrinters = 49;
const PrinterTable& defaultPrinter();
const std::vector<PrinterTable>& namedPrinters();
bool printerTranslation();  // switched on by PRINTER EPSON and the other built-in types
struct PrinterType {
    std::string name, select;
};
const std::vector<PrinterType>& printerTypes();  // PRINTER TYPE, newest first
struct PrintScreenConfig {
    // REPLACE: the print-screen file is replaced rather than appended to (APPEND clears it).
    bool replace = false, newPage = false, gui = false;
    std::string openString;  // "name=" + file
};
const PrintScreenConfig& printScreenConfig();

// ---- workstation requests (read by start-up and the registry) ----
int wsidRequest();    // WSID n, 0 when none
int wsidIncrement();  // WSID n+i, 1 by default
bool wsidSession();   // WSID=SESSION
bool wsidUnique();    // WSID=UNIQUE
// A requested WSID on the command line makes WSID statements ignored.
void setCommandLineWsid(int wsid);
int commandLineWsid();  // 0 when none
// Offers a command-line switch text (after its "-") to the switch parser: "WSID=SESSION" gives
// selection mode 1, "WSID=UNIQUE" mode 2 (any case); anything else gives -1 and is left to
// the other command-line rules.
int parseConfigSwitch(std::string_view text);

// ---- name substitution ----
// Applies the table to a name: a leading "~" is dropped and nothing is substituted; otherwise
// every entry in table order replaces each occurrence of its search text (without regard to
// case) and scanning goes on after the replacement.  Returns 0, or 600 when the name would
// grow to kVxMaxPath bytes or more.
[[nodiscard]] int substituteName(std::string_view name, std::string& out);
// Removes every entry but the built-in ones, [WSID], [SESSION], [SPOOLPATH], [REMOTESPOOLPATH]
// and CON:, which keep their values ([SPOOLPATH] "." and [REMOTESPOOLPATH] "@:." when empty).
void resetSubstitutions();
// Adds or replaces an entry (the search text is kept in upper case); an empty value for a
// built-in entry restores its default.  removeSubstitution refuses the built-in entries.
void setSubstitution(std::string_view from, std::string_view to);
bool removeSubstitution(std::string_view from);
const std::vector<std::pair<std::string, std::string>>& substitutions();

// ---- drives ----
struct DriveEntry {
    std::string osDirectory;  // absolute, ending with "/"; empty when the letter is not mapped
    std::string current;      // current directory within it, "\" form ("\" for its root)
};
// The entry of a letter A-Z (any case), null for another character.
const DriveEntry* driveEntry(char letter);
char defaultDrive();  // the letter of the first DRIVE, 0 when none
bool anyDriveMapped();
// The letter the n-th successful DRIVE statement mapped (n = 1..), 0 when none.
char driveNumber(int n);
// Maps a drive as DRIVE does: letter, OS directory, current directory.  Returns 0, 4180 for a
// bad letter or form, 4184 for a letter already mapped, 4129 for a directory too long, 4203
// when a directory does not exist.
[[nodiscard]] int defineDrive(char letter, std::string_view osDirectory, std::string_view current);

// ---- processing ----
// Resets every setting, the substitution and drive tables and the printer tables to the
// start-up defaults; the next processConfig call is the start-up one.
void resetConfiguration();
// (Reading configuration statements into these settings is the processor's: configfile.h.)
bool configStartupDone();
// ---- hand-over to the layers that keep settings of their own ----
// The interpreter (BREAK, FLOWSTACK, FORSTACK, IOERR_EXEMPT), the dates (BASEYEAR) and the OS
// file layer (OPTION 33) keep copies of settings in their own state; each registers a listener
// that reads them from here.  Registering a listener twice keeps one.  (Start-up allocates the
// RPN and work stacks at their configured sizes itself, where a failure can end it.)
using SettingsListener = void (*)();
void addSettingsListener(SettingsListener apply);
// Calls every listener, in the order they were registered: the processor's last step after a
// configuration file or statement.
void applySettings();
// Every current setting as configuration statements: fed back to processConfig as a file at
// start-up, they make the same state.
std::vector<std::string> configStatements();

// ---- settings as statement text (configStatements and the STATUS report share these) ----
// A text as it stands in a statement: "!" written "\!" (a bare one would end the statement).
std::string statementText(std::string_view text);
// A text as one argument: a word as it is, else between quotes of the kind it does not hold.
std::string statementArgument(std::string_view text);
// EXECUTE's argument: between double quotes when the command holds one (only the text between
// the first and the last is read back).
std::string executeArgument(std::string_view command);
// SCREEN OPENDFLT's argument: in double quotes, or to the end of the line when it holds one.
std::string openDefaultArgument(std::string_view text);
// The words the statements take for a stored value.
const char* consoleWord(int console);       // ON, OFF, OFF ALWAYS ("" when not set)
const char* dataHiliteWord(int dataHilite);  // OFF, WIN_OFF, WIN_ON, ON
const char* fileNamesWord(int fileNameCase);
const char* lineDrawWord(int lineDraw);
const char* styleCaseWord(char letter);  // CLEAR, LOWER, MIXED, UPPER
// The text the STATUS report shows after "OPTION n is ON/OFF - " (or the value of a value
// option); null for an option that has none.
const char* optionText(int number);
// The printer tables, then the PRINTER TYPE list, as PRINTER statements in the order that,
// read back, makes the same tables and list (with OPTION 28 on, the default printer's
// statements between "OPTION 28 OFF" and "OPTION 28 ON").
std::vector<std::string> printerStatements();
// Messages shown under "Configuration Messages:" (kept for the STATUS command).
const std::vector<std::string>& configMessages();

// Frees the string tables that configuration built (shut-down).
void freeStringTables();

}  // namespace vxs
