#include "batch/folder_watch.h"

#include "batch/arrivals.h"
#include "batch/folder_conversion.h"
#include "batch/conversion_run.h"
#include "batch/delivery_retries.h"
#include "batch/results_log.h"
#include "batch/single_file.h"
#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "output/output_names.h"
#include "platform/file_writers.h"
#include "platform/files.h"
#include "platform/folder_events.h"
#include "platform/folder_search.h"
#include "platform/leftovers.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "platform/stop_signals.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace pagelift {
namespace {

using Clock = ArrivalTracker::Clock;

const char* const kRecordHeading = "Zoziv Pagelift command line mode : watch folder\r\n";

// How long a file a writer still holds waits before it is looked at again,
// unless an event (the writer closing it) comes first.
constexpr auto kWriterRecheck = std::chrono::seconds(5);

// How long the file's times say it has been left alone, by the wall clock.
Clock::duration quietByItsTimes(const FileStamp& stamp)
{
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const int64_t last = std::max(stamp.modifiedNs, stamp.changedNs);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(std::max<int64_t>(now - last, 0)));
}

bool heldByAWriter(const std::string& path, const std::set<FileIdentity>& openForWriting)
{
    const std::optional<FileIdentity> identity = identityOf(path);
    return (identity && openForWriting.count(*identity) != 0) || writeLockHeld(path);
}

// One watch of one source folder: what it has seen, converted and written.
class FolderWatch {
public:
    FolderWatch(const ConversionOptions& options, const DecodeSetup& decode, const WatchSettings& settings)
        : options_(options), decode_(decode), settings_(settings), tracker_(settings.settle),
          retries_(settings.firstRetry)
    {
        options_.skipExisting = 0;
    }

    int run();

private:
    bool isCandidate(const std::string& path) const;
    std::set<std::string> enter(const std::string& folder);
    void rescan();
    void look(const std::string& path);
    void convertDue(const std::vector<std::string>& due);
    std::string afterDelivery(const std::string& path, const FileStamp& stamp, bool deferred);
    void report(const std::string& lines);

    ConversionOptions options_;
    const DecodeSetup& decode_;
    const WatchSettings& settings_;
    ArrivalTracker tracker_;
    DeliveryRetries retries_;
    FolderEvents events_;
    WrittenOutputs written_;  // every output name written in this watch, and from which fax
    int converted_ = 0;
};

bool FolderWatch::isCandidate(const std::string& path) const
{
    const std::string name = nameOfPath(path);
    return matchesWildcard(options_.filter, name) && outputFormatOfOwnFile(path) == nullptr && !isPartialFileName(name) &&
           identifyFormat(path) != NotFax;
}

// Watches a folder and, with subfolders, those below it that a folder run
// would enter; every candidate in them is looked at. Returns the candidates.
std::set<std::string> FolderWatch::enter(const std::string& folder)
{
    std::set<std::string> listed;
    walkFaxFolder(
        options_.filter, folder, options_.includeSubfolders, [&](const std::string& entered) { events_.watch(entered); },
        [&](const std::string& path) {
            if (!isCandidate(path)) return;
            listed.insert(path);
            look(path);
        });
    return listed;
}

void FolderWatch::rescan()
{
    const std::set<std::string> listed = enter(options_.source);
    tracker_.keepOnly(listed);
    retries_.keepOnly(listed);
}

void FolderWatch::look(const std::string& path)
{
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (!stamp) {
        tracker_.forget(path);
        retries_.settled(path);
        return;
    }
    tracker_.saw(path, *stamp, Clock::now(), quietByItsTimes(*stamp));
}

void FolderWatch::report(const std::string& lines)
{
    if (!settings_.quiet) showResultsMessage(lines);
    appendToResultsLog(settings_.logPath, kRecordHeading + lines,
                       settings_.logMakesParents ? LogFolderCreation::AllParents : LogFolderCreation::OneLevel);
}

// Schedules the fax again when its delivery was deferred; the report line
// that says when, or that the watcher gives up on it.
std::string FolderWatch::afterDelivery(const std::string& path, const FileStamp& stamp, bool deferred)
{
    if (!deferred) {
        retries_.settled(path);
        return {};
    }
    const Clock::time_point now = Clock::now();
    const std::optional<Clock::time_point> again = retries_.deferred(path, now);
    if (!again) return "Delivery given up : " + path + " was deferred for two days; a later run delivers it\r\n";
    tracker_.dueAgainAt(path, stamp, *again);
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(*again - now).count();
    return "Delivery to be tried again in " + std::to_string(seconds) + " s\r\n";
}

