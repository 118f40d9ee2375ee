#pragma once

#include <ctime>
#include <string>

namespace pagelift {

enum class LogFolderCreation {
    OneLevel,    // a missing folder of the log is created, but not its parents
    AllParents,  // every missing folder on the way is created
};

// Appends one record to the results log: a "%Y-%m-%d %H:%M:%S" local-time
// line, the report text as it stands, and a line of 50 hyphens. An empty path
// means the log is switched off. While it appends it holds an advisory lock on
// the file, so that programs running side by side never interleave records.
// Failures (folder or file cannot be made or opened, write errors) are
// silent: the log never stops a run.
void appendToResultsLog(const std::string& logPath, const std::string& text,
                        LogFolderCreation creation = LogFolderCreation::OneLevel);

// The record appendToResultsLog writes for `text` at time `when`.
std::string formatLogRecord(const std::string& text, std::time_t when);

}  // namespace pagelift
