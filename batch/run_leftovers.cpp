#include "batch/run_leftovers.h"

#include "platform/leftovers.h"
#include "platform/paths.h"

namespace pagelift {

void sweepPartialFilesOfDeadRuns(const ConversionOptions& options)
{
    if (options.conversionKind == ConversionSingleFile) {
        const std::string folder = folderOfPath(options.destination);
        // "out.jpg" lies in the current folder, "/out.jpg" in the root.
        const bool rooted = !options.destination.empty() && options.destination[0] == '/';
        sweepDeadPartialFiles(folder.empty() ? (rooted ? "/" : ".") : folder, false);
    } else if (!options.destination.empty()) {
        sweepDeadPartialFiles(options.destination, options.keepHierarchy == 1);
    }
    if (!options.backupFolder.empty()) sweepDeadPartialFiles(options.backupFolder, false);
}

}  // namespace pagelift
