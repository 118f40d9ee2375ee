#pragma once

// The rules of output names: what a document's files are called, which
// files of a run may write a name in common, where a folder run puts a
// file's outputs, and whether a document's outputs are there already.

#include "output/output_format.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pagelift {

// The name of page `pageNumber` (from 1) of a document converted to
// `destination`: the destination up to the last '.' of its file name (all of
// it when the file name has no dot), the number as "%03d", and the format's
// extension ("out/fax.jpg" gives out/fax001.jpg ...).
std::string pageFileName(const OutputFormat& format, const std::string& destination, int pageNumber);

// What page names are numbered after: pageFileName less the number and the
// extension ("out/fax" for out/fax.jpg).
std::string pageNameBase(const std::string& destination);

// The text file beside a document's pages: pageNameBase plus ".txt"
// ("out/fax.txt" for out/fax.jpg).
std::string textFileName(const std::string& destination);

// The files a document of `pageCount` pages converted to `destination`
// writes, in page order: the destination itself for one page (and for any
// document of a format of a file per document), else its page names.
std::vector<std::string> outputNamesOf(const OutputFormat& format, const std::string& destination, int pageCount);

// The output of a conversion to `destination` that holds data already, as
// the skip rule looks for it: the destination, or (a format of a file per
// page) its first page name. Empty when neither does.
std::string existingOutputOf(const OutputFormat& format, const std::string& destination);

// True when every file a document converts to exists and was written no
// earlier than the source's last change (a status change, which copied file
// times cannot set back). `pageCount` is asked only when the destination
// itself is not such a file and the first page name is; it returns the
// document's page count, or below 2 when that cannot be told.
bool outputsAreCurrent(const OutputFormat& format, const std::string& source, const std::string& destination,
                       const std::function<int()>& pageCount);

// The same test, giving those files in page order; empty when they are not
// all there and current.
std::vector<std::string> currentOutputsOf(const OutputFormat& format, const std::string& source,
                                          const std::string& destination, const std::function<int()>& pageCount);

// True when documents converted to these two destinations may write a name
// in common: the same path, or (a format of a file per page) one page base
// the other followed by digits that may be a page number (fax.jpg and
// fax001.jpg, or fax.jpg and fax1.jpg, whose page 1 is page 1001 of
// fax.jpg). Serially numbered names such as fax00001 and fax00002 never meet.
bool outputNamesMayMeet(const OutputFormat& format, const std::string& destination, const std::string& other);

// The indexes of documents converted to these destinations, in groups that
// must be converted one after the other in list order (outputNamesMayMeet
// joins two, and through them their groups); the groups in the order of
// their first document, each in list order.
std::vector<std::vector<size_t>> outputGroupsOf(const OutputFormat& format, const std::vector<std::string>& destinations);

// Where a folder run puts the outputs of one source file.
struct FolderNaming {
    std::string source;       // the source folder
    std::string destination;  // the destination folder
    bool keepExtension = false;
    bool keepHierarchy = false;  // rebuild the source tree under the destination
};

// The output path of one source file of a folder run: its path without the
// extension of its file name (kept with keepExtension; a dot in a folder
// name is no extension) plus the format's extension, moved under the
// destination, either by replacing the leading source folder with it
// (keepHierarchy) or by taking only its file name (also for a path outside
// the source folder).
std::string folderOutputPath(const FolderNaming& naming, const OutputFormat& format, const std::string& sourcePath);


}  // namespace pagelift
