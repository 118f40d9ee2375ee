#pragma once

#include "batch/conversion_run.h"
#include "batch/results_log.h"
#include "settings/conversion_options.h"
#include "settings/decode_settings.h"
#include "ui/run_texts.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pagelift {

// Everything one run of the window uses, taken when it starts and owned by
// that run alone: what the tabs show later applies to the next run.
struct RunContext {
    uint64_t runId = 0;
    ConversionOptions options;   // source = the source folder, fileList, flags
    DecodeSetup decode;          // the decoding settings as they were at the start, the working files
    std::string logPath;         // where the run's report is appended; empty: none
    LogFolderCreation logFolderCreation = LogFolderCreation::OneLevel;
    std::string startNotes;      // lines the start put into the report (CR LF ends)
    TextRecognizer* recognizer = nullptr;  // reads the pages' text when the options ask for it
    std::shared_ptr<std::atomic<bool>> stopRequested = std::make_shared<std::atomic<bool>>(false);
};

// What a file's row shows and opens once the file is done.
struct FileResult {
    std::string result;                // "Converted!", "Already exist, skipped!", "Not FAX!", "Not written!" or "Already JPEG!"
    std::string cause;                 // "Not written!": what failed ("No space left on device: out/fax.jpg")
    FileEnd end = FileEnd::Failed;
    std::string target;                // the path the file was converted to (its pages are named after it)
    std::vector<std::string> written;  // converted: the files written, in page order
    // The file the row opens: the first page written, the output that was
    // already there (skipped), or the source itself when it is a JPEG. Empty
    // when there is none.
    std::string jpeg;
    std::string format;  // the output format's word in texts: "JPEG"
    std::string movedTo; // where the source went in the backup folder; empty when it stayed
};

// What a run tells the window, in this order: once runPrepared, then per
// file fileStarted and fileFinished, then once runFinished. Called on the
// worker's thread; an implementation must hand them to the window's thread
// without waiting for it.
class RunEvents {
public:
    virtual ~RunEvents() = default;
    virtual void runPrepared(uint64_t runId, int entryCount) = 0;
    // source: the full path; entry: the path relative to the source folder;
    // status: "Doing: <source>"
    virtual void fileStarted(uint64_t runId, int index, const std::string& source, const std::string& entry,
                             const std::string& status) = 0;
    virtual void fileFinished(uint64_t runId, int index, const FileResult& result) = 0;
    // status: runStatusText(tally); the log holds the report by now
    virtual void runFinished(uint64_t runId, const RunTally& tally, const std::string& status) = 0;
};

// The result column's text for a file's end: "Already JPEG!" for a JPEG
// file passed over (the word of its output format), "Not written!" when an output (or its folder) could not be
// written, else by the conversion's result "Converted!", "Already exist,
// skipped!" or, for a file that holds no fax or cannot be decoded,
// "Not FAX!".
std::string resultTextFor(const FileDone& done);

// The run itself (on the worker's thread): the listed files go to the run
// loop (runFiles), until a stop is requested; JPEG files are passed over
// ("Already JPEG!") and not reported. Then the report goes to the log.
// Returns the tally of the files.
RunTally runConversion(RunContext& context, RunEvents& events, const FileConverter& convert);

}  // namespace pagelift
