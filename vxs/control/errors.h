// The one table of error numbers.  Every routine returns 0 or one of these (compile errors are
// negative: compiler/codes.h); each number is defined here once, with the ON condition that traps
// it and a short text, so that commands, statements, the condition search and tests agree.
// Beside them, the control outcomes: what a routine returns, other than 0 and an error number,
// when the run or command mode is to change course.
#pragma once

namespace vxs {

// The conditions of the ON table and of error-exit lists that an error falls under.  ERROR
// catches everything; an I/O statement's IOERR catches its errors but for PAGEOFLOW.
enum class ErrorCondition : unsigned char {
    ERROR, CONV, SOFLOW, OFLOW, HELP, ZDIV, DUPREC, NOKEY, NOREC, EOF_, PAGEOFLOW, LOCKED, TIMEOUT,
    EVENT,
};

// X(number, name, condition, text): kErr<name> = number; an error trapped by `condition`.
// clang-format off
#define VX_ERRORS(X) \
    X(1, Interrupt, EVENT, "a function key or event without its own line") \
    X(2, Conversion, CONV, "a conversion failed (VAL, STR$, input of a number)") \
    X(3, NumericOverflow, OFLOW, "a number too large for its field") \
    X(4, StringOverflow, SOFLOW, "a string too long for its variable") \
    X(5, HelpKey, HELP, "the help key") \
    X(6, ArithmeticOverflow, ZDIV, "division by zero or an arithmetic overflow") \
    X(53, DuplicateRecord, DUPREC, "a record with that key exists already") \
    X(54, EndOfFile, EOF_, "end of file") \
    X(57, NoRecord, NOREC, "no record at that number") \
    X(58, FieldOverflow, SOFLOW, "a string too long for its field") \
    X(61, RecordLocked, LOCKED, "a record or byte range locked by another open or process") \
    X(62, NotHeld, ERROR, "a record rewritten or deleted without holding its lock in a shared file") \
    X(105, NotArray, ERROR, "an array operation on a scalar") \
    X(106, ArrayCounts, ERROR, "arrays of different sizes in one operation") \
    X(108, StringTooLong, ERROR, "a string result above 32767 bytes") \
    X(120, Bound, ERROR, "a subscript outside the array's bounds") \
    X(121, Dimension, ERROR, "a dimension number too large") \
    X(122, Subscript, ERROR, "a subscript count that does not fit the array") \
    X(123, Dimensions, ERROR, "too many dimensions") \
    X(201, ReturnWithoutGosub, ERROR, "RETURN without GOSUB") \
    X(202, FnendWithoutCall, ERROR, "FNEND without a function call") \
    X(205, FnkeyNumber, ERROR, "a function-key number outside its table") \
    X(211, NoRecordedError, ERROR, "CONTINUE or RETRY without a recorded error") \
    X(213, PastEnd, ERROR, "the run went past the last line without END") \
    X(220, NextWithoutFor, ERROR, "NEXT without FOR") \
    X(230, BadExitLine, ERROR, "an EXIT reference that is not an exit line") \
    X(301, ArgumentCount, ERROR, "a function called with the wrong number of arguments") \
    X(302, NotAvailable, ERROR, "the facility has no handler in this build") \
    X(303, NotVariable, ERROR, "a by-reference argument that is not a variable") \
    X(304, ArgumentKind, ERROR, "an argument of the wrong kind") \
    X(307, NoAssignTarget, ERROR, "an assignment without a target") \
    X(315, FixedArray, ERROR, "a fixed array redimensioned") \
    X(402, Log, ERROR, "LOG of zero or a negative number") \
    X(403, Sqr, ERROR, "SQR of a negative number") \
    X(410, BadCharacter, ERROR, "a bad trim, pad or PIC$ character, hex digit or CHR$ byte") \
    X(411, DateFormat, ERROR, "a default date format longer than 6 characters") \
    X(420, DebugLinked, ERROR, "a debugger link is already open") \
    X(422, DebugHost, ERROR, "the debugger's host cannot be resolved") \
    X(424, DebugConnect, ERROR, "the connection to the debugger is refused") \
    X(426, DebugListen, ERROR, "the debugger port is not a number, or cannot be bound") \
    X(428, DebugAccept, ERROR, "accepting the debugger's connection failed") \
    X(430, NotInputMode, ERROR, "a debugger command while command mode does not wait for one") \
    X(600, SubstituteOverflow, ERROR, "a name or value too long (SUBSTITUTE growth, an OPEN value)") \
    X(602, KeyFileSame, ERROR, "the key file is the data file, or a key file without key parts") \
    X(603, TranslateOpen, ERROR, "the TRANSLATE= file cannot be opened") \
    X(604, TranslateSize, ERROR, "the TRANSLATE= file has a wrong size") \
    X(605, OpenSyntax, ERROR, "an OPEN string that does not parse") \
    X(606, KeyParts, ERROR, "invalid key parts") \
    X(607, KeyFileAccess, ERROR, "KFNAME= given without KEYED access, or KEYED without KFNAME=") \
    X(608, InputOnly, ERROR, "output to a file this process has open for input only") \
    X(609, PrinterNameForm, ERROR, "a printer name without \"/\"") \
    X(610, FileOpen, ERROR, "the file number is already open") \
    X(614, SharedDisplay, ERROR, "a DISPLAY file opened for shared output") \
    X(615, DisplayOutin, ERROR, "a DISPLAY file opened OUTIN") \
    X(630, WindowGeometry, ERROR, "window geometry out of range") \
    X(632, BadCollation, ERROR, "a key file header with an unknown collation") \
    X(642, NoParent, ERROR, "PARENT= does not name an open window") \
    X(701, PageOverflow, PAGEOFLOW, "the page is full") \
    X(704, FileNotOpen, ERROR, "the file number is not open") \
    X(706, FileNumber, ERROR, "a file number out of range") \
    X(719, UnknownOperation, ERROR, "an operation the file does not know") \
    X(721, WrongMode, ERROR, "not allowed for this file type or mode") \
    X(726, NotPlainString, CONV, "input that is not a plain string") \
    X(731, BadPosition, ERROR, "a negative file position, one past 2^63-1, or an unknown origin") \
    X(801, FormSpec, ERROR, "a CFORM$ or CNVRT$ specification that does not compile") \
    X(802, BadPic, ERROR, "a PIC mask that is empty or not closed") \
    X(805, BadFmt, ERROR, "a bad FMT or DATE mask") \
    X(812, BadRgb, ERROR, "a bad RGB value or an unknown colour name") \
    X(853, BadFkey, ERROR, "a bad function-key item of a field") \
    X(854, FieldRow, ERROR, "a field row outside the window") \
    X(857, FieldColumn, ERROR, "a field column or size outside the window") \
    X(858, FieldSeparator, ERROR, "a missing separator in a field specification") \
    X(861, FieldKind, ERROR, "a bad format kind or modifier") \
    X(862, FieldLength, ERROR, "a bad field length or decimals") \
    X(867, CursorStart, ERROR, "a cursor start outside the field's data") \
    X(875, FieldText, ERROR, "unexpected text after a field specification") \
    X(902, EnvName, ERROR, "an invalid environment variable name") \
    X(904, EnvNameEmpty, ERROR, "an empty environment variable name") \
    X(920, Dictionary, ERROR, "a code word beyond the dictionary") \
    X(1000, UnrecognizedWord, ERROR, "a word that is no keyword of the command, or a bad file name") \
    X(1003, UnclosedQuote, ERROR, "a quote that is not closed") \
    X(1006, Unrecognized, ERROR, "a line or argument that is not understood") \
    X(1008, NotFileCommand, ERROR, "the file-command handler asked for another command") \
    X(1020, FormStructure, ERROR, "a FORM structure error: unknown, misplaced or unbalanced item") \
    X(1038, BadDateTime, ERROR, "a date or time that is not valid") \
    X(1050, FormTooLong, ERROR, "a compiled FORM longer than 250 bytes") \
    X(1052, LineNumber, ERROR, "a line number outside 1 to 99999") \
    X(1060, CommandTooLong, ERROR, "a command line longer than 800 bytes (a CONFIG statement: 128)") \
    X(1070, FormNumber, ERROR, "a FORM length, position or decimals that is not a valid number") \
    X(1110, NoTarget, ERROR, "a jump to a line that does not exist") \
    X(2003, RangeOrder, ERROR, "a LIST or DEL range whose start lies after its end") \
    X(2082, Bytes, ERROR, "a byte count that does not fit") \
    X(2083, Elements, ERROR, "an element count that does not fit") \
    X(2102, NoActiveProgram, ERROR, "GO without an active program") \
    X(2104, NoProgram, ERROR, "RUN of a program without lines") \
    X(2108, ProgramActive, ERROR, "a command refused while a program is active") \
    X(2220, FileName, ERROR, "a file name missing, or given twice") \
    X(2240, UnsupportedVersion, ERROR, "a program file of an unsupported version") \
    X(2272, LibraryFunctionMissing, ERROR, "no loaded library has the function") \
    X(2274, LibraryActive, ERROR, "a library with calls open") \
    X(2278, OptionLevel, ERROR, "a library's option level or release mode does not fit") \
    X(2280, NotLibrary, ERROR, "a program file not saved for library use") \
    X(2282, NotLinked, ERROR, "a library function that is not linked") \
    X(2300, Reserved, ERROR, "a reserved statement") \
    X(4120, KeyDate, ERROR, "an invalid date in a date key part") \
    X(4122, NotProgramFile, ERROR, "not a program file, or a file of the wrong type") \
    X(4123, KeyFileDamaged, ERROR, "a damaged key file") \
    X(4124, RecordLength, ERROR, "record length or key parts differ from the file's") \
    X(4125, VersionMismatch, ERROR, "VERSION= differs from the file's version") \
    X(4126, ShortFile, ERROR, "the file is shorter than its header's record count") \
    X(4127, KeyTypes, ERROR, "key file types differ between opens of one data file") \
    X(4129, NameTooLong, ERROR, "a name or path too long") \
    X(4145, Timeout, TIMEOUT, "no input within the time allowed") \
    X(4146, OpenLockTimeout, ERROR, "the open or update lock not obtained within 15 seconds") \
    X(4147, TooManyOpens, ERROR, "more than four opens of one file with one share class by one session") \
    X(4148, Sharing, LOCKED, "sharing conflict: the file is in use") \
    X(4149, CompatibilityLock, LOCKED, "the file is locked by another program") \
    X(4150, FileExists, ERROR, "the file (or directory) already exists") \
    X(4152, FileNotFound, ERROR, "the file does not exist") \
    X(4175, OtherLockOffset, LOCKED, "the file is in use under another lock offset") \
    X(4179, RegistryBusy, ERROR, "the workstation registry could not be locked") \
    X(4180, BadDrive, ERROR, "a malformed DRIVE statement or drive letter") \
    X(4184, DriveDefined, ERROR, "a drive defined twice") \
    X(4194, NullRewrite, ERROR, "a NULL record rewritten") \
    X(4195, NullRead, ERROR, "a NULL record read") \
    X(4196, NullWrite, ERROR, "a NULL record written") \
    X(4203, PathNotFound, ERROR, "a directory of the path does not exist") \
    X(4204, OsCode129, ERROR, "an operating-system failure (code 129)") \
    X(4205, AccessDenied, ERROR, "access denied (also: a lock overlapping one held through the same handle)") \
    X(4206, BadHandle, ERROR, "not an open handle") \
    X(4215, BadName, ERROR, "an empty name, or a name of a bad form") \
    X(4216, OsCode159, ERROR, "an operating-system failure (code 159)") \
    X(4217, NotSameDevice, ERROR, "a rename from one device to another") \
    X(4221, DriveNotReady, ERROR, "the drive has no medium") \
    X(4224, FileTooLarge, ERROR, "the file is too large for the locking mode") \
    X(4239, DiskFull, EOF_, "no space left on the disk (or quota, or file size limit)") \
    X(4270, EndOfRecords, EOF_, "no further record") \
    X(4271, PartialRecord, ERROR, "a partial record at the end of the file") \
    X(4272, KeyNotFound, NOKEY, "no record with that key") \
    X(4273, KeyNotFoundNear, NOKEY, "no record at or after that key") \
    X(4276, UnlockNotHeld, ERROR, "unlock of a range not held through that handle") \
    X(4282, LinkedKey, ERROR, "the linked record does not carry the requested key") \
    X(4283, LinkedNeighbour, ERROR, "a linked neighbour record unreadable or deleted") \
    X(4299, CopyToItself, ERROR, "a copy or rename of a file onto itself") \
    X(4320, OsOther, ERROR, "another operating-system failure (its code kept as last error)") \
    X(4501, InvalidFunction, ERROR, "an operation the file or system does not support") \
    X(4513, InvalidData, ERROR, "an invalid argument or length") \
    X(4514, OsNoMemory, ERROR, "the operating system is out of memory") \
    X(4521, NotReady, ERROR, "the device is not ready") \
    X(4522, BadCommand, ERROR, "the device does not understand the command") \
    X(4526, NotSystemDisk, ERROR, "not a disk of this system") \
    X(6245, EscapeUnsupported, ERROR, "an escape sequence that native printing does not support") \
    X(6247, BadColor, ERROR, "a printer colour that is not # and six hex digits") \
    X(6248, BadPicture, ERROR, "a printer picture that is malformed or cannot be read") \
    X(6260, SpoolCommandFailed, ERROR, "the spool command failed; the spool file is kept") \
    X(6261, PageRender, ERROR, "native printing could not make its page file") \
    X(6270, MissingQuote, ERROR, "a printer markup argument without its closing quote") \
    X(7600, KeyBeyondRecord, ERROR, "a key part lies beyond the data record") \
    X(7601, KeyLength, ERROR, "a key length of 0, or keys longer than 128 bytes") \
    X(7602, BadKeys, ERROR, "records with invalid date keys") \
    X(7603, DuplicateKeys, ERROR, "duplicate keys") \
    X(7604, NoParameters, ERROR, "no parameters for the utility") \
    X(7605, BadOption, ERROR, "a bad option or key description") \
    X(7606, KeysMissing, ERROR, "the records read and the keys written differ") \
    X(7607, SortMemory, ERROR, "the sort memory holds fewer than 20 records") \
    X(7609, DataFileType, ERROR, "the data file is of the wrong type") \
    X(7610, DataNameLength, ERROR, "the data file name is too long") \
    X(7611, KeyNameLength, ERROR, "the key file name is too long") \
    X(7612, WorkNameLength, ERROR, "the work directory name is too long") \
    X(7636, UtilityInterrupted, ERROR, "interrupted by the user") \
    X(7699, ReorgKeyLength, ERROR, "the rebuilt key file's key length differs") \
    X(7801, SortLine, ERROR, "an unknown sort control line") \
    X(7804, SortFileLine, ERROR, "a bad FILE line in the sort control file") \
    X(7805, SortRecordLine, ERROR, "a bad RECORD line in the sort control file") \
    X(7807, SortMaskLine, ERROR, "a bad MASK line in the sort control file") \
    X(7810, SortInputType, ERROR, "the sort input file is of the wrong type") \
    X(7811, SortNoMemory, ERROR, "not enough memory for the sort") \
    X(7812, SortOutputType, ERROR, "the sort output file is of the wrong type") \
    X(7821, SortAltsCode, ERROR, "an alternate collating code above 255") \
    X(7823, SortNoMask, ERROR, "the sort control file ends without a MASK line") \
    X(7825, SortRecordCount, ERROR, "more than 20 RECORD lines") \
    X(7828, SortBeforeFile, ERROR, "a RECORD or MASK line before the FILE line") \
    X(7829, SortFieldBeyond, ERROR, "a sort field beyond the record") \
    X(7831, SortOutputShort, ERROR, "the sort output record is too short") \
    X(7832, SortOutputNotEmpty, ERROR, "the sort output file is not empty") \
    X(7853, SortControlMissing, ERROR, "the sort control file does not exist") \
    X(9000, NoMemory, ERROR, "out of memory (also: program cleared)") \
    X(9001, WorkStack, ERROR, "the work stack is full") \
    X(9002, RpnStack, ERROR, "the RPN stack is full") \
    X(9003, FlowStack, ERROR, "the flow stack is full (GOSUB, calls, procedure files)") \
    X(9004, ForStack, ERROR, "the FOR stack is full") \
    X(9005, Items, ERROR, "too many items in one statement") \
    X(9006, SpoolCommandTooLong, ERROR, "a spool command longer than 200 characters") \
    X(9111, CodeTotal, ERROR, "a program file's code total is wrong") \
    X(9112, SourceTotal, ERROR, "a program file's source total is wrong") \
    X(9201, BadAccess, ERROR, "an open with an unknown access value") \
    X(9203, BadCreation, ERROR, "an open with an unknown creation value") \
    X(9301, Damaged, ERROR, "damaged code") \
    X(9302, DamagedCall, ERROR, "a damaged function call") \
    X(9303, NotFunction, ERROR, "a call of something that is not a function") \
    X(9304, DefLayout, ERROR, "a damaged DEF clause") \
    X(9305, DefBody, ERROR, "a DEF whose body lies outside its line") \
    X(9306, FormalMarker, ERROR, "a damaged formal parameter") \
    X(9307, BadCondition, ERROR, "a damaged condition code") \
    X(9309, BadProgramFile, ERROR, "an inconsistent program file") \
    X(9500, ExecuteTooLong, ERROR, "an EXECUTE command longer than 800 bytes (also: an unknown attribute keyword)") \
    X(9997, LibraryCurrent, ERROR, "a library current without a call to return from") \
    X(9999, Interrupted, ERROR, "interrupted by the attention key (also: program block not empty)") \
    X(10005, HelpRequest, HELP, "the help key, raised as a request (becomes 5)")
// clang-format on

enum ErrorNumber : int {
#define VX_ERROR_ENUM(number, name, condition, text) kErr##name = number,
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
