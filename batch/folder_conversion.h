#pragma once

#include "ocr/text_recognizer.h"
#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <functional>
#include <string>

namespace pagelift {

// Appends to options.fileList every file of `folder` whose name matches
// options.filter and whose format is not NotFax, as a path relative to
// options.source, in the order the folder lists them. With
// includeSubfolders, each matching subfolder's files are listed where the
// subfolder is met (linked folders are not entered, so a link cannot lead the
// walk round in circles).
void collectFaxFiles(ConversionOptions& options, const std::string& folder, int32_t includeSubfolders);

// The walk collectFaxFiles makes: calls `folderEntered` (when given) for
// each folder it lists, `folder` first, and `faxFound` with the path of each
// matching file whose format is not NotFax, in the order the folders list
// them.
void walkFaxFolder(const std::string& filter, const std::string& folder, int32_t includeSubfolders,
                   const std::function<void(const std::string&)>& folderEntered,
                   const std::function<void(const std::string&)>& faxFound);

// Converts every listed file into the destination folder (runFiles) and
// writes the run's report into `report`: its heading, a line per file and
// the count of converted files. A file whose output name an earlier file of
// the run already took is skipped and left in place. `recognizer` reads the
// pages' text when options ask for it. -1 (nothing done, `report`
// untouched) when the destination is empty; 0 otherwise.
int convertFolder(const ConversionOptions& options, const DecodeSetup& decode, std::string& report,
                  TextRecognizer* recognizer = nullptr);

// The output path of one listed file in a run with these options: the
// output stage's folderOutputPath with the run's folders, naming choices
// (keepHierarchy 1 rebuilds the tree) and output format.
std::string folderOutputPath(const ConversionOptions& options, const std::string& sourcePath);

}  // namespace pagelift
