#include "batch/run_leftovers.h"

#include "platform/leftovers.h"

namespace pagelift {

void sweepPartialFilesOfDeadRuns(const ConversionOptions& options)
{
    if (options.conversionKind == ConversionSingleFile) return;
    if (!options.destination.empty()) sweepDeadPartialFiles(options.destination, options.keepHierarchy == 1);
    if (!options.backupFolder.empty()) sweepDeadPartialFiles(options.backupFolder, false);
}

}  // namespace pagelift
