#pragma once

#include "batch/results_log.h"
#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pagelift {

// Converts one file; the single-file conversion in the program, a stand-in
// in tests. Returns a ConvertResult.
using FileConverter = std::function<int(ConversionOptions& options, const std::string& source,
                                        const std::string& destination, const DecodeSettings& decode)>;

// Everything one run of the window uses, taken when it starts and owned by
// that run alone: what the tabs show later applies to the next run.
struct RunContext {
    uint64_t runId = 0;
    ConversionOptions options;   // source = the source folder, fileList, flags
    DecodeSettings decode;       // the decoding settings as they were at the start
    std::string logPath;         // where the run's report is appended; empty: none
    LogFolderCreation logFolderCreation = LogFolderCreation::OneLevel;
    std::string startNotes;      // lines the start put into the report (CR LF ends)
    std::shared_ptr<std::atomic<bool>> stopRequested = std::make_shared<std::atomic<bool>>(false);
};

// What a run tells the window, in this order: once runPrepared, then per
// file fileStarted and fileFinished, then once runFinished. Called on the
// worker's thread; an implementation must hand them to the window's thread
// without waiting for it.
class RunEvents {
public:
    virtual ~RunEvents() = default;
    virtual void runPrepared(uint64_t runId, int entryCount) = 0;
    // status: "Doing: <source>"
    virtual void fileStarted(uint64_t runId, int index, const std::string& source, const std::string& status) = 0;
    // target: the JPEG path when the file was converted, else empty
    virtual void fileFinished(uint64_t runId, int index, const std::string& target, const std::string& result) = 0;
    // status: "Done. <n> FAX files converted"; the log holds the report by now
    virtual void runFinished(uint64_t runId, int converted, const std::string& status) = 0;
};

// The result column's text for a conversion result: "Converted!",
// "Already exist, skipped!" or "Not FAX!".
std::string resultTextFor(int convertResult);

// The run itself (on the worker's thread): each listed file, until a stop is
// requested, is named, reported and converted; JPEG files are passed over
// ("Already JPEG!\n"). Then the report goes to the log. Returns the number of
// files converted.
int runConversion(RunContext& context, RunEvents& events, const FileConverter& convert);

}  // namespace pagelift
