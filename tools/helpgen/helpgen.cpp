// vxhelpgen: makes the command help file ktcmd.kth from our documentation and the error table,
// and docs/errors.md from the error table, so that the help, the documentation and the error
// numbers the system shows never part.  The build runs it (CMakeLists.txt); a test runs it again
// and compares.
//
// Usage: vxhelpgen --source DIR [--help FILE.kth] [--errors FILE.md] [--check]
//   --source  the source tree (its docs/ are read)
//   --help    writes the help file
//   --errors  writes the list of error numbers (the committed copy is docs/errors.md)
//   --check   fails (exit status 1) when a command of the command table has no help text
//
// Topics (docs/help-file.md gives the rules with examples):
//   CMDMENU       every command with one line on what it does, how to get help, how to leave;
//   UNRECOGNIZED  what to do about a word that is no command;
//   ERRnnnn       each error number of the table: its text, what to do, its ON condition, and
//                 the rows of the documentation's error tables that name it;
//   a word        each command, statement and function word, from the sections of
//                 docs/commands.md, language.md, files.md, screens.md and utilities.md that name
//                 it: a heading naming the word (comma-separated; each item's first word), a row
//                 of a table headed "Command", "Function" or "Statement" naming it in a code
//                 span of its first cell, a list item that begins with the word in a code span
//                 and a colon.  Headings and list items count only for the system's own words
//                 (the command table, the statement keywords, the function names).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/helpgen/markdown.h"
#include "vxs/command/cmdshared.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/keywords.h"
#include "vxs/errors/errors.h"
#include "vxs/debugger/helpfile.h"
#include "vxs/platform/files.h"

namespace {

using helpgen::Block;

constexpr size_t kWidth = 78;  // text lines fit an 80-column screen with a margin
constexpr const char* kDocs[] = {"docs/commands.md", "docs/language.md", "docs/files.md",
                                 "docs/screens.md", "docs/utilities.md"};

struct Part {
    std::string title;   // the heading, the row's first cell or the item's code span
    std::string source;  // docs/x.md
    std::vector<std::string> lines;
    bool section = false;  // a heading's section: an empty line between title and text
};

struct Topic {
    std::set<std::string> kinds;
    std::vector<Part> parts;
};

struct Generator {
    std::set<std::string> commands, statements, functions;
    std::map<std::string, Topic> topics;
    // One line on what each command does: from its list item, else the table row naming it
    // alone, else a row naming it with others.
    std::map<std::string, std::pair<int, std::string>> summaries;
    // Lines of the documentation's error tables, by error number.
    std::map<int, std::vector<std::string>> errorNotes;

