#include "ui/conversion_run.h"

#include "batch/folder_conversion.h"
#include "batch/results_log.h"
#include "batch/single_file.h"

namespace pagelift {

std::string resultTextFor(int convertResult)
{
    if (convertResult == ConvertDone) return "Converted!";
    if (convertResult == ConvertSkipped) return "Already exist, skipped!";
    return "Not FAX!";
}

int runConversion(RunContext& context, RunEvents& events, const FileConverter& convert)
{
    ConversionOptions& options = context.options;
    const int entryCount = static_cast<int>(options.fileList.size());
    events.runPrepared(context.runId, entryCount);
    options.resultsText = "Zoziv Pagelift in GUI mode : convert folder\r\nSource Folder: " + options.source +
                          "\r\nDestination Folder: " + options.destination + "\r\n" + context.startNotes;

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
