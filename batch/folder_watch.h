#pragma once

// A folder run that does not end: it converts what the source folder holds,
// then every fax that arrives or is rewritten there, until it is asked to
// stop. For fax servers, which write received faxes into a folder.

#include "ocr/text_recognizer.h"
#include "settings/conversion_options.h"
#include "settings/decode_settings.h"
#include "platform/file_writers.h"

#include <chrono>
#include <set>
#include <string>

namespace pagelift {

struct WatchSettings {
    // How long a file must stay unchanged (and unopened for writing) before
    // it counts as finished.
    std::chrono::seconds settle{2};
    // How often the whole folder is listed again, for folders whose changes
    // the kernel does not report (network folders).
    std::chrono::seconds rescan{300};
    // The first wait before a deferred delivery is tried again (then 5, 15,
    // 60 minutes, then hourly, for two days).
    std::chrono::seconds firstRetry{60};
    std::string logPath;  // one record per file converted; empty: no log
    bool logMakesParents = false;
    bool quiet = false;   // no report lines on standard output
    TextRecognizer* recognizer = nullptr;  // reads the pages' text when options ask for it
};

// True when the file counts as finished at one look: its times say it was
// not changed for `settle`, it is not among `openForWriting` (a snapshot of
// filesOpenForWriting, taken once for many files) and no other process
// holds a write lock on it. For callers that look once, such as the
// window's timer.
bool looksFinished(const std::string& path, std::chrono::seconds settle, const std::set<FileIdentity>& openForWriting);

// Converts the files of options.source (with its filter and subfolder
// choices, into options.destination, moving converted faxes to the backup
// folder) as a folder run would, then each file that arrives or changes,
// once it is finished (see ArrivalTracker), until SIGTERM or SIGINT: the
// files in hand are finished first. Without a backup folder, a fax whose
// outputs are current (outputsAreCurrent) is not converted again, also
// across restarts, unless a delivery of it is pending. A fax whose
// delivery was deferred is converted and delivered again as DeliveryRetries
// says. Each file's report lines go to standard output as they
// come, and one log record per file to the results log. Returns 0 after a
// requested stop; 1 when the source folder cannot be watched or read (the
// reason on standard error).
int watchFolder(const ConversionOptions& options, const DecodeSetup& decode, const WatchSettings& settings);

}  // namespace pagelift
