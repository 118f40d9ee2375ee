#pragma once

// TIFF files of blank Group 4 pages of any size, made in a few bytes: every
// row of a white page codes as a single bit. They stand for what a stranger
// can send: a small file that declares an enormous page.

#include <cstdint>
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

}  // namespace pagelift::testing
