#include "ccitt/coded_page.h"

#include "ccitt/ccitt_decoder.h"
#include "ccitt/mh_decoder.h"
#include "ccitt/mmr_decoder.h"
#include "ccitt/page_setup.h"
#include "ccitt/raw_analysis.h"
#include "ccitt/two_d_decoder.h"

#include <algorithm>

namespace pagelift {
namespace {

// The fuzz targets and every reader rely on this: whatever failed, the page
// has no rows and no pixels.
int noPage(PageBitmap& page)
{
    page = PageBitmap{};
    return -1;
}

// Runs the T.6 page decoder on a decoder already placed where the data begin.
int decodeMmrFromHere(MmrDecoder& decoder, int32_t width, int32_t height, PageBitmap& page)
{
    decoder.setGeometry(width, height);
    return decodeMmr(decoder, page);
}

}  // namespace

bool pageGeometryFits(int64_t width, int64_t rows)
{
    if (width < 1 || rows < 1 || width > INT32_MAX || rows > INT32_MAX) return false;
    return (width + 7) / 8 * rows <= kMaxPageBytes;
}

int decodeCodedPage(const uint8_t* data, int32_t size, const CodedPageLayout& layout, PageBitmap& page)
{
    if (layout.coding < FaxMhByteAligned || layout.coding > FaxMmr) return noPage(page);
    if (!pageGeometryFits(layout.width, layout.height)) return noPage(page);
    if (layout.coding == FaxMmr) {
        MmrDecoder decoder(data, size, layout.bitOrder, layout.t6Options, layout.polarity, layout.flagCount);
        decoder.setDamageRule(layout.mmrDamage);
        decoder.setLinesPassingWidthBreak(layout.linesPassingWidthBreak);
        return decodeMmrFromHere(decoder, layout.width, layout.height, page);
    }
    CcittDecoder decoder(data, size, layout.bitOrder, layout.coding, layout.polarity);
    decoder.setGeometry(layout.width, layout.height);
    return decodePage(decoder, page);
}

int decodeUnlabelledPage(const uint8_t* data, int32_t size, const UnlabelledPage& request, PageBitmap& page)
{
    // Trial decoding is the costly part: a size that can never fit is
    // refused before it (a width to be detected is checked once known).
    if (request.width < 0 || !pageGeometryFits(std::max(request.width, 1), request.height)) return noPage(page);
    StreamProbe probe;
    probe.threshold = request.threshold;
    probe.flagCount = request.flagCount;
    const auto widthToUse = [&]() { return request.width > 0 ? request.width : int32_t(probe.width); };

    CcittDecoder decoder(data, size, 1, FaxMhWithEol, 0);
    if (detectMhMr(decoder, probe) == 0) {
        CodedPageLayout layout;
        layout.bitOrder = probe.bitOrder;
        layout.coding = probe.coding;
        layout.width = widthToUse();
        layout.height = request.height;
        decodeCodedPage(data, size, layout, page);
        return page.hasPage() ? 0 : noPage(page);
    }
    if (!request.mayBeMmr) return noPage(page);

    MmrDecoder mmr(data, size, 1, 0, 0, request.flagCount);
    if (detectMmr(mmr, probe) != 0 || !pageGeometryFits(widthToUse(), request.height)) return noPage(page);
    MmrDecoder placed(data, size, probe.bitOrder, 0, 0, request.flagCount);
    placeAfterFlagRun(placed, int32_t(probe.start));
    decodeMmrFromHere(placed, widthToUse(), request.height, page);
    return page.hasPage() ? 0 : noPage(page);
}

}  // namespace pagelift
