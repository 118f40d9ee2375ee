#include "batch/folder_conversion.h"

#include "batch/parallel_conversion.h"
#include "batch/single_file.h"
#include "faxdoc/fax_format.h"
#include "platform/folder_search.h"
#include "platform/paths.h"

#include <cctype>
#include <cstdio>
#include <functional>

namespace pagelift {
namespace {

bool endsWithNoCase(const std::string& text, const std::string& suffix)
{
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(text[text.size() - suffix.size() + i]);
        if (std::tolower(a) != suffix[i]) return false;
    }
    return true;
}

}  // namespace

bool isJpegName(const std::string& path)
{
    return endsWithNoCase(path, "jpg") || endsWithNoCase(path, "jpeg");
}

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
    std::string output = sourcePath;
    if (!options.keepExtension) {
        // The extension is cut at the last dot of the file name only: a dot
        // in a folder name must not move the output into another folder.
        const size_t slash = output.rfind('/');
        const size_t dot = output.rfind('.');
        if (dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash)) output.resize(dot);
    }
    output += ".jpg";

    if (options.keepHierarchy == 1) {
        // Only the leading source folder is the source tree's root; the same
        // text deeper in the path is an ordinary folder name and stays.
        if (!options.source.empty() && output.compare(0, options.source.size(), options.source) == 0) {
            return options.destination + output.substr(options.source.size());
        }
        // Outside the source folder there is no tree to rebuild: the output
        // goes straight into the destination like a flat one.
    }
    const size_t slash = output.rfind('/');
    if (slash != std::string::npos && slash > 0) output = output.substr(slash + 1);
    return options.destination + "/" + output;
}

int convertFolder(ConversionOptions& options)
{
    if (options.destination.empty()) return -1;

    options.resultsText = "Zoziv Pagelift command line mode : convert folder\r\nSource Folder: " + options.source +
                          "\r\nSave Folder: " + options.destination + "\r\n";
    options.skipExisting = 0;
    options.writtenOutputs.clear();
    std::vector<FileJob> jobs;
    for (const std::string& entry : options.fileList) {
        const std::string sourcePath = options.source + "/" + entry;
        if (!isJpegName(sourcePath)) jobs.push_back({sourcePath, folderOutputPath(options, sourcePath)});
    }
    const int jobCount = jobCountFor(options.jobs, jobs.size());
    std::vector<FileOutcome> outcomes;
    if (jobCount > 1) outcomes = convertFilesInParallel(options, jobs, copyProcessDecodeSettings(), jobCount);

    int converted = 0;
    size_t next = 0;
    for (const std::string& entry : options.fileList) {
        const std::string sourcePath = options.source + "/" + entry;
        if (isJpegName(sourcePath)) {
            options.resultsText += sourcePath + " : already JPEG format, need no converting!\r\n";
            continue;
        }
        const FileJob& job = jobs[next];
        if (jobCount == 1) {
            if (convertFile(options, job.source, job.destination) == ConvertDone) ++converted;
        } else {
            // The parallel jobs' results, told and acted on in list order.
            const FileOutcome& outcome = outcomes[next];
            options.resultsText += outcome.report;
            if (outcome.result == ConvertDone) ++converted;
            for (const std::string& source : outcome.backupMoves) moveToBackupFolder(source, options.backupFolder);
        }
        ++next;
    }
    char total[64];
    std::snprintf(total, sizeof total, "\r\n---------\r\nTotal converted FAX files: %d\r\n", converted);
    options.resultsText += total;
    return 0;
}

}  // namespace pagelift
