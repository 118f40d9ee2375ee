#include "ccitt/mmr_decoder.h"

#include <algorithm>

namespace pagelift {
namespace {

int leadingOnes(int16_t byte)
{
    int ones = 0;
    while (ones < 8 && (byte & (0x80 >> ones)) != 0) ++ones;
    return ones;
}

}  // namespace

MmrDecoder::MmrDecoder(const uint8_t* data, int32_t size, uint8_t bitOrder, uint8_t t6Options, uint8_t polarity,
                       uint8_t flagCount)
    : CcittDecoder(data, size, bitOrder, 0, polarity), t6Options_(t6Options), flagCount_(flagCount)
{
}

int findFlag(MmrDecoder& decoder, int mode)
{
    if (decoder.rawStream() != 0) {
        decoder.readByte(0);
        return 0;
    }
    if (mode == 0) {
        decoder.setResumePoint(0);
    } else if (mode == 2) {
        decoder.setResumePoint(std::max(decoder.resumePoint(), decoder.bytePos()));
    }
    const uint8_t* data = decoder.data();
    const int32_t size = decoder.size();
    int32_t position = decoder.resumePoint();
    for (;;) {
        decoder.seekByte(position);
        if (decoder.current() < 0) return decoder.current();
        position = decoder.bytePos();
        if (decoder.flagCount() > 0) {
            while (position < size && data[position] != 0xFF) ++position;
            if (position >= size) {
                decoder.seekByte(position);
                return decoder.current();
            }
        }
        decoder.setMarkPos(position);
        const int32_t runStart = position;
        while (position < size && data[position] == 0xFF) ++position;
        const int32_t runLength = position - runStart;
        if (decoder.flagCount() > 0 && runLength + 1 < decoder.flagCount()) continue;

        // The flag's ones may go on into the next byte; the data begin at the
        // zero that ends them when the bit after that zero is a zero too.
        decoder.seekByte(position);
        if (decoder.current() < 0) return decoder.current();
        const int ones = leadingOnes(decoder.current());
        if (ones > 0 && decoder.readBits(ones) < 0) return decoder.current();
        const int16_t bits = decoder.readBits(3);
        if (bits < 0) return bits;
        if (bits <= 1) {
            decoder.setResumePoint(decoder.bytePos() + 1);
            decoder.unreadBits(3);
            return 0;
        }
        position = position + 1;
    }
}

void placeAfterFlagRun(MmrDecoder& decoder, int32_t flagStart)
{
    decoder.setResumePoint(flagStart);
    if (findFlag(decoder, 1) < 0) decoder.seekByte(flagStart);
}

}  // namespace pagelift
