#pragma once

#include "platform/write_result.h"
#include "raster/page_bitmap.h"

#include <string>

namespace pagelift {

// How the page reaches the JPEG library; both give byte-identical files.
// FromBits (with optimised Huffman tables only): the quantised coefficients
// and the tables are computed here from the page's bytes, blank blocks and
// two-valued rows taking short cuts, and the library writes the file from
// them. Rows: the library is given 8-bit rows and does it all.
enum class JpegFeed { FromBits, Rows };

// Writes the page as a baseline grayscale JFIF file of its GrayPage image
// (padded width, rows repeated to square the pixels), byte for byte what
// `cjpeg -grayscale -quality Q [-optimize]` writes from a PGM of that image.
// quality is limited to 1..100 by the library. The file is written beside
// `path` under its partial name and renamed to `path` only once complete,
// so a failure never leaves a partial file there (nor replaces a file
// already there). Returns written, or why not: NothingToEncode for a page
// whose pixels do not hold its rows (see GrayPage) or that is empty, the
// library's own words for its failures (none reach standard error), the
// system's for the file's. Never ends the process.
WriteResult writeJpegPage(const PageBitmap& page, const std::string& path, int quality, bool optimize,
                          JpegFeed feed = JpegFeed::FromBits);

}  // namespace pagelift
