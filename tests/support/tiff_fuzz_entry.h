#pragma once

// The one entry both the TIFF fuzz target and its regression test feed bytes
// to: the bytes become a file that a document opens as TIFF and reads page by
// page. A page that breaks the raster's promises aborts, so the fuzzer
// reports it as a crash.

#include "faxdoc/fax_document.h"
#include "raster/page_size.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pagelift::fuzzing {

inline void requireTiffPageShape(const PageBitmap& page)
{
    if (!page.hasPage()) return;
    const size_t bytes = size_t(page.rows) * size_t(page.bytesPerRow);
    if (page.bytesPerRow != (int64_t{page.width} + 7) / 8) std::abort();
    // Either the whole raster, or none for a page too large to convert.
    if (page.pixels.size() != bytes && !page.pixels.empty()) std::abort();
    if (page.pixels.empty() && bytes <= (size_t{1} << 27) && fitsOutputLimits(page)) std::abort();
}

inline void runTiffReader(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/pagelift-tiff-fuzz-" + std::to_string(long(getpid())) + ".tif";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    FaxDocument document;
    document.open(path, Tiff);
    requireTiffPageShape(document.page());
    for (size_t index = 1; index < document.pageCount(); ++index) {
        document.readPage(Tiff, index);
        requireTiffPageShape(document.page());
    }
    document.close();
    std::remove(path.c_str());
}

}  // namespace pagelift::fuzzing
