#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pagelift {

// What a run converts: every entry joined to the folder by one '/'.
struct FileList {
    std::string sourceFolder;          // empty: there is no source to convert
    std::vector<std::string> entries;  // paths relative to sourceFolder
};

// Files picked in the open-file dialog, kept whole for the run as long as the
// Source box still shows the text made from them.
struct FileSelection {
    std::string folder;
    std::vector<std::string> names;  // in the order the dialog gave them
};

// The Source box text for a selection: the full path of a single file, or
// the folder followed by each name after one blank.
std::string sourceTextOf(const FileSelection& selection);

// Directory mode: the folder is the Source text; its fax files matching the
// filter (and with subfolders, those of matching subfolders) are listed.
FileList listSourceFolder(const std::string& sourceText, const std::string& filter, int32_t includeSubfolders);

// Files mode: the Source text read as a folder and file names, trusting what
// exists over where the blanks are:
// - the whole text naming a file is that one file;
// - otherwise the longest part before a blank that is an existing folder is
//   the folder, and the rest is cut into the longest blank-joined pieces
//   that name existing files in it (a piece naming none ends at its blank);
// - only when nothing exists: the text before the first blank is the folder
//   and the rest is cut at blanks (a text without a blank is a path, the
//   folder before its last '/').
// A selection whose text equals the Source text is used as it is.
FileList listNamedFiles(const std::string& sourceText, const std::optional<FileSelection>& selection);

// The folder the open-file dialog of files mode starts in: the folder the
// Source text names when it is one, else the folder listNamedFiles reads
// from it when that exists, else the nearest existing parent of the whole
// text read as one path. Empty when none exists.
std::string namedFilesStartFolder(const std::string& sourceText, const std::optional<FileSelection>& selection);

}  // namespace pagelift