void FolderWatch::convertDue(const std::vector<std::string>& due)
{
    const std::set<FileIdentity> openForWriting = filesOpenForWriting();
    std::vector<RunEntry> files;
    std::vector<FileStamp> stamps;
    for (const std::string& path : due) {
        const std::optional<FileStamp> stamp = fileStamp(path);
        if (!stamp || stamp != tracker_.stampOf(path)) {
            look(path);  // changed or gone since it was last seen
            continue;
        }
        if (heldByAWriter(path, openForWriting)) {
            tracker_.postpone(path, Clock::now() + kWriterRecheck);
            continue;
        }
        files.push_back({path, path});
        stamps.push_back(*stamp);
    }
    if (files.empty()) return;

    // Each batch of arrivals is a run of its own; the names written by
    // earlier ones count, so that two faxes mapping to one output name (a.tif
    // and a.tiff, or one name in two subfolders without the kept tree) never
    // meet, as in a folder run. Without a backup folder a fax whose outputs
    // are current was converted before, perhaps before a restart.
    struct Arrivals final : RunListener {
        FolderWatch& watch;
        const std::vector<RunEntry>& files;
        const std::vector<FileStamp>& stamps;
        Arrivals(FolderWatch& owner, const std::vector<RunEntry>& entries, const std::vector<FileStamp>& seen)
            : watch(owner), files(entries), stamps(seen)
        {
        }
        void fileDone(const RunEntry& entry, const FileDone& done) override
        {
            if (done.end == FileEnd::Converted) ++watch.converted_;
            // Seen once more: a fax changed meanwhile stays due.
            watch.look(entry.source);
            watch.tracker_.handled(entry.source, stamps[done.index]);
            const std::string lines =
                done.report + watch.afterDelivery(entry.source, stamps[done.index], done.deliveryDeferred);
            if (!lines.empty()) watch.report(lines);
        }
    } arrivals(*this, files, stamps);
    RunRequest request;
    request.options = options_;
    request.decode = decode_;
    request.recognizer = settings_.recognizer;
    request.stopRequested = stopRequestedBySignal;
    request.skipCurrentOutputs = options_.backupFolder.empty();
    request.written = &written_;
    runFiles(request, files, arrivals);
}

int FolderWatch::run()
{
    if (!folderExists(options_.source)) {
        std::fprintf(stderr, "pliftcmd: cannot watch %s: no such folder\n", options_.source.c_str());
        return 1;
    }
    if (!takeStopSignalsAsRequests()) {
        std::perror("pliftcmd: cannot take stop signals");
        return 1;
    }
    // Without change events the folder is listed again as often as a file
    // settles instead.
    const Clock::duration rescanEvery = events_.usable() ? Clock::duration(settings_.rescan)
                                                         : Clock::duration(std::max(settings_.settle, std::chrono::seconds(1)));
    if (!events_.usable()) std::perror("pliftcmd: no change events, the folder is listed again instead");
    if (!settings_.quiet) {
        showResultsMessage(std::string(kRecordHeading) + "Source Folder: " + options_.source + "\r\nSave Folder: " +
                           options_.destination + "\r\n");
    }

    rescan();
    Clock::time_point nextRescan = Clock::now() + rescanEvery;
    while (!stopRequestedBySignal()) {
        const std::vector<std::string> due = tracker_.due(Clock::now());
        if (!due.empty()) {
            convertDue(due);
            if (!tracker_.due(Clock::now()).empty()) continue;
        }
        Clock::time_point wakeAt = nextRescan;
        if (const auto next = tracker_.nextDue()) wakeAt = std::min(wakeAt, *next);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
        // Rounded up, so that the wait does not end just before the file is due.
        const FolderEvents::Changes changes =
            events_.wait(int(std::clamp<int64_t>(wait + 1, 0, 3600 * 1000)), stopRequestDescriptor());
        for (const std::string& folder : changes.folders) {
            if (options_.includeSubfolders != 0 && matchesWildcard(options_.filter, nameOfPath(folder))) {
                enter(folder);
            }
        }
        for (const std::string& path : changes.files) {
            if (isCandidate(path)) look(path);
        }
        if (changes.overflowed || Clock::now() >= nextRescan) {
            rescan();
            nextRescan = Clock::now() + rescanEvery;
        }
    }
    if (!settings_.quiet) {
        showResultsMessage("\r\n---------\r\nTotal converted FAX files: " + std::to_string(converted_) + "\r\n");
    }
    return 0;
}

}  // namespace

bool looksFinished(const std::string& path, std::chrono::seconds settle, const std::set<FileIdentity>& openForWriting)
{
    const std::optional<FileStamp> stamp = fileStamp(path);
    return stamp && quietByItsTimes(*stamp) >= settle && !heldByAWriter(path, openForWriting);
}

int watchFolder(const ConversionOptions& options, const DecodeSetup& decode, const WatchSettings& settings)
{
    FolderWatch watch(options, decode, settings);
    return watch.run();
}

}  // namespace pagelift
