#pragma once

// How large a page comes out once its rows are repeated to square its
// pixels, and the largest page the program converts.

#include "raster/page_bitmap.h"

#include <cstdint>
#include <string>

namespace pagelift {

// The largest page converted, in output pixels (padded row width times rows
// after repetition). Every real fax page fits: A3 at 600 dpi, the largest
// one can meet, is 7016 x 9921, about 70 million. The bound keeps a
// conversion's memory under 256 MiB whatever the input declares: the JPEG
// library's Huffman optimisation holds two bytes per pixel of the whole page.
inline constexpr int64_t kMaxPagePixels = 100'000'000;

// The longest side a JPEG file can state.
inline constexpr int64_t kMaxPageSide = 65500;

inline constexpr int kMaxRowFactor = 8;

// How many times each page row is repeated so that low vertical resolution
// pages come out with square pixels: xResolution / yResolution, at least 1
// and at most kMaxRowFactor. A page without a vertical resolution (0) keeps
// its rows as they are.
int rowFactor(const PageBitmap& page);

// The page's size in output pixels: its width (padded to whole bytes) and
// its rows times rowFactor. Negative fields count as 0.
struct OutputSize {
    int64_t width = 0;
    int64_t height = 0;
};
OutputSize outputSizeOf(const PageBitmap& page);

// True when the page, as it comes out, stays within kMaxPagePixels and
// kMaxPageSide. A page described without its raster is judged by the size
// its header states.
bool fitsOutputLimits(const PageBitmap& page);

// What a report says of a page beyond those limits, for example
// "page too large: 32000 x 32000" (its width and its rows after repetition).
std::string pageTooLargeText(const PageBitmap& page);

}  // namespace pagelift
