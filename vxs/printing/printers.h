// Printer translation: the table a printer file uses (PRINTER statements over a built-in
// EPSON, IBMCOLOR, OKIDATA or OKIDATA84 table), and the translation of printed lines by it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vxs {

// The translation of one printer file, resolved when it opens.  Keys are "[NAME]" (matched
// without regard to case) or "+" followed by a raw byte sequence; `init` and `reset` are the
// [INIT+] and [RESET+] sequences.
struct PrinterSetup {
    std::string table;  // the printer name whose table was chosen; empty for the default printer
    std::string init, reset;
    int lpp = 0;  // lines per page; 0 when not set
    std::vector<std::pair<std::string, std::string>> keys;
};

// The built-in table of printer type 1 EPSON, 2 IBMCOLOR, 3 OKIDATA, 4 OKIDATA84 (empty for
// any other type), including its [INIT+] and [RESET+] entries.
const std::vector<std::pair<std::string, std::string>>& builtinPrinterKeys(int type);

// The setup of printer `name` (a PRINTER statement's printer name, any case): its named table
// when there is one, else the default printer's, whose own keys go before the built-in table
// it selected (so they override it).
PrinterSetup printerSetup(std::string_view name);

// Translates one printed line: every key found in it, left to right, is replaced by its value
// (the longest key at a position wins); other bytes are copied.  A line without keys comes
// back unchanged.
std::string translatePrinterLine(const PrinterSetup& setup, std::string_view line);

}  // namespace vxs
