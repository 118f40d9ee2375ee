#include "ui/conversion_run.h"

#include "batch/folder_conversion.h"
#include "batch/parallel_conversion.h"
#include "batch/results_log.h"
#include "batch/run_leftovers.h"
#include "batch/single_file.h"

namespace pagelift {

std::string resultTextFor(int convertResult)
{
    if (convertResult == ConvertDone) return "Converted!";
    if (convertResult == ConvertSkipped) return "Already exist, skipped!";
    return "Not FAX!";
}

namespace {

// The run with several files at a time: the same events, report and moves,
// in list order, as the loop of runConversion gives.
int runInParallel(RunContext& context, RunEvents& events, const FileConverter& convert, int jobs)
{
    ConversionOptions& options = context.options;
    const int entryCount = static_cast<int>(options.fileList.size());
    std::vector<FileJob> files;
    std::vector<int> entryOfFile;
    for (int index = 0; index < entryCount; ++index) {
        const std::string source = options.source + "/" + options.fileList[static_cast<size_t>(index)];
        if (isJpegName(source)) continue;
        files.push_back({source, folderOutputPath(options, source)});
        entryOfFile.push_back(index);
    }
    int converted = 0;
    int nextEntry = 0;
    // JPEG entries up to `end` are told where they stand in the list.
    const auto passJpegEntries = [&](int end) {
        for (; nextEntry < end; ++nextEntry) {
            const std::string source = options.source + "/" + options.fileList[static_cast<size_t>(nextEntry)];
            events.fileStarted(context.runId, nextEntry, source, "Doing: " + source);
            events.fileFinished(context.runId, nextEntry, {}, "Already JPEG!\n");
        }
    };
    const auto stopRequested = [&] { return context.stopRequested->load(); };
    convertFilesInOrder(options, files, context.decode, jobs, convert, stopRequested,
                        [&](size_t file, FileOutcome& outcome) {
                            const int entry = entryOfFile[file];
                            passJpegEntries(entry);
                            const FileJob& job = files[file];
                            events.fileStarted(context.runId, entry, job.source, "Doing: " + job.source);
                            options.resultsText += outcome.report;
                            for (const std::string& source : outcome.backupMoves) {
                                moveToBackupFolder(source, options.backupFolder);
                            }
                            if (outcome.result == ConvertDone) ++converted;
                            events.fileFinished(context.runId, entry,
                                                outcome.result == ConvertDone ? job.destination : std::string(),
                                                resultTextFor(outcome.result));
                            nextEntry = entry + 1;
                        });
    if (!stopRequested()) passJpegEntries(entryCount);
    return converted;
}

}  // namespace

int runConversion(RunContext& context, RunEvents& events, const FileConverter& convert)
{
    ConversionOptions& options = context.options;
    const int entryCount = static_cast<int>(options.fileList.size());
    sweepPartialFilesOfDeadRuns(options);
    events.runPrepared(context.runId, entryCount);
    options.resultsText = "Zoziv Pagelift in GUI mode : convert folder\r\nSource Folder: " + options.source +
                          "\r\nDestination Folder: " + options.destination + "\r\n" + context.startNotes;

    const int jobs = jobCountFor(options.jobs, static_cast<size_t>(entryCount));
    if (jobs > 1) {
        const int converted = runInParallel(context, events, convert, jobs);
        appendToResultsLog(context.logPath, options.resultsText, context.logFolderCreation);
        events.runFinished(context.runId, converted, "Done. " + std::to_string(converted) + " FAX files converted");
        return converted;
    }

    int converted = 0;
    for (int index = 0; index < entryCount; ++index) {
        if (context.stopRequested->load()) break;
        const std::string source = options.source + "/" + options.fileList[static_cast<size_t>(index)];
        const std::string target = folderOutputPath(options, source);
        events.fileStarted(context.runId, index, source, "Doing: " + source);

        if (isJpegName(source)) {
            events.fileFinished(context.runId, index, {}, "Already JPEG!\n");
            continue;
        }
        const int result = convert(options, source, target, context.decode);
        if (result == ConvertDone) ++converted;
        events.fileFinished(context.runId, index, result == ConvertDone ? target : std::string(), resultTextFor(result));
    }

    appendToResultsLog(context.logPath, options.resultsText, context.logFolderCreation);
    events.runFinished(context.runId, converted, "Done. " + std::to_string(converted) + " FAX files converted");
    return converted;
}

}  // namespace pagelift
