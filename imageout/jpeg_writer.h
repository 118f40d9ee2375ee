#pragma once

#include "raster/page_bitmap.h"

#include <string>

namespace pagelift {

// Results of writeJpegPage.
enum JpegWriteResult : int {
    JpegWritten = 0,
    JpegCannotOpen = 1,           // the JPEG file cannot be created or put in place
    JpegWrittenWithWarnings = 2,  // complete file, but the library counted warnings
    JpegFailed = 3,               // a fatal error of the library (an empty page among them)
    JpegPageUnusable = 4,         // the page's pixels do not hold its rows (see GrayPage): nothing is written
};

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
// already there). Returns a JpegWriteResult; a fatal error's message has
// gone to standard error. Never ends the process.
int writeJpegPage(const PageBitmap& page, const std::string& path, int quality, bool optimize,
                  JpegFeed feed = JpegFeed::FromBits);

}  // namespace pagelift
