// The one table of error numbers.  Every routine returns 0 or one of these; each number is defined
// here once, with the ON condition that traps it, a short text and what to do about it, so that
// commands, statements, the condition search, the help file (docs/errors.md) and tests agree.
// Compile errors are negative (compiler/codes.h) and are shown as their positive numbers, which
// are entries here too; where a number already had a run-time meaning the entry holds both.
// Beside them, the control outcomes: what a routine returns, other than 0 and an error number,
// when the run or command mode is to change course.
#pragma once

#include <span>

namespace vxs {

// The conditions of the ON table and of error-exit lists that an error falls under.  ERROR
// catches everything; an I/O statement's IOERR catches its errors but for PAGEOFLOW.
enum class ErrorCondition : unsigned char {
    ERROR, CONV, SOFLOW, OFLOW, HELP, ZDIV, DUPREC, NOKEY, NOREC, EOF_, PAGEOFLOW, LOCKED, TIMEOUT,
    EVENT,
};

// X(number, name, condition, text, advice): kErr<name> = number; an error trapped by
// `condition`; `text` is what the status line shows after the number, `advice` says what to do.
// clang-format off
#define VX_ERRORS(X) \
    X(1, Interrupt, EVENT, "a function key or event without its own line", \
      "Give the key a line with ON FNKEY (or the event one with ON EVENT), or trap error 1 with " \
      "ON ERROR; ON FNKEY n IGNORE passes the key over.") \
    X(2, Conversion, CONV, "a conversion failed (VAL, STR$, input of a number)", \
      "Check the value: VAL needs a number, and a FORM item or field needs a value that fits " \
      "its format. ON CONV or a CONV exit lets the program ask again.") \
    X(3, NumericOverflow, OFLOW, "a number too large for its field", \
      "Widen the FORM item or field, or check the value before it is stored; ON OFLOW traps it.") \
    X(4, StringOverflow, SOFLOW, \
      "a string too long for its variable, or a literal over 250 characters", \
      "Give the variable a larger length in DIM (DIM A$*40), or shorten the value; ON SOFLOW " \
      "traps it. In a program line, shorten the literal, DATA item or FORM text to 250 " \
      "characters.") \
    X(5, HelpKey, HELP, "the help key", \
      "The help key was pressed: ON HELP gives the program a line for it; without one the help " \
      "screen of the current topic is shown and the program goes on.") \
    X(6, ArithmeticOverflow, ZDIV, "division by zero or an arithmetic overflow", \
      "Check the divisor (and how large the result may grow) before the operation; ON ZDIV " \
      "traps it.") \
    X(53, DuplicateRecord, DUPREC, "a record with that key exists already", \
      "Read the record with that key or number and REWRITE it instead, or choose another key; a " \
      "DUPREC exit handles it in the statement.") \
    X(54, EndOfFile, EOF_, "end of file", \
      "The end of the file (or of the DATA) was reached: end the loop with an EOF exit (READ " \
      "#1: A$ EOF 900), or RESTORE to begin again.") \
    X(57, NoRecord, NOREC, "no record at that number", \
      "Check the record number (1 to LREC(n)) and that the record was not deleted; a NOREC exit " \
      "handles it in the statement.") \
    X(58, FieldOverflow, SOFLOW, "a string too long for its field", \
      "Make the FORM item or field long enough for the string, or shorten the value; ON SOFLOW " \
      "traps it.") \
    X(61, RecordLocked, LOCKED, "a record or byte range locked by another open or process", \
      "Another program or file number holds the record: try again, give the READ a WAIT= to " \
      "wait longer, or handle it with a LOCKED exit. STATUS LOCKS and the file's name show who " \
      "holds it.") \
    X(62, NotHeld, ERROR, \
      "a record rewritten or deleted without holding its lock in a shared file", \
      "In a shared file READ the record (which locks it) before REWRITE or DELETE, and do not " \
      "release it in between (READ ..., RELEASE or RELEASE #n).") \
    X(105, NotArray, ERROR, "an array operation on a scalar", \
      "Give MAT and the array functions an array (DIM it); a single variable takes the scalar " \
      "operations.") \
    X(106, ArrayCounts, ERROR, "arrays of different sizes in one operation", \
      "Give the arrays as many elements as each other (DIM, MAT REDIM), or as many fields as " \
      "values.") \
    X(108, StringTooLong, ERROR, "a string result above 32767 bytes", \
      "Keep string results at 32767 bytes or less: work on parts of the string.") \
    X(120, Bound, ERROR, "a subscript outside the array's bounds", \
      "Keep the subscript within the array's bounds (UDIM gives the upper one), or DIM the " \
      "array larger.") \
    X(121, Dimension, ERROR, "a dimension number too large, or MAT of a reserved name", \
      "Ask UDIM only for a dimension the array has. In a MAT statement, use an array name that " \
      "is not a keyword or a built-in function.") \
    X(122, Subscript, ERROR, "a subscript count that does not fit the array", \
      "Give as many subscripts as the array has dimensions.") \
    X(123, Dimensions, ERROR, "too many dimensions", \
      "Use fewer dimensions (an array has at most as many as DIM allows; MAT statements work on " \
      "one dimension).") \
    X(201, ReturnWithoutGosub, ERROR, "RETURN without GOSUB", \
      "Reach the routine only through GOSUB: put END or a GOTO before it so that the run does " \
      "not fall into it.") \
    X(202, FnendWithoutCall, ERROR, "FNEND without a function call", \
      "Place the DEF ... FNEND block where the run does not fall into it (jump over it), and " \
      "reach it by calling the function.") \
    X(205, FnkeyNumber, ERROR, "a function-key number outside its table", \
      "Use a function-key number from 1 to 10, or 99, in ON FNKEY.") \
    X(211, NoRecordedError, ERROR, "CONTINUE or RETRY without a recorded error", \
      "CONTINUE and RETRY belong in a routine that an error reached (ON ERROR, an exit); leave " \
      "other routines with GOTO or RETURN.") \
    X(213, PastEnd, ERROR, "the run went past the last line without END", \
      "End the program with END (or STOP) so that the run does not pass its last line.") \
    X(220, NextWithoutFor, ERROR, "NEXT without FOR", \
      "Give each NEXT its FOR with the same variable, and do not jump into a loop from outside.") \
    X(230, BadExitLine, ERROR, "an EXIT reference that is not an exit line", \
      "An EXIT reference must name a line that holds an EXIT statement with the error-exit " \
      "list.") \
    X(301, ArgumentCount, ERROR, "a function called with the wrong number of arguments", \
      "Call the function with the number of arguments its description gives (HELP$ and the " \
      "function's name, or docs/language.md).") \
    X(302, NotAvailable, ERROR, "the facility has no handler in this build", \
      "The statement, function or command has no handler in this release: docs/language.md " \
      "lists what is not available; do it another way.") \
    X(303, NotVariable, ERROR, "a by-reference argument that is not a variable", \
      "Pass a variable (not an expression or a constant) where the function takes the argument " \
      "by reference.") \
    X(304, ArgumentKind, ERROR, "an argument of the wrong kind", \
      "Pass a number where a number belongs and a string (a name ending in $) where a string " \
      "does.") \
    X(305, MessageBoxKind, ERROR, "an unknown MSGBOX button set or icon", \
      "Give MSGBOX its buttons as OK, OKC, YN, YNC, RC or ARI and its icon as I, !, ? or X, or " \
      "leave them out.") \
    X(307, NoAssignTarget, ERROR, "an assignment without a target", \
      "Write the variable that receives the value before the = sign.") \
    X(315, FixedArray, ERROR, "a fixed array redimensioned", \
      "An array fixed by its DIM keeps its size: DIM it without fixing it to redimension it " \
      "later.") \
    X(402, Log, ERROR, "LOG of zero or a negative number", \
      "LOG needs a value above zero: check the value first.") \
    X(403, Sqr, ERROR, "SQR of a negative number", \
      "SQR needs a value of zero or more: check the value first (ABS when the sign does not " \
      "matter).") \
    X(410, BadCharacter, ERROR, "a bad trim, pad or PIC$ character, hex digit or CHR$ byte", \
      "Pass exactly one byte as the trim, pad or PIC$ character, pairs of hex digits 0-9 and " \
      "A-F to UNHEX$, and values 0 to 255 to CHR$.") \
    X(411, DateFormat, ERROR, "a default date format longer than 6 characters", \
      "Keep a default date format set with \"*\" to 6 characters or fewer.") \
    X(420, DebugLinked, ERROR, "a debugger link is already open", \
      "End the present link with DEBUG DISCONNECT, then open the new one.") \
    X(422, DebugHost, ERROR, "the debugger's host cannot be resolved", \
      "Check the host name of DEBUG CONNECT, or give its address.") \
    X(424, DebugConnect, ERROR, "the connection to the debugger is refused", \
      "Start the debugger first (listening on its port), then check the host and port given.") \
    X(426, DebugListen, ERROR, "the debugger port is not a number, or cannot be bound", \
      "Give DEBUG LISTEN a port number (default 8556) that no other program uses.") \
    X(428, DebugAccept, ERROR, "accepting the debugger's connection failed", \
      "Try DEBUG LISTEN again; the debugger must run on this machine under the same user.") \
    X(430, NotInputMode, ERROR, "a debugger command while command mode does not wait for one", \
      "Send the command while command mode waits for one (when the program has stopped).") \
    X(600, SubstituteOverflow, ERROR, \
      "a name or value too long (SUBSTITUTE growth, an OPEN value)", \
      "Shorten the name or value: a SUBSTITUTE rule that makes names grow, or an OPEN item over " \
      "its length.") \
    X(602, KeyFileSame, ERROR, "the key file is the data file, or a key file without key parts", \
      "Name a key file other than the data file (KFNAME=), and give the key parts (KPS=, KLN=) " \
      "when the key file is made.") \
    X(603, TranslateOpen, ERROR, "the TRANSLATE= file cannot be opened", \
      "Check the name given in TRANSLATE= and that the file exists.") \
    X(604, TranslateSize, ERROR, "the TRANSLATE= file has a wrong size", \
      "A TRANSLATE= file holds 256 bytes (one table) or 512 (two tables).") \
    X(605, OpenSyntax, ERROR, "an OPEN string that does not parse", \
      "Check the OPEN string: NAME= and the other items separated by commas, each written as " \
      "docs/files.md gives it.") \
    X(606, KeyParts, ERROR, "invalid key parts", \
      "Check KPS= and KLN=: at most six parts, inside the record, 128 bytes in all.") \
    X(607, KeyFileAccess, ERROR, "KFNAME= given without KEYED access, or KEYED without KFNAME=", \
      "Use KFNAME= and KEYED together, or neither.") \
    X(608, InputOnly, ERROR, "output to a file this process has open for input only", \
      "Open the file for OUTPUT or OUTIN to write to it.") \
    X(609, PrinterNameForm, ERROR, "a printer name without \"/\"", \
      "Write a printer name after the colon as /name (PRN:/name).") \
    X(610, FileOpen, ERROR, "the file number is already open", \
      "CLOSE the file number first, or use another number. A file command takes one output " \
      "destination (>file, >>file or PRINT) only.") \
    X(614, SharedDisplay, ERROR, "a DISPLAY file opened for shared output", \
      "Open a DISPLAY file for output NOSHR: only one program at a time may write it.") \
    X(615, DisplayOutin, ERROR, "a DISPLAY file opened OUTIN", \
      "Open a DISPLAY file for INPUT or for OUTPUT; OUTIN is for INTERNAL and EXTERNAL files.") \
    X(630, WindowGeometry, ERROR, "window geometry out of range", \
      "Keep the window's rows and columns (SROW, SCOL, EROW, ECOL) inside the screen or the " \
      "parent window, each start before its end.") \
    X(632, BadCollation, ERROR, "a key file header with an unknown collation", \
      "The key file was not made by this system or is damaged: make it again with INDEX.") \
    X(642, NoParent, ERROR, "PARENT= does not name an open window", \
      "Open the parent window first and name its file number in PARENT=.") \
    X(701, PageOverflow, PAGEOFLOW, "the page is full", \
      "The page is full: print the page heading in an ON PAGEOFLOW routine or a PAGEOFLOW exit, " \
      "and start the next page with NEWPAGE.") \
    X(704, FileNotOpen, ERROR, "the file number is not open", \
      "OPEN the file number before the statement uses it.") \
    X(706, FileNumber, ERROR, "a file number out of range", \
      "Use a file number from 0 to 999 (0 is the console).") \
    X(715, NoReadBefore, ERROR, "REREAD when the last operation on the file was not a read", \
      "READ the record first: REREAD reads again the record the last READ of the file gave, and " \
      "an OPEN, WRITE, REWRITE, DELETE or RESTORE of the file in between ends that.") \
    X(719, UnknownOperation, ERROR, "an operation the file does not know", \
      "The file does not know this operation: check the file's type and how it was opened.") \
    X(721, WrongMode, ERROR, "not allowed for this file type or mode", \
      "Make the statement fit the file: its type (INTERNAL, DISPLAY, EXTERNAL, a window) and " \
      "how it was opened (INPUT, OUTPUT, OUTIN; SEQUENTIAL, RELATIVE, KEYED).") \
    X(726, NotPlainString, CONV, "input that is not a plain string", \
      "Type the value again as plain text; ON CONV or a CONV exit lets the program ask again.") \
    X(731, BadPosition, ERROR, "a negative file position, one past 2^63-1, or an unknown origin", \
      "Use a position or record number of 0 or more, and a known origin.") \
    X(801, FormSpec, ERROR, "a CFORM$ or CNVRT$ specification that does not compile", \
      "Check the FORM specification given to CFORM$ or CNVRT$ against docs/form.md.") \
    X(802, BadPic, ERROR, "a PIC mask that is empty or not closed", \
      "Give the PIC mask at least one position and close it with ).") \
    X(805, BadFmt, ERROR, "a bad FMT or DATE mask", \
      "Check the FMT or DATE mask against docs/screens.md.") \
    X(812, BadRgb, ERROR, "a bad RGB value or an unknown colour name", \
      "Write a colour as #RRGGBB or use a name of the COLOR table (STATUS COLORS lists them).") \
    X(853, BadFkey, ERROR, "a bad function-key item of a field", \
      "Check the field's function-key item (docs/screens.md, Qualifiers and fkeys).") \
    X(854, FieldRow, ERROR, "a field row outside the window", \
      "Put the field on a row inside the window.") \
    X(857, FieldColumn, ERROR, "a field column or size outside the window", \
      "Keep the field's column and width inside the window.") \
    X(858, FieldSeparator, ERROR, "a missing separator in a field specification", \
      "Separate the parts of a field specification with commas: row, column, format.") \
    X(861, FieldKind, ERROR, "a bad format kind or modifier", \
      "Use a format the fields know (C, CR, CC, V, N, NZ, G, PIC, DATE, FMT) with valid letters " \
      "after it.") \
    X(862, FieldLength, ERROR, "a bad field length or decimals", \
      "Give the field a length of 1 or more, and fewer decimals than its length.") \
    X(867, CursorStart, ERROR, "a cursor start outside the field's data", \
      "Place the cursor start within the field's data.") \
    X(875, FieldText, ERROR, "unexpected text after a field specification", \
      "Remove what follows the field specification, or separate specifications with \";\".") \
    X(902, EnvName, ERROR, "an invalid environment variable name", \
      "Name the variable with letters, digits, \"-\", \"_\", \".\" and \"#\".") \
    X(904, EnvNameEmpty, ERROR, "an empty environment variable name", \
      "Give the environment variable a name.") \
    X(920, Dictionary, ERROR, "a code word beyond the dictionary", \
      "The program's code is damaged: LOAD it again from its source file.") \
    X(1000, UnrecognizedWord, ERROR, \
      "a word that is no keyword of the command, or a bad file name", \
      "Check the word's spelling (an abbreviation must be unique) and the file name.") \
    X(1001, CompileSyntax, ERROR, "a clause that does not fit its statement", \
      "The clause does not fit its statement: compare the line with the statement's form (HELP " \
      "and the statement's keyword).") \
    X(1003, UnclosedQuote, ERROR, "a quote that is not closed", \
      "Close the quoted text with the quote it began with.") \
    X(1006, Unrecognized, ERROR, "a line or argument that is not understood", \
      "Compare the line with the form of its command or statement (HELP and the word). A clause " \
      "word such as KEY= must be followed by what it takes (READ #1, KEY=K$: A).") \
    X(1008, NotFileCommand, ERROR, "the file-command handler asked for another command", \
      "An internal hand-over between the command handlers: report the command that showed it.") \
    X(1020, FormStructure, ERROR, "a FORM structure error: unknown, misplaced or unbalanced item", \
      "Check the FORM items: known names, counts in front, parentheses in pairs (docs/form.md).") \
    X(1022, KeywordMissing, ERROR, "a required keyword is missing (THEN, TO, GOTO, CASE)", \
      "Add the missing keyword: THEN after IF, TO in FOR, GOTO or GOSUB in ON, CASE after " \
      "SELECT.") \
    X(1024, ColonMissing, ERROR, "a required colon is missing", \
      "Add the colon that ends the statement's clauses (PRINT #1: A$).") \
    X(1026, ColonAfterParts, ERROR, "the colon after the clause parts is missing", \
      "Add the colon after the file number and clause words (CLOSE #1:).") \
    X(1030, ExpressionExpected, ERROR, \
      "an expression is missing, or a number or name is malformed", \
      "Complete the expression, or correct the number or name that is malformed.") \
    X(1032, NotAllowedHere, ERROR, "not allowed here (often a value of the wrong kind)", \
      "Check the kinds: a string where a number belongs or the reverse, or a construct that the " \
      "statement does not take.") \
    X(1034, StringOperand, ERROR, "a string operand where a number is required", \
      "Use a number here: convert the string with VAL, or use a string operation (& joins " \
      "strings).") \
    X(1036, AfterRelation, ERROR, "the expression ends after a comparison", \
      "Complete the comparison: a value must follow <, >, =, <=, >= and <>.") \
    X(1038, BadDateTime, ERROR, "a date or time that is not valid", \
      "Give a valid date (month/day/year, years 1970 to 2037) or time (hour:minute:second).") \
    X(1039, NotOperator, ERROR, "<<, >> and % are not operators", \
      "Use MOD(a, b) or REM(a, b) for a remainder; <<, >> and % are not operators.") \
    X(1042, FunctionMisplaced, ERROR, "a function name where it is not valid", \
      "A built-in function's name cannot stand here (as a variable, for example): choose " \
      "another name.") \
    X(1050, FormTooLong, ERROR, \
      "a compiled FORM longer than 250 bytes, or an expression too complex", \
      "Shorten the FORM (fewer items), or split the expression into several statements.") \
    X(1051, LineCodeTooLong, ERROR, "the line's code would take more than 255 bytes", \
      "Split the line into two or more lines.") \
    X(1052, LineNumber, ERROR, "a line number outside 1 to 99999", \
      "Use line numbers from 1 to 99999; RENUM with a smaller increment makes room.") \
    X(1060, CommandTooLong, ERROR, \
      "a command line longer than 800 bytes (a CONFIG statement: 128)", \
      "Shorten the command line to 800 characters (a CONFIG statement to 128).") \
    X(1070, FormNumber, ERROR, "a FORM length, position or decimals that is not a valid number", \
      "Write FORM lengths, positions and decimals as whole numbers.") \
    X(1080, TooManyOperands, ERROR, "more than 63 operands in one place", \
      "Split the list: at most 63 DATA items, print items or nested operands in one place.") \
    X(1110, NoTarget, ERROR, "a jump to a line that does not exist", \
      "Jump to a line that exists (LIST shows the lines), or add the line.") \
    X(1152, ActiveProgramDim, ERROR, "DIM, LIBRARY or a new array while a program is active", \
      "End the active program (GO END) before DIM, LIBRARY or a new array.") \
    X(2003, RangeOrder, ERROR, "a LIST or DEL range whose start lies after its end", \
      "Write the range with its smaller line number first (LIST 10-50).") \
    X(2082, Bytes, ERROR, "a byte count that does not fit", \
      "The byte count does not fit: use a smaller one.") \
    X(2083, Elements, ERROR, "an element count that does not fit", \
      "Use fewer elements in the array.") \
    X(2102, NoActiveProgram, ERROR, "GO without an active program", \
      "GO resumes a program that has stopped; RUN starts the program.") \
    X(2104, NoProgram, ERROR, "RUN of a program without lines", \
      "Type or LOAD the program's lines before RUN.") \
    X(2108, ProgramActive, ERROR, "a command refused while a program is active", \
      "End the active program first: GO END, or GO to let it finish.") \
    X(2220, FileName, ERROR, "a file name missing, or given twice", \
      "Give the file name, and only one output file (>name).") \
    X(2240, UnsupportedVersion, ERROR, "a program file of an unsupported version", \
      "LOAD the program's source file (.vxb) and SAVE it again with this release.") \
    X(2272, LibraryFunctionMissing, ERROR, "no loaded library has the function", \
      "Check the function's name and the LIBRARY statement: the library program must DEF the " \
      "function.") \
    X(2274, LibraryActive, ERROR, "a library with calls open", \
      "Wait until the library's running function has returned before linking the function " \
      "elsewhere.") \
    X(2278, OptionLevel, ERROR, "a library's option level or release mode does not fit", \
      "Save the library with the same option settings as the program; do not RELEASE a resident " \
      "library while its functions run.") \
    X(2280, NotLibrary, ERROR, "a program file not saved for library use", \
      "Name as library a program that was saved with its functions (DEF).") \
    X(2282, NotLinked, ERROR, "a library function that is not linked", \
      "Link the function's library with LIBRARY before the call, or DEF the function in the " \
      "program.") \
    X(2300, Reserved, ERROR, "a reserved statement", \
      "The statement is reserved: leave it out.") \
    X(4120, KeyDate, ERROR, "an invalid date in a date key part", \
      "Correct the record's date key part, or turn on OPTION 27 to let it through unconverted.") \
    X(4122, NotProgramFile, ERROR, "not a program file, or a file of the wrong type", \
      "Check the name: the file is not of the kind expected (a program file for LOAD, a key " \
      "file of the right kind, a help file for HELP).") \
    X(4123, KeyFileDamaged, ERROR, "a damaged key file (also: a damaged help file)", \
      "Make the key file again with INDEX (or INDEX ... REORG), or restore it from a copy. A " \
      "damaged help file (ktcmd.kth): build or install the system again.") \
    X(4124, RecordLength, ERROR, "record length or key parts differ from the file's", \
      "Open the file with the record length and key parts it was made with, or without them to " \
      "take the file's own.") \
    X(4125, VersionMismatch, ERROR, "VERSION= differs from the file's version", \
      "Open the file with its own VERSION= (VERSION(n) shows it), or leave VERSION= out.") \
    X(4126, ShortFile, ERROR, "the file is shorter than its header's record count", \
      "The file was cut short: restore it from a copy, or make it again.") \
    X(4127, KeyTypes, ERROR, "key file types differ between opens of one data file", \
      "Open every key file of one data file as the same kind (all B-tree or all ISAM).") \
    X(4129, NameTooLong, ERROR, "a name or path too long", \
      "Use a shorter name or path (below 512 characters).") \
    X(4145, Timeout, TIMEOUT, "no input within the time allowed", \
      "No key came within the time given by WAIT=: allow more time, or handle it with a TIMEOUT " \
      "exit.") \
    X(4146, OpenLockTimeout, ERROR, "the open or update lock not obtained within 15 seconds", \
      "Another copy holds the file's open or update lock: try again; STATUS LOCKS and the " \
      "file's name show who uses it.") \
    X(4147, TooManyOpens, ERROR, \
      "more than four opens of one file with one share class by one session", \
      "Close one of this session's opens of the file, or open it with another share class.") \
    X(4148, Sharing, LOCKED, "sharing conflict: the file is in use", \
      "Another program uses the file: wait until it closes the file, or open it with a share " \
      "class that allows both (SHR). STATUS LOCKS and the file's name show who uses it.") \
    X(4149, CompatibilityLock, LOCKED, "the file is locked by another program", \
      "Another program has locked the file: try again when it is done.") \
    X(4150, FileExists, ERROR, "the file (or directory) already exists", \
      "Use REPLACE (REPLACE command, REPLACE in OPEN, RENAME -F) to overwrite it, or choose " \
      "another name.") \
    X(4152, FileNotFound, ERROR, "the file does not exist", \
      "Check the name, the current directory (CHDIR, DIR) and the drive mapping (STATUS FILES). " \
      "The help file ktcmd.kth belongs beside the executable.") \
    X(4175, OtherLockOffset, LOCKED, "the file is in use under another lock offset", \
      "Every copy must use the same lock offset (OPTION 33): make the configurations agree.") \
    X(4179, RegistryBusy, ERROR, "the workstation registry could not be locked", \
      "Another copy holds the workstation registry: try again, and check the KTSERVER " \
      "directory.") \
    X(4180, BadDrive, ERROR, "a malformed DRIVE statement or drive letter", \
      "Write the DRIVE statement as docs/configuration.md gives it, with a drive letter A to Z.") \
    X(4184, DriveDefined, ERROR, "a drive defined twice", \
      "Define each drive letter once.") \
    X(4194, NullRewrite, ERROR, "a NULL record rewritten", \
      "A record of NULL bytes is refused while OPTION 98 or 99 checks for them: check the FORM " \
      "and the values.") \
    X(4195, NullRead, ERROR, "a NULL record read", \
      "A record of NULL bytes is refused while OPTION 98 or 99 checks for them: the record was " \
      "never written, or is damaged.") \
    X(4196, NullWrite, ERROR, "a NULL record written", \
      "A record of NULL bytes is refused while OPTION 98 or 99 checks for them: check the FORM " \
      "and the values.") \
    X(4203, PathNotFound, ERROR, "a directory of the path does not exist", \
      "Check the directory part of the name (MKDIR makes a directory).") \
    X(4204, OsCode129, ERROR, "an operating-system failure (code 129)", \
      "The operating system failed: check the file and try again; SYSERR$ gives its message.") \
    X(4205, AccessDenied, ERROR, \
      "access denied (also: a lock overlapping one held through the same handle)", \
      "Check the file's permissions (DIR -L), that it is not read-only, and that it is not a " \
      "directory.") \
    X(4206, BadHandle, ERROR, "not an open handle", \
      "Internal: the file's handle is not open; CLOSE the file and open it again.") \
    X(4215, BadName, ERROR, "an empty name, or a name of a bad form", \
      "Give a name made of valid characters.") \
    X(4216, OsCode159, ERROR, "an operating-system failure (code 159)", \
      "The operating system failed: check the file and try again; SYSERR$ gives its message.") \
    X(4217, NotSameDevice, ERROR, "a rename from one device to another", \
      "COPY the file to the other file system, then FREE the original.") \
    X(4221, DriveNotReady, ERROR, "the drive has no medium", \
      "Mount or insert the medium, then try again.") \
    X(4224, FileTooLarge, ERROR, "the file is too large for the locking mode", \
      "Set OPTION 33 (locking for large files) in every copy's configuration, or split the " \
      "file.") \
    X(4239, DiskFull, EOF_, "no space left on the disk (or quota, or file size limit)", \
      "Free space on the disk (or raise the quota), then try again.") \
    X(4270, EndOfRecords, EOF_, "no further record", \
      "There is no further record: end the loop with an EOF exit, or RESTORE to read from the " \
      "start.") \
    X(4271, PartialRecord, ERROR, "a partial record at the end of the file", \
      "The file ends inside a record (it was cut short): restore it from a copy, or rebuild it.") \
    X(4272, KeyNotFound, NOKEY, "no record with that key (also: no help topic of that name)", \
      "No record has that key: check the key (its case and length), or handle it with a NOKEY " \
      "exit. For help: no topic has that name; HELP alone lists the commands.") \
    X(4273, KeyNotFoundNear, NOKEY, "no record at or after that key", \
      "No key at or after it: the search passed the last key; handle it with a NOKEY exit.") \
    X(4276, UnlockNotHeld, ERROR, "unlock of a range not held through that handle", \
      "Internal: unlock only a range that this file number locked.") \
    X(4282, LinkedKey, ERROR, "the linked record does not carry the requested key", \
      "The LINKED file's chain and its key disagree: make the file again.") \
    X(4283, LinkedNeighbour, ERROR, "a linked neighbour record unreadable or deleted", \
      "The LINKED file's chain is damaged: make the file again.") \
    X(4299, CopyToItself, ERROR, "a copy or rename of a file onto itself", \
      "Give a destination other than the source.") \
    X(4320, OsOther, ERROR, "another operating-system failure (its code kept as last error)", \
      "SYSERR and SYSERR$ give the operating system's code and message: check the file or " \
      "device.") \
    X(4501, InvalidFunction, ERROR, "an operation the file or system does not support", \
      "The file or device does not support the operation.") \
    X(4513, InvalidData, ERROR, "an invalid argument or length", \
      "Check the argument: a length or value out of range.") \
    X(4514, OsNoMemory, ERROR, "the operating system is out of memory", \
      "Close files and programs to free memory, then try again.") \
    X(4521, NotReady, ERROR, "the device is not ready", \
      "Check that the device is connected and ready.") \
    X(4522, BadCommand, ERROR, "the device does not understand the command", \
      "The device does not support the command.") \
    X(4526, NotSystemDisk, ERROR, "not a disk of this system", \
      "Use a disk (a directory) of this system.") \
    X(6245, EscapeUnsupported, ERROR, "an escape sequence that native printing does not support", \
      "Leave the escape sequence out, or print through a printer definition that takes it.") \
    X(6247, BadColor, ERROR, "a printer colour that is not # and six hex digits", \
      "Write a printer colour as # and six hex digits (#FF0000).") \
    X(6248, BadPicture, ERROR, "a printer picture that is malformed or cannot be read", \
      "Check the picture file's name and its format.") \
    X(6260, SpoolCommandFailed, ERROR, "the spool command failed; the spool file is kept", \
      "Check the SPOOLCMD setting and the printer; the spool file is kept to print again.") \
    X(6261, PageRender, ERROR, "native printing could not make its page file", \
      "Check the free space and the print directory (PRINTDIR).") \
    X(6270, MissingQuote, ERROR, "a printer markup argument without its closing quote", \
      "Close the printer markup argument with its quote.") \
    X(7600, KeyBeyondRecord, ERROR, "a key part lies beyond the data record", \
      "Keep every key part inside the data record (position + length - 1 at most the record " \
      "length).") \
    X(7601, KeyLength, ERROR, "a key length of 0, or keys longer than 128 bytes", \
      "Give each key part a length of 1 or more, 128 key bytes in all at most.") \
    X(7602, BadKeys, ERROR, "records with invalid date keys", \
      "Correct the records whose date keys are not dates, or give INDEX the BADKEYS option.") \
    X(7603, DuplicateKeys, ERROR, "duplicate keys", \
      "Remove the duplicate keys, or give INDEX the DUPKEYS option to allow them.") \
    X(7604, NoParameters, ERROR, "no parameters for the utility", \
      "Give INDEX the data file, the key file and the key parts (docs/utilities.md).") \
    X(7605, BadOption, ERROR, "a bad option or key description", \
      "Check the options and the key description against docs/utilities.md.") \
    X(7606, KeysMissing, ERROR, "the records read and the keys written differ", \
      "Run INDEX again; when it persists the data file is damaged.") \
    X(7607, SortMemory, ERROR, "the sort memory holds fewer than 20 records", \
      "Raise MAX_SORT_MEMORY in the configuration.") \
    X(7609, DataFileType, ERROR, "the data file is of the wrong type", \
      "Name an INTERNAL data file as the data file.") \
    X(7610, DataNameLength, ERROR, "the data file name is too long", \
      "Use a shorter data file name (below 512 characters).") \
    X(7611, KeyNameLength, ERROR, "the key file name is too long", \
      "Use a shorter key file name (below 512 characters).") \
    X(7612, WorkNameLength, ERROR, "the work directory name is too long", \
      "Use a shorter work directory name (below 512 characters).") \
    X(7636, UtilityInterrupted, ERROR, "interrupted by the user", \
      "The attention key stopped the utility: run it again.") \
    X(7699, ReorgKeyLength, ERROR, "the rebuilt key file's key length differs", \
      "Give REORG or VERIFY the key file's own key parts, or none.") \
    X(7801, SortLine, ERROR, "an unknown sort control line", \
      "Check the control file's lines (FILE, ALTS, RECORD, MASK, SUM) and the SORT command " \
      "(docs/utilities.md).") \
    X(7804, SortFileLine, ERROR, "a bad FILE line in the sort control file", \
      "Correct the FILE line of the control file (docs/utilities.md).") \
    X(7805, SortRecordLine, ERROR, "a bad RECORD line in the sort control file", \
      "Correct the RECORD line of the control file.") \
    X(7807, SortMaskLine, ERROR, "a bad MASK line in the sort control file", \
      "Correct the MASK line of the control file.") \
    X(7810, SortInputType, ERROR, "the sort input file is of the wrong type", \
      "SORT reads INTERNAL files: name one as the input.") \
    X(7811, SortNoMemory, ERROR, "not enough memory for the sort", \
      "Raise MAX_SORT_MEMORY, or free memory.") \
    X(7812, SortOutputType, ERROR, "the sort output file is of the wrong type", \
      "Name an output file of the right type, or a new one for SORT to make.") \
    X(7821, SortAltsCode, ERROR, "an alternate collating code above 255", \
      "Alternate collating codes run from 0 to 255.") \
    X(7823, SortNoMask, ERROR, "the sort control file ends without a MASK line", \
      "End the control file with its MASK line.") \
    X(7825, SortRecordCount, ERROR, "more than 20 RECORD lines", \
      "Use at most 20 RECORD lines.") \
    X(7828, SortBeforeFile, ERROR, "a RECORD or MASK line before the FILE line", \
      "Put the FILE line first in the control file.") \
    X(7829, SortFieldBeyond, ERROR, "a sort field beyond the record", \
      "Keep the sort fields within the input record.") \
    X(7831, SortOutputShort, ERROR, "the sort output record is too short", \
      "Make the output record long enough for what the sort writes.") \
    X(7832, SortOutputNotEmpty, ERROR, "the sort output file is not empty", \
      "Name a new or empty output file.") \
    X(7853, SortControlMissing, ERROR, "the sort control file does not exist", \
      "Check the control file's name (the SORT command's argument).") \
    X(9000, NoMemory, ERROR, "out of memory (also: program cleared)", \
      "Free memory: CLEAR programs no longer needed, close files; split a program whose names " \
      "fill its dictionary.") \
    X(9001, WorkStack, ERROR, "the work stack is full", \
      "The statement holds too much at once or calls nest too deep: simplify it. STATUS STACKS " \
      "shows the use; the configuration sets the stacks' sizes.") \
    X(9002, RpnStack, ERROR, "the RPN stack is full", \
      "Simplify the expression: split it into several statements.") \
    X(9003, FlowStack, ERROR, "the flow stack is full (GOSUB, calls, procedure files)", \
      "Too many GOSUBs, calls or procedure files open at once: leave routines through RETURN " \
      "instead of jumping out of them.") \
    X(9004, ForStack, ERROR, "the FOR stack is full", \
      "Too many FOR loops open at once: leave loops through NEXT or EXIT instead of jumping out " \
      "of them.") \
    X(9005, Items, ERROR, "too many items in one statement", \
      "Split the statement: it has too many items.") \
    X(9006, SpoolCommandTooLong, ERROR, "a spool command longer than 200 characters", \
      "Shorten SPOOLCMD or the names it is given (200 characters in all).") \
    X(9111, CodeTotal, ERROR, "a program file's code total is wrong", \
      "The program file is damaged: LOAD its source (.vxb) and SAVE it again.") \
    X(9112, SourceTotal, ERROR, "a program file's source total is wrong", \
      "The program file is damaged: LOAD its source (.vxb) and SAVE it again.") \
    X(9201, BadAccess, ERROR, "an open with an unknown access value", \
      "Internal: an open with an unknown access value; report how it happened.") \
    X(9203, BadCreation, ERROR, "an open with an unknown creation value", \
      "Internal: an open with an unknown creation value; report how it happened.") \
    X(9301, Damaged, ERROR, "damaged code", \
      "The program's code is damaged: LOAD it again from its source file.") \
    X(9302, DamagedCall, ERROR, "a damaged function call", \
      "The program's code is damaged: LOAD it again from its source file.") \
    X(9303, NotFunction, ERROR, "a call of something that is not a function", \
      "The program's code is damaged: LOAD it again from its source file.") \
    X(9304, DefLayout, ERROR, "a damaged DEF clause", \
      "The program's code is damaged: LOAD it again from its source file.") \
    X(9305, DefBody, ERROR, "a DEF whose body lies outside its line", \
      "The program's code is damaged: LOAD it again from its source file.") \
    X(9306, FormalMarker, ERROR, "a damaged formal parameter", \
      "The program's code is damaged: LOAD it again from its source file.") \
    X(9307, BadCondition, ERROR, "a damaged condition code", \
      "The program's code is damaged: LOAD it again from its source file.") \
    X(9309, BadProgramFile, ERROR, "an inconsistent program file", \
      "The program file is damaged or larger than any program can be: LOAD its source file.") \
    X(9500, ExecuteTooLong, ERROR, \
      "an EXECUTE command longer than 800 bytes (also: an unknown attribute keyword)", \
      "Shorten the EXECUTE command to 800 characters; check the spelling of attribute names.") \
    X(9997, LibraryCurrent, ERROR, \
      "unbalanced parentheses, or a library current without a call to return from", \
      "Balance the line's parentheses. (Libraries: return from the running function before " \
      "another library is made current.)") \
    X(9999, Interrupted, ERROR, \
      "interrupted by the attention key (also: program block not empty)", \
      "The attention key stopped the program: GO resumes it, GO END ends it, LIST shows where " \
      "it stopped. The end of input stops a waiting INPUT the same way.") \
    X(10005, HelpRequest, HELP, "the help key, raised as a request (becomes 5)", \
      "Raised by the help key while a program runs; the program sees it as error 5 (ON HELP).")
// clang-format on

enum ErrorNumber : int {
#define VX_ERROR_ENUM(number, name, condition, text, advice) kErr##name = number,
    VX_ERRORS(VX_ERROR_ENUM)
#undef VX_ERROR_ENUM
};

// Numbers that carry a second meaning where the system uses them so.
inline constexpr int kErrLockOverlap = kErrAccessDenied;  // a lock overlaps one of this handle's
inline constexpr int kErrReleaseMode = kErrOptionLevel;   // LIBRARY RELEASE of a resident library
inline constexpr int kErrNotEmpty = kErrInterrupted;      // a program block that is not empty
inline constexpr int kErrWrongFileType = kErrNotProgramFile;  // a data file of the wrong type
inline constexpr int kErrUnknownAttribute = kErrExecuteTooLong;  // an unknown "^" word or attribute name

// The condition that traps error `err` (ERROR for a number outside the table).
ErrorCondition errorCondition(int err);
// The short text of error `err`; "" for a number outside the table.
const char* errorText(int err);
// What to do about error `err`; "" for a number outside the table.
const char* errorAdvice(int err);
// The name of a condition as ON and the error-exit lists write it ("EOF" for EOF_).
const char* conditionName(ErrorCondition condition);

// One row of the table, for the help file's generator and the tests.
struct ErrorInfo {
    int number;
    const char* name;  // without the kErr prefix
    ErrorCondition condition;
    const char* text;
    const char* advice;
};
// Every row, in ascending order of number.
std::span<const ErrorInfo> errorTable();

// Control outcomes.  Distinct negative values, never error numbers, so that no two modules give
// one value two meanings.
enum Outcome : int {
    kPaused = -1,           // PAUSE: the run stops after this clause
    kExecuteStop = -2,      // EXECUTE: command mode carries out the command, then the run resumes
    kCallPending = -3,      // a user-function call: its body runs, then the clause resumes
    kLeftCommandMode = -4,  // a command started a run or the shut-down: command mode is left
    kDeclined = -5,         // not this handler's case: the caller takes its general way
};

}  // namespace vxs
