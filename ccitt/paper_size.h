#pragma once

#include <cstdint>

namespace pagelift {

enum PaperSize : uint8_t { PaperA4 = 1, PaperB4 = 2, PaperA3 = 3 };

struct PaperClass {
    uint16_t xResolution;  // dots per inch
    uint8_t paperSize;     // PaperSize
};

// The horizontal resolution and paper class that a fax line width implies.
// Never fails: widths above every known class give 400 dpi, A3.
PaperClass paperSizeForWidth(int32_t width);

}  // namespace pagelift
