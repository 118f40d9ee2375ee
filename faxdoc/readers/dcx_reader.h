#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagelift {

// Decodes the run-length coded rows of a PCX image (what follows its 128-byte
// header) into `pixels`, rows of `stride` bytes of which each row takes
// `bytesPerLine` bytes. A byte above 0xC0 repeats the byte after it (its
// value - 0xC0) times; any other byte stands for itself. A run that passes
// the end of a row goes on at the start of the next. Decoding ends when the
// data or the rows run out; what was not decoded stays as it was.
void decodePcxRows(const uint8_t* data, size_t size, size_t bytesPerLine, size_t stride, std::vector<uint8_t>& pixels);

// DCX files: the number 987654321, then the offsets of up to 1023 pages
// ending with 0. Each page runs from its offset to the next page's offset
// (or to the end of the file) and is a PCX image with its own header.
class DcxReader : public FaxReader {
public:
    static constexpr size_t kPcxHeaderSize = 128;

    // 0 when the file starts with the DCX number; -1 no open file; -2 the
    // number cannot be read; -3 not a DCX file. On -2 and -3 the file is
    // closed.
    int checkHeader();

    // Records the page offsets of the list after the number, up to the
    // first 0 or the end of the file. Returns the page count; with none the
    // file is closed.
    uint16_t countPages();

    // Decodes page `index` into `page`: bytesPerRow is the PCX line length
    // (made even), resolutions from the PCX header. Only one-bit pages of
    // one plane are drawn; a page of any other kind, one shorter than its
    // header, one whose sizes contradict each other or are too large, and
    // one whose pixels cannot be allocated is left empty. Rows the data do
    // not reach are zero.
    void readPage(size_t index, PageBitmap& page);

private:
    // Loads page `index` into the coded-data buffer. False when the page
    // has no offset or its data cannot be read.
    bool loadPage(size_t index);
};

}  // namespace pagelift
