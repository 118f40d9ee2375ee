#pragma once

#include "ui/conversion_run.h"
#include "ui/conversion_runner.h"
#include "ui/file_list.h"
#include "ui/page_values.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace pagelift {

// The texts of the Convert tab's boxes and status line.
struct PageTexts {
    std::string filterText = "*.*";
    std::string sourceText;
    std::string destinationText;
    std::string backupText;
    std::string statusText = "It's a GOOD idea to backup your fax files, and NEVER delete them";
};

// What the Convert tab tells the user about a start, on the window's thread.
class PageNotices {
public:
    virtual ~PageNotices() = default;
    // A modal message with an OK button.
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    // A line for the status: why a start of the period timer could not run,
    // when the user has to act (a timer never opens a message box).
    virtual void showNote(const std::string& text) = 0;
};

enum class StartResult {
    Started,
    Refused,  // a message said why
    Dropped,  // a timer start that could not run: nothing is said
};

// The Convert tab without its window: the page's texts and Options copies,
// the rules for starting and stopping runs, and the one worker thread. All
// of it is used on the window's thread only; the worker sees nothing but its
// own RunContext.
class ConvertController {
public:
    static constexpr std::chrono::milliseconds kStopWait{5000};

    ConvertController(RunEvents& events, FileConverter convert);

    PageTexts texts;
    RunChoices choices;                      // the Options values of the last copy
    std::optional<FileSelection> selection;  // the last files picked in the dialog
    std::string logPath;                     // where runs append their reports
    LogFolderCreation logFolderCreation = LogFolderCreation::OneLevel;
    int32_t jobs = 1;                        // files a run converts at a time; 0 one per core
    DecodeSetup decode;                      // what runs decode with: the Settings tab's values, the working files
    // An automatic run leaves out files changed within this time or still
    // open for writing: a fax being received is taken by a later run.
    std::chrono::seconds settleTime{2};

    // Starts a run from the texts and choices as they are now ("&Go" with
    // automatic false, the period timer with true); a leading "~" in the
    // three folder texts names the home folder. Refused (or dropped) while
    // a run is going or the worker of a stopped run has not ended yet, when
    // the source folder or the destination is empty, when the source folder
    // does not exist (said for both kinds of start, naming it; nothing is
    // created then), and when no thread can be started. A destination or
    // backup folder that cannot be made is told ("Error Save Dir", "Error
    // Backup Dir"; a timer run writes the line into its report instead) and
    // the run goes on.
    StartResult startRun(bool automatic, PageNotices& notices);

    // The number of entries of the list the last start built; nothing when
    // no start got that far.
    std::optional<int> listedEntries() const { return listedEntries_; }
    const std::string& sourceFolder() const { return sourceFolder_; }

    // Asks a running worker to stop after its current file and waits for it,
    // at most `wait`; the page is idle afterwards either way. True when the
    // worker ended within the wait (or no run was going).
    bool stopRun(std::chrono::milliseconds wait = kStopWait);

    // Asks the worker to stop without waiting (the program is ending).
    void requestStop();

    // The run's last event reached the window: the page becomes idle.
    void runFinished(uint64_t runId);

    bool running() const { return running_; }
    // True for the events of the latest run; those of an older run are stale.
    bool isCurrentRun(uint64_t runId) const { return runId == currentRunId_; }
    // True when no worker thread is left, running or not.
    bool workerIdle();

private:
    std::unique_ptr<RunContext> snapshotRun(bool automatic, const FileList& list, PageNotices& notices);
    FileList listSources(bool automatic) const;

    RunEvents& events_;
    FileConverter convert_;
    std::string sourceFolder_;
    std::optional<int> listedEntries_;
    bool running_ = false;
    bool endReported_ = false;  // the current run's last event arrived: its thread only has to return
    bool starting_ = false;  // a start is showing a message: ticks must not start another run
    uint64_t currentRunId_ = 0;
    std::shared_ptr<std::atomic<bool>> stopRequested_;
    // Loaded by the first run that asks for text, then kept with its engines
    // for the next runs; it ends with the window, before the program does.
    std::unique_ptr<TextRecognizer> recognizer_;
    ConversionRunner runner_;  // last: its thread ends before the rest goes away
};

}  // namespace pagelift
