#include "faxdoc/jbig_image.h"

#include "ccitt/bit_reversal.h"
#include "platform/big_endian.h"
#include "raster/page_size.h"

extern "C" {
#include <jbig.h>
}

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace pagelift {
namespace {

// The header fields that only a well-formed header has: DL 0 (the lowest
// layer first), P 1 (one bit plane) and the reserved byte 0.
bool wellFormedHeader(uint8_t layer, uint8_t planes, uint8_t reserved)
{
    return layer == 0 && planes == 1 && reserved == 0;
}

bool sizeFitsPageLimits(uint32_t width, uint32_t rows)
{
    return width <= kMaxPageSide && rows <= kMaxPageSide && int64_t{width} * int64_t{rows} <= kMaxPagePixels;
}

// Frees jbigkit's decoder state whatever way the decoding ends.
struct DecoderState {
    DecoderState() { jbg_dec_init(&state); }
    ~DecoderState() { jbg_dec_free(&state); }
    DecoderState(const DecoderState&) = delete;
    DecoderState& operator=(const DecoderState&) = delete;
    jbg_dec_state state;
};

int noImage(PageBitmap& page, int result)
{
    page = PageBitmap{};
    return result;
}

}  // namespace

std::optional<bool> jbigHeaderReversed(const uint8_t* data, size_t length)
{
    if (data == nullptr || length < kJbigHeaderSize) return std::nullopt;
    if (wellFormedHeader(data[0], data[2], data[3])) return false;
    if (wellFormedHeader(kBitReversal[data[0]], kBitReversal[data[2]], kBitReversal[data[3]])) return true;
    return std::nullopt;
}

int decodeJbigImage(const uint8_t* data, size_t length, const JbigReading& reading, PageBitmap& page)
{
    page = PageBitmap{};
    if (data == nullptr || length < kJbigHeaderSize) return noImage(page, JbigNoImage);
    const std::optional<bool> reversed = jbigHeaderReversed(data, length);
    if (!reversed) return noImage(page, JbigNoImage);

    // jbigkit reads the data in place and jbg_newlen writes the true height
    // into the header: a copy in the order the BIE was written.
    std::vector<uint8_t> bie;
    try {
        bie.assign(data, data + length);
    } catch (const std::bad_alloc&) {
        return noImage(page, JbigTooLarge);
    }
    if (*reversed) {
        for (uint8_t& byte : bie) byte = kBitReversal[byte];
    }
    // A fax page sent before its length was known announces a height it may
    // not reach; the NEWLEN marker after its last stripe gives the true one.
    jbg_newlen(bie.data(), bie.size());
    const uint32_t width = be32(bie.data() + 4);
    const uint32_t height = be32(bie.data() + 8);
    if (width == 0 || height == 0) return noImage(page, JbigDamaged);
    if (!sizeFitsPageLimits(width, height)) {
        // Described, not decoded: the conversion reports the size.
        page.width = int32_t(std::min<uint32_t>(width, INT32_MAX));
        page.rows = int32_t(std::min<uint32_t>(height, INT32_MAX));
        page.bytesPerRow = int32_t((int64_t{page.width} + 7) / 8);
        page.planes = 1;
        page.bitsPerPixel = 1;
        page.coding = CodingJbig;
        return JbigTooLarge;
    }

    DecoderState decoder;
    // Nothing larger than the header said, whatever markers follow.
    jbg_dec_maxsize(&decoder.state, width, height);
    size_t used = 0;
    const int result = jbg_dec_in(&decoder.state, bie.data(), bie.size(), &used);
    if (result != JBG_EOK) return noImage(page, JbigDamaged);
    const unsigned char* image = jbg_dec_getimage(&decoder.state, 0);
    const unsigned long decodedWidth = jbg_dec_getwidth(&decoder.state);
    const unsigned long decodedHeight = jbg_dec_getheight(&decoder.state);
    if (image == nullptr || decodedWidth != width || decodedHeight == 0 || decodedHeight > height) {
        return noImage(page, JbigDamaged);
    }

    const uint32_t rows = uint32_t(std::min<unsigned long>(decodedHeight, reading.rowLimit));
    const size_t bytesPerRow = (size_t{width} + 7) / 8;
    try {
        page.pixels.assign(image, image + bytesPerRow * rows);
    } catch (const std::bad_alloc&) {
        return noImage(page, JbigTooLarge);
    }
    // Pages hold 1 for white.
    if (reading.oneIsBlack) {
        for (uint8_t& byte : page.pixels) byte = uint8_t(~byte);
    }
    page.width = int32_t(width);
    page.rows = int32_t(rows);
    page.bytesPerRow = int32_t(bytesPerRow);
    page.planes = 1;
    page.bitsPerPixel = 1;
    page.codedLength = uint32_t(std::min<size_t>(length, UINT32_MAX));
    page.coding = CodingJbig;
    return rows > 0 ? JbigDecoded : noImage(page, JbigDamaged);
}

}  // namespace pagelift
