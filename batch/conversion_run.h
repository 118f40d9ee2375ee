#pragma once

// The one run loop: the command line's folder and listing runs, the window's
// runs and the watcher's batches of arrivals all hand it their files. It
// passes over files that are outputs already (JPEG files, say), names each file's outputs, converts the files one
// or several at a time, moves converted faxes into the backup folder in list
// order, and tells each file's outcome as an event, in list order.

#include "batch/single_file.h"
#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pagelift {

// One file of a run's list.
struct RunEntry {
    std::string source;  // its path
    std::string entry;   // as the list names it (relative to the source folder)
};

// How one file of a run ended, as the status counts it.
enum class FileEnd { Converted, Failed, Skipped };

// What a run tells of one file once it is done.
struct FileDone {
    size_t index = 0;                  // in the run's list
    std::string destination;           // its output path (pages are named after it); empty when passed over
    FileEnd end = FileEnd::Failed;
    int result = 0;                    // a ConvertResult
    const OutputFormat* passedOverAs = nullptr;  // an output already (a JPEG file), of this format: never converted
    std::string report;                // its lines of the run's report (none for faxes whose outputs are current)
    std::vector<std::string> written;  // the files written, in page order
    std::string existingOutput;        // skipped: the output found there; passed over: the JPEG itself
    std::string movedTo;               // where the source went in the backup folder; empty when it stayed
    WriteResult failure;               // an output that could not be written, and why; written when none
    bool deliveryDeferred = false;     // a delivery of it is to be tried again later
};

// How the files of a run ended.
struct RunTally {
    int listed = 0;        // entries of the run's list
    int converted = 0;
    int failed = 0;
    int skipped = 0;       // outputs there already, and JPEG files passed over
    bool stopped = false;  // a stop ended the run before its last entry
    int finished() const { return converted + failed + skipped; }
};

// What a run's owner hears, on the thread that runs it, in list order.
class RunListener {
public:
    virtual ~RunListener() = default;
    // A file is taken up: with one job before it is converted, with several
    // when its outcome is handed over.
    virtual void fileStarting(size_t index, const RunEntry& entry);
    virtual void fileDone(const RunEntry& entry, const FileDone& done) = 0;
};

// What a run is asked to do.
struct RunRequest {
    ConversionOptions options;  // flags, names, output format, backup folder, jobs
    DecodeSetup decode;         // jobs work with working files of their own beside these
    FileConverter convert;      // empty: convertFile
    std::function<bool()> stopRequested;  // once true, no further file starts
    bool reportPassedOver = true;    // an output of the list (a JPEG file) gets a report line
    // A fax whose outputs are current is not converted, nor reported, unless
    // a delivery of it is pending.
    bool skipCurrentOutputs = false;
    // Names written before this run, and by which source; the run adds its
    // own. Null: the run knows only its own.
    WrittenOutputs* written = nullptr;
    // Reads the text of pages when options ask for it (prepareRecognition).
    TextRecognizer* recognizer = nullptr;
};

// Converts the entries. Returns the tally; `stopped` when a stop left entries
// undone.
RunTally runFiles(const RunRequest& request, const std::vector<RunEntry>& entries, RunListener& listener);

// Makes `recognizer` ready for a run of these options, before anything is
// converted: nothing happens when the run recognises no text; otherwise the
// OCR module is loaded into it when it holds no recognizer yet, and the
// run's languages are checked (and loaded), a language that failed before
// included. The message for the user when the run cannot start so (no OCR
// module, or a language whose data are not installed); empty when it can.
std::string prepareRecognition(const ConversionOptions& options, std::unique_ptr<TextRecognizer>& recognizer);

// The entries of a folder run: the source folder joined to each listed path.
std::vector<RunEntry> folderEntries(const ConversionOptions& options);

}  // namespace pagelift
