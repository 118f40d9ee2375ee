#include "raster/page_bitmap.h"

namespace pagelift {

void PageBitmap::copyHeaderFrom(const PageBitmap& other)
{
    reserved = other.reserved;
    width = other.width;
    rows = other.rows;
    bytesPerRow = other.bytesPerRow;
    planes = other.planes;
    bitsPerPixel = other.bitsPerPixel;
    codedLength = other.codedLength;
    xResolution = other.xResolution;
    yResolution = other.yResolution;
    resolutionUnit = other.resolutionUnit;
    fillOrder = other.fillOrder;
    coding = other.coding;
    paperSize = other.paperSize;
    photometric = other.photometric;
}

}  // namespace pagelift
