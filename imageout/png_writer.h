#pragma once

#include "platform/write_result.h"
#include "raster/page_bitmap.h"

#include <string>

namespace pagelift {

// Writes the page as a one-bit grayscale PNG: its own width, its rows each
// repeated rowFactor times as in every output (square pixels), 1 white, and
// a pHYs chunk of that squared resolution when the page states one. The
// file is written under its partial name beside `path` and renamed to it
// only once complete; a failure leaves nothing there. Returns written, or
// why not: NothingToEncode for a page whose pixels do not hold its rows
// (see GrayPage) or that is empty, the library's own words for its
// failures (none reach standard error), the system's for the file's.
// Never ends the process.
WriteResult writePngPage(const PageBitmap& page, const std::string& path);

}  // namespace pagelift