    bool systemWord(const std::string& w) const {
        return commands.count(w) || statements.count(w) || functions.count(w);
    }
    void addPart(const std::string& word, Part part) {
        Topic& t = topics[word];
        for (const Part& p : t.parts)
            if (p.title == part.title && p.source == part.source && p.lines == part.lines) return;
        t.parts.push_back(std::move(part));
    }
    void noteSummary(const std::string& word, int rank, const std::string& text) {
        auto it = summaries.find(word);
        if (it == summaries.end() || it->second.first > rank) summaries[word] = {rank, text};
    }
    void readDoc(const std::string& name, std::string_view text);
};

bool isUpperWord(std::string_view w) {
    if (w.size() < 2 || !(w[0] >= 'A' && w[0] <= 'Z')) return false;
    for (char c : w)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$'))
            return false;
    return true;
}

// The word a code span or heading item begins with ("READ ..., KEY=k" is READ, "LEN(s)" LEN).
std::string leadingWord(std::string_view s) {
    size_t end = 0;
    while (end < s.size() &&
           (std::isalnum(static_cast<unsigned char>(s[end])) || s[end] == '_' || s[end] == '$'))
        ++end;
    return std::string(s.substr(0, end));
}

// The words a heading names: each comma-separated item's first word.
std::vector<std::string> headingWords(const std::string& heading) {
    std::vector<std::string> words;
    size_t at = 0;
    for (;;) {
        const size_t comma = heading.find(',', at);
        std::string_view item = std::string_view(heading).substr(at, comma - at);
        while (!item.empty() && (item.front() == ' ' || item.front() == '`')) item.remove_prefix(1);
        const std::string w = leadingWord(item);
        if (isUpperWord(w)) words.push_back(w);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return words;
}

// The first clause of a text, for a one-line summary of at most `width` columns.
std::string firstClause(std::string text, size_t width) {
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    size_t cut = text.size();
    for (const char* stop : {"; ", " (", ": ", ". "}) cut = std::min(cut, text.find(stop));
    text.resize(cut);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    if (text.size() > width) {
        const size_t blank = text.rfind(' ', width - 4);
        text = text.substr(0, blank == std::string::npos ? width - 4 : blank) + " ...";
    }
    return text;
}

void Generator::readDoc(const std::string& name, std::string_view text) {
    const std::vector<Block> blocks = helpgen::parseMarkdown(text);
    for (size_t i = 0; i < blocks.size(); ++i) {
        const Block& b = blocks[i];
        if (b.kind == Block::kHeading && b.level >= 2) {
            std::vector<std::string> words;
            for (const std::string& w : headingWords(helpgen::plainText(b.lines[0])))
                if (systemWord(w)) words.push_back(w);
            if (words.empty()) continue;
            size_t end = i + 1;
            while (end < blocks.size() &&
                   !(blocks[end].kind == Block::kHeading && blocks[end].level <= b.level))
                ++end;
            const std::vector<Block> body(blocks.begin() + static_cast<long>(i) + 1,
                                          blocks.begin() + static_cast<long>(end));
            Part part{helpgen::plainText(b.lines[0]), name, helpgen::renderBlocks(body, kWidth),
                      true};
            for (const std::string& w : words) addPart(w, part);
        } else if (b.kind == Block::kTable && !b.lines.empty()) {
            const std::vector<std::string> header = helpgen::tableCells(b.lines[0]);
            const std::string first = helpgen::plainText(header[0]);
            if (first == "Command" || first == "Function" || first == "Statement") {
                for (size_t r = 1; r < b.lines.size(); ++r) {
                    const std::vector<std::string> cells = helpgen::tableCells(b.lines[r]);
                    std::vector<std::string> words;
                    for (const std::string& span : helpgen::codeSpans(cells[0])) {
                        const std::string w = leadingWord(span);
                        // A function table names any function (ABS, INT and SGN are operators
                        // written as functions); the other tables the system's own words.
                        if (isUpperWord(w) && (first == "Function" || systemWord(w)) &&
                            std::find(words.begin(), words.end(), w) == words.end())
                            words.push_back(w);
                    }
                    Part part{helpgen::plainText(cells[0]), name, {}};
                    for (size_t c = 1; c < cells.size() && c < header.size(); ++c) {
                        const std::string value = helpgen::plainText(cells[c]);
                        if (value.empty()) continue;
                        const std::string label = helpgen::plainText(header[c]) + ": ";
                        for (std::string& l : helpgen::wrapText(value, "  " + label, 4, kWidth))
                            part.lines.push_back(std::move(l));
                    }
                    for (const std::string& w : words) {
                        if (first == "Function") functions.insert(w);
                        addPart(w, part);
                        if (first == "Command" && cells.size() > 1 && name == "docs/commands.md")
                            noteSummary(w, words.size() == 1 ? 1 : 2, helpgen::plainText(cells[1]));
                    }
                }
            } else if (first == "Error") {
                // Error tables: each number in the first cell gets the row with its section.
                std::string section;
                for (size_t h = i; h-- > 0;)
                    if (blocks[h].kind == Block::kHeading) {
                        section = helpgen::plainText(blocks[h].lines[0]);
                        break;
                    }
                for (size_t r = 1; r < b.lines.size(); ++r) {
                    const std::vector<std::string> cells = helpgen::tableCells(b.lines[r]);
                    std::string rest;
                    for (size_t c = 1; c < cells.size(); ++c) {
                        const std::string value = helpgen::plainText(cells[c]);
                        if (value.empty()) continue;
                        if (!rest.empty()) rest += "; ";
                        rest += value;
                    }
                    const std::string numbers = helpgen::plainText(cells[0]);
                    for (size_t at = 0; at < numbers.size();) {
                        while (at < numbers.size() &&
                               !std::isdigit(static_cast<unsigned char>(numbers[at])))
                            ++at;
                        size_t end = at;
                        while (end < numbers.size() &&
                               std::isdigit(static_cast<unsigned char>(numbers[end])))
                            ++end;
                        if (end > at && end - at <= 6)
                            errorNotes[std::stoi(numbers.substr(at, end - at))].push_back(
                                section + " (" + name + "): " + rest);
                        at = end;
                    }
                }
            }
        } else if (b.kind == Block::kItem) {
            // "- `COPY from to`: copies ..." describes COPY; "- `MKDIR name`, `RMDIR name`: ..."
            // both words.
            const std::string& md = b.lines[0];
            std::vector<std::string> spans;
            size_t at = 0;
            while (at < md.size() && md[at] == '`') {
                const size_t close = md.find('`', at + 1);
                if (close == std::string::npos) break;
                spans.push_back(md.substr(at + 1, close - at - 1));
                at = close + 1;
                if (md.compare(at, 2, ", ") == 0)
                    at += 2;
                else if (md.compare(at, 5, " and ") == 0)
                    at += 5;
            }
            if (spans.empty() || at == 0 || md.compare(at, 1, ":") != 0 || md[at - 1] != '`')
                continue;
            std::vector<std::string> words;
            for (const std::string& span : spans)
                if (const std::string w = leadingWord(span); systemWord(w)) words.push_back(w);
            if (words.empty()) continue;
            // The item without its words, then what continues it.
            Block rest = b;
            rest.kind = Block::kParagraph;
            rest.inItem = true;
            rest.lines[0] = md.substr(at + 1);
            std::vector<Block> body{rest};
            for (size_t j = i + 1; j < blocks.size() && blocks[j].inItem &&
                                   blocks[j].level >= b.level && blocks[j].kind != Block::kItem;
                 ++j)
                body.push_back(blocks[j]);
            std::string title;
            for (const std::string& span : spans)
                title += (title.empty() ? "" : ", ") + helpgen::plainText(span);
            const Part part{title, name, helpgen::renderBlocks(body, kWidth)};
            for (const std::string& w : words) {
                addPart(w, part);
                if (commands.count(w) && name == "docs/commands.md")
                    noteSummary(w, 0, helpgen::plainText(md.substr(at + 1)));
            }
        }
    }
}

std::string kindsText(const std::set<std::string>& kinds) {
    std::string out;
    for (const char* k : {"command", "statement", "function"}) {
        if (!kinds.count(k)) continue;
        if (!out.empty()) out += ", ";
        out += k;
    }
    return out;
}

void appendLines(std::string& text, const std::vector<std::string>& lines) {
    for (const std::string& l : lines) text += l + "\n";
}

std::string conditionAdvice(vxs::ErrorCondition c) {
    const std::string name = vxs::conditionName(c);
    if (c == vxs::ErrorCondition::ERROR)
        return "A program traps it with ON ERROR, or with an ERROR exit (IOERR for an I/O "
               "statement) in the statement's error-exit list.";
    return "A program traps it with ON " + name + " or a " + name +
           " exit in the statement's error-exit list; without them ON ERROR (ON IOERR for an "
           "I/O statement) takes it.";
}

// The numbers of the compile errors, which command mode shows as positive numbers.
bool compileError(int number) {
    static constexpr int kCompileErrors[] = {
        vxs::kCeString,         vxs::kCeArrayName,   vxs::kCeSyntax,         vxs::kCeAfterCommit,
        vxs::kCeKeywordMissing, vxs::kCeColon,       vxs::kCeColonAfterPart, vxs::kCeExpression,
        vxs::kCeNotAllowed,     vxs::kCeAfterString, vxs::kCeAfterRelation,  vxs::kCeOperator,
        vxs::kCeFunction,       vxs::kCeWorkArea,    vxs::kCeLineTooLong,    vxs::kCeLineNumber,
        vxs::kCeWords,          vxs::kCeActive,      vxs::kCeNoMemory,       vxs::kCeParen,
    };
    for (int c : kCompileErrors)
        if (-c == number) return true;
    return false;
}

std::string errorTopicName(int number) {
    char buf[24];
    snprintf(buf, sizeof buf, "ERR%04d", number);
    return buf;
}

std::vector<vxs::HelpTopic> makeTopics(Generator& g) {
    std::vector<vxs::HelpTopic> out;
    // Words of the system and of the documentation's function tables.
    for (auto& [word, topic] : g.topics) {
        if (g.commands.count(word)) topic.kinds.insert("command");
        if (g.statements.count(word)) topic.kinds.insert("statement");
        if (g.functions.count(word)) topic.kinds.insert("function");
        vxs::HelpTopic t;
        t.name = word;
        t.title = word;
        if (const std::string kinds = kindsText(topic.kinds); !kinds.empty())
            t.title += " - " + kinds;
        bool first = true;
        for (const Part& p : topic.parts) {
            if (!first) t.text += "\n";
            first = false;
            appendLines(t.text, helpgen::wrapText(p.title + " (" + p.source + ")", "", 2, kWidth));
            if (p.section && !p.lines.empty()) t.text += "\n";
            appendLines(t.text, p.lines);
        }
        out.push_back(std::move(t));
    }
    // The command menu.
    {
        vxs::HelpTopic t{"CMDMENU", "CMDMENU - the commands", ""};
        appendLines(t.text, helpgen::wrapText(
                                "The commands (each may be abbreviated to any unique beginning: "
                                "LI is LIST):",
                                "", 0, kWidth));
        t.text += "\n";
        const vxs::KeywordTable& table = vxs::commandTable();
        for (int p = 1; p <= table.size(); ++p) {
            const std::string name = table.name(p);
            std::string line = "  " + name;
            line.resize(12, ' ');
            const auto it = g.summaries.find(name);
            line += it == g.summaries.end() ? std::string("(see HELP ") + name + ")"
                                            : firstClause(it->second.second, kWidth - 12);
            t.text += line + "\n";
        }
        t.text += "\n";
        appendLines(t.text,
                    helpgen::wrapText(
                        "HELP and a command's name shows its help (HELP LIST); HELP and a "
                        "statement's or a function's keyword shows that (HELP PRINT, HELP VAL). "
                        "After an error, HELP alone (or the help key, F1) says what the error "
                        "means and what to do; HELP and a number explains that error (HELP 4152). "
                        "A line that begins with a number is a program line; any other line that "
                        "is not a command is a statement that runs at once.",
                        "", 0, kWidth));
        t.text += "\n";
        appendLines(t.text, helpgen::wrapText(
                                "To leave this help: Escape, q or Enter.  To end the session: "
                                "SYSTEM.",
                                "", 0, kWidth));
        out.push_back(std::move(t));
    }
    // An unknown word.
    {
        vxs::HelpTopic t{"UNRECOGNIZED", "UNRECOGNIZED - a word that is no command", ""};
        appendLines(t.text,
                    helpgen::wrapText("The word is no command, and no help topic has that name.",
                                      "", 0, kWidth));
        t.text += "\n";
        appendLines(t.text,
                    helpgen::wrapText(
                        "What to do: check the spelling.  A command may be abbreviated to any "
                        "unique beginning (LI is LIST); HELP alone lists the commands.  "
                        "Statements and functions are written as docs/language.md describes "
                        "them; HELP and a statement's keyword shows its help.",
                        "", 0, kWidth));
        t.text += "\n";
        std::string names = "The commands:";
        const vxs::KeywordTable& table = vxs::commandTable();
        for (int p = 1; p <= table.size(); ++p) names += std::string(" ") + table.name(p);
        appendLines(t.text, helpgen::wrapText(names + ".", "", 2, kWidth));
        t.text += "\n";
        appendLines(t.text,
                    helpgen::wrapText(
                        "A line that begins with a number is a program line; any other line "
                        "that is not a command runs at once as a statement (PRINT X, X = 5), and a "
                        "word that is no keyword there is error 1001 or 1006.",
                        "", 0, kWidth));
        out.push_back(std::move(t));
    }
    // Every error number.
    for (const vxs::ErrorInfo& e : vxs::errorTable()) {
        vxs::HelpTopic t;
        t.name = errorTopicName(e.number);
        t.title = t.name + " - " + e.text;
        if (t.title.size() > vxs::kHelpMaxTitle) t.title.resize(vxs::kHelpMaxTitle);
        appendLines(t.text, helpgen::wrapText("Error " + std::to_string(e.number) + ": " + e.text,
                                              "", 2, kWidth));
        t.text += "\n";
        appendLines(t.text,
                    helpgen::wrapText(std::string("What to do: ") + e.advice, "", 2, kWidth));
        t.text += "\n";
        if (compileError(e.number)) {
            appendLines(t.text,
                        helpgen::wrapText("As the error of a line that does not compile: the line "
                                          "is not stored, and it is offered again in the input "
                                          "field to be corrected.",
                                          "", 0, kWidth));
            t.text += "\n";
        }
        appendLines(t.text, helpgen::wrapText(conditionAdvice(e.condition), "", 0, kWidth));
        if (const auto it = g.errorNotes.find(e.number); it != g.errorNotes.end()) {
            t.text += "\nIn the documentation:\n";
            for (const std::string& note : it->second)
                appendLines(t.text, helpgen::wrapText(note, "- ", 2, kWidth));
        }
        out.push_back(std::move(t));
    }
    return out;
}

std::string cellText(std::string s) {
    std::string out;
    for (char c : s) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

std::string errorsDocument() {
    std::string md =
        "# Error numbers\n"
        "\n"
        "Every error number the system shows, with its text and what to do about it.  This file "
        "is made\nfrom the error table (`vxs/errors/errors.h`) by `tools/helpgen` "
        "(`cmake --build <dir> --target\nerrors_md` writes it here); a test fails when it "
        "differs from the table.  The same texts are the\nhelp topics `ERRnnnn`: `HELP` after "
        "an error, `HELP 4152`, or `HELP$(\"ERR4152\")`.\n"
        "\n"
        "Compile errors are shown as positive numbers; where a number also has a meaning at run "
        "time, the\nrow gives both.  The last column is the condition that traps the error in a "
        "program (`ON` and\nthe error-exit lists, docs/language.md); every error is trapped by "
        "`ERROR` as well.\n"
        "\n"
        "| Error | Meaning | What to do | Condition |\n"
        "|---|---|---|---|\n";
    for (const vxs::ErrorInfo& e : vxs::errorTable())
        md += "| " + std::to_string(e.number) + " | " + cellText(e.text) + " | " +
              cellText(e.advice) + " | " + vxs::conditionName(e.condition) + " |\n";
    return md;
}

bool readFile(const std::string& path, std::string& text) {
    std::vector<uint8_t> data;
    if (vxs::platform::readWholeFile(path, data, 16u << 20) != 0) return false;
    text.assign(data.begin(), data.end());
    return true;
}

bool writeFile(const std::string& path, const std::string& text) {
    return vxs::platform::writeFileSafely(
               path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()),
                                              text.size())) == 0;
}

int usage() {
    fprintf(stderr,
            "usage: vxhelpgen --source DIR [--help FILE.kth] [--errors FILE.md] [--check]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string source, helpOut, errorsOut;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--check") {
            check = true;
        } else if (i + 1 < argc && a == "--source") {
            source = argv[++i];
        } else if (i + 1 < argc && a == "--help") {
            helpOut = argv[++i];
        } else if (i + 1 < argc && a == "--errors") {
            errorsOut = argv[++i];
        } else {
            return usage();
        }
    }
    if (source.empty()) return usage();

