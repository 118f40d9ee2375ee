#pragma once

#include "settings/decode_settings.h"

#include <string>

namespace pagelift {

// Paths fixed for the life of the process.
struct WorkingPaths {
    std::string programPath;         // the running executable
    std::string programFolder;       // programPath before its last '/'
    std::string settingsFile;        // programFolder/pagelift.ini
    std::string resultsLog;          // where runs append their records; empty: no log
    bool resultsLogMakesParents = false;  // the default log outside the program folder
    WorkingFiles workingFiles;       // in the private work folder: those of a run's decoding
};

// The process-wide paths, set once at start-up.
WorkingPaths& processWorkingPaths();

}  // namespace pagelift
