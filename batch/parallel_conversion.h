#pragma once

#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pagelift {

// One file of a run: where it comes from and the JPEG name it goes to.
struct FileJob {
    std::string source;
    std::string destination;
};

// What converting one file gave.
struct FileOutcome {
    int result = 0;                        // a ConvertResult
    std::string report;                    // its lines of the run's report
    std::vector<std::string> backupMoves;  // the source, when it is to go to the backup folder
};

// Jobs a run of `files` files uses when `requested` were asked for (0: one
// per processor core): at least 1, at most one per file.
int jobCountFor(int32_t requested, size_t files);

// Converts the files `jobs` at a time, each job with working files of its own
// beside the process's, and returns what each file gave, in the order of
// `files`: what one job converting them one after the other gives. Files
// whose JPEG names could meet (names that differ only in trailing digits, as
// "fax.jpg", its pages "fax001.jpg" ... and "fax001.jpg" of another file do)
// go to one job in list order, so that no file is converted over another's
// output, exactly as in one job. Backup moves are not made but listed in the
// outcomes, for the caller to make in list order. `options` supplies the
// settings of the run; it is not changed. A failure of one file never stops
// the others.
std::vector<FileOutcome> convertFilesInParallel(const ConversionOptions& options, const std::vector<FileJob>& files,
                                                const DecodeSettings& decode, int jobs);

}  // namespace pagelift
