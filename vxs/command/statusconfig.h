// The sections of the STATUS report that show the configuration: CONFIG, ATTRIBUTES, PRINTER,
// BTREE_VERIFY, KEYBOARD, COLORS and SUBSTITUTE.  Every line is a statement, or a line the
// configuration reader accepts without a message, so a listing reads back as a configuration
// file that makes the same settings (docs/configuration.md).
#pragma once

#include <functional>
#include <string_view>

namespace vxs {

// Receives report text in which "\n" ends lines; returns false to stop the report.
using ReportSink = std::function<bool(std::string_view)>;

// Each writes its section and returns false when the sink stopped it (true when it ran to the
// end).  A section hands the sink one line at a time, each ending with "\n".
bool reportConfigSection(const ReportSink& out);      // CONFIG
bool reportAttributesSection(const ReportSink& out);  // ATTRIBUTES
bool reportPrinterSection(const ReportSink& out);     // PRINTER
bool reportBtreeVerifySection(const ReportSink& out); // BTREE_VERIFY
bool reportKeyboardSection(const ReportSink& out);    // KEYBOARD
bool reportColorsSection(const ReportSink& out);      // COLORS
bool reportSubstituteSection(const ReportSink& out);  // SUBSTITUTE

}  // namespace vxs
