#pragma once

#include "raster/page_bitmap.h"

namespace pagelift {

// The page turned clockwise by `degrees` (90, 180 or 270; anything else
// gives a copy): its pixels moved, and for a quarter turn its width and
// rows, and its horizontal and vertical resolutions, exchanged. The result
// has whole-byte rows with white padding. A page whose pixels do not hold
// its rows comes back as it is.
PageBitmap turnedPage(const PageBitmap& page, int degrees);

}  // namespace pagelift
