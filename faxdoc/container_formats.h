#pragma once

#include "faxdoc/container_reader.h"
#include "faxdoc/fax_format.h"

#include <array>
#include <memory>
#include <span>

namespace pagelift {

// How a document of a container is opened.
enum class Opening {
    WithHeader,         // the reader checks the header and counts the pages
    RawStream,          // the stream is analysed whole before its pages are cut
    ConvertedToTiff,    // an external converter writes a TIFF file, read instead
};

// Everything the program knows of one container format: the name endings
// that select it, its reader and how a document of it is opened.
struct ContainerFormat {
    FaxFormat format;
    // Extensions that select it, compared without regard to case over each
    // candidate's length (see identifyFormat).
    std::array<const char*, 8> extensions;
    // Tried only after a .g3f name was probed, so that no earlier candidate
    // takes a name that begins like "g3f".
    bool afterG3fProbe;
    Opening opening;
    std::unique_ptr<ContainerReader> (*makeReader)();
    bool validOnlyWithPages;  // a file without a page is not a document of it
    bool pagesInAnyOrder;     // pages can be read each alone, in any order
};

// Every container chosen by name, in the order their extensions are tried.
std::span<const ContainerFormat> containerFormats();

// The row of `format`; every value without one (RawFax, NotFax, 2, 15 ...)
// gets the raw stream's.
const ContainerFormat& containerFormatOf(FaxFormat format);

}  // namespace pagelift
