#pragma once

#include "platform/fax_time.h"
#include "platform/write_result.h"
#include "raster/page_words.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagelift {

// One page of a PDF: a one-bit image of Group 4 data that fills the page.
struct PdfPage {
    const std::vector<uint8_t>* group4 = nullptr;  // T.6 data, most significant bit first
    int32_t width = 0;                             // pixels
    int32_t rows = 0;
    uint16_t xResolution = 0;  // dots per resolutionUnit; 0 when not known
    int16_t yResolution = 0;
    uint8_t resolutionUnit = 2;  // 3 centimetre, anything else inch
    // Words found on the page, in its pixels, drawn over it as invisible
    // text so that viewers find and select them, and their lines; either
    // may be null.
    const std::vector<PageWord>* words = nullptr;
    const std::vector<PageLine>* lines = nullptr;
};

// The document information of a PDF; empty texts are left out.
struct PdfInfo {
    std::string title;
    std::string author;
    std::string subject;
    std::string keywords;
    std::string producer;
    std::string date;  // a PDF date ("D:20261209143000"), the creation and modification date
};

// The size of a page in points (1/72 inch): its pixels at its resolution,
// so that a standard-resolution fax keeps its height without any row
// repeated. A resolution that is not stated counts as 200 dpi across and
// as the horizontal one down.
struct PdfPageSize {
    double width = 0;
    double height = 0;
};
PdfPageSize pdfPageSize(const PdfPage& page);

// Writes a PDF 1.4 file with a cross-reference table: one page per entry of
// `pages`, in their order, each drawn as its image (/CCITTFaxDecode, /K -1,
// 0 black) with its words over it, and `info` as its document information.
// The words are invisible text (rendering mode 3) placed line by line
// (imageout/pdf_text_layer.h) in an embedded TrueType font without glyphs,
// whose character codes map back to Unicode. The file is written
// under its partial name beside `path` and renamed to it only once complete;
// a failure leaves nothing there. Returns written, or why not:
// NothingToEncode for no page, or a page without data or size (nothing is
// written then), the system's words for the file's failures.
WriteResult writePdfDocument(const std::vector<PdfPage>& pages, const PdfInfo& info, const std::string& path);

// A fax's date and time as a PDF date without a time zone, since fax
// containers state none ("D:20261209143000").
std::string pdfDateOf(const FaxDateTime& time);

// A time (seconds since 1970) as a PDF date in local time with its offset
// from UTC ("D:20261209143000+01'00'").
std::string pdfDateOfTime(int64_t seconds);

// A text as a PDF string object: printable ASCII as a literal string, any
// other text as UTF-16BE with a byte-order mark, read as UTF-8 when it is
// valid UTF-8 and byte by byte as Latin-1 when not.
std::string pdfTextString(std::string_view text);

}  // namespace pagelift
