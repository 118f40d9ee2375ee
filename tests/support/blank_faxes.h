#pragma once

// TIFF files of Group 4 pages: of given strips, and of blank pages of any
// size, made in a few bytes (every row of a white page codes as a single
// bit), which stand for what a stranger can send: a small file that
// declares an enormous page.

#include <cstdint>
#include <string>
#include <vector>

namespace pagelift::testing {

struct BlankPage {
    uint32_t width = 1728;
    uint32_t rows = 2200;
    uint32_t xDpi = 200;
    uint32_t yDpi = 200;
};

// A little-endian TIFF file with one directory per page, each page one
// Group 4 strip.
std::vector<uint8_t> blankGroup4Tiff(const std::vector<BlankPage>& pages);

// A page of Group 4 data; a text left empty is not written.
struct Group4Page {
    BlankPage size;
    std::vector<uint8_t> strip;
    std::string dateTime;     // the DateTime tag
    std::string description;  // the ImageDescription tag
};

// The same for pages of given data and texts.
std::vector<uint8_t> group4Tiff(const std::vector<Group4Page>& pages);

}  // namespace pagelift::testing
