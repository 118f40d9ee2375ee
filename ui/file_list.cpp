#include "ui/file_list.h"

#include "batch/folder_conversion.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "ui/folder_fields.h"

namespace pagelift {
namespace {

bool isFile(const std::string& path)
{
    return !path.empty() && readableFileSize(path) >= 0;
}

// A path split at its last '/': folder before, name after.
FileList singlePath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", {path}};
    return {path.substr(0, slash), {path.substr(slash + 1)}};
}

// The names after the folder, each the longest blank-joined piece that names
// an existing file in the folder.
std::vector<std::string> cutIntoExistingFiles(const std::string& folder, const std::string& names)
{
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < names.size()) {
        if (names[start] == ' ') {
            ++start;  // blanks between names
            continue;
        }
        // Every blank after the start may end the name, and so may the text's end.
        std::vector<size_t> ends;
        for (size_t blank = names.find(' ', start); blank != std::string::npos; blank = names.find(' ', blank + 1)) {
            ends.push_back(blank);
        }
        ends.push_back(names.size());
        size_t chosen = ends.front();  // without a file of any length: up to the first blank
        for (auto end = ends.rbegin(); end != ends.rend(); ++end) {
            if (isFile(joinPath(folder, names.substr(start, *end - start)))) {
                chosen = *end;
                break;
            }
        }
        entries.push_back(names.substr(start, chosen - start));
        start = chosen;
    }
    return entries;
}

// The longest part of the text before a blank that is an existing folder;
// npos when there is none.
size_t longestFolderPrefix(const std::string& text)
{
    for (size_t blank = text.rfind(' '); blank != std::string::npos && blank > 0; blank = text.rfind(' ', blank - 1)) {
        if (folderExists(text.substr(0, blank))) return blank;
    }
    return std::string::npos;
}

// The cut by blanks alone: the folder before the first blank, then one name
// per blank-separated piece; an empty piece (two blanks) ends the list.
FileList cutAtBlanks(const std::string& text)
{
    const size_t blank = text.find(' ');
    if (blank == std::string::npos || blank == 0) return singlePath(text);
    FileList list{text.substr(0, blank), {}};
    std::string rest = text.substr(blank + 1) + " ";
    for (size_t next = rest.find(' '); next != std::string::npos && next > 0; next = rest.find(' ')) {
        list.entries.push_back(rest.substr(0, next));
        rest.erase(0, next + 1);
    }
    return list;
}

}  // namespace

std::string sourceTextOf(const FileSelection& selection)
{
    if (selection.names.size() == 1) return joinPath(selection.folder, selection.names.front());
    std::string text = selection.folder;
    for (const std::string& name : selection.names) text += " " + name;
    return text;
}

FileList listSourceFolder(const std::string& sourceText, const std::string& filter, int32_t includeSubfolders)
{
    ConversionOptions options;
    options.source = sourceText;
    options.filter = filter;
    collectFaxFiles(options, sourceText, includeSubfolders);
    return {sourceText, std::move(options.fileList)};
}

FileList listNamedFiles(const std::string& sourceText, const std::optional<FileSelection>& selection)
{
    if (selection && !selection->names.empty() && sourceTextOf(*selection) == sourceText) {
        return {selection->folder, selection->names};
    }
    if (isFile(sourceText)) return singlePath(sourceText);
    const size_t folderEnd = longestFolderPrefix(sourceText);
    if (folderEnd != std::string::npos) {
        const std::string folder = sourceText.substr(0, folderEnd);
        return {folder, cutIntoExistingFiles(folder, sourceText.substr(folderEnd + 1))};
    }
    return cutAtBlanks(sourceText);
}

std::string namedFilesStartFolder(const std::string& sourceText, const std::optional<FileSelection>& selection)
{
    if (folderExists(sourceText)) return sourceText;
    const std::string listed = listNamedFiles(sourceText, selection).sourceFolder;
    if (!listed.empty() && folderExists(listed)) return listed;
    // Nothing it names exists: the whole text read as one path.
    return nearestExistingFolder(sourceText);
}

}  // namespace pagelift
