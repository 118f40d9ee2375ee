#pragma once

#include "raster/page_bitmap.h"
#include "support/fax_oracles.h"
#include "support/image_oracles.h"

#include <string>
#include <vector>

// Helpers for the tests of the reading and conversion pipeline: running the
// program and the oracle tools, rendering fax pages, reading documents.
namespace pagelift::faxtest {

using imagetest::GrayImage;
using testing::CommandResult;
using testing::readText;
using testing::runShell;
using testing::ScratchFolder;
using testing::writeText;

// Runs pliftcmd with these arguments (no shell), in `workingFolder` when one
// is given, capturing its output.
CommandResult runPliftcmd(const std::vector<std::string>& arguments, const std::string& scratchFolder,
                          const std::string& workingFolder = "");

// True when every named program is installed.
bool toolsAvailable(std::initializer_list<const char*> paths);

// Renders lines of text as a PBM page of the given size (netpbm).
bool renderTextPage(const std::string& pbmPath, const std::string& text, int scale, int width, int height);

// Every page of a document, read the way the conversion reads it.
std::vector<PageBitmap> readDocumentPages(const std::string& path);

// A page as gray pixels of its own width: 255 white, 0 black.
GrayImage pageAsGray(const PageBitmap& page);
GrayImage pictureAsGray(const testing::Picture& picture);

// The image an independent decoder (ImageMagick) sees on one page of a file.
std::optional<GrayImage> referencePage(const std::string& path, int pageIndex, const std::string& scratchPgm);

// Gray pixels with rows repeated `factor` times, made as wide as `width`
// with white columns on the right.
GrayImage scaledForJpeg(const GrayImage& page, int factor, int width);

// Pixels at or above 128 are white; the rest black.
GrayImage thresholded(const GrayImage& image);

// A readable account of where two images first differ ("" when equal).
std::string firstDifference(const GrayImage& expected, const GrayImage& actual);

}  // namespace pagelift::faxtest
