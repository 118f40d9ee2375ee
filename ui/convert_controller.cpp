#include "ui/convert_controller.h"

#include "batch/conversion_run.h"
#include "batch/folder_watch.h"
#include "batch/single_file.h"
#include "platform/file_writers.h"
#include "platform/files.h"
#include "ui/folder_fields.h"

namespace pagelift {
namespace {

// Resets a flag when the scope ends, however it ends.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

// An automatic run takes only files that are finished: a fax server still
// receiving one keeps writing it, and a half-written fax would give short
// pages (and, with a Move to folder, be moved away from its writer). The
// next tick takes it.
void leaveOutUnfinishedFiles(FileList& list, std::chrono::seconds settle)
{
    if (list.entries.empty()) return;  // no look at every process's files for nothing
    const std::set<FileIdentity> openForWriting = filesOpenForWriting();
    std::erase_if(list.entries, [&](const std::string& entry) {
        return !looksFinished(list.sourceFolder + "/" + entry, settle, openForWriting);
    });
}

}  // namespace

ConvertController::ConvertController(RunEvents& events, FileConverter convert)
    : events_(events), convert_(std::move(convert))
{
}

std::unique_ptr<RunContext> ConvertController::snapshotRun(bool automatic, const FileList& list,
                                                            PageNotices& notices)
{
    auto context = std::make_unique<RunContext>();
    ConversionOptions& options = context->options;
    options.filter = texts.filterText;
    options.source = list.sourceFolder;
    options.fileList = list.entries;
    options.destination = expandHomeFolder(texts.destinationText);
    options.backupFolder = expandHomeFolder(texts.backupText);
    options.keepDate = choices.keepDate == 1;
    options.optimize = choices.optimize == 1;
    options.quality = choices.quality;
    options.outputFormat = choices.outputFormat;
    options.ocrLanguages = ocrLanguagesOf(choices);
    options.keepExtension = choices.keepExtension != 0;
    options.keepHierarchy = choices.keepHierarchy;
    options.includeSubfolders = choices.includeSubfolders;
    options.skipExisting = automatic ? 1 : 0;
    options.jobs = jobs;
    context->decode = decode;
    context->logPath = logPath;
    context->logFolderCreation = logFolderCreation;

    // Checked here, before the worker exists, so that it never has to wait
    // for a message box; the run goes on either way.
    const auto checkFolder = [&](const std::string& folder, const char* message) {
        if (ensureFolder(folder)) return;
        if (automatic) {
            context->startNotes += std::string(message) + "\r\n";
        } else {
            notices.showMessage(message, "Error");
        }
    };
    checkFolder(options.destination, "Error Save Dir");
    if (!options.backupFolder.empty()) checkFolder(options.backupFolder, "Error Backup Dir");
    return context;
}

FileList ConvertController::listSources(bool automatic) const
{
    const std::string source = expandHomeFolder(texts.sourceText);
    FileList list = choices.sourceMode == 0 ? listSourceFolder(source, texts.filterText, choices.includeSubfolders)
                                            : listNamedFiles(source, selection);
    if (automatic) leaveOutUnfinishedFiles(list, settleTime);
    return list;
}

StartResult ConvertController::startRun(bool automatic, PageNotices& notices)
{
    const auto refuse = [&](const std::string& message, const std::string& caption) {
        if (automatic) return StartResult::Dropped;
        notices.showMessage(message, caption);
        return StartResult::Refused;
    };
    // A timer tick that arrives while this start shows a message must not
    // start a second run beside it.
    if (starting_) return automatic ? StartResult::Dropped : StartResult::Refused;
    if (running_ || !workerIdle()) return refuse("Please wait while running conversion stops", "Warning");
    const FlagScope starting(starting_);

    FileList list = listSources(automatic);
    sourceFolder_ = list.sourceFolder;
    listedEntries_ = static_cast<int>(list.entries.size());
    if (sourceFolder_.empty()) {
        return refuse("Select Source Dir,\nwhere your fax files to be converted should be", "Warning");
    }
    // A missing folder is no empty one: a run would report success and make
    // the destination for nothing. A timer run says so too, on the status
    // line, since a watched folder that went away needs the user.
    if (!folderExists(sourceFolder_)) {
        if (automatic) {
            notices.showNote("Source folder not found: " + sourceFolder_);
            return StartResult::Dropped;
        }
        return refuse("Source folder not found:\n" + sourceFolder_, "Warning");
    }
    if (texts.destinationText.empty()) {
        return refuse("Select Save Dir,\nwhere your converted " + std::string(choices.outputFormat->name) +
                          " files should be",
                      "Warning");
    }

    // Nothing is converted when the text cannot be recognised as asked. No
    // run is going, so the recognizer is the window's thread's alone now.
    ConversionOptions wanted;
    wanted.ocrLanguages = ocrLanguagesOf(choices);
    if (const std::string problem = prepareRecognition(wanted, recognizer_); !problem.empty()) {
        if (automatic) notices.showNote(problem);
        return refuse(problem, "Error");
    }

    std::shared_ptr<RunContext> context = snapshotRun(automatic, list, notices);
    context->runId = currentRunId_ + 1;
    context->recognizer = recognizer_.get();
    RunEvents& events = events_;
    FileConverter convert = convert_;
    const bool started = runner_.start([context, &events, convert] { runConversion(*context, events, convert); });
    if (!started) return refuse("The conversion could not be started", "Error");
    currentRunId_ = context->runId;
    stopRequested_ = context->stopRequested;
    running_ = true;
    endReported_ = false;
    return StartResult::Started;
}

void ConvertController::requestStop()
{
    if (stopRequested_) stopRequested_->store(true);
}

bool ConvertController::stopRun(std::chrono::milliseconds wait)
{
    if (!running_) return true;
    requestStop();
    const bool ended = runner_.waitUntilEnded(wait);
    // Given up or not, the page is idle now; a worker still busy finishes its
    // file on its own, and no new run starts before it has ended.
    running_ = false;
    return ended;
}

void ConvertController::runFinished(uint64_t runId)
{
    if (runId != currentRunId_) return;
    running_ = false;
    endReported_ = true;
}

bool ConvertController::workerIdle()
{
    if (runner_.idle()) return true;
    // A worker that has sent its last event has nothing left to do but
    // return; waiting for that keeps a start right after "Done" from being
    // refused.
    return endReported_ && runner_.waitUntilEnded(kStopWait);
}

}  // namespace pagelift
