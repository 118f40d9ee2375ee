#pragma once

#include "output/output_format.h"
#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace pagelift {

class PageShare;

// Results of converting one file.
enum ConvertResult : int {
    ConvertSkipped = 1,          // the output exists and skipExisting is set
    ConvertDone = 0,
    ConvertNoFolder = -2,        // the output folder cannot be created
    ConvertNotFax = -5,          // no page found in the source
    ConvertOutputFailed = -7,    // the last page could not be prepared or written
    ConvertException = -9,       // a failure was caught inside the conversion
};

// Output names written, each with the source it was written from.
using WrittenOutputs = std::map<std::string, std::string>;

// What one file's conversion is given besides the run's options.
struct FileContext {
    DecodeSetup decode;                              // the job's decoding settings and working files
    const WrittenOutputs* written = nullptr;         // names earlier files of this run wrote
    const WrittenOutputs* writtenEarlier = nullptr;  // names earlier runs of a watch wrote
    PageShare* pageShare = nullptr;                  // where its pages may be offered to other jobs
    TextRecognizer* recognizer = nullptr;            // recognises the text of pages when the run asks for it
};

// What converting one file gave.
struct FileConversion {
    int result = ConvertDone;          // a ConvertResult: that of the last page, as the report shows
    std::string report;                // its lines of the run's report
    std::vector<std::string> outputs;  // every name it wrote or meant to write, in page order (then a text file)
    std::vector<std::string> written;  // the pages' files written, in page order
    std::string textFile;              // the text file written beside the pages; empty when none
    WriteResult failure;               // the first output (or its folder) that could not be written, and why
    std::string existingOutput;        // skipped: the output found there
    bool toBackupFolder = false;       // the source is to move into the backup folder
    bool deliveryDeferred = false;     // a delivery of it is to be tried again later
};

// Converts one fax file into options.outputFormat (for JPEG and PNG a file
// per page) and gives the account of it. A one-page document is written to
// `destination`; pages of a longer one are named after it with a three-digit
// page number (pageFileName: "out/fax.jpg" gives out/fax001.jpg ...). A page
// beyond the size limits of raster/page_size.h is not converted ("page too
// large: W x H"), nor a page without a pixel ("empty page: W x H"); the
// other pages still are. An output that cannot be written gets its cause in
// its report line, and the first such failure is kept. With keepDate the
// files written get the source's file times; a time copy that fails has a
// report line of its own and leaves the result as it was. With a backup
// folder the source is marked for it only when every page was written and,
// with keepDate, every time copy succeeded; otherwise it stays for a later
// run to convert. Nothing is delivered or moved here: the caller delivers
// it (deliverFileConversion) and moves it (moveToBackupFolder), in its
// run's order.
//
// Skipped (result 1, source left in place): with skipExisting, when the
// destination or its first page name already holds data; always, when one of
// its output names is in context.written, or in context.writtenEarlier from
// another source (a fax rewritten since is converted again).
FileConversion convertFile(const ConversionOptions& options, const std::string& source, const std::string& destination,
                           const FileContext& context);

// Converts one file (convertFile, or a stand-in in tests).
using FileConverter = std::function<FileConversion(const ConversionOptions& options, const std::string& source,
                                                   const std::string& destination, const FileContext& context)>;

// The conversion of options.source into options.destination that a
// single-file run makes, its source moved into the backup folder when it is
// to go; the report of it after the run's heading. `recognizer` reads the
// pages' text when options ask for it.
std::string convertSingleFile(const ConversionOptions& options, const DecodeSetup& decode,
                              TextRecognizer* recognizer = nullptr);

// The report line of a failure raised inside a conversion into `format`.
std::string exceptionReportLine(const OutputFormat& format);

// The report's words for a source in which no fax page is found (or that
// cannot be opened): "Failed : SOURCE - Not Fax", without the line's end.
std::string notFaxText(const std::string& source);

// The report's words for an output of `format` (a JPEG file, say) that a
// run passes over: "SOURCE : already JPEG format, need no converting!",
// without the line's end.
std::string passedOverText(const std::string& source, const OutputFormat& format);

// Moves a converted source into the backup folder under its own name, never
// over an existing file (it then stays where it is). Returns where the
// source is afterwards.
std::string moveToBackupFolder(const std::string& source, const std::string& backupFolder);

// Makes sure a folder exists and may be entered, creating missing parents.
// False when it cannot be created, errno telling why. The process's
// current folder does not change.
bool ensureFolder(const std::string& path);

}  // namespace pagelift
