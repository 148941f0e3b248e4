// The part of Markdown that our documentation uses, read into blocks (headings, paragraphs, list
// items, code, tables) and written back as plain text lines of at most a given width, for the
// help file's topics.  Bytes outside ASCII become their nearest ASCII (box drawing as + - |).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace helpgen {

struct Block {
    enum Kind { kHeading, kParagraph, kItem, kCode, kTable } kind = kParagraph;
    int level = 0;       // a heading's level (1 for "#"); a list item's depth from 0
    std::string marker;  // a list item's marker ("-", "1.")
    // kHeading, kParagraph, kItem: the text (lines joined by blanks); kCode: its lines;
    // kTable: its rows, the separator row left out, each row's cells separated by '\t'.
    std::vector<std::string> lines;
    bool inItem = false;  // code or a paragraph that continues the list item before it
    int line = 0;         // where it starts in the file (1-based)
};

// Reads a Markdown text into blocks.
std::vector<Block> parseMarkdown(std::string_view text);

// A table row's cells (as parseMarkdown stores them), still in Markdown.
std::vector<std::string> tableCells(const std::string& row);

// Markdown inline text as plain ASCII: code spans keep their text without the backticks,
// emphasis marks and link targets go, "\|" is "|".
std::string plainText(std::string_view markdown);

// The code spans of a Markdown text, in order, without their backticks.
std::vector<std::string> codeSpans(std::string_view markdown);

// Words of `text` filled into lines of at most `width` columns: the first line begins with
// `first`, the others with `hang` blanks.  A word longer than a line stands on a line alone.
std::vector<std::string> wrapText(std::string_view text, std::string_view first, size_t hang,
                                  size_t width);

// Blocks as plain text lines of at most `width` columns (code lines as they are, indented).
std::vector<std::string> renderBlocks(const std::vector<Block>& blocks, size_t width);

// Text in ASCII: the few other characters the documentation uses become their nearest ASCII,
// any other becomes "?".
std::string asciiText(std::string_view utf8);

}  // namespace helpgen
