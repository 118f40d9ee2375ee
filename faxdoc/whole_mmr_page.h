#pragma once

#include "raster/page_bitmap.h"

#include <cstdint>
#include <vector>

namespace pagelift {

// What a container header says about a page stored as one run of T.6 data.
struct WholeMmrPage {
    uint8_t bitOrder = 1;    // 1: most significant bit first; 2: least
    uint8_t flagCount = 3;   // flag bytes a resumption after damage looks for
    int64_t width = 0;       // as the header gives them, unchecked
    int64_t rows = 0;
    int64_t resolution = 0;  // dots per inch in both directions; 0 or less: not given
};

// Decodes `data` as that page into `page`, polarity 0 and no T.6 options,
// with the header's resolution (200 when it gives none). The page is left
// empty when its size is empty or too large or no row decodes.
void decodeWholeMmrPage(const std::vector<uint8_t>& data, const WholeMmrPage& header, PageBitmap& page);

}  // namespace pagelift
