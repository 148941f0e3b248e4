// Fuzz target: SPOOLCMD templates and the values put into them.  The input is split at its NUL
// bytes into a template, a printer file name and a program name (the other keys are fixed).
// The template is built with those values: buildSpoolCommand answers 0, 9006 or 4215 (a NUL in
// a value); a built command is at most 200 characters, and substitution stays within its growth
// limit.  Then the name and program go into one of several fixed templates, where each key
// stands as a word of its own (bare, in quotes, in command substitutions), and the command runs
// through /bin/sh (with no PATH, printing its words): the shell must receive each value as
// exactly one word, and nothing else.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/shell_words.h"
#include "vxs/errors/errors.h"
#include "vxs/printing/spool.h"

namespace {

// What the shell receives for an empty value, which is written as a blank: outside quotes no
// word at all, or an empty word when the blank is the argument of a command substitution;
// inside quotes the blank itself.
enum class Empty { kNoWord, kEmptyWord, kBlank };

struct FixedTemplate {
    const char* text;
    Empty empty[4];     // for [NAME=], [QUEUE], [PRINTER], [PROGRAM] in that order
    bool substitution;  // each word comes out of a command substitution: trailing newlines go
};

constexpr FixedTemplate kTemplates[] = {
    {"[NAME=] [QUEUE] [PRINTER] [PROGRAM]",
     {Empty::kNoWord, Empty::kNoWord, Empty::kNoWord, Empty::kNoWord}, false},
    {"'[NAME=]' '[QUEUE]' '[PRINTER]' '[PROGRAM]'",
     {Empty::kBlank, Empty::kBlank, Empty::kBlank, Empty::kBlank}, false},
    {"\"[NAME=]\" \"[QUEUE]\" \"[PRINTER]\" \"[PROGRAM]\"",
     {Empty::kBlank, Empty::kBlank, Empty::kBlank, Empty::kBlank}, false},
    {"\"$(printf %s [NAME=])\" \"`printf %s [QUEUE]`\" \"$(printf %s \"[PRINTER]\")\" "
     "\"`printf %s '[PROGRAM]'`\"",
     {Empty::kEmptyWord, Empty::kEmptyWord, Empty::kBlank, Empty::kBlank}, true},
};

std::string lastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void checkWords(const FixedTemplate& t, const vxs::SpoolKeys& keys) {
    vxs::SpoolCommand cmd;
    const int err = vxs::buildSpoolCommand(t.text, keys, cmd);
    if (err == vxs::kErrSpoolCommandTooLong) return;
    if (err != 0) abort();
    if (cmd.stopped) return;  // some keys kept: the words are not the values
    std::vector<std::string> want;
    const std::string values[] = {keys.name, vxs::spoolQueueOf(keys.name),
                                  vxs::spoolPrinterOf(keys.name), lastComponent(keys.program)};
    for (int k = 0; k < 4; ++k) {
        std::string v = values[k];
        if (v.empty() && t.empty[k] == Empty::kNoWord) continue;
        if (v.empty() && t.empty[k] == Empty::kBlank) v = " ";
        if (t.substitution)
            while (!v.empty() && v.back() == '\n') v.pop_back();
        want.push_back(v);
    }
    const vxs::test::ShellWords got = vxs::test::shellWords(cmd.text);
    if (got.status != 0 || got.words != want) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const size_t nul = in.find('\0');
    const std::string_view tmpl = in.substr(0, nul);
    std::string_view rest = nul == std::string_view::npos ? std::string_view() : in.substr(nul + 1);
    const size_t nul2 = rest.find('\0');
    vxs::SpoolKeys keys;
    keys.name = nul == std::string_view::npos ? "PRN:/10" : std::string(rest.substr(0, nul2));
    keys.copies = 2;
    keys.spoolFile = "./ktspl7.001";
    keys.program = nul2 == std::string_view::npos ? "/apps/INVOICE.vx"
                                                   : std::string(rest.substr(nul2 + 1));
    keys.wsid = 7;
    const bool hasNul = keys.name.find('\0') != std::string::npos ||
                        keys.program.find('\0') != std::string::npos;
    vxs::SpoolCommand cmd;
    const int err = vxs::buildSpoolCommand(tmpl, keys, cmd);
    if (err == vxs::kErrBadName) {
        // Only a value with a NUL byte is refused.
        if (!hasNul) abort();
        return 0;
    }
    if (err != vxs::kErrSpoolCommandTooLong) {
        if (err != 0) abort();
        if (cmd.text.size() > 200) abort();
        // Substitution never adds more than 150 characters (quotes and escapes included).
        if (cmd.substituted && cmd.text.size() > tmpl.size() + 150) abort();
    }
    (void)vxs::spoolQueueOf(keys.name);
    (void)vxs::spoolPrinterOf(keys.name);
    if (!hasNul) checkWords(kTemplates[size % std::size(kTemplates)], keys);
    return 0;
}
