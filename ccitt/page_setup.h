#pragma once

#include "ccitt/ccitt_decoder.h"
#include "ccitt/row_writer.h"
#include "raster/page_bitmap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace pagelift {

// Largest pixel buffer a decoder will allocate: no fax page comes near it,
// so anything above is damaged geometry and is refused rather than tried.
inline constexpr int64_t kMaxPageBytes = int64_t(128) * 1024 * 1024;

inline int32_t saturatingAdd(int32_t total, int64_t more)
{
    const int64_t sum = int64_t(total) + more;
    return sum > kRunCeiling ? kRunCeiling : int32_t(sum);
}

// Fills the header fields of a page the decoder is about to decode: width,
// bytesPerRow, resolution and paper class from the width, yResolution 100,
// the given coding, the decoder's bit order and polarity; rows 0.
void describeDecodedPage(const CcittDecoder& decoder, uint8_t coding, PageBitmap& page);

// Prepares `page` for a decoder that is about to run: fills its header from
// the decoder (width, bytesPerRow, resolution and paper class from the width,
// yResolution 100, the given coding, ...), frees its previous pixels and
// reserves height x bytesPerRow bytes; the pixels stay empty until startRow
// hands out rows. Returns 0, or -1 when the geometry is unusable (width <= 0,
// height < 0, more than kMaxPageBytes) or the buffer cannot be allocated; the
// header is then filled, with rows 0 and no pixels.
int setUpPage(const CcittDecoder& decoder, PageBitmap& page, uint8_t coding);

// Clears row `index` of a page set up by setUpPage (the pixels grow, by
// zero bytes, to hold at least it and every row before it) and returns a
// cursor at its start; past the reserved rows, a cursor that stores nothing.
RowCursor startRow(PageBitmap& page, int32_t index, int32_t height);

namespace detail {

// Pixels are added this many bytes at a time (whole rows, at least one):
// one library call per few rows instead of one per row, and the stretch is
// small enough to stay in the first-level cache while its rows are decoded.
inline constexpr size_t kRowGrowthBytes = 1920;

// The start of row `index` (0 <= index < the reserved rows), after growing
// the pixels to hold it. Growing adds `fill` bytes, in whole rows so that
// every row holds a single fill; the buffer never moves, since it grows
// within the rows reserved.
inline uint8_t* rowStartOf(PageBitmap& page, int32_t index, uint32_t rowBytes, uint8_t fill)
{
    const size_t rowStart = size_t(index) * rowBytes;
    if (page.pixels.size() < rowStart + rowBytes) {
        const size_t grown = rowStart + rowBytes * std::max<size_t>(1, kRowGrowthBytes / rowBytes);
        page.pixels.resize(std::min(grown, page.pixels.capacity() / rowBytes * rowBytes), fill);
    }
    return page.pixels.data() + rowStart;
}

}  // namespace detail

// A cursor at the start of row `index` for a page decoder that hands out
// rows in order, writes only into the row it was handed last, and takes
// every row of the page from here with the same `fill`: row `index` then
// lies past every row handed out before and is not cleared; it holds `fill`
// in every byte, what the pixels grew by. Past the reserved rows, a cursor
// that stores nothing.
inline RowCursor startNewRow(PageBitmap& page, int32_t index, int32_t height, uint8_t fill)
{
    const uint32_t rowBytes = uint32_t(page.bytesPerRow);
    if (index < 0 || index >= height) return rowCursorAt(nullptr, rowBytes);
    return rowCursorAt(detail::rowStartOf(page, index, rowBytes, fill), rowBytes);
}

// Clears the row under the cursor and puts the cursor back at its start.
void restartRow(RowCursor& cursor);

// Copies row `from` of a page set up by setUpPage over row `to`; nothing
// when either lies outside 0..height-1 or has not been handed out by
// startRow yet.
void copyRow(PageBitmap& page, int32_t from, int32_t to, int32_t height);

// Records the rows decoded and trims the buffer to them.
void finishPage(PageBitmap& page, int32_t rows);

// Entries a run list needs for one line of this decoder: a line of `width`
// pixels has at most width + 1 runs, and no line has more runs than the
// coded data have bits.
uint32_t runCapacityFor(const CcittDecoder& decoder);

}  // namespace pagelift
