#pragma once

#include "settings/conversion_options.h"

namespace pagelift {

// Removes the partial files (JPEG pages, backup copies) that copies of the
// program which were killed left where this run writes: the folder of the
// destination JPEG for a single-file run; otherwise the destination folder,
// with its subfolders when the run rebuilds the source tree there; and the
// backup folder. Files of copies that still run are never touched; folders
// that do not exist yet are passed over.
void sweepPartialFilesOfDeadRuns(const ConversionOptions& options);

}  // namespace pagelift
