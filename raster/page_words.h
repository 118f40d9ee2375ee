#pragma once

// The words found on a page, each with the box it covers, for outputs that
// carry a page's text (a searchable PDF, a text file beside the pages).

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

// The text of a page in reading order, and its words in the same order.
struct PageText {
    std::string text;  // lines separated by '\n'
    std::vector<PageWord> words;
};

}  // namespace pagelift
