#pragma once

#include "batch/single_file.h"
#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pagelift {

// One file of a run: where it comes from and the output name it goes to.
struct FileJob {
    std::string source;
    std::string destination;
};

// Jobs a run of `files` files uses when `requested` were asked for (0: one
// per processor core): at least 1, and 1 for no file. A run of fewer files
// than jobs still uses them all: the pages of a long document are shared.
int jobCountFor(int32_t requested, size_t files);

// Converts the files `jobs` at a time, each job with working files of its
// own beside those of `decode` (and `recognizer`, shared, for their text), and hands each file's conversion to
// `finished` on the calling thread, in the order of `files`: what one job
// converting them one after the other gives. Files whose output names could
// meet (outputNamesMayMeet) go to one job in list order, so that no file is
// converted over another's output, exactly as in one job; a job knows the
// names its own files write and those earlier runs wrote (`writtenBefore`). The largest files start first, so that no job is left with a big
// one at the end. The pages of a multi-page document are converted by every
// job that has no file left (each page's file the same as one job makes).
// Once `stopRequested` says so no further file starts; the files converted
// until then are all handed over, those never started are not. A failure of
// one file never stops the others.
void convertFilesInOrder(const ConversionOptions& options, const std::vector<FileJob>& files,
                         const DecodeSetup& decode, TextRecognizer* recognizer, int jobs, const FileConverter& convert,
                         const std::function<bool()>& stopRequested, const WrittenOutputs& writtenBefore,
                         const std::function<void(size_t index, FileConversion& conversion)>& finished);

}  // namespace pagelift
