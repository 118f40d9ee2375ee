#include "faxdoc/whole_mmr_page.h"

#include "ccitt/coded_page.h"
#include "faxdoc/header_resolution.h"

namespace pagelift {

void decodeWholeMmrPage(const std::vector<uint8_t>& data, const WholeMmrPage& header, PageBitmap& page)
{
    page = PageBitmap{};
    // Checked here, in 64 bits, before any header value is narrowed.
    if (!pageGeometryFits(header.width, header.rows)) return;
    CodedPageLayout layout;
    layout.bitOrder = header.bitOrder;
    layout.coding = FaxMmr;
    layout.polarity = 0;
    layout.flagCount = header.flagCount;
    layout.width = static_cast<int32_t>(header.width);
    layout.height = static_cast<int32_t>(header.rows);
    decodeCodedPage(data.data(), static_cast<int32_t>(data.size()), layout, page);
    if (!page.hasPage()) {
        page = PageBitmap{};
        return;
    }
    setResolutionFromHeader(page, header.resolution, header.resolution);
}

}  // namespace pagelift
