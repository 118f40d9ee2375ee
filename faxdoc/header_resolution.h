#pragma once

#include "raster/page_bitmap.h"

#include <cstdint>

namespace pagelift {

// The resolutions a container header gives for a page.
struct HeaderResolution {
    uint16_t x = 200;
    int16_t y = 200;
    bool stated = false;  // false: the header gave neither, so both are the 200 x 200 default
};

// Reads a header's horizontal and vertical resolution, where 0 and negative
// values mean "not given": a missing one takes the other's value, and both
// missing give 200 x 200. Values are held to 32767, the most the page's
// vertical field can carry, so that no header can turn the page's row factor
// upside down.
HeaderResolution resolutionFromHeader(int64_t horizontal, int64_t vertical);

// Sets the page's resolutions from a header's values as resolutionFromHeader
// reads them, with resolutionUnit 2 (inch).
void setResolutionFromHeader(PageBitmap& page, int64_t horizontal, int64_t vertical);

}  // namespace pagelift
