#include "ui/conversion_run.h"

#include "batch/results_log.h"
#include "batch/run_leftovers.h"
#include "batch/single_file.h"

namespace pagelift {

std::string resultTextFor(const FileDone& done)
{
    if (done.passedOverAs != nullptr) return "Already " + std::string(done.passedOverAs->reportName) + "!";
    if (!done.failure.written()) return "Not written!";
    if (done.result == ConvertDone) return "Converted!";
    if (done.result == ConvertSkipped) return "Already exist, skipped!";
    return "Not FAX!";
}

namespace {

// What a file's row shows of its outcome.
FileResult resultOf(const FileDone& done, const OutputFormat& format)
{
    FileResult file;
    file.format = format.reportName;
    file.result = resultTextFor(done);
    file.cause = done.failure.cause();
    file.end = done.end;
    file.target = done.destination;
    file.movedTo = done.movedTo;
    if (done.end == FileEnd::Converted) {
        file.written = done.written;
        if (!file.written.empty()) file.jpeg = file.written.front();
    } else if (done.end == FileEnd::Skipped) {
        // The output a skipped file's row opens is the one the skip rule
        // found, or a JPEG source itself.
        file.jpeg = done.existingOutput;
    }
    return file;
}

// The run loop's events, told to the window and written into the report.
class WindowListener final : public RunListener {
public:
    WindowListener(RunContext& context, RunEvents& events) : context_(context), events_(events) {}

    void fileStarting(size_t index, const RunEntry& entry) override
    {
        events_.fileStarted(context_.runId, int(index), entry.source, entry.entry, "Doing: " + entry.source);
    }

    void fileDone(const RunEntry&, const FileDone& done) override
    {
        report += done.report;
        events_.fileFinished(context_.runId, int(done.index), resultOf(done, *context_.options.outputFormat));
    }

    std::string report;

private:
    RunContext& context_;
    RunEvents& events_;
};

}  // namespace

RunTally runConversion(RunContext& context, RunEvents& events, const FileConverter& convert)
{
    const ConversionOptions& options = context.options;
    sweepPartialFilesOfDeadRuns(options);
    events.runPrepared(context.runId, static_cast<int>(options.fileList.size()));
    WindowListener listener(context, events);
    listener.report = "Zoziv Pagelift in GUI mode : convert folder\r\nSource Folder: " + options.source +
                      "\r\nDestination Folder: " + options.destination + "\r\n" + context.startNotes;

    RunRequest request;
    request.options = options;
    request.decode = context.decode;
    request.recognizer = context.recognizer;
    request.convert = convert;
    request.stopRequested = [&] { return context.stopRequested->load(); };
    request.reportPassedOver = false;
    const RunTally tally = runFiles(request, folderEntries(options), listener);

    appendToResultsLog(context.logPath, listener.report, context.logFolderCreation);
    events.runFinished(context.runId, tally, runStatusText(tally));
    return tally;
}

}  // namespace pagelift
