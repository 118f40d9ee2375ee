#pragma once

#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <cstdint>
#include <functional>
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
// per processor core): at least 1, and 1 for no file. A run of fewer files
// than jobs still uses them all: the pages of a long document are shared.
int jobCountFor(int32_t requested, size_t files);

// Converts one file (convertFile, or a stand-in); returns a ConvertResult.
using FileConversion = std::function<int(ConversionOptions& options, const std::string& source,
                                         const std::string& destination, const DecodeSettings& decode)>;

// Converts the files `jobs` at a time, each job with working files of its own
// beside the process's, and hands each file's outcome to `finished` on the
// calling thread, in the order of `files`: what one job converting them one
// after the other gives. Files whose JPEG names could meet (the same name, or
// one a page name of the other: "fax.jpg" with its pages "fax001.jpg" ...
// and "fax001.jpg" of another file) go to one job in list order, so that no
// file is converted over another's output, exactly as in one job; serially
// numbered names such as fax00001 and fax00002 never meet. The largest
// files start first, so that no job is left with a big one at the end. Backup
// moves are not made but listed in the outcomes, for the caller to make in
// list order. The pages of a multi-page document that can be read in any
// order are converted by every job that has no file left (each page's JPEG
// the same as one job makes). Once `stopRequested` says so no further file starts; the files
// converted until then are all handed over, those never started are not.
// `options` supplies the settings of the run; it is not changed. A failure
// of one file never stops the others.
void convertFilesInOrder(const ConversionOptions& options, const std::vector<FileJob>& files,
                         const DecodeSettings& decode, int jobs, const FileConversion& convert,
                         const std::function<bool()>& stopRequested,
                         const std::function<void(size_t index, FileOutcome& outcome)>& finished);

// convertFilesInOrder with convertFile and no stop: every file's outcome, in
// the order of `files`.
std::vector<FileOutcome> convertFilesInParallel(const ConversionOptions& options, const std::vector<FileJob>& files,
                                                const DecodeSettings& decode, int jobs);

}  // namespace pagelift
