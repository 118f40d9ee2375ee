#pragma once

#include "settings/conversion_options.h"

#include <string>

namespace pagelift {

// Appends to options.fileList every file of `folder` whose name matches
// options.filter and whose format is not NotFax, as a path relative to
// options.source, in the order the folder lists them. With
// includeSubfolders, each matching subfolder's files are listed where the
// subfolder is met (linked folders are not entered, so a link cannot lead the
// walk round in circles).
void collectFaxFiles(ConversionOptions& options, const std::string& folder, int32_t includeSubfolders);

// Converts every listed file into the destination folder and reports the
// count of converted files. -1 (nothing done, resultsText untouched) when
// the destination is empty; 0 otherwise.
int convertFolder(ConversionOptions& options);

// The output path of one listed file: the source path without its extension
// (kept with keepExtension) plus ".jpg", moved under the destination, either
// by replacing the source folder in it (keepHierarchy 1) or by taking only
// its file name.
std::string folderOutputPath(const ConversionOptions& options, const std::string& sourcePath);

}  // namespace pagelift
