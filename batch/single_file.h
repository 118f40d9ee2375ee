#pragma once

#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <string>

namespace pagelift {

// Results of converting one file.
enum ConvertResult : int {
    ConvertSkipped = 1,          // the output exists and skipExisting is set
    ConvertDone = 0,
    ConvertNoFolder = -2,        // the output folder cannot be created
    ConvertNotFax = -5,          // no page found in the source
    ConvertOutputFailed = -7,    // the last page could not be prepared or written
    ConvertException = -9,       // a failure was caught inside the conversion
};

// Converts one fax file into options.outputFormat (for JPEG and PNG a file
// per page) and appends the account of it to options.resultsText. A
// one-page document is written to `destination`; pages of a longer one are
// named after it with a three-digit page number (pageFileName: "out/fax.jpg"
// gives out/fax001.jpg ...). A page beyond the size limits of
// raster/page_size.h is not converted ("page too large: W x H"); the other
// pages still are. With keepDate the outputs get the source's file times
// (and a failed time copy becomes the result of a conversion that
// succeeded). With a backup folder the source is moved there, never over an
// existing file, only when every page was written and, with keepDate, every
// time copy succeeded; otherwise it stays for a later run to convert.
// Returns a ConvertResult (that of the last page, as the report shows).
//
// Skipped (result 1, source left in place): with skipExisting, when the
// destination or its first page name already holds data; always, when one of
// its output names is in options.writtenOutputs (converted earlier in this
// run). The names this call writes are added there.
//
// The document decodes with a copy of `decode`; the overload without it
// copies the process-wide record under its guard.
int convertFile(ConversionOptions& options, const std::string& source, const std::string& destination,
                const DecodeSettings& decode);
int convertFile(ConversionOptions& options, const std::string& source, const std::string& destination);

// The report line of a failure raised inside a conversion into `format`.
std::string exceptionReportLine(const OutputFormat& format);

// Moves a converted source into the backup folder under its own name, never
// over an existing file (it then stays where it is).
void moveToBackupFolder(const std::string& source, const std::string& backupFolder);

// Makes sure a folder exists and may be entered, creating missing parents.
// False when it cannot be created. The process's current folder does not
// change.
bool ensureFolder(const std::string& path);

}  // namespace pagelift
