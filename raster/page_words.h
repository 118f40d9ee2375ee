#pragma once

// The words found on a page, each with the box it covers, and its lines of
// text with their baselines, for outputs that carry a page's text (a
// searchable PDF, a text file beside the pages).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pagelift {

// One word: its text (UTF-8) and its box in the page's own pixels, rows
// counted as the page holds them (before any repetition for square
// pixels), right and bottom exclusive.
struct PageWord {
    std::string text;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool startsLine = false;  // the first word of a line of text
};

// One line of text: its words, and the line its letters stand on from the
// left end to the right one, in the page's pixels as for words (rows may
// be fractions where the page's rows were repeated to be read).
struct PageLine {
    size_t firstWord = 0;  // index of its first word in PageText::words
    size_t wordCount = 0;
    double baselineLeftX = 0;
    double baselineLeftY = 0;
    double baselineRightX = 0;
    double baselineRightY = 0;
};

// The text of a page in reading order, its words in the same order, and
// its lines, which hold every word once, in order.
struct PageText {
    std::string text;  // lines separated by '\n'
    std::vector<PageWord> words;
    std::vector<PageLine> lines;
};

}  // namespace pagelift