    Generator g;
    const vxs::KeywordTable& commandTable = vxs::commandTable();
    for (int p = 1; p <= commandTable.size(); ++p) g.commands.insert(commandTable.name(p));
    const vxs::KeywordTable& statements = vxs::statementKeywords();
    for (int p = 1; p <= statements.size(); ++p) g.statements.insert(statements.name(p));
    for (const vxs::KeywordTable* t : {&vxs::stringFunctions(), &vxs::numericFunctions()})
        for (int p = 1; p <= t->size(); ++p) g.functions.insert(t->name(p));

    for (const char* doc : kDocs) {
        std::string text;
        if (!readFile(source + "/" + doc, text)) {
            fprintf(stderr, "vxhelpgen: cannot read %s/%s\n", source.c_str(), doc);
            return 1;
        }
        g.readDoc(doc, text);
    }

    int status = 0;
    for (const std::string& c : g.commands)
        if (!g.topics.count(c)) {
            fprintf(stderr, "vxhelpgen: the command %s has no help text in the documentation\n",
                    c.c_str());
            if (check) status = 1;
        }

    if (!helpOut.empty()) {
        std::string image;
        if (int err = vxs::encodeHelpFile(makeTopics(g), image)) {
            fprintf(stderr, "vxhelpgen: the topics do not fit the help file (error %d)\n", err);
            return 1;
        }
        if (!writeFile(helpOut, image)) {
            fprintf(stderr, "vxhelpgen: cannot write %s\n", helpOut.c_str());
            return 1;
        }
    }
    if (!errorsOut.empty() && !writeFile(errorsOut, errorsDocument())) {
        fprintf(stderr, "vxhelpgen: cannot write %s\n", errorsOut.c_str());
        return 1;
    }
    return status;
}
