#pragma once

#include <string>

namespace pagelift {

// Results of compressBitmapToJpeg.
enum JpegStageResult : int {
    JpegWritten = 0,
    JpegCannotOpen = 1,           // bitmap unreadable, or the JPEG file cannot be created
    JpegWrittenWithWarnings = 2,  // complete file, but the library counted warnings
    JpegFailed = 3,               // a fatal error of the library or the bitmap reader
};

// How 8-bit rows with a gray colour map reach the JPEG library when a
// grayscale JPEG is made. All give byte-identical files. GrayWhenPossible:
// with optimised Huffman tables, the quantised coefficients and the tables
// are computed here (a fax page's blank and two-valued blocks take short
// cuts) and the library writes the file from them; without, gray rows as
// GrayRows. GrayRows: the library transforms the rows itself, with no colour
// conversion. AlwaysRgb: rows as RGB. Colour images always go as RGB.
enum class JpegRowFeed { GrayWhenPossible, GrayRows, AlwaysRgb };

// Compresses an uncompressed 8- or 24-bit BMP file into a baseline JFIF file,
// byte for byte what `cjpeg [-grayscale] -quality Q [-optimize]` writes from
// the same bitmap. quality is limited to 1..100 by the library. The JPEG is
// written beside jpegPath under a temporary name and renamed over jpegPath
// only once complete, so a failure never leaves a partial file there.
// Returns JpegWritten or JpegWrittenWithWarnings (file in place);
// JpegCannotOpen when the bitmap cannot be opened (nothing is created) or the
// JPEG cannot be created or put in place; JpegFailed after a fatal error,
// whose message has gone to standard error. Never ends the process.
int compressBitmapToJpeg(const std::string& bitmapPath, const std::string& jpegPath, int quality,
                         bool grayscale, bool optimize);

// The same, with the row feed chosen (for measurements and tests).
int compressBitmapToJpeg(const std::string& bitmapPath, const std::string& jpegPath, int quality,
                         bool grayscale, bool optimize, JpegRowFeed feed);

}  // namespace pagelift
