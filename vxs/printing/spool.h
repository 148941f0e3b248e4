// Printer files as print jobs: the spool file a job writes (named from [SPOOLPATH] and
// "ktspl%d", made unique), its translation and page length, and what CLOSE does with it: the
// SPOOLCMD template (or the default `lp` command) for PRN: and DIRECT:, a PDF page file drawn
// by native printing for WIN: and PREVIEW:.
//
// A job's states: open (spool file created, nothing written) -> printing (the [INIT+] sequence
// went out before the first line) -> closed by finishPrintJob, which sends [RESET+], closes the
// file and prints it.  The spool file is removed only after its command succeeded; a failed
// command or drawing keeps it and reports the error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "vxs/datafiles/device.h"
#include "vxs/printing/printers.h"

namespace vxs {

// The device prefixes of printer file names, in the order names are matched.
enum class PrintDevice : uint8_t { kDirect, kSpool, kNative, kPreview };
// The device a printer name (upper case, e.g. "PRN:/10") starts with; kSpool when none does.
PrintDevice printDeviceOf(std::string_view name);

struct PrintJobRequest {
    std::string name;         // the printer file's name, upper case ("PRN:/10", "WIN:/SELECT")
    int copies = 1;           // COPIES=
    std::string printer;      // PRINTER=: the destination, over the name's part after "/"
    std::string printerType;  // PRINTER_TYPE=: the translation table, over the name's printer
};

class PrintJob final {
  public:
    PrintJob() = default;
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;
    ~PrintJob();  // a job never finished is abandoned: its spool file is closed and kept

    // Writes one line: [INIT+] first when nothing was written yet, the line translated by the
    // printer's table, then `lineEnd` (CR LF or LF, once per line feed).  With lines per page
    // set, a form feed starts the next page after that many line feeds without one.
    [[nodiscard]] int write(std::string_view line, std::string_view lineEnd);
    int linesPerPage() const { return setup_.lpp; }
    const std::string& spoolPath() const { return path_; }
    PrintDevice device() const { return device_; }

  private:
    friend int openPrintJob(const PrintJobRequest&, std::unique_ptr<PrintJob>&);
    friend int finishPrintJob(PrintJob&, std::string&);
    [[nodiscard]] int put(std::string_view bytes);
    PrintJobRequest request_;
    PrintDevice device_ = PrintDevice::kSpool;
    PrinterSetup setup_;
    std::string path_;
    int fd_ = -1;
    bool started_ = false;   // [INIT+] sent
    bool pageFull_ = false;  // the page reached its lines: a form feed before the next line
    int pageLines_ = 0;
};

// Creates the job's spool file.  Returns 0 or the error of creating it.
[[nodiscard]] int openPrintJob(const PrintJobRequest& request, std::unique_ptr<PrintJob>& out);
// Finishes the job (see above).  `message` receives a text for the status line (where a
// preview was written when it cannot be shown).  Returns 0, 9006 (spool command too long),
// 6260 (the command failed: the spool file is kept), 6261 (the page file could not be made),
// the escape errors of native printing, or a file error.
[[nodiscard]] int finishPrintJob(PrintJob& job, std::string& message);

// The printer device of the data files (datafiles/device.h): a print job per OPEN of a printer
// name, finished (printed) at CLOSE.
[[nodiscard]] int openPrinterDevice(const DeviceRequest& request, std::unique_ptr<DeviceStream>& out);

// ---- the spool command ----
// The values of the spool command's keys for one job.
struct SpoolKeys {
    std::string name;       // [NAME=]: the printer file's name
    int copies = 1;         // [COPIES]
    std::string spoolFile;  // [SPOOLFILE]: the OS name (only its last component with OPTION 49)
    std::string program;    // [PROGRAM]: the running program's file name without directory
    int wsid = 0;           // [WSID]
};
struct SpoolCommand {
    std::string text;          // what the shell runs
    bool wait = false;         // "-W" was given
    bool console = false;      // "-C" was given
    bool substituted = false;  // false for a "~" template, run as written
    bool stopped = false;      // substitution stopped at the growth limit: some keys are kept
};
// Builds the command from the SPOOLCMD template: "~" runs it as written; otherwise the keys
// [NAME=], [QUEUE], [PRINTER], [COPIES], [SPOOLFILE], [PROGRAM], [WSID] are replaced where they
// stand in the template (any case; a substituted value is never searched for keys again), in
// that order, stopping before a replacement that would grow the text by more than 150
// characters.  Each value is written so that the shell reads exactly the value where its key
// stands: outside quotes as it is when every byte is plain, else in single quotes; inside a
// quoted part of the template escaped for that quoting.  A key after a backslash (outside single
// quotes) or in a comment stays as text.  The leading "@", "-W" and "-C" of the template are
// taken off.  Returns 0, 9006 when the command is longer than 200 characters, 4215 when a value holds a NUL
// byte.  Logs "Initial spoolcmd string %s" and "Final spoolcmd string %s" at level 9.
[[nodiscard]] int buildSpoolCommand(std::string_view tmpl, const SpoolKeys& keys,
                                    SpoolCommand& out);
// The [QUEUE] and [PRINTER] parts of a printer name: after the four-character prefix up to
// "/", and after "/".
std::string spoolQueueOf(std::string_view name);
std::string spoolPrinterOf(std::string_view name);

// Where the running program's file name comes from (set by the interpreter side at start-up);
// printing does not know programs itself.
void setSpoolProgramSource(std::string (*source)());

// Finishes the spooler's pending work (shut-down): nothing is held between jobs.
void spoolFinishPending();
// Frees the print queue (shut-down).
void freePrintQueue();

}  // namespace vxs
