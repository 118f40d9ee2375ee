#pragma once

#include "raster/page_bitmap.h"

#include <string>

namespace pagelift {

// Results of writePngPage.
enum PngWriteResult : int {
    PngWritten = 0,
    PngCannotOpen = 1,     // the PNG file cannot be created or put in place
    PngFailed = 3,         // the library failed (its message has gone to standard error)
    PngPageUnusable = 4,   // the page's pixels do not hold its rows (see GrayPage): nothing is written
};

// Writes the page as a one-bit grayscale PNG: its own width, its rows each
// repeated rowFactor times as in every output (square pixels), 1 white, and
// a pHYs chunk of that squared resolution when the page states one. The
// file is written under its partial name beside `path` and renamed to it
// only once complete; a failure leaves nothing there. Never ends the process.
int writePngPage(const PageBitmap& page, const std::string& path);

}  // namespace pagelift
