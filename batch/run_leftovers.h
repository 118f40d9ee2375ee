#pragma once

#include "settings/conversion_options.h"

namespace pagelift {

// Removes the partial files (pages, documents, backup copies) that copies
// of the program which were killed left where a folder run writes: the
// destination folder, with its subfolders when the run rebuilds the source
// tree there, and the backup folder. A single-file run lists no folder: a
// fax server converting each fax into an archive of thousands would pay
// for the listing on every fax (as much again as the conversion of a page
// at 10,000 files); the next folder run there sweeps. Files of copies that
// still run are never touched; folders that do not exist yet are passed
// over.
void sweepPartialFilesOfDeadRuns(const ConversionOptions& options);

}  // namespace pagelift
