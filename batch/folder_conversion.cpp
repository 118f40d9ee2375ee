#include "batch/folder_conversion.h"

#include "batch/conversion_run.h"
#include "batch/single_file.h"
#include "faxdoc/fax_format.h"
#include "output/output_names.h"
#include "platform/folder_search.h"
#include "platform/paths.h"

#include <cstdio>
#include <functional>

namespace pagelift {

void walkFaxFolder(const std::string& filter, const std::string& folder, int32_t includeSubfolders,
                   const std::function<void(const std::string&)>& folderEntered,
                   const std::function<void(const std::string&)>& faxFound)
{
    // No folder named is no folder: never the root of the file system.
    if (folder.empty()) return;
    if (folderEntered) folderEntered(folder);
    const std::string pattern = (folder.back() != '/' ? folder + "/" : folder) + filter;
    for (const FolderEntry& entry : searchFolder(pattern)) {
        if (entry.name == "." || entry.name == "..") continue;
        // One separator is always inserted, as listed entries are later
        // joined back onto the source folder the same way.
        const std::string path = folder + "/" + entry.name;
        if (entry.isFolder) {
            if (includeSubfolders != 0 && !entry.isLink) {
                walkFaxFolder(filter, path, includeSubfolders, folderEntered, faxFound);
            }
            continue;
        }
        if (identifyFormat(path) != NotFax) faxFound(path);
    }
}

void collectFaxFiles(ConversionOptions& options, const std::string& folder, int32_t includeSubfolders)
{
    const size_t prefix = options.source.size() + 1;
    walkFaxFolder(options.filter, folder, includeSubfolders, nullptr, [&](const std::string& path) {
        options.fileList.push_back(path.size() > prefix ? path.substr(prefix) : path);
    });
}

std::string folderOutputPath(const ConversionOptions& options, const std::string& sourcePath)
{
    const FolderNaming naming{options.source, options.destination, options.keepExtension, options.keepHierarchy == 1};
    return pagelift::folderOutputPath(naming, *options.outputFormat, sourcePath);
}

int convertFolder(const ConversionOptions& options, const DecodeSetup& decode, std::string& report,
                  TextRecognizer* recognizer)
{
    if (options.destination.empty()) return -1;

    report = "Zoziv Pagelift command line mode : convert folder\r\nSource Folder: " + options.source +
             "\r\nSave Folder: " + options.destination + "\r\n";
    struct Report final : RunListener {
        std::string& text;
        explicit Report(std::string& into) : text(into) {}
        void fileDone(const RunEntry&, const FileDone& done) override { text += done.report; }
    } listener(report);
    RunRequest request;
    request.options = options;
    request.options.skipExisting = 0;
    request.decode = decode;
    request.recognizer = recognizer;
    const RunTally tally = runFiles(request, folderEntries(options), listener);
    char total[64];
    std::snprintf(total, sizeof total, "\r\n---------\r\nTotal converted FAX files: %d\r\n", tally.converted);
    report += total;
    return 0;
}

}  // namespace pagelift
