#pragma once

// The formats a conversion writes, one row each: its name, the extension of
// its files, the words its report lines use, whether it writes a file per
// page or per document, and its writer. Whatever names, skips, checks or
// reports outputs asks this table (and output_names.h); nothing above the
// output stage knows an extension.

#include "ocr/text_recognizer.h"
#include "platform/write_result.h"
#include "raster/page_bitmap.h"
#include "output/fax_facts.h"
#include "raster/page_words.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pagelift {

// How writing one page went.
enum class PageOutcome {
    Converted,
    TooLarge,     // beyond the limits of raster/page_size.h: nothing written
    Empty,        // no pixel at all (a page the reader could not fill): nothing written
    NotPrepared,  // the page cannot be laid out (its pixels do not hold its rows)
    NotWritten,   // the encoder or the file failed: nothing written under the name
    Failed,       // a failure was raised while converting it
};

struct PageResult {
    PageResult() = default;
    PageResult(PageOutcome pageOutcome, std::string refusal = {})
        : outcome(pageOutcome), refusalText(std::move(refusal))
    {
    }

    PageOutcome outcome = PageOutcome::Failed;
    std::string refusalText;  // "page too large: W x H" for TooLarge, "empty page: W x H" for Empty
    WriteResult written;      // NotPrepared, NotWritten: what failed, where, and why
    // With text recognition: whether it went, how far the page was turned
    // to stand upright, and its text in reading order.
    bool textRecognised = false;
    std::string recognitionFailure;  // when not recognised, why (the engine's words; may be empty)
    int turnedDegrees = 0;
    std::string text;
};

// What a run asks of its outputs besides the format.
struct OutputSettings {
    int quality = 50;      // JPEG quality, 1 to 100
    bool optimize = true;  // JPEG: optimised Huffman tables
    std::string ocrLanguages;  // the languages of text recognition ("eng+deu"); empty for none
    int ocrThreads = 1;        // threads that recognise one page side by side
    // What recognises the text, owned by the run's owner; with languages
    // and none, every page's recognition fails.
    TextRecognizer* recognizer = nullptr;
};

// What a page's report line adds to its result: "turned 180 degrees" for a
// page turned upright, "no text: recognition failed" for a converted page
// whose text could not be found (", " and the engine's words when it gave
// any); empty otherwise.
std::string pageNote(const PageResult& page, const OutputSettings& settings);

enum class OutputLayout { FilePerPage, FilePerDocument };

// One page of a format of a file per document, encoded on its own (by any
// job of a run) and kept until its document's file is written.
struct EncodedPage {
    std::vector<uint8_t> data;  // the format's own coding of the page
    int32_t width = 0;
    int32_t rows = 0;
    uint16_t xResolution = 0;
    int16_t yResolution = 0;
    uint8_t resolutionUnit = 2;
    std::vector<PageWord> words;  // the page's text, when recognised
    std::vector<PageLine> lines;  // its lines of text
};

// What a document's file states besides its pages.
struct DocumentFacts {
    std::string source;       // the fax it was converted from
    std::string description;  // the container's description of it (TIFF ImageDescription); may be empty
    FaxFacts fax;             // what the fax says of itself, and what the run was told
    std::string title;        // the run's name template filled with the facts; empty: the source's name
};

struct OutputFormat {
    std::string_view name;          // as /to= and the settings file name it: "jpg"
    std::string_view extension;     // of its files: ".jpg"
    std::string_view reportName;    // in report lines: "Error in converting FAX to JPEG!"
    std::string_view preparedName;  // in "Error in preparing jpeg"
    std::string_view choiceLabel;   // the window's name for the choice: "JPEG per page"
    OutputLayout layout;
    // A file per page: writes one page to `path`, complete or not at all (a
    // file already there stays until the new one replaces it).
    WriteResult (*writePage)(const PageBitmap& page, const std::string& path, const OutputSettings& settings);
    // A file per document: encodes one page on its own, then writes the
    // pages encoded, in page order, to `path`, complete or not at all.
    // NothingToEncode from either: the page (or no page) cannot be laid out.
    WriteResult (*encodePage)(const PageBitmap& page, const OutputSettings& settings, EncodedPage& encoded);
    WriteResult (*writeDocument)(const std::vector<const EncodedPage*>& pages, const DocumentFacts& facts,
                                 const std::string& path);
    std::string_view mimeType = {};     // of its files, as mail names them: "image/jpeg"
    std::string_view description = {};  // for --help: "grayscale JPEG pages"
    // How its files' names end, in any case ("jpg", "jpeg"): such a file is
    // an output already, and no run takes it for a fax.
    std::array<std::string_view, 2> ownEndings = {};
};

// Why a row cannot be one of the table: its texts missing, its writers not
// those of its layout (writePage alone for a file per page; encodePage and
// writeDocument for a file per document), its name or endings another
// row's; empty when it can. The table is checked so when it is built.
std::string outputFormatFault(const OutputFormat& format, const std::vector<OutputFormat>& others);

// Every format, the default one (JPEG) first.
const std::vector<OutputFormat>& outputFormats();
const OutputFormat& defaultOutputFormat();

// The format named `name`, in any case ("JPG", "png"); null for none.
const OutputFormat* outputFormatNamed(std::string_view name);

// The format whose extension the file name of `path` ends in, in any case;
// null for none.
const OutputFormat* outputFormatOfPath(const std::string& path);

// The names of every format as a choice: "jpg, png or pdf".
std::string outputFormatNames();

// The format whose own files a path names (its ending, in any case: a JPEG
// file ends in "jpg" or "jpeg"); null for a path that is no output of any.
const OutputFormat* outputFormatOfOwnFile(std::string_view path);

// Converts one decoded page into `path` in `format`: refused before
// anything is written when it comes out beyond the size limits (TooLarge)
// or holds no pixel (Empty), with the report's text; a writer's failure
// comes back as NotWritten (NotPrepared when the page cannot be laid out)
// with its result; a failure raised inside comes back as Failed.
// With text recognition asked for, the page's text is found first, and a
// page found on its side or upside down is written turned upright.
PageResult writeOutputPage(const OutputFormat& format, const PageBitmap& page, const std::string& path,
                           const OutputSettings& settings);

// The same for a page of a format of a file per document: encoded into
// `encoded` for the document's file.
PageResult encodeOutputPage(const OutputFormat& format, const PageBitmap& page, const OutputSettings& settings,
                            EncodedPage& encoded);

// Writes the texts of a document's pages to `path` as UTF-8, a form feed
// between pages, complete or not at all; written, or why not.
WriteResult writePagesText(const std::vector<std::string>& texts, const std::string& path);

}  // namespace pagelift
