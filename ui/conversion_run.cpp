#include "ui/conversion_run.h"

#include "batch/folder_conversion.h"
#include "batch/parallel_conversion.h"
#include "batch/results_log.h"
#include "batch/run_leftovers.h"
#include "batch/single_file.h"
#include "output/output_names.h"
#include "platform/files.h"

#include <algorithm>
#include <iterator>

namespace pagelift {

std::string resultTextFor(int convertResult)
{
    if (convertResult == ConvertDone) return "Converted!";
    if (convertResult == ConvertSkipped) return "Already exist, skipped!";
    return "Not FAX!";
}

FileConverter WrittenFiles::recording(FileConverter convert)
{
    return [this, convert = std::move(convert)](ConversionOptions& options, const std::string& source,
                                                const std::string& destination, const DecodeSettings& decode) {
        const std::set<std::string> before = options.writtenOutputs;
        const auto remember = [&] {
            std::vector<std::string> added;
            std::set_difference(options.writtenOutputs.begin(), options.writtenOutputs.end(), before.begin(),
                                before.end(), std::back_inserter(added));
            const std::lock_guard<std::mutex> lock(mutex_);
            bySource_[source].push_back(std::move(added));
        };
        int result = 0;
        try {
            result = convert(options, source, destination, decode);
        } catch (...) {
            remember();
            throw;
        }
        remember();
        return result;
    };
}

std::vector<std::string> WrittenFiles::take(const std::string& source)
{
    std::vector<std::string> names;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = bySource_.find(source);
        if (found == bySource_.end() || found->second.empty()) return {};
        names = std::move(found->second.front());
        found->second.pop_front();
        if (found->second.empty()) bySource_.erase(found);
    }
    // Names of one document differ only in their page numbers, which a
    // shorter name holds fewer digits of: fax999.jpg comes before fax1000.jpg.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::erase_if(names, [](const std::string& name) { return readableFileSize(name) <= 0; });
    return names;
}

namespace {

FileResult resultOfConversion(const OutputFormat& format, int convertResult, const std::string& target,
                              std::vector<std::string> written)
{
    FileResult file;
    file.result = resultTextFor(convertResult);
    file.target = target;
    if (convertResult == ConvertDone) {
        file.end = FileEnd::Converted;
        file.written = std::move(written);
        if (!file.written.empty()) file.jpeg = file.written.front();
    } else if (convertResult == ConvertSkipped) {
        file.end = FileEnd::Skipped;
        // The output a skipped file's row opens is the one the skip rule found.
        file.jpeg = existingOutputOf(format, target);
    }
    return file;
}

FileResult resultOfJpegEntry(const std::string& source)
{
    FileResult file;
    file.result = "Already JPEG!";
    file.end = FileEnd::Skipped;
    file.jpeg = source;
    return file;
}

void count(RunTally& tally, FileEnd end)
{
    switch (end) {
    case FileEnd::Converted: ++tally.converted; break;
    case FileEnd::Failed: ++tally.failed; break;
    case FileEnd::Skipped: ++tally.skipped; break;
    }
}

// The run with several files at a time: the same events, report and moves,
// in list order, as the loop of runConversion gives.
void runInParallel(RunContext& context, RunEvents& events, const FileConverter& convert, int jobs, RunTally& tally)
{
    ConversionOptions& options = context.options;
    const int entryCount = static_cast<int>(options.fileList.size());
    const auto entryAt = [&](int index) { return options.fileList[static_cast<size_t>(index)]; };
    std::vector<FileJob> files;
    std::vector<int> entryOfFile;
    for (int index = 0; index < entryCount; ++index) {
        const std::string source = options.source + "/" + entryAt(index);
        if (isJpegName(source)) continue;
        files.push_back({source, folderOutputPath(options, source)});
        entryOfFile.push_back(index);
    }
    WrittenFiles written;
    int nextEntry = 0;
    // JPEG entries up to `end` are told where they stand in the list.
    const auto passJpegEntries = [&](int end) {
        for (; nextEntry < end; ++nextEntry) {
            const std::string source = options.source + "/" + entryAt(nextEntry);
            events.fileStarted(context.runId, nextEntry, source, entryAt(nextEntry), "Doing: " + source);
            count(tally, FileEnd::Skipped);
            events.fileFinished(context.runId, nextEntry, resultOfJpegEntry(source));
        }
    };
    const auto stopRequested = [&] { return context.stopRequested->load(); };
    convertFilesInOrder(options, files, context.decode, jobs, written.recording(convert), stopRequested,
                        [&](size_t file, FileOutcome& outcome) {
                            const int entry = entryOfFile[file];
                            passJpegEntries(entry);
                            const FileJob& job = files[file];
                            events.fileStarted(context.runId, entry, job.source, entryAt(entry), "Doing: " + job.source);
                            options.resultsText += outcome.report;
                            for (const std::string& source : outcome.backupMoves) {
                                moveToBackupFolder(source, options.backupFolder);
                            }
                            const FileResult result =
                                resultOfConversion(*options.outputFormat, outcome.result, job.destination,
                                                   written.take(job.source));
                            count(tally, result.end);
                            events.fileFinished(context.runId, entry, result);
                            nextEntry = entry + 1;
                        });
    if (!stopRequested()) passJpegEntries(entryCount);
}

void runOneAtATime(RunContext& context, RunEvents& events, const FileConverter& convert, RunTally& tally)
{
    ConversionOptions& options = context.options;
    WrittenFiles written;
    const FileConverter recorded = written.recording(convert);
    for (int index = 0; index < tally.listed; ++index) {
        if (context.stopRequested->load()) break;
        const std::string& entry = options.fileList[static_cast<size_t>(index)];
        const std::string source = options.source + "/" + entry;
        const std::string target = folderOutputPath(options, source);
        events.fileStarted(context.runId, index, source, entry, "Doing: " + source);

        FileResult result;
        if (isJpegName(source)) {
            result = resultOfJpegEntry(source);
        } else {
            const int converted = recorded(options, source, target, context.decode);
            result = resultOfConversion(*options.outputFormat, converted, target, written.take(source));
        }
        count(tally, result.end);
        events.fileFinished(context.runId, index, result);
    }
}

}  // namespace

RunTally runConversion(RunContext& context, RunEvents& events, const FileConverter& convert)
{
    ConversionOptions& options = context.options;
    RunTally tally;
    tally.listed = static_cast<int>(options.fileList.size());
    sweepPartialFilesOfDeadRuns(options);
    events.runPrepared(context.runId, tally.listed);
    options.resultsText = "Zoziv Pagelift in GUI mode : convert folder\r\nSource Folder: " + options.source +
                          "\r\nDestination Folder: " + options.destination + "\r\n" + context.startNotes;

    const int jobs = jobCountFor(options.jobs, static_cast<size_t>(tally.listed));
    if (jobs > 1) {
        runInParallel(context, events, convert, jobs, tally);
    } else {
        runOneAtATime(context, events, convert, tally);
    }
    // A stop that came after the last file changed nothing: the run is complete.
    tally.stopped = tally.finished() < tally.listed;

    appendToResultsLog(context.logPath, options.resultsText, context.logFolderCreation);
    events.runFinished(context.runId, tally, runStatusText(tally));
    return tally;
}

}  // namespace pagelift
