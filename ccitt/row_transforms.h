#pragma once

#include "raster/page_bitmap.h"

namespace pagelift {

// Turns the page upside down: row i becomes old row (rows - 1 - i), in a new
// buffer of the same size. Returns 0; -1 when the page has no pixels (rows x
// bytesPerRow <= 0 or a buffer shorter than that); -2 when the new buffer
// cannot be allocated, in which case the page is left as it was.
int flipRows(PageBitmap& page);

// Mirrors every row left to right in place, byte-wise: bytes j and
// (bytesPerRow - 1 - j) swap places and each is bit-reversed. When the width
// is not a multiple of 8 the padding bits of the last byte end up at the left
// of the row; callers that need exact pixels use whole-byte widths. Returns
// 0, or -1 when the page has no pixels.
int mirrorRows(PageBitmap& page);

}  // namespace pagelift
