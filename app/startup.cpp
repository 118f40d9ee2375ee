#include "app/startup.h"

#include "settings/decode_settings.h"
#include "settings/working_paths.h"
#include "batch/conversion_run.h"
#include "batch/fax_delivery.h"
#include "batch/file_listing.h"
#include "batch/folder_conversion.h"
#include "batch/folder_watch.h"
#include "batch/results_log.h"
#include "batch/run_leftovers.h"
#include "batch/single_file.h"
#include "platform/allocation.h"
#include "platform/files.h"
#include "platform/leftovers.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "platform/work_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace pagelift {

namespace {

// The user's folder of the program's state: $XDG_STATE_HOME/pagelift, else
// ~/.local/state/pagelift.
std::string userStateFolder()
{
    std::string stateHome;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg != '\0') {
        stateHome = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        stateHome = joinPath(home, ".local/state");
    } else {
        stateHome = temporaryFolder() + ".local/state";
    }
    return joinPath(stateHome, "pagelift");
}

}  // namespace

std::string defaultResultsLog(const std::string& programFolder)
{
    // An installed program never writes into its own folder; a portable copy
    // says it wants its log beside it by having a log folder there.
    const std::string portableLog = programFolder + "/log";
    if (!programFolder.empty() && folderExists(portableLog) && folderIsWritable(portableLog)) {
        return portableLog + "/plflog.txt";
    }
    return joinPath(userStateFolder(), "log/plflog.txt");
}

std::string runStateFolder()
{
    // A service's own state folder, which systemd makes and keeps for it;
    // it may name several, separated by ':'.
    if (const char* service = std::getenv("STATE_DIRECTORY"); service != nullptr && *service != '\0') {
        const std::string folders = service;
        return folders.substr(0, folders.find(':'));
    }
    return userStateFolder();
}

void prepareProcess()
{
    reuseLargeAllocations();
    WorkingPaths& paths = processWorkingPaths();
    paths.programPath = programPath();
    paths.programFolder = folderOfPath(paths.programPath);
    paths.settingsFile = paths.programFolder + "/pagelift.ini";
    paths.resultsLog = defaultResultsLog(paths.programFolder);
    paths.resultsLogMakesParents = paths.resultsLog.rfind(paths.programFolder + "/log/", 0) != 0;

    // What copies that were killed left behind goes first, so that a server
    // restarted now and then does not fill its disk with their pages. This
    // copy's own folder is only named: a run makes it when it first needs a
    // working file, and most need none.
    sweepDeadWorkFolders(temporaryFolder());
    const std::string& workFolder = privateWorkFolder();
    paths.workingFiles.rawImagePath = workFolder + "plftmp.tmp";
    paths.workingFiles.rawSegmentPath = workFolder + "bsegtmp.tmp";
    paths.workingFiles.tempTiffPath = workFolder + "tmptif";
}

namespace {

// The entries of a listing (a file, or "-" for standard input) into
// `entries`; false, with the reason on standard error, when it cannot be read.
bool readListing(const std::string& from, std::vector<std::string>& entries)
{
    std::FILE* file = from == "-" ? stdin : std::fopen(from.c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "pliftcmd: cannot read the list of files %s: %s\n", from.c_str(), std::strerror(errno));
        return false;
    }
    std::string text;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    if (file != stdin) std::fclose(file);
    if (failed) {
        std::fprintf(stderr, "pliftcmd: cannot read the list of files %s\n", from.c_str());
        return false;
    }
    entries = readListedEntries(text);
    return true;
}

}  // namespace

int runCommandLineConversion(ConversionOptions& options, const DecodeSettings& decode)
{
    // Loaded only for a run that asks for text, and ended before the
    // process's own exit, which the recognition library's teardown follows.
    std::unique_ptr<TextRecognizer> recognizer;
    if (const std::string problem = prepareRecognition(options, recognizer); !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    // A run converting a listing is one part of a run spread over machines,
    // whose listing swept the destination already: the parts do not walk it
    // again each.
    if (options.listedFiles.empty()) sweepPartialFilesOfDeadRuns(options);
    if (options.nameRecord.empty()) options.nameRecord = joinPath(runStateFolder(), "names.txt");
    if (const std::string problem = prepareDelivery(options, joinPath(runStateFolder(), "deliveries.txt"));
        !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    const WorkingPaths& paths = processWorkingPaths();
    const DecodeSetup setup{decode, paths.workingFiles};
    if (options.watch) {
        WatchSettings watch;
        watch.settle = std::chrono::seconds(options.settleSeconds);
        watch.firstRetry = std::chrono::seconds(options.retrySeconds);
        watch.logPath = paths.resultsLog;
        watch.logMakesParents = paths.resultsLogMakesParents;
        watch.quiet = options.quiet;
        watch.recognizer = recognizer.get();
        return watchFolder(options, setup, watch);
    }
    std::string report;
    if (options.conversionKind == ConversionFolder) {
        options.fileList.clear();
        if (options.listedFiles.empty()) {
            collectFaxFiles(options, options.source, options.includeSubfolders);
        } else if (!readListing(options.listedFiles, options.fileList)) {
            return 1;
        }
        if (options.listGroups) {
            const std::string listing = listOutputGroups(options);
            std::fwrite(listing.data(), 1, listing.size(), stdout);
            return 0;
        }
        convertFolder(options, setup, report, recognizer.get());
    } else {
        report = "Zoziv Pagelift command line mode : convert file\r\n" + convertSingleFile(options, setup, recognizer.get());
    }

    appendToResultsLog(paths.resultsLog, report,
                       paths.resultsLogMakesParents ? LogFolderCreation::AllParents : LogFolderCreation::OneLevel);
    if (!options.quiet) showResultsMessage(report);
    return 0;
}

}  // namespace pagelift
